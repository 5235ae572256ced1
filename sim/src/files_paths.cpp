// Win32 path names on the simulated machine: how a path given to an ANSI file function turns
// into a place on drive C: or on the host, with the errors Windows reports for bad names.
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "file_system.h"
#include "text.h"

namespace sim::files {
namespace {

constexpr size_t kMaxComponentLength = 255;

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// Characters no Win32 file name may hold; '*' and '?' are wildcards where a pattern is allowed.
bool IsInvalidNameChar(char ch, bool allowWildcards) {
    if (static_cast<unsigned char>(ch) < 32) {
        return true;
    }
    if (ch == '*' || ch == '?') {
        return !allowWildcards;
    }
    return std::strchr("<>:\"|", ch) != nullptr;
}

// Win32 drops trailing dots and spaces from the last component ("a.txt." names "a.txt").
void TrimLastComponent(std::string& name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        if (name == "." || name == "..") {
            return;
        }
        name.pop_back();
    }
}

std::vector<std::string> SplitComponents(std::string_view text, bool& trailing) {
    std::vector<std::string> parts;
    std::string current;
    for (char ch : text) {
        if (IsSeparator(ch)) {
            if (!current.empty()) {
                parts.push_back(current);
            }
            current.clear();
        } else {
            current += ch;
        }
    }
    trailing = !text.empty() && IsSeparator(text.back());
    if (!current.empty()) {
        parts.push_back(current);
    }
    return parts;
}

DWORD NormalizeDrivePath(std::string_view rest, Location& out, bool lastIsPattern) {
    bool trailing = false;
    std::vector<std::string> raw = SplitComponents(rest, trailing);
    if (!raw.empty() && !trailing) {
        TrimLastComponent(raw.back());
        if (raw.back().empty()) {
            raw.pop_back();
            trailing = true;
        }
    }
    out.trailingSeparator = trailing;
    for (size_t i = 0; i < raw.size(); ++i) {
        const std::string& part = raw[i];
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!out.parts.empty()) {
                out.parts.pop_back();
            }
            continue;
        }
        // NTFS names have at most 255 characters (GetVolumeInformation's component length).
        if (part.size() > kMaxComponentLength) {
            return ERROR_INVALID_NAME;
        }
        const bool last = i + 1 == raw.size() && !trailing;
        for (char ch : part) {
            if (IsInvalidNameChar(ch, lastIsPattern && last)) {
                return ERROR_INVALID_NAME;
            }
        }
        out.parts.push_back(part);
    }
    return 0;
}

std::string HostCurrentFolder() {
    std::string buffer(4096, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        return "/";
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

std::string HostForm(std::string_view text) {
    std::string host(text);
    for (char& ch : host) {
        if (ch == '\\') {
            ch = '/';
        }
    }
    return host;
}

}  // namespace

std::string Location::Text() const {
    if (host) {
        return hostPath;
    }
    std::string text = "C:\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        text += (i == 0 ? "" : "\\") + parts[i];
    }
    return text;
}

namespace {

// A path of drive Z:, without its drive letter: rooted at the host's root, or relative to the
// host folder the process runs in ("Z:" alone is that folder).
DWORD ResolveHostPath(std::string_view text, Location& out) {
    out.host = true;
    if (text.empty()) {
        out.hostPath = HostCurrentFolder();
        return 0;
    }
    out.hostPath =
        IsSeparator(text[0]) ? HostForm(text) : HostCurrentFolder() + "/" + HostForm(text);
    out.trailingSeparator = IsSeparator(text.back());
    return 0;
}

}  // namespace

DWORD ResolvePath(const char* path, Location& out, bool lastIsPattern) {
    out = Location{};
    if (path == nullptr || *path == '\0') {
        return ERROR_PATH_NOT_FOUND;
    }
    std::string_view text(path);
    // The ANSI functions convert the name into a buffer of MAX_PATH characters.
    if (text.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (text.substr(0, 4) == "\\\\?\\" || text.substr(0, 4) == "//?/") {
        text.remove_prefix(4);
    } else if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        return ERROR_BAD_NETPATH;  // the machine has no network
    }
    if (text.size() >= 2 && text[1] == ':') {
        // Drive Z: is the host's root, as under Wine: "Z:\tmp\x.inf" is the host's /tmp/x.inf.
        if (text[0] == 'Z' || text[0] == 'z') {
            text.remove_prefix(2);
            return ResolveHostPath(text, out);
        }
        if (text[0] != 'C' && text[0] != 'c') {
            return ERROR_PATH_NOT_FOUND;  // the machine has C: and the host's Z: only
        }
        // "C:name" is relative to C:'s current folder, which is its root.
        return NormalizeDrivePath(text.substr(2), out, lastIsPattern);
    }
    // A rooted path without drive, and a relative one, lead to the host: the process runs in
    // a host folder, as a Wine process started from a shell runs in Z:.
    return ResolveHostPath(text, out);
}

bool IsProtected(const Location& location) {
    if (location.host || location.parts.empty()) {
        return false;
    }
    const std::string& top = location.parts[0];
    return sim::EqualNoCase(top, "Windows", sim::CaseRule::kAscii) ||
           sim::EqualNoCase(top, "Program Files", sim::CaseRule::kAscii) ||
           sim::EqualNoCase(top, "Program Files (x86)", sim::CaseRule::kAscii);
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& ch : upper) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
    return upper;
}

bool LessNoCase(const std::string& a, const std::string& b) {
    // NTFS keeps a folder's names in the order of their upper-cased characters.
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y) {
            return x < y;
        }
    }
    return a.size() < b.size();
}

int64_t UnixToFileTime(int64_t seconds, int64_t nanoseconds) {
    constexpr int64_t kEpochDifference = 11644473600LL;  // 1601-01-01 to 1970-01-01
    return (seconds + kEpochDifference) * 10000000LL + nanoseconds / 100;
}

int64_t NowFileTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return UnixToFileTime(now.tv_sec, now.tv_nsec);
}

}  // namespace sim::files
