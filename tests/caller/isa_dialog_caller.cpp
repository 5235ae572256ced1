// Installs legacy boards through boardkit.dll as a setup program does, and plays the person in
// front of the "ISA Device Configure" dialog: a second thread waits for the dialog, reads back
// its title, controls and lists through the system's own window calls, optionally lets a
// screenshot be taken, presses "Check Conflict" once, and ends the dialog with Cancel.
//   isa_dialog_caller INF [READY-FILE DONE-FILE]
// With the two files, the first dialog's window rectangle is written to READY-FILE once it has
// been read back, and the dialog waits (at most a minute) until DONE-FILE exists.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "boardkit/operations.h"
#include "platform/win32.h"
#include "tests/caller/checks.h"

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kWindowWaitMs = 20000;
constexpr DWORD kPictureWaitMs = 60000;
constexpr int kIoList = 1000;
constexpr int kIrqList = 1002;
constexpr int kDmaList = 1003;
constexpr int kSecondIrqList = 1004;
constexpr int kCheckButton = 3;

// One dialog to meet: the board, the I/O range length it is installed with (0: the two-argument
// form, which takes the board's own length) and what its I/O list must show.
struct Scenario {
    const char* hardwareId;
    uint32_t rangeLength;
    int ioCount;
    const char* ioFirst;
    const char* ioLast;
    const char* ioSelected;
    uint32_t ioSelectedBase;
    bool pressCheck;
};

// The template's controls in their order; statics carry id -1.
struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
    bool visible;
    bool enabled;
};

const ExpectedControl kControls[] = {
    {IDOK, "Button", "OK", true, false},
    {IDCANCEL, "Button", "Cancel", true, true},
    {kIoList, "ComboBox", nullptr, true, true},
    {-1, "Static", "I/O Range", true, true},
    {-1, "Static", "IRQ", true, true},
    {kIrqList, "ComboBox", nullptr, true, true},
    {-1, "Static", "DMA", true, true},
    {kDmaList, "ComboBox", nullptr, true, true},
    {-1, "Static", "Second IRQ", true, true},
    {kSecondIrqList, "ComboBox", nullptr, true, true},
    {1020, "Button", "TEST", false, true},
    {kCheckButton, "Button", "Check Conflict", true, true},
};

const std::vector<std::string> kIrqEntries = {"Disable", "2", "3", "4", "5", "6", "7"};
const std::vector<std::string> kDmaEntries = {"Disable", "1", "3"};

struct Watch {
    const Scenario* scenario;
    const char* readyFile;
    const char* doneFile;
    // What the watching thread saw, reported by the main thread once the dialog has ended.
    std::vector<std::pair<bool, std::string>> results;
};

void Expect(Watch& watch, bool ok, const std::string& what) {
    watch.results.push_back({ok, what});
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND WaitForWindow(const char* title, DWORD waitMs) {
    for (DWORD waited = 0; waited < waitMs; waited += kPollMs) {
        HWND window = FindWindowA("#32770", title);
        // The dialog manager shows the dialog only after WM_INITDIALOG has filled it.
        if (window != nullptr && IsWindowVisible(window)) {
            return window;
        }
        Sleep(kPollMs);
    }
    return nullptr;
}

std::vector<std::string> ListEntries(HWND dialog, int list) {
    std::vector<std::string> entries;
    const LRESULT count = SendDlgItemMessageA(dialog, list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length =
            SendDlgItemMessageA(dialog, list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::string text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
        SendDlgItemMessageA(dialog, list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(&text[0]));
        text.resize(std::strlen(text.c_str()));
        entries.push_back(text);
    }
    return entries;
}

std::string Joined(const std::vector<std::string>& entries) {
    std::string all;
    for (const std::string& entry : entries) {
        all += (all.empty() ? "" : ", ") + entry;
    }
    return all;
}

void CheckControls(Watch& watch, HWND dialog) {
    std::size_t index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT), ++index) {
        if (index >= sizeof kControls / sizeof kControls[0]) {
            Expect(watch, false, "an extra control " + ClassOf(child) + " " + WindowText(child));
            continue;
        }
        const ExpectedControl& want = kControls[index];
        const std::string where = "control " + std::to_string(index + 1) + " ";
        Expect(watch, GetDlgCtrlID(child) == want.id,
               where + "has id " + std::to_string(GetDlgCtrlID(child)) + ", expected " +
                   std::to_string(want.id));
        Expect(watch, _stricmp(ClassOf(child).c_str(), want.className) == 0,
               where + "is a " + ClassOf(child) + ", expected a " + want.className);
        if (want.text != nullptr) {
            Expect(
                watch, WindowText(child) == want.text,
                where + "reads " + Quoted(WindowText(child)) + ", expected " + Quoted(want.text));
        }
        Expect(watch, (IsWindowVisible(child) != FALSE) == want.visible,
               where + Quoted(want.text ? want.text : want.className) + " visibility");
        Expect(watch, (IsWindowEnabled(child) != FALSE) == want.enabled,
               where + Quoted(want.text ? want.text : want.className) + " enabled state");
    }
    Expect(watch, index == sizeof kControls / sizeof kControls[0],
           "the dialog holds " + std::to_string(index) + " controls");
}

void CheckNumberList(Watch& watch, HWND dialog, int list, const std::vector<std::string>& want,
                     const char* name) {
    const std::vector<std::string> entries = ListEntries(dialog, list);
    Expect(watch, entries == want, std::string(name) + " reads " + Joined(entries));
    Expect(watch, SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0) == 0,
           std::string(name) + " opens on its first entry");
}

void CheckIoList(Watch& watch, HWND dialog) {
    const Scenario& s = *watch.scenario;
    const std::vector<std::string> entries = ListEntries(dialog, kIoList);
    const std::string board = std::string(s.hardwareId) + ": ";
    Expect(watch, static_cast<int>(entries.size()) == s.ioCount,
           board + "the I/O list holds " + std::to_string(entries.size()) + " entries");
    if (entries.empty()) {
        return;
    }
    Expect(watch, entries.front() == s.ioFirst, board + "first I/O entry " + entries.front());
    Expect(watch, entries.back() == s.ioLast, board + "last I/O entry " + entries.back());
    const LRESULT selected = SendDlgItemMessageA(dialog, kIoList, CB_GETCURSEL, 0, 0);
    const bool inRange = selected >= 0 && static_cast<std::size_t>(selected) < entries.size();
    Expect(watch, inRange && entries[static_cast<std::size_t>(selected)] == s.ioSelected,
           board + "the I/O list opens on " +
               (inRange ? entries[static_cast<std::size_t>(selected)] : std::string("nothing")));
    const LRESULT data =
        SendDlgItemMessageA(dialog, kIoList, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
    Expect(watch, static_cast<uint32_t>(data) == s.ioSelectedBase,
           board + "the selected I/O entry carries its base");
}

bool FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Hands the dialog's place on the screen to whoever takes the picture, then waits for it.
void OfferPicture(Watch& watch, HWND dialog) {
    RECT frame = {};
    GetWindowRect(dialog, &frame);
    char line[96];
    std::snprintf(line, sizeof line, "%ld %ld %ld %ld\n", static_cast<long>(frame.left),
                  static_cast<long>(frame.top), static_cast<long>(frame.right - frame.left),
                  static_cast<long>(frame.bottom - frame.top));
    HANDLE file = CreateFileA(watch.readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const DWORD length = static_cast<DWORD>(std::strlen(line));
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, line, length, &written, nullptr) && written == length;
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    Expect(watch, ok, std::string("the ready file ") + watch.readyFile + " is written");
    DWORD waited = 0;
    while (ok && !FileExists(watch.doneFile) && waited < kPictureWaitMs) {
        Sleep(kPollMs);
        waited += kPollMs;
    }
    Expect(watch, FileExists(watch.doneFile), "the picture was taken in time");
}

HWND FirstStaticWithText(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (_stricmp(ClassOf(child).c_str(), "Static") == 0 && !WindowText(child).empty()) {
            return child;
        }
    }
    return nullptr;
}

// Where the local Configuration Manager cannot be reached (Wine), the I/O check reports the
// failed connection as a conflict; elsewhere the answer depends on the machine's own devices.
bool ConfigurationManagerReachable() {
    HMACHINE machine = nullptr;
    if (CM_Connect_MachineA(nullptr, &machine) != CR_SUCCESS) {
        return false;
    }
    CM_Disconnect_Machine(machine);
    return true;
}

void PressCheckConflict(Watch& watch, HWND dialog) {
    const bool reachable = ConfigurationManagerReachable();
    // Posted, not sent: the dialog's thread stays inside the message box until it is closed.
    PostMessageA(GetDlgItem(dialog, kCheckButton), BM_CLICK, 0, 0);
    if (reachable) {
        // Let the check run before the dialog is cancelled; its outcome is the machine's own.
        SendMessageA(dialog, WM_NULL, 0, 0);
        if (HWND box = FindWindowA("#32770", "Error")) {
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        return;
    }
    HWND box = WaitForWindow("Error", kWindowWaitMs);
    Expect(watch, box != nullptr, "a failed connection is shown as a conflict in an \"Error\" box");
    if (box == nullptr) {
        return;
    }
    HWND text = FirstStaticWithText(box);
    Expect(watch, text != nullptr && WindowText(text) == "IO resource conflict",
           "the box names the I/O range: " + (text ? Quoted(WindowText(text)) : "no text"));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (DWORD waited = 0; IsWindow(box) && waited < kWindowWaitMs; waited += kPollMs) {
        Sleep(kPollMs);
    }
    SendMessageA(dialog, WM_NULL, 0, 0);
    Expect(watch, !IsWindowEnabled(GetDlgItem(dialog, IDOK)), "OK stays disabled after a conflict");
}

DWORD WINAPI WatchDialog(void* parameter) {
    Watch& watch = *static_cast<Watch*>(parameter);
    HWND dialog = WaitForWindow("ISA Device Configure", kWindowWaitMs);
    Expect(watch, dialog != nullptr, "the \"ISA Device Configure\" dialog opens");
    if (dialog == nullptr) {
        return 0;
    }
    Expect(watch, WindowText(dialog) == "ISA Device Configure", "the dialog's title");
    Expect(watch, GetParent(dialog) == nullptr, "the dialog has no owner window");
    CheckControls(watch, dialog);
    CheckIoList(watch, dialog);
    CheckNumberList(watch, dialog, kIrqList, kIrqEntries, "the IRQ list");
    CheckNumberList(watch, dialog, kDmaList, kDmaEntries, "the DMA list");
    CheckNumberList(watch, dialog, kSecondIrqList, kIrqEntries, "the second IRQ list");
    if (watch.readyFile != nullptr) {
        OfferPicture(watch, dialog);
    }
    if (watch.scenario->pressCheck) {
        PressCheckConflict(watch, dialog);
    }
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    return 0;
}

// One install through the dialog: the watcher reads it back and cancels it, so the install
// must end with 0 and take its new node away again.
void MeetDialog(const Scenario& scenario, char* inf, const char* readyFile, const char* doneFile) {
    Watch watch = {&scenario, readyFile, doneFile, {}};
    HANDLE watcher = CreateThread(nullptr, 0, WatchDialog, &watch, 0, nullptr);
    Check(watcher != nullptr, "the watching thread starts");
    if (watcher == nullptr) {
        return;
    }
    char id[32] = {};
    std::snprintf(id, sizeof id, "%s", scenario.hardwareId);
    const uint32_t result = scenario.rangeLength == 0
                                ? InstallIsaDevice(inf, id)
                                : InstallIsaDeviceEx(inf, id, scenario.rangeLength);
    const bool ended =
        WaitForSingleObject(watcher, kWindowWaitMs + kPictureWaitMs) == WAIT_OBJECT_0;
    Check(ended, "the watching thread ends");
    CloseHandle(watcher);
    if (!ended) {
        return;
    }
    for (const auto& seen : watch.results) {
        Check(seen.first, scenario.hardwareId, seen.second);
    }
    Check(result == 0, "a cancelled install gives 0", std::to_string(result));
    Check(NodesWithHardwareId(scenario.hardwareId) == 0, "a cancelled install leaves no node",
          scenario.hardwareId);
}

// The I/O lists as the dialog's rules give them. IX1040 is an ISA board of the catalog without
// a range length of its own (16 ports); IX104 decodes 4 ports; the three-argument form takes
// the caller's length, and 10 leaves no entry at 0x300, so the first is selected.
const Scenario kScenarios[] = {
    {"IX1040", 0, 32, "0x200~0x20f", "0x3f0~0x3ff", "0x300~0x30f", 0x300, true},
    {"IX104", 0, 128, "0x200~0x203", "0x3fc~0x3ff", "0x300~0x303", 0x300, false},
    {"IX104", 10, 52, "0x200~0x209", "0x3fe~0x407", "0x200~0x209", 0x200, false},
    {"IX104", 32, 16, "0x200~0x21f", "0x3e0~0x3ff", "0x300~0x31f", 0x300, false},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: isa_dialog_caller INF [READY-FILE DONE-FILE]\n");
        return 2;
    }
    std::string inf = argv[1];
    bool first = true;
    for (const Scenario& scenario : kScenarios) {
        MeetDialog(scenario, &inf[0], first && argc == 4 ? argv[2] : nullptr,
                   first && argc == 4 ? argv[3] : nullptr);
        first = false;
    }
    return CheckSummary();
}
