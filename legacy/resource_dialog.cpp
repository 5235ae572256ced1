// The "ISA Device Configure" dialog's procedure: fills the four lists with the values a board's
// jumpers can take on the ISA bus, checks a choice against the other devices' claims, and
// enables OK only after a check without conflict.
#include "legacy/resource_dialog.h"

#include <cstdio>

#include "boardkit/operations.h"

IsaResources IsaResourceSelection = {};

namespace {

constexpr uint64_t kIoFirstBase = 0x200;
constexpr uint64_t kIoBaseLimit = 0x3FF;
constexpr uint64_t kIoPreferredBase = 0x300;

LRESULT AddEntry(HWND dialog, int list, const char* text, LPARAM data) {
    const LRESULT index =
        SendDlgItemMessageA(dialog, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0) {
        SendDlgItemMessageA(dialog, list, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
    }
    return index;
}

// A length of 0 would never leave the loop, so such a list stays empty and the dialog cannot
// be checked or confirmed; 64-bit steps keep a huge length from wrapping round.
void FillIoList(HWND dialog, uint32_t length) {
    if (length == 0) {
        EnableWindow(GetDlgItem(dialog, kIsaCheckButton), FALSE);
        return;
    }
    WPARAM selection = 0;
    for (uint64_t base = kIoFirstBase; base < kIoBaseLimit; base += length) {
        char text[48];
        std::snprintf(text, sizeof text, "0x%llx~0x%llx", static_cast<unsigned long long>(base),
                      static_cast<unsigned long long>(base + length - 1));
        const LRESULT index = AddEntry(dialog, kIsaIoList, text, static_cast<LPARAM>(base));
        if (base == kIoPreferredBase && index >= 0) {
            selection = static_cast<WPARAM>(index);
        }
    }
    SendDlgItemMessageA(dialog, kIsaIoList, CB_SETCURSEL, selection, 0);
}

// Values first..last except `skipped`; 0 reads "Disable". The first entry is selected.
void FillNumberList(HWND dialog, int list, int last, int skipped) {
    for (int value = 0; value <= last; ++value) {
        if (value == skipped) {
            continue;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%d", value);
        AddEntry(dialog, list, value == 0 ? "Disable" : text, value);
    }
    SendDlgItemMessageA(dialog, list, CB_SETCURSEL, 0, 0);
}

void InitDialog(HWND dialog) {
    FillIoList(dialog, IsaResourceSelection.rangeLength);
    FillNumberList(dialog, kIsaIrqList, 7, 1);
    FillNumberList(dialog, kIsaDmaList, 3, 2);
    FillNumberList(dialog, kIsaSecondIrqList, 7, 1);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
}

// A field keeps its value when its list has no selection.
void ReadSelection(HWND dialog, int list, uint32_t* field) {
    const LRESULT index = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return;
    }
    const LRESULT data =
        SendDlgItemMessageA(dialog, list, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    if (data != CB_ERR) {
        *field = static_cast<uint32_t>(data);
    }
}

// The text of the first check that fails, or null when every check passed.
const char* FirstConflict() {
    const IsaResources& chosen = IsaResourceSelection;
    if (IsaResCheckBaseAddrConflict(chosen.ioBase, chosen.rangeLength) != 0) {
        return "IO resource conflict";
    }
    if (chosen.irq != 0 && IsaResCheckIrqConflict(chosen.irq) != 0) {
        return "IRQ resource conflict";
    }
    if (chosen.irq2 != 0 && IsaResCheckIrqConflict(chosen.irq2) != 0) {
        return "The second IRQ resource conflict";
    }
    if (chosen.dma != 0 && IsaResCheckDmaConflict(chosen.dma) != 0) {
        return "DMA resource conflict";
    }
    return nullptr;
}

void CheckConflict(HWND dialog) {
    ReadSelection(dialog, kIsaIoList, &IsaResourceSelection.ioBase);
    ReadSelection(dialog, kIsaIrqList, &IsaResourceSelection.irq);
    ReadSelection(dialog, kIsaSecondIrqList, &IsaResourceSelection.irq2);
    ReadSelection(dialog, kIsaDmaList, &IsaResourceSelection.dma);
    const char* conflict = FirstConflict();
    EnableWindow(GetDlgItem(dialog, IDOK), conflict == nullptr ? TRUE : FALSE);
    if (conflict != nullptr) {
        MessageBoxA(nullptr, conflict, "Error", MB_OK);
    }
}

}  // namespace

INT_PTR CALLBACK IsaConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    if (message == WM_INITDIALOG) {
        InitDialog(dialog);
        return FALSE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case IDOK:
            EndDialog(dialog, static_cast<INT_PTR>(wParam));
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, static_cast<INT_PTR>(wParam));
            return FALSE;
        case kIsaCheckButton:
            CheckConflict(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}
