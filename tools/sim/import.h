// A customer's machine on the bench: builds a machine image from what a person collects on a
// Windows machine with its own tools (registry exports, the list of present devices, copies of
// the OEM INF files), so that boardkit commands can be tried on that machine's state here.
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "simwin/base.h"

namespace tools {

struct ImportRequest {
    std::string imageDir;               // must not exist yet, or be an empty folder
    std::vector<std::string> regFiles;  // applied in this order
    std::string presenceFile;           // present.txt or Get-PnpDevice JSON; "" for none
    std::string infFolder;              // copies of C:\Windows\INF\oem*.inf; "" for none
    std::string driveFolder;            // files placed at the same paths below C:\; "" for none
};

struct ImportResult {
    bool ok = false;
    std::string error;  // "FILE:LINE: what is wrong" (or "FILE: ..." when no line applies)
    // What the import took for the user (which control set is the current one), and where the
    // machine will not be what the user thinks (the image is written all the same).
    std::vector<std::string> notes;
    std::vector<std::string> warnings;
    size_t devices = 0;
    size_t phantoms = 0;
    size_t infCopies = 0;
    size_t files = 0;  // from driveFolder
};

// Builds the image: everything is read and checked first, the image is written into a folder
// beside `imageDir` and renamed into place only when complete, so a failure leaves nothing.
// Uses the process's simulated machine, which is left empty and held in memory.
ImportResult ImportMachine(const ImportRequest& request);

// `boardkit-sim import DIR REGFILE... [--present FILE] [--inf FOLDER]` or
// `boardkit-sim import DIR FOLDER`; the exit code.
int ImportCommand(const std::vector<std::string>& args);

// ---- The folder boardkit-collect writes on the customer's machine: registry.reg,
// devices.json, inf\ and drive_c\ (files at their paths below C:\).

// Fills the request's sources from such a folder; "" or the error.
std::string ReadCollectedFolder(const std::string& folder, ImportRequest& request);
// Places every file below the host folder `driveFolder` at the same path below C:\ of the
// machine; "" or the error.
std::string CopyDriveFiles(const std::string& driveFolder, size_t& files);

// ---- The readers, shared by the import and its tests.

// Where a text is in the customer's files, for messages.
struct SourceLine {
    std::string file;
    size_t line = 0;
};
std::string Describe(const SourceLine& where, const std::string& message);

// What the presence file says about one device instance.
struct PresenceEntry {
    std::string instanceId;
    bool present = true;
    std::optional<ULONG> problem;  // JSON only; absent (or null) when it did not say
    size_t line = 0;
};
struct PresenceFile {
    bool ok = false;
    std::string error;
    std::vector<PresenceEntry> entries;
};
// Reads a present.txt list or the JSON of Get-PnpDevice (array or one object), in UTF-16LE
// with a byte-order mark or UTF-8 with or without one.
PresenceFile ReadPresenceFile(const std::string& path);
// The problem number of a CM_PROB_ name; nothing for a name Windows does not define.
std::optional<ULONG> ProblemNumberOfName(const std::string& name);

// The lines where each device instance key below Enum was opened, by instance ID folded to
// upper case, across all the registry files read so far.
using InstanceLines = std::map<std::string, SourceLine>;

// UTF-16LE text that lost its byte-order mark (ASCII characters, each followed by a zero).
bool IsUtf16WithoutMark(const std::string& bytes);

}  // namespace tools
