#pragma once

#include "app/save_flow.h"

#include <windows.h>

#include <string>

// The modal box that says a write failed and why (dialog IDD_WRITE_FAILED), centred over its
// owner, with the buttons Save As..., Close Without Saving and Cancel; Escape and the close box
// answer Cancel.
WriteFailedAnswer ask_after_failed_write(HWND owner, const std::string& message);
