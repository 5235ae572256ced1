// The "ISA Device Configure" dialog run by a scripted user: what its lists offer, which check
// result enables OK, which values OK confirms, and Cancel.
#include <string>
#include <vector>

#include "legacy_dialog_machine.h"
#include "platform/win32.h"

namespace legacy_test {
namespace {

struct ListView {
    std::vector<std::string> texts;
    std::vector<LRESULT> data;
    LRESULT selection = CB_ERR;
};

struct Opened {
    ListView io, irq, dma, irq2;
    BOOL okEnabled = TRUE;
};
Opened g_opened;

ListView ReadList(HWND dialog, int list) {
    ListView view;
    const LRESULT count = SendDlgItemMessageA(dialog, list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[64] = {};
        SendDlgItemMessageA(dialog, list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
        view.texts.push_back(text);
        view.data.push_back(
            SendDlgItemMessageA(dialog, list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0));
    }
    view.selection = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
    return view;
}

// The dialog's own procedure, with a look at what it shows right after opening.
INT_PTR CALLBACK WatchingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result = IsaConfigDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        g_opened.io = ReadList(dialog, 1000);
        g_opened.irq = ReadList(dialog, 1002);
        g_opened.dma = ReadList(dialog, 1003);
        g_opened.irq2 = ReadList(dialog, 1004);
        g_opened.okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK));
    }
    return result;
}

class ResourceDialogTest : public DialogMachineTest {
  protected:
    INT_PTR Open(uint32_t rangeLength) {
        g_opened = Opened{};
        IsaResourceSelection.rangeLength = rangeLength;
        return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, WatchingProc, 0);
    }
};

TEST_F(ResourceDialogTest, SixteenPortsGiveThirtyTwoRangesWith0x300Selected) {
    Press(IDCANCEL);
    EXPECT_EQ(Open(16), IDCANCEL);
    ASSERT_EQ(g_opened.io.texts.size(), 32u);
    EXPECT_EQ(g_opened.io.texts.front(), "0x200~0x20f");
    EXPECT_EQ(g_opened.io.texts.back(), "0x3f0~0x3ff");
    ASSERT_GE(g_opened.io.selection, 0);
    EXPECT_EQ(g_opened.io.texts[g_opened.io.selection], "0x300~0x30f");
    EXPECT_EQ(g_opened.io.data[g_opened.io.selection], 0x300);
}

TEST_F(ResourceDialogTest, FourAndThirtyTwoPortsSelect0x300) {
    Press(IDCANCEL);
    Open(4);
    ASSERT_EQ(g_opened.io.texts.size(), 128u);
    EXPECT_EQ(g_opened.io.texts[g_opened.io.selection], "0x300~0x303");
    Press(IDCANCEL);
    Open(32);
    ASSERT_EQ(g_opened.io.texts.size(), 16u);
    EXPECT_EQ(g_opened.io.texts[g_opened.io.selection], "0x300~0x31f");
    EXPECT_EQ(g_opened.io.texts.back(), "0x3e0~0x3ff");
}

TEST_F(ResourceDialogTest, TenPortsMissThe0x300BaseAndSelectTheFirstRange) {
    Press(IDCANCEL);
    Open(10);
    ASSERT_EQ(g_opened.io.texts.size(), 52u);
    EXPECT_EQ(g_opened.io.texts.front(), "0x200~0x209");
    EXPECT_EQ(g_opened.io.texts.back(), "0x3fe~0x407");
    EXPECT_EQ(g_opened.io.selection, 0);
}

TEST_F(ResourceDialogTest, IrqAndDmaListsOfferTheIsaValuesWithDisableFirst) {
    Press(IDCANCEL);
    Open(16);
    const std::vector<std::string> irqs = {"Disable", "2", "3", "4", "5", "6", "7"};
    EXPECT_EQ(g_opened.irq.texts, irqs);
    EXPECT_EQ(g_opened.irq2.texts, irqs);
    EXPECT_EQ(g_opened.dma.texts, (std::vector<std::string>{"Disable", "1", "3"}));
    EXPECT_EQ(g_opened.irq.data, (std::vector<LRESULT>{0, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(g_opened.dma.data, (std::vector<LRESULT>{0, 1, 3}));
    EXPECT_EQ(g_opened.irq.selection, 0);
    EXPECT_EQ(g_opened.dma.selection, 0);
    EXPECT_EQ(g_opened.irq2.selection, 0);
    EXPECT_FALSE(g_opened.okEnabled);
}

TEST_F(ResourceDialogTest, OkIsRefusedUntilACheckPasses) {
    Press(IDOK);
    Press(IDCANCEL);
    EXPECT_EQ(Open(16), IDCANCEL);
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(ResourceDialogTest, OkConfirmsTheValuesOfTheLastCheck) {
    Select(1002, 4);  // IRQ 5
    Select(1003, 2);  // DMA 3
    Press(3);
    Select(1000, 0);  // 0x200 afterwards, without a check
    Select(1002, 1);
    Press(IDOK);
    EXPECT_EQ(Open(16), IDOK);
    EXPECT_EQ(IsaResourceSelection.ioBase, 0x300u);
    EXPECT_EQ(IsaResourceSelection.rangeLength, 16u);
    EXPECT_EQ(IsaResourceSelection.irq, 5u);
    EXPECT_EQ(IsaResourceSelection.irq2, 0u);
    EXPECT_EQ(IsaResourceSelection.dma, 3u);
}

TEST_F(ResourceDialogTest, AnIoConflictIsReportedAloneAndKeepsOkDisabled) {
    AddClaimant("ROOT\\OTHER\\0000", {Io(0x308, 0x30B), Irq(5)});
    Select(1002, 4);  // IRQ 5, also claimed
    Press(3);
    Press(IDOK);
    Press(IDCANCEL);
    EXPECT_EQ(Open(16), IDCANCEL);
    const std::vector<std::string> shown = MessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("\"IO resource conflict\", \"Error\", 0"), std::string::npos)
        << shown[0];
}

TEST_F(ResourceDialogTest, EachConflictNamesItsOwnResource) {
    AddClaimant("ROOT\\OTHER\\0000", {Irq(7), Dma(1)});
    Select(1004, 6);  // second IRQ 7
    Press(3);
    Select(1004, 0);
    Select(1003, 1);  // DMA 1
    Press(3);
    Press(IDCANCEL);
    Open(16);
    const std::vector<std::string> shown = MessageBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[0].find("\"The second IRQ resource conflict\""), std::string::npos);
    EXPECT_NE(shown[1].find("\"DMA resource conflict\""), std::string::npos);
}

TEST_F(ResourceDialogTest, TheSameIrqInBothListsIsNoConflict) {
    Select(1002, 3);
    Select(1004, 3);
    Press(3);
    Press(IDOK);
    EXPECT_EQ(Open(16), IDOK);
    EXPECT_EQ(IsaResourceSelection.irq, 4u);
    EXPECT_EQ(IsaResourceSelection.irq2, 4u);
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(ResourceDialogTest, AConflictAfterACleanCheckDisablesOkAgain) {
    AddClaimant("ROOT\\OTHER\\0000", {Irq(3)});
    Press(3);
    Select(1002, 2);  // IRQ 3
    Press(3);
    Press(IDOK);
    Press(IDCANCEL);
    EXPECT_EQ(Open(16), IDCANCEL);
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

TEST_F(ResourceDialogTest, ZeroPortsLeaveNothingToChooseOrConfirm) {
    Press(3);
    Press(IDOK);
    Press(IDCANCEL);
    EXPECT_EQ(Open(0), IDCANCEL);
    EXPECT_TRUE(g_opened.io.texts.empty());
    EXPECT_EQ(IsaResourceSelection.ioBase, 0u);
}

TEST_F(ResourceDialogTest, WithoutAScriptTheDialogCannotBeShown) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open(16), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(g_opened.io.texts.empty());
}

}  // namespace
}  // namespace legacy_test
