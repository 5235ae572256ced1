// The simulated machine's files. Drive C: is the folder drive_c/ of the machine image: names
// are matched without regard to case and keep the case they were stored with. A run's changes
// stay in memory (an overlay over the current generation, which is read lazily) until the save
// writes them into the next generation. An absolute host path (starting with '/') is a file of
// the Linux host, read and written directly.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "simwin/base.h"

namespace sim::files {

// ---- For the other areas of the machine and for the tools (no fault, no journal, no access
// check). Paths are Win32 paths ("C:\Windows\INF\oem3.inf") or absolute host paths.

struct EntryInfo {
    std::string name;       // as stored
    std::string shortName;  // the generated 8.3 name, empty when the name is one already
    bool directory = false;
    uint64_t size = 0;
    int64_t writeTime = 0;  // FILETIME ticks (100 ns since 1601)
    DWORD attributes = 0;
};

bool Exists(std::string_view path);
bool IsDirectory(std::string_view path);
// The whole content of a file; false when it is missing or a folder.
bool ReadWholeFile(std::string_view path, std::string& bytes);
// Creates or replaces a file (its folder must exist); 0 or a Win32 error code.
DWORD WriteWholeFile(std::string_view path, std::string_view bytes);
// Creates a folder and any missing folders above it; 0 or a Win32 error code.
DWORD CreateDirectories(std::string_view path);
// Deletes a file; 0 or a Win32 error code.
DWORD RemoveFile(std::string_view path);
// A folder's entries sorted as NTFS returns them (without "." and ".."); empty when missing.
std::vector<EntryInfo> ListDirectory(std::string_view path);

// A running process has loaded the library or program at `path`: DeleteFileA then fails with
// ERROR_ACCESS_DENIED and opening it for writing with ERROR_SHARING_VIOLATION, as on Windows.
void HoldFile(std::string_view path, DWORD processId);
void ReleaseFile(std::string_view path, DWORD processId);
void ReleaseProcessFiles(DWORD processId);
void ReleaseAllFiles();
bool IsHeld(std::string_view path);
bool IsHeld(const struct Location& location);

// A machine setting: the host's files are a read-only share. Every change of one (creating,
// writing, deleting, making or removing a folder) then fails with ERROR_ACCESS_DENIED, as on a
// share mounted read-only; reading is unchanged. Kept in machine.json; off on a new machine.
bool HostFilesReadOnly();
void SetHostFilesReadOnly(bool readOnly);
// ERROR_ACCESS_DENIED when `location` is a host file and the host's files are read-only, else 0.
DWORD HostChangeRefused(const struct Location& location);

// ---- Shared by the file APIs.

// Where a Win32 path leads.
struct Location {
    bool host = false;               // a host file: `hostPath`
    std::vector<std::string> parts;  // drive C: the components below C:\ (empty: the root)
    std::string hostPath;
    bool trailingSeparator = false;  // the path ended with '\' or '/'
    std::string Text() const;        // for the journal and the hold table
};

// Resolves a Win32 path ("C:\a\b", "c:/a", "C:a", "\\?\C:\a", "/host/a", a path relative to
// the host's current folder); 0 or the error the Win32 call reports. `lastIsPattern` lets the
// last component carry the wildcards * and ?.
DWORD ResolvePath(const char* path, Location& out, bool lastIsPattern = false);

// Whether `location` is under the Windows folder (or Program Files), which only an elevated
// process may change.
bool IsProtected(const Location& location);

// One file's content, shared by its folder entry and the handles open on it.
struct OpenMode {
    bool read = false, write = false, del = false;
    DWORD share = 0;
};
struct File {
    std::string bytes;
    bool loaded = true;    // false: the content is still only in the generation on disk
    std::string diskPath;  // where the unloaded content is, relative to drive_c/
    uint64_t diskSize = 0;
    bool changed = false;  // to be written by the next save
    int64_t writeTime = 0;
    uint64_t revision = 0;    // changes with each change of the content (see FolderRevision)
    DWORD attributes = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    std::vector<const OpenMode*> opens;

    uint64_t Size() const { return loaded ? bytes.size() : diskSize; }
};

// The result of looking a location up: a file, a folder, or nothing (with the error a Win32
// call reports for it). Host entries carry no File: their handles use host descriptors.
struct Found {
    DWORD error = 0;  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...
    bool directory = false;
    std::shared_ptr<File> file;  // drive C: files
    EntryInfo info;
};
Found Lookup(const Location& location);

// Whether a new open with `mode` conflicts with the file's open handles (NT share rules:
// only opens that read, write or delete data take part).
bool ShareConflict(const File& file, const OpenMode& mode);

// Loads a file's content from the generation on first need.
void EnsureContent(File& file);
// Records that a file's content changed in this run.
void MarkChanged(File& file);

// Creates or truncates the file at `location` on drive C: (its folder must exist) and returns
// it; null with `error` set when that fails.
std::shared_ptr<File> CreateDriveFile(const Location& location, DWORD& error);
// Removes the entry at `location` (file or empty folder) from drive C:.
DWORD RemoveDriveEntry(const Location& location);
DWORD CreateDriveDirectory(const Location& location);

// A number that changes whenever an entry is added to or removed from the drive folder at
// `location` and never repeats within a run, so a reader may keep what it derived from the
// folder while the number stays. 0 for a host folder or a missing one, which are not tracked.
uint64_t FolderRevision(const Location& location);

// Entries of the folder at `location` (drive or host), sorted, without "." and "..".
DWORD ListEntries(const Location& location, std::vector<EntryInfo>& out);

// Host files: a lookup by stat, a listing, and the Win32 error for a failed host call.
Found HostLookup(const Location& location);
DWORD HostList(const std::string& folder, std::vector<EntryInfo>& out);
DWORD HostError(int err, const std::string& path);

// Case-insensitive comparison and the sort order NTFS returns names in (upper-cased bytes).
std::string Upper(std::string_view text);
bool LessNoCase(const std::string& a, const std::string& b);

int64_t NowFileTime();
int64_t UnixToFileTime(int64_t seconds, int64_t nanoseconds);

// Win32 wildcard matching as FindFirstFileA applies it (see files_match.cpp).
bool MatchesPattern(std::string_view pattern, std::string_view name);
bool HasWildcards(std::string_view text);
// The 8.3 name NTFS generates for `name` ("" when the name is a valid 8.3 name already).
std::string ShortName(std::string_view name, int number);

}  // namespace sim::files
