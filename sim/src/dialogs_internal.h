// The dialogs open in the simulated process and their controls, shared by the dialog loop and
// the control messages.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "simwin/user32.h"

namespace sim {

struct DialogControl {
    HWND handle = nullptr;
    int id = 0;
    WORD classOrdinal = 0;  // 0 for a class given by name
    std::string text;
    DWORD style = 0;
    bool enabled = true;
    std::vector<std::pair<std::string, LPARAM>> entries;  // a combo box's list and item data
    int selection = -1;
};

struct OpenDialog {
    HWND handle = nullptr;
    DLGPROC procedure = nullptr;
    std::string title;
    bool enabled = true;
    bool ended = false;
    INT_PTR result = 0;
    std::vector<DialogControl> controls;
};

// The open dialogs, innermost last.
std::vector<std::unique_ptr<OpenDialog>>& OpenDialogs();
OpenDialog* FindOpenDialog(HWND handle);
// The control behind `handle` in any open dialog, with its dialog; null when there is none.
DialogControl* FindDialogControl(HWND handle, OpenDialog** owner);
HWND NewDialogHandle();

// What a combo box answers to one of its messages.
LRESULT ComboBoxMessage(DialogControl& control, UINT message, WPARAM wParam, LPARAM lParam);

// One line that tells what the dialog shows: each list's entries and selection, each
// button's state.
std::string DescribeDialog(const OpenDialog& dialog);

}  // namespace sim
