// The machine's windows (the desktop's top-level windows and their children, kept in
// machine.json), posted messages, and the calling thread's timers on a virtual clock. A timer
// without a window fires only while the thread dispatches messages: the simulated calls that
// do so advance the clock through PumpTimers, while Sleep only lets time pass.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "choke.h"
#include "machine.h"
#include "text.h"
#include "sim/processes.h"
#include "simwin/user32_windows.h"

namespace sim {
namespace {

constexpr uintptr_t kFirstWindow = 0x10010;
constexpr DWORD kTickAtStart = 5000000;  // a machine that has been up for over an hour
constexpr UINT_PTR kFirstTimerId = 0x7E01;

struct Desktop {
    std::vector<WindowRecord> windows;
    std::vector<TrayIcon> icons;
    uintptr_t next = kFirstWindow;
    bool built = false;
    bool changed = false;
};

struct Timer {
    UINT_PTR id;
    UINT period;
    TIMERPROC proc;
    DWORD due;
};

struct Thread {
    std::vector<Timer> timers;
    DWORD clock = 0;
    UINT_PTR nextId = kFirstTimerId;
};

Desktop& RawDesktop() {
    static auto* desktop = new Desktop;
    return *desktop;
}

Thread& Th() {
    static auto* thread = new Thread;
    return *thread;
}

HWND AddWindow(Desktop& d, HWND parent, const std::string& cls, const std::string& title,
               DWORD owner) {
    HWND handle = reinterpret_cast<HWND>(d.next);
    d.next += 0x10;
    d.windows.push_back({handle, parent, cls, title, owner});
    return handle;
}

void BuildTrayChain(Desktop& d) {
    HWND tray = AddWindow(d, nullptr, "Shell_TrayWnd", "", 0);
    HWND notify = AddWindow(d, tray, "TrayNotifyWnd", "", 0);
    HWND pager = AddWindow(d, notify, "SysPager", "", 0);
    AddWindow(d, pager, "ToolbarWindow32", "User Promoted Notification Area", 0);
}

// A new machine's desktop: the shell's desktop window and the notification area.
void BuildDefault(Desktop& d) {
    d = Desktop{};
    d.built = true;
    AddWindow(d, nullptr, "Progman", "Program Manager", 0);
    BuildTrayChain(d);
}

Desktop& D() {
    EnsureLoaded();
    Desktop& d = RawDesktop();
    if (!d.built) {
        BuildDefault(d);
    }
    return d;
}

void Changed() {
    RawDesktop().changed = true;
    MarkDirty("machine");
}

nlohmann::json SaveDesktop() {
    const Desktop& d = RawDesktop();
    if (!d.built || !d.changed) {
        return nullptr;
    }
    nlohmann::json windows = nlohmann::json::array();
    for (const WindowRecord& w : d.windows) {
        windows.push_back({{"handle", reinterpret_cast<uintptr_t>(w.handle)},
                           {"parent", reinterpret_cast<uintptr_t>(w.parent)},
                           {"class", w.className},
                           {"title", w.title},
                           {"owner", w.ownerPid}});
    }
    nlohmann::json icons = nlohmann::json::array();
    for (const TrayIcon& i : d.icons) {
        icons.push_back({{"owner", i.ownerPid}, {"tip", i.tip}});
    }
    return {{"next", d.next}, {"windows", windows}, {"trayIcons", icons}};
}

void LoadDesktop(const nlohmann::json& j) {
    Desktop& d = RawDesktop();
    d = Desktop{};
    if (j.is_null()) {
        return;  // built as the default on first use
    }
    d.built = true;
    d.changed = true;
    d.next = j.value("next", kFirstWindow);
    for (const auto& w : j.value("windows", nlohmann::json::array())) {
        d.windows.push_back({reinterpret_cast<HWND>(w.at("handle").get<uintptr_t>()),
                             reinterpret_cast<HWND>(w.value("parent", uintptr_t{0})),
                             w.value("class", std::string()), w.value("title", std::string()),
                             w.value("owner", 0u)});
    }
    for (const auto& i : j.value("trayIcons", nlohmann::json::array())) {
        d.icons.push_back({i.value("owner", 0u), i.value("tip", std::string())});
    }
}

const bool registered = [] {
    RegisterSection({"windows", LoadDesktop, SaveDesktop, [] { RawDesktop() = Desktop{}; }});
    // Timers and the clock belong to the process: a machine opened anew starts without them.
    RegisterSection({"thread-timers", [](const nlohmann::json&) { Th() = Thread{}; },
                     [] { return nlohmann::json(); }, [] { Th() = Thread{}; }});
    return true;
}();

const WindowRecord* FindRecord(HWND handle) {
    for (const WindowRecord& w : D().windows) {
        if (w.handle == handle) {
            return &w;
        }
    }
    return nullptr;
}

bool Matches(const WindowRecord& w, LPCSTR cls, LPCSTR title) {
    return (cls == nullptr || sim::EqualNoCase(w.className, cls, sim::CaseRule::kAscii)) &&
           (title == nullptr || sim::EqualNoCase(w.title, title, sim::CaseRule::kAscii));
}

bool IsAtom(LPCSTR cls) {
    return cls != nullptr && reinterpret_cast<uintptr_t>(cls) < 0x10000;
}

// The first child of `parent` after `after` (null: from the first) that matches.
HWND FindChild(HWND parent, HWND after, LPCSTR cls, LPCSTR title) {
    bool past = after == nullptr;
    for (const WindowRecord& w : D().windows) {
        if (w.parent != parent) {
            continue;
        }
        if (!past) {
            past = w.handle == after;
            continue;
        }
        if (Matches(w, cls, title)) {
            return w.handle;
        }
    }
    return nullptr;
}

bool IsTrayToolbar(const WindowRecord& w) {
    const char* chain[] = {"ToolbarWindow32", "SysPager", "TrayNotifyWnd", "Shell_TrayWnd"};
    const WindowRecord* at = &w;
    for (int i = 0; i < 4; ++i) {
        if (at == nullptr || !sim::EqualNoCase(at->className, chain[i], sim::CaseRule::kAscii)) {
            return false;
        }
        at = i < 3 ? FindRecord(at->parent) : nullptr;
    }
    return w.parent != nullptr;
}

// What Explorer does when the mouse passes over its icons: it drops those whose process ended.
void DropIconsOfEndedProcesses() {
    Desktop& d = D();
    const size_t before = d.icons.size();
    d.icons.erase(
        std::remove_if(d.icons.begin(), d.icons.end(),
                       [](const TrayIcon& i) { return FindProcess(i.ownerPid) == nullptr; }),
        d.icons.end());
    if (d.icons.size() != before) {
        Changed();
    }
}

DWORD Tick() {
    return kTickAtStart + Th().clock;
}

Timer* FindTimer(UINT_PTR id) {
    for (Timer& t : Th().timers) {
        if (t.id == id) {
            return &t;
        }
    }
    return nullptr;
}

std::string Hex(uintptr_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

std::vector<WindowRecord> Windows() {
    return D().windows;
}

HWND CreateSimWindow(HWND parent, const std::string& className, const std::string& title,
                     DWORD ownerPid) {
    HWND handle = AddWindow(D(), parent, className, title, ownerPid);
    Changed();
    return handle;
}

void DestroySimWindow(HWND window) {
    Desktop& d = D();
    std::vector<HWND> doomed{window};
    for (size_t i = 0; i < doomed.size(); ++i) {
        for (const WindowRecord& w : d.windows) {
            if (w.parent == doomed[i]) {
                doomed.push_back(w.handle);
            }
        }
    }
    d.windows.erase(std::remove_if(d.windows.begin(), d.windows.end(),
                                   [&doomed](const WindowRecord& w) {
                                       return std::find(doomed.begin(), doomed.end(), w.handle) !=
                                              doomed.end();
                                   }),
                    d.windows.end());
    Changed();
}

void RemoveTrayChain() {
    if (HWND tray = FindChild(nullptr, nullptr, "Shell_TrayWnd", nullptr)) {
        DestroySimWindow(tray);
    }
}

void EnsureTrayChain() {
    if (FindChild(nullptr, nullptr, "Shell_TrayWnd", nullptr) == nullptr) {
        BuildTrayChain(D());
        Changed();
    }
}

std::vector<TrayIcon> TrayIcons() {
    return D().icons;
}

void AddTrayIcon(DWORD ownerPid, const std::string& tip) {
    D().icons.push_back({ownerPid, tip});
    Changed();
}

DWORD VirtualClock() {
    return Th().clock;
}

std::vector<UINT_PTR> RunningTimers() {
    std::vector<UINT_PTR> ids;
    for (const Timer& t : Th().timers) {
        ids.push_back(t.id);
    }
    return ids;
}

void PumpTimers(DWORD milliseconds) {
    EnsureLoaded();
    const DWORD end = Th().clock + milliseconds;
    for (;;) {
        // The earliest due timer; a procedure may start or kill timers, so look again each time.
        Timer* next = nullptr;
        for (Timer& t : Th().timers) {
            if (t.due <= end && (next == nullptr || t.due < next->due)) {
                next = &t;
            }
        }
        if (next == nullptr) {
            break;
        }
        Th().clock = std::max(Th().clock, next->due);
        next->due = Th().clock + next->period;
        const UINT_PTR id = next->id;
        TIMERPROC proc = next->proc;
        Journal("WM_TIMER", "id=" + Hex(id) + ",time=" + std::to_string(Th().clock), 0);
        if (proc != nullptr) {
            proc(nullptr, WM_TIMER, id, Tick());
        }
    }
    Th().clock = end;
}

}  // namespace sim

extern "C" {

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
    sim::ApiCall call("FindWindowA",
                      className != nullptr && !sim::IsAtom(className) ? className : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if (sim::IsAtom(className)) {
        sim::NotModelled("FindWindowA", "class atoms");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return sim::FindChild(nullptr, nullptr, className, windowName);
}

HWND WINAPI FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName) {
    sim::ApiCall call("FindWindowExA",
                      className != nullptr && !sim::IsAtom(className) ? className : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if (sim::IsAtom(className)) {
        sim::NotModelled("FindWindowExA", "class atoms");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    if ((parent != nullptr && sim::FindRecord(parent) == nullptr) ||
        (childAfter != nullptr && sim::FindRecord(childAfter) == nullptr)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return sim::FindChild(parent, childAfter, className, windowName);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    sim::ApiCall call("PostMessageA");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    if (window == nullptr) {
        sim::NotModelled("PostMessageA", "messages to the thread's own queue");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    const sim::WindowRecord* target = sim::FindRecord(window);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    sim::Journal("PostMessageA",
                 sim::Hex(reinterpret_cast<uintptr_t>(window)) + "," + target->className + "," +
                     sim::Hex(message) + "," + sim::Hex(wParam) + "," +
                     sim::Hex(static_cast<uintptr_t>(lParam)),
                 TRUE);
    if (message == WM_MOUSEMOVE && sim::IsTrayToolbar(*target)) {
        sim::DropIconsOfEndedProcesses();
    }
    return TRUE;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR eventId, UINT elapse, TIMERPROC timerProc) {
    sim::ApiCall call("SetTimer");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    if (window != nullptr) {
        sim::NotModelled("SetTimer", "timers of a window");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    sim::EnsureLoaded();
    const UINT period =
        std::min<UINT>(std::max<UINT>(elapse, USER_TIMER_MINIMUM), USER_TIMER_MAXIMUM);
    // A thread timer named by an existing identifier is replaced; any other gets a new one.
    sim::Timer* existing = eventId != 0 ? sim::FindTimer(eventId) : nullptr;
    UINT_PTR id = existing != nullptr ? existing->id : sim::Th().nextId++;
    if (existing != nullptr) {
        *existing = {id, period, timerProc, sim::Th().clock + period};
    } else {
        sim::Th().timers.push_back({id, period, timerProc, sim::Th().clock + period});
    }
    sim::Journal("SetTimer", "elapse=" + std::to_string(period), static_cast<long long>(id));
    return id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR eventId) {
    sim::ApiCall call("KillTimer");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    if (window != nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto& timers = sim::Th().timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [eventId](const sim::Timer& t) { return t.id == eventId; });
    if (it == timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        sim::Journal("KillTimer", sim::Hex(eventId), FALSE);
        return FALSE;
    }
    timers.erase(it);
    sim::Journal("KillTimer", sim::Hex(eventId), TRUE);
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
    sim::ApiCall call("Sleep");
    // Sleep dispatches nothing: a timer that comes due meanwhile waits for the next pump.
    sim::Th().clock += milliseconds;
}

DWORD WINAPI GetTickCount(void) {
    sim::ApiCall call("GetTickCount");
    return sim::Tick();
}

}  // extern "C"
