// The simulated dialog box: the scripted user's steps, what the procedure is told, the combo
// box contract, and the failures of a dialog that cannot be shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "choke.h"
#include "machine.h"
#include "platform/win32.h"
#include "sim/dialogs.h"

namespace {

struct Seen {
    UINT message;
    WORD id;
    WORD code;
};
std::vector<Seen> g_seen;
INT_PTR g_endWith = IDOK;
bool g_endOnCancel = true;

// Records every message; fills list 1000 with three entries; ends on OK or (if asked) Cancel.
INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    g_seen.push_back({message, LOWORD(wParam), HIWORD(wParam)});
    if (message == WM_INITDIALOG) {
        for (const char* text : {"a", "b", "c"}) {
            SendDlgItemMessageA(dialog, 1000, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    }
    if (message == WM_COMMAND && LOWORD(wParam) == 3) {
        EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, g_endWith);
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && g_endOnCancel) {
        EndDialog(dialog, IDCANCEL);
    }
    return FALSE;
}

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        g_seen.clear();
        g_endWith = IDOK;
        g_endOnCancel = true;
    }
    void TearDown() override { sim::ResetToEmpty(); }
    static INT_PTR Run() {
        return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, RecordingProc, 0);
    }
    static void Select(int control, int index) {
        sim::AddDialogStep({sim::DialogStep::kSelect, control, index});
    }
    static void Press(int button) { sim::AddDialogStep({sim::DialogStep::kPress, button, 0}); }
};

TEST_F(DialogsTest, TheProcedureIsToldOfEachStepInOrder) {
    Select(1000, 2);
    Press(3);
    Press(IDOK);
    g_endWith = 0x1234;
    EXPECT_EQ(Run(), 0x1234);
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(g_seen[1].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(g_seen[1].id, 1000);
    EXPECT_EQ(g_seen[1].code, CBN_SELCHANGE);
    EXPECT_EQ(g_seen[2].id, 3);
    EXPECT_EQ(g_seen[2].code, BN_CLICKED);
    EXPECT_EQ(g_seen[3].id, IDOK);
    EXPECT_TRUE(sim::DialogScript().empty());
}

TEST_F(DialogsTest, ADisabledOrHiddenButtonCannotBePressed) {
    Press(IDOK);
    Press(1020);
    Press(IDCANCEL);
    EXPECT_EQ(Run(), IDCANCEL);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[1].id, IDCANCEL);
}

TEST_F(DialogsTest, TheViewShowsListsSelectionsAndButtonStates) {
    Select(1000, 1);
    Press(IDCANCEL);
    Run();
    const std::vector<std::string> view = sim::LastDialogView();
    ASSERT_EQ(view.size(), 3u);
    EXPECT_NE(view[0].find("1000 [a, b, c] selected none"), std::string::npos) << view[0];
    EXPECT_NE(view[0].find("1 \"OK\" disabled"), std::string::npos) << view[0];
    EXPECT_NE(view[0].find("1020 \"TEST\" hidden"), std::string::npos) << view[0];
    EXPECT_EQ(view[1].rfind("select 1000 1: ", 0), 0u) << view[1];
    EXPECT_NE(view[1].find("1000 [a, b, c] selected 1"), std::string::npos) << view[1];
}

TEST_F(DialogsTest, StepsStopAtTheEndOfTheDialogAndWaitForTheNextOne) {
    Press(IDCANCEL);
    Press(IDOK);
    EXPECT_EQ(Run(), IDCANCEL);
    ASSERT_EQ(sim::DialogScript().size(), 1u);
    EXPECT_EQ(sim::DialogScript()[0].control, IDOK);
}

TEST_F(DialogsTest, AScriptThatRunsOutClosesTheDialog) {
    Select(1000, 0);
    EXPECT_EQ(Run(), IDCANCEL);
    EXPECT_EQ(g_seen.back().id, IDCANCEL);
}

TEST_F(DialogsTest, ADialogThatIgnoresTheCloseFailsInsteadOfHanging) {
    g_endOnCancel = false;
    Press(IDCANCEL);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
}

TEST_F(DialogsTest, AStepTheDialogCannotTakeEndsItWithAnError) {
    Select(1000, 3);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    Press(4242);
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
}

TEST_F(DialogsTest, WithoutAScriptNothingIsShown) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(g_seen.empty());
}

TEST_F(DialogsTest, AMissingTemplateIsAResourceError) {
    Press(IDCANCEL);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(4711), nullptr, RecordingProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(sim::DialogScript().size(), 1u);
}

TEST_F(DialogsTest, MessageBoxesAreAnsweredAndJournaled) {
    EXPECT_EQ(MessageBoxA(nullptr, "IRQ resource conflict", "Error", MB_OK), IDOK);
    const std::vector<std::string>& lines = sim::JournalLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "MessageBoxA(\"IRQ resource conflict\", \"Error\", 0) = 1");
}

// The combo box contract, checked from inside a running dialog.
std::vector<LRESULT> g_answers;
INT_PTR CALLBACK ComboProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    HWND list = GetDlgItem(dialog, 1002);
    auto send = [&](UINT m, WPARAM w, LPARAM l) {
        g_answers.push_back(SendMessageA(list, m, w, l));
    };
    send(CB_GETCURSEL, 0, 0);                                    // CB_ERR: nothing chosen
    send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Disable"));  // 0
    send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("2"));        // 1
    send(CB_SETITEMDATA, 1, 2);                                  // TRUE
    send(CB_GETITEMDATA, 1, 0);                                  // 2
    send(CB_GETITEMDATA, 5, 0);                                  // CB_ERR
    send(CB_SETCURSEL, 7, 0);                                    // CB_ERR
    send(CB_GETCURSEL, 0, 0);                                    // CB_ERR
    send(CB_SETCURSEL, 1, 0);                                    // 1
    send(CB_GETLBTEXTLEN, 0, 0);                                 // 7
    send(CB_GETCOUNT, 0, 0);                                     // 2
    send(CB_RESETCONTENT, 0, 0);                                 // 0
    send(CB_GETCOUNT, 0, 0);                                     // 0
    send(CB_GETCURSEL, 0, 0);                                    // CB_ERR
    g_answers.push_back(GetDlgItem(dialog, 999) == nullptr ? GetLastError() : 0);
    EndDialog(dialog, 7);
    return FALSE;
}

TEST_F(DialogsTest, ComboBoxesAnswerAsWindowsDocuments) {
    g_answers.clear();
    Press(IDCANCEL);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, ComboProc, 0), 7);
    const std::vector<LRESULT> expected = {
        CB_ERR, 0,      1,      TRUE,   2,
        CB_ERR, CB_ERR, CB_ERR, 1,      7,
        2,      0,      0,      CB_ERR, ERROR_CONTROL_ID_NOT_FOUND};
    EXPECT_EQ(g_answers, expected);
}

}  // namespace
