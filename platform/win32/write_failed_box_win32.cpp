#include "platform/win32/write_failed_box_win32.h"

#include "platform/win32/resource_ids.h"

namespace {

void centre_over_owner(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    RECT area, box;
    if (!owner || !GetWindowRect(owner, &area) || !GetWindowRect(dialog, &box))
        return;
    const int width = box.right - box.left, height = box.bottom - box.top;
    SetWindowPos(dialog, nullptr, (area.left + area.right - width) / 2,
                 (area.top + area.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK write_failed_procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, WRITE_FAILED_CAPTION);
        SetDlgItemTextA(dialog, IDC_WRITE_FAILED_TEXT, reinterpret_cast<const char*>(lParam));
        SetDlgItemTextA(dialog, IDC_WRITE_FAILED_SAVE_AS, WRITE_FAILED_SAVE_AS);
        SetDlgItemTextA(dialog, IDC_WRITE_FAILED_DISCARD, WRITE_FAILED_DISCARD);
        SetDlgItemTextA(dialog, IDCANCEL, WRITE_FAILED_CANCEL);
        centre_over_owner(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_WRITE_FAILED_SAVE_AS:
        case IDC_WRITE_FAILED_DISCARD:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

WriteFailedAnswer ask_after_failed_write(HWND owner, const std::string& message) {
    const INT_PTR chosen =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WRITE_FAILED), owner,
                        write_failed_procedure, reinterpret_cast<LPARAM>(message.c_str()));
    if (chosen == IDC_WRITE_FAILED_SAVE_AS)
        return WriteFailedAnswer::SaveAs;
    if (chosen == IDC_WRITE_FAILED_DISCARD)
        return WriteFailedAnswer::CloseWithoutSaving;
    return WriteFailedAnswer::Cancel;
}
