#pragma once

#include <string>

// What happens when the document cannot be written: closing the window, File > Save and File >
// Save As never lose the user's edits without asking. The window shows a box that says the file
// could not be written and why, and offers Save As... (the save dialog, whatever the window was
// started with), Close Without Saving, and Cancel (back to the window).

// The box's caption and its three buttons, the same in every window layer.
constexpr const char* WRITE_FAILED_CAPTION = "Marrowby 1.1";
constexpr const char* WRITE_FAILED_SAVE_AS = "Save As...";
constexpr const char* WRITE_FAILED_DISCARD = "Close Without Saving";
constexpr const char* WRITE_FAILED_CANCEL = "Cancel";

enum class WriteFailedAnswer { SaveAs, CloseWithoutSaving, Cancel };

// How a save or a close ended.
enum class SaveOutcome {
    Done,         // written (to its own file or, through Save As..., to another), or nothing
                  // needed writing
    CloseUnsaved, // Close Without Saving: the window closes, nothing is written
    Cancelled,    // back to the window, nothing written
};

// The box's text: that the file could not be written, and the reason the batch path prints.
std::string write_failed_message(const std::string& reason);

// The window's side of the flow: the modal box and the save dialog.
class SaveFlowWindow {
public:
    virtual ~SaveFlowWindow() = default;
    virtual WriteFailedAnswer askAfterFailedWrite(const std::string& message) = 0;
    // The save dialog; false when it was cancelled.
    virtual bool chooseSavePath(std::string& path) = 0;
};

// Runs one save or close against a window. A Save As... whose write fails again asks again.
class SaveFlow {
public:
    explicit SaveFlow(SaveFlowWindow& window) : window_(window) {}

    // The window is closing: the write-back to the command line's file (waiting for background
    // unwraps first). Done and CloseUnsaved let the window close; the write at exit is then
    // settled and not tried again.
    SaveOutcome close();
    // File > Save, and File > Save As once its dialog has given the path.
    SaveOutcome save();
    SaveOutcome saveAs(const std::string& path);

private:
    SaveOutcome afterFailure(std::string reason, bool closing);

    SaveFlowWindow& window_;
};
