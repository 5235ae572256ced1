// Dialog controls: combo boxes, buttons and statics of the open dialogs, and the user32 calls
// a dialog procedure makes on them.
#include <cstring>

#include "choke.h"
#include "dialog_template.h"
#include "dialogs_internal.h"

namespace sim {
namespace {

constexpr DWORD kComboSorted = 0x0100L;  // CBS_SORT
constexpr DWORD kVisible = 0x10000000L;  // WS_VISIBLE

LRESULT TextIndexOrError(const DialogControl& control, WPARAM index) {
    return index < control.entries.size() ? static_cast<LRESULT>(index) : CB_ERR;
}

LRESULT AddString(DialogControl& control, LPARAM lParam) {
    if (lParam == 0) {
        return CB_ERR;
    }
    if ((control.style & kComboSorted) != 0) {
        NotModelled("SendMessageA", "CB_ADDSTRING on a sorted combo box");
        return CB_ERR;
    }
    control.entries.emplace_back(reinterpret_cast<const char*>(lParam), 0);
    return static_cast<LRESULT>(control.entries.size() - 1);
}

// A control's part of the dialog's description.
std::string DescribeControl(const DialogControl& control) {
    if (control.classOrdinal == kClassComboBox) {
        std::string line = std::to_string(control.id) + " [";
        for (size_t i = 0; i < control.entries.size(); ++i) {
            line += (i == 0 ? "" : ", ") + control.entries[i].first;
        }
        line += "] selected ";
        line += control.selection < 0 ? std::string("none") : std::to_string(control.selection);
        return line;
    }
    if (control.classOrdinal == kClassButton) {
        std::string state = (control.style & kVisible) == 0 ? "hidden"
                            : control.enabled               ? "enabled"
                                                            : "disabled";
        return std::to_string(control.id) + " \"" + control.text + "\" " + state;
    }
    return {};
}

}  // namespace

std::vector<std::unique_ptr<OpenDialog>>& OpenDialogs() {
    static std::vector<std::unique_ptr<OpenDialog>> dialogs;
    return dialogs;
}

HWND NewDialogHandle() {
    // Apart from the values that the machine's other windows take.
    static uintptr_t next = 0xD1A0000;
    next += 4;
    return reinterpret_cast<HWND>(next);
}

OpenDialog* FindOpenDialog(HWND handle) {
    for (auto& dialog : OpenDialogs()) {
        if (dialog->handle == handle && handle != nullptr) {
            return dialog.get();
        }
    }
    return nullptr;
}

DialogControl* FindDialogControl(HWND handle, OpenDialog** owner) {
    for (auto& dialog : OpenDialogs()) {
        for (auto& control : dialog->controls) {
            if (control.handle == handle && handle != nullptr) {
                *owner = dialog.get();
                return &control;
            }
        }
    }
    return nullptr;
}

LRESULT ComboBoxMessage(DialogControl& control, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case CB_ADDSTRING:
            return AddString(control, lParam);
        case CB_GETCOUNT:
            return static_cast<LRESULT>(control.entries.size());
        case CB_GETCURSEL:
            return control.selection < 0 ? CB_ERR : control.selection;
        case CB_SETCURSEL:
            // An index outside the list clears the selection and reports CB_ERR.
            control.selection = static_cast<int>(TextIndexOrError(control, wParam));
            return control.selection;
        case CB_GETITEMDATA:
            return TextIndexOrError(control, wParam) == CB_ERR ? CB_ERR
                                                               : control.entries[wParam].second;
        case CB_SETITEMDATA:
            if (TextIndexOrError(control, wParam) == CB_ERR) {
                return CB_ERR;
            }
            control.entries[wParam].second = lParam;
            return TRUE;
        case CB_GETLBTEXTLEN:
            return TextIndexOrError(control, wParam) == CB_ERR
                       ? CB_ERR
                       : static_cast<LRESULT>(control.entries[wParam].first.size());
        case CB_GETLBTEXT: {
            // As on Windows the caller sizes the buffer with CB_GETLBTEXTLEN first.
            if (TextIndexOrError(control, wParam) == CB_ERR || lParam == 0) {
                return CB_ERR;
            }
            const std::string& text = control.entries[wParam].first;
            std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
            return static_cast<LRESULT>(text.size());
        }
        case CB_RESETCONTENT:
            control.entries.clear();
            control.selection = -1;
            return 0;
        default:
            NotModelled("SendMessageA", "combo box message " + std::to_string(message));
            return 0;
    }
}

std::string DescribeDialog(const OpenDialog& dialog) {
    std::string line;
    for (const DialogControl& control : dialog.controls) {
        std::string part = DescribeControl(control);
        if (!part.empty()) {
            line += (line.empty() ? "" : "; ") + part;
        }
    }
    return line;
}

}  // namespace sim

using sim::DialogControl;
using sim::OpenDialog;

extern "C" {

HWND WINAPI GetDlgItem(HWND dialog, int controlId) {
    sim::ApiCall call("GetDlgItem", std::to_string(controlId));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    OpenDialog* open = sim::FindOpenDialog(dialog);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (const DialogControl& control : open->controls) {
        if (control.id == controlId) {
            return control.handle;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    sim::ApiCall call("SendMessageA", std::to_string(message));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    if (OpenDialog* dialog = sim::FindOpenDialog(window)) {
        return dialog->procedure(window, message, wParam, lParam);
    }
    OpenDialog* owner = nullptr;
    DialogControl* control = sim::FindDialogControl(window, &owner);
    if (control == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (control->classOrdinal == sim::kClassComboBox) {
        return sim::ComboBoxMessage(*control, message, wParam, lParam);
    }
    if (message == WM_SETTEXT) {
        control->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        return TRUE;
    }
    sim::NotModelled("SendMessageA", "message " + std::to_string(message) + " to a control");
    return 0;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int controlId, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    sim::ApiCall call("EnableWindow");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    bool* enabled = nullptr;
    OpenDialog* owner = nullptr;
    if (OpenDialog* dialog = sim::FindOpenDialog(window)) {
        enabled = &dialog->enabled;
    } else if (DialogControl* control = sim::FindDialogControl(window, &owner)) {
        enabled = &control->enabled;
    }
    if (enabled == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // The answer tells whether the window was disabled before.
    const BOOL wasDisabled = *enabled ? FALSE : TRUE;
    *enabled = enable != FALSE;
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
    sim::ApiCall call("IsWindowEnabled");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    if (OpenDialog* dialog = sim::FindOpenDialog(window)) {
        return dialog->enabled ? TRUE : FALSE;
    }
    OpenDialog* owner = nullptr;
    if (DialogControl* control = sim::FindDialogControl(window, &owner)) {
        return control->enabled ? TRUE : FALSE;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int controlId, LPCSTR text) {
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr) {
        return FALSE;
    }
    return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

}  // extern "C"
