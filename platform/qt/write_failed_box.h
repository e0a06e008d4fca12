#pragma once

#include "app/save_flow.h"

#include <string>

class QWidget;

// The modal box that says a write failed and why ("writeFailedBox"), with the buttons Save
// As..., Close Without Saving and Cancel; Escape and the close box answer Cancel.
WriteFailedAnswer ask_after_failed_write(QWidget* parent, const std::string& message);
