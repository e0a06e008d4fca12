#include "app/save_flow.h"

#include "app/app_state.h"
#include "app/startup.h"

std::string write_failed_message(const std::string& reason) {
    return "The file could not be written and is left as it was:\n" + reason +
           "\n\nSave As... keeps the edits in another file.";
}

SaveOutcome SaveFlow::close() {
    std::string error;
    if (writeBackBeforeClose(&error))
        return SaveOutcome::Done;
    return afterFailure(error, true);
}

SaveOutcome SaveFlow::save() {
    std::string error;
    // Nothing written without a reason: the document came from no file, as designed.
    if (AppState::instance().saveToLoadedPath(&error) || error.empty())
        return SaveOutcome::Done;
    return afterFailure(error, false);
}

SaveOutcome SaveFlow::saveAs(const std::string& path) {
    std::string error;
    if (AppState::instance().saveAsChosenFile(path, &error) || error.empty())
        return SaveOutcome::Done;
    return afterFailure(error, false);
}

SaveOutcome SaveFlow::afterFailure(std::string reason, bool closing) {
    for (;;) {
        switch (window_.askAfterFailedWrite(write_failed_message(reason))) {
        case WriteFailedAnswer::Cancel:
            return SaveOutcome::Cancelled;
        case WriteFailedAnswer::CloseWithoutSaving:
            settleWriteBack();
            return SaveOutcome::CloseUnsaved;
        case WriteFailedAnswer::SaveAs:
            break;
        }
        std::string path;
        if (!window_.chooseSavePath(path))
            return SaveOutcome::Cancelled;
        reason.clear();
        if (AppState::instance().saveAsChosenFile(path, &reason)) {
            // The edits are in the other file; closing then leaves the command line's file
            // as it is, for the host to read as before.
            if (closing)
                settleWriteBack();
            return SaveOutcome::Done;
        }
        if (reason.empty())
            return SaveOutcome::Cancelled; // no document to write after all
    }
}
