// FindFirstFileA, FindNextFileA and FindClose. A search takes its matches when it starts, in
// the order NTFS keeps a folder's names (upper-cased characters), with "." and ".." first in
// any folder but the root, as Windows and Wine return them.
#include <cstring>
#include <set>

#include "choke.h"
#include "file_system.h"
#include "handles.h"
#include "text.h"
#include "simwin/files.h"

#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif

namespace {

using sim::files::EntryInfo;
using sim::files::Location;

class FindHandle : public sim::HandleObject {
  public:
    const char* kind() const override { return "find"; }
    std::vector<EntryInfo> matches;
    size_t next = 0;
};

void CopyBounded(char* out, size_t capacity, const std::string& text) {
    const size_t n = text.size() < capacity ? text.size() : capacity - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

FILETIME ToFileTime(int64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFF);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    return ft;
}

void Fill(const EntryInfo& entry, WIN32_FIND_DATAA& data) {
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = entry.attributes;
    data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime =
        ToFileTime(entry.writeTime);
    data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.size & 0xFFFFFFFF);
    CopyBounded(data.cFileName, sizeof data.cFileName, entry.name);
    CopyBounded(data.cAlternateFileName, sizeof data.cAlternateFileName, entry.shortName);
}

// Gives every name that is not an 8.3 name its short name, numbered ~1, ~2, ... in the
// folder's order where two would collide.
void AssignShortNames(std::vector<EntryInfo>& entries) {
    std::set<std::string> taken;
    for (EntryInfo& entry : entries) {
        if (sim::files::ShortName(entry.name, 1).empty()) {
            taken.insert(sim::files::Upper(entry.name));
        }
    }
    for (EntryInfo& entry : entries) {
        for (int number = 1; number < 1000000; ++number) {
            std::string candidate = sim::files::ShortName(entry.name, number);
            if (candidate.empty() || taken.insert(candidate).second) {
                entry.shortName = candidate;
                break;
            }
        }
    }
}

EntryInfo DotEntry(const char* name, const EntryInfo& folder) {
    EntryInfo dot = folder;
    dot.name = name;
    dot.shortName.clear();
    return dot;
}

// Splits a search path into its folder and its last component, the pattern.
DWORD SplitSearch(const Location& where, Location& folder, std::string& pattern) {
    folder = where;
    if (where.host) {
        const size_t slash = where.hostPath.find_last_of('/');
        pattern = where.hostPath.substr(slash + 1);
        folder.hostPath = slash == 0 ? "/" : where.hostPath.substr(0, slash);
    } else if (!where.parts.empty()) {
        pattern = where.parts.back();
        folder.parts.pop_back();
    }
    return pattern.empty() || where.trailingSeparator ? ERROR_FILE_NOT_FOUND : 0;
}

DWORD Search(const Location& where, std::vector<EntryInfo>& matches) {
    Location folder;
    std::string pattern;
    if (DWORD error = SplitSearch(where, folder, pattern)) {
        return error;
    }
    std::vector<EntryInfo> entries;
    if (DWORD error = sim::files::ListEntries(folder, entries)) {
        return error;
    }
    if (!folder.host) {
        AssignShortNames(entries);
    }
    if (!sim::files::HasWildcards(pattern)) {
        for (const EntryInfo& entry : entries) {
            if (folder.host ? entry.name == pattern
                            : sim::EqualNoCase(entry.name, pattern, sim::CaseRule::kAscii)) {
                matches.push_back(entry);
            }
        }
        return matches.empty() ? ERROR_FILE_NOT_FOUND : 0;
    }
    const bool root = folder.host ? folder.hostPath == "/" : folder.parts.empty();
    if (!root) {
        const EntryInfo self = sim::files::Lookup(folder).info;
        for (const char* dot : {".", ".."}) {
            if (sim::files::MatchesPattern(pattern, dot)) {
                matches.push_back(DotEntry(dot, self));
            }
        }
    }
    for (const EntryInfo& entry : entries) {
        if (sim::files::MatchesPattern(pattern, entry.name) ||
            (!entry.shortName.empty() && sim::files::MatchesPattern(pattern, entry.shortName))) {
            matches.push_back(entry);
        }
    }
    return matches.empty() ? ERROR_FILE_NOT_FOUND : 0;
}

}  // namespace

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    sim::ApiCall call("FindFirstFileA", lpFileName != nullptr ? lpFileName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return INVALID_HANDLE_VALUE;
    }
    if (lpFindFileData == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return INVALID_HANDLE_VALUE;
    }
    Location where;
    if (DWORD error = sim::files::ResolvePath(lpFileName, where, true)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto handle = std::make_unique<FindHandle>();
    if (DWORD error = Search(where, handle->matches)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    Fill(handle->matches[0], *lpFindFileData);
    handle->next = 1;
    return sim::AddHandle(std::move(handle));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    sim::ApiCall call("FindNextFileA");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    FindHandle* handle = sim::LookupHandleAs<FindHandle>(hFindFile);
    if (handle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (handle->next >= handle->matches.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    if (lpFindFileData == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    Fill(handle->matches[handle->next++], *lpFindFileData);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    sim::ApiCall call("FindClose");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    if (sim::LookupHandleAs<FindHandle>(hFindFile) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::RemoveHandle(hFindFile);
    return TRUE;
}

}  // extern "C"
