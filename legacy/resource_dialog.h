// The "ISA Device Configure" dialog (template 102): the user picks a legacy board's I/O range,
// IRQs and DMA channel, checks them for conflicts, and confirms only after a clean check.
#pragma once
#include <cstdint>

#include "platform/win32.h"

// The resources chosen for the node under construction. The caller sets the range length
// before the dialog opens; the dialog's "Check Conflict" writes the rest (0 = none).
struct IsaResources {
    uint32_t ioBase;
    uint32_t rangeLength;
    uint32_t irq;
    uint32_t irq2;
    uint32_t dma;
};

extern IsaResources IsaResourceSelection;

// The dialog's control ids as the template carries them.
constexpr int kIsaDialogTemplate = 102;
constexpr int kIsaCheckButton = 3;
constexpr int kIsaIoList = 1000;
constexpr int kIsaIrqList = 1002;
constexpr int kIsaDmaList = 1003;
constexpr int kIsaSecondIrqList = 1004;

// The dialog procedure: ends with 1 (OK, after a clean check) or 2 (Cancel).
INT_PTR CALLBACK IsaConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
