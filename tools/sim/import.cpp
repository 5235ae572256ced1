// boardkit-sim import: a new machine image from a customer's registry exports, presence list
// and OEM INF copies. Every input is read and checked before the image exists; the image is
// built in a hidden folder beside the target and renamed into place in one step.
#include "import.h"
#include "import_registry.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "inf_reader.h"
#include "machine.h"
#include "registry_tree.h"
#include "simwin/setupapi_store.h"

namespace fs = std::filesystem;

namespace tools {
namespace {

constexpr DWORD kConfigFlagDisabled = 0x00000001;  // CONFIGFLAG_DISABLED of regstr.h

struct InfCopy {
    std::string name;
    std::string hostPath;
};

// The problem Windows reports for a present node, as far as its registry tells: a disabled
// node, a failed or pending install, or no driver at all (Device Manager's code 28).
ULONG ProblemFromRegistry(const sim::RegKey& key) {
    const DWORD flags = sim::GetDwordValue(key, "ConfigFlags").value_or(0);
    if ((flags & kConfigFlagDisabled) != 0) {
        return CM_PROB_DISABLED;
    }
    if ((flags & sim::kConfigFlagFailedInstall) != 0) {
        return CM_PROB_FAILED_INSTALL;
    }
    if ((flags & sim::kConfigFlagReinstall) != 0) {
        return CM_PROB_REINSTALL;
    }
    if (sim::FindValue(key, "Driver") == nullptr) {
        return CM_PROB_FAILED_INSTALL;
    }
    return 0;
}

std::string CheckTarget(const std::string& dir) {
    std::error_code ec;
    if (dir.empty()) {
        return "no image folder given";
    }
    if (fs::exists(dir, ec) && (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec))) {
        return dir + ": already exists and is not an empty folder";
    }
    return "";
}

std::string ListInfCopies(const std::string& folder, std::vector<InfCopy>& out) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return folder + ": not a folder";
    }
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && sim::store::IsOemName(name)) {
            out.push_back({name, entry.path().string()});
        }
    }
    if (ec) {
        return folder + ": cannot be listed: " + ec.message();
    }
    return "";
}

// The presence file's entries by folded instance ID; every entry must name an instance of
// the exports, or the machine would not be the customer's.
std::string IndexPresence(const std::string& path, const PresenceFile& presence,
                          const InstanceLines& instances,
                          std::map<std::string, const PresenceEntry*>& byId) {
    for (const PresenceEntry& entry : presence.entries) {
        const std::string folded = sim::FoldName(entry.instanceId);
        // Get-PnpDevice lists the tree's root too, which an export may leave out.
        if (instances.count(folded) == 0 && folded != sim::FoldName(sim::kRootInstanceId)) {
            // Blame the list, yet say when the export is the one that holds nothing.
            const std::string why = instances.empty()
                                        ? ", which holds no device instance at all (export "
                                          "HKLM\\SYSTEM\\CurrentControlSet)"
                                        : "";
            return Describe(
                {path, entry.line},
                entry.instanceId + " is not a device instance of the registry export" + why);
        }
        byId[folded] = &entry;
    }
    return "";
}

std::string InstanceIdOf(const sim::RegKey& key) {
    return key.parent->parent->name + "\\" + key.parent->name + "\\" + key.name;
}

std::string AddNodes(const ImportRequest& request, const PresenceFile& presence,
                     const InstanceLines& instances, ImportResult& result) {
    std::map<std::string, const PresenceEntry*> byId;
    std::string error = IndexPresence(request.presenceFile, presence, instances, byId);
    if (!error.empty()) {
        return error;
    }
    const std::string rootId = sim::FoldName(sim::kRootInstanceId);
    for (const auto& [folded, where] : instances) {
        sim::RegKey* key =
            sim::FindKey(sim::Hklm(), std::string(sim::kEnumKeyPath) + "\\" + folded);
        if (key == nullptr || folded == rootId) {
            continue;  // deleted by a later file, or the tree's root, which every machine has
        }
        if (sim::FindValue(*key, "HardwareID") == nullptr) {
            return Describe(
                where, "the device instance " + InstanceIdOf(*key) + " has no HardwareID value");
        }
        sim::DeviceSpec spec;
        spec.instanceId = InstanceIdOf(*key);
        auto found = byId.find(folded);
        const bool listed = found != byId.end();
        const bool present = request.presenceFile.empty() || (listed && found->second->present);
        spec.presence = present ? sim::Presence::Present : sim::Presence::Phantom;
        spec.problem =
            listed && found->second->problem ? *found->second->problem : ProblemFromRegistry(*key);
        // The tree already remembers every Enum instance (as absent); an arrival through the
        // tree would run the device installer, which a snapshot of a machine must not do.
        sim::DeviceNode* node = sim::FindDevice(spec.instanceId);
        if (node == nullptr) {
            node = sim::AddDevice(spec);
        }
        if (node == nullptr) {
            return Describe(where, spec.instanceId + " cannot be a device instance ID");
        }
        node->presence = spec.presence;
        sim::SetProblem(*node, present ? spec.problem : 0);
        ++result.devices;
        result.phantoms += present ? 0 : 1;
    }
    return "";
}

// The line at which an INF text first fails to parse: the shortest run of its first lines that
// fails as the whole does (0 when none does, as for a file too large as a whole).
size_t InfErrorLine(const std::string& bytes, DWORD error) {
    std::vector<size_t> ends;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ends.push_back(i + 1);
        }
    }
    ends.push_back(bytes.size());
    const auto failsAt = [&](size_t lines) {
        sim::inf::File file;
        return sim::inf::Parse(std::string_view(bytes).substr(0, ends[lines - 1]), file) == error;
    };
    size_t low = 1;
    size_t high = ends.size();
    if (!failsAt(high)) {
        return 0;
    }
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (failsAt(middle)) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

// Why SetupAPI would refuse the copy, or "": the customer's Windows holds it all the same.
std::string InfWarning(const std::string& path, const std::string& bytes) {
    struct Named {
        DWORD error;
        const char* text;
    };
    static const Named kErrors[] = {
        {ERROR_EXPECTED_SECTION_NAME,
         "a line before the first section (ERROR_EXPECTED_SECTION_NAME)"},
        {ERROR_BAD_SECTION_NAME_LINE,
         "a section name line without its ']' (ERROR_BAD_SECTION_NAME_LINE)"},
        {ERROR_SECTION_NAME_TOO_LONG, "a section name too long (ERROR_SECTION_NAME_TOO_LONG)"},
        {ERROR_GENERAL_SYNTAX, "a line SetupAPI cannot read (ERROR_GENERAL_SYNTAX)"},
    };
    sim::inf::File file;
    const DWORD error = sim::inf::Parse(bytes, file);
    const std::string kept = "; it is imported as it is, as the customer's Windows holds it";
    if (error == 0) {
        return sim::inf::HasWindowsSignature(file)
                   ? ""
                   : Describe({path, 0},
                              "not a Windows INF file ([Version] Signature is not "
                              "$Windows NT$ or $Chicago$)" +
                                  kept);
    }
    std::string what = "error " + std::to_string(error);
    for (const Named& named : kErrors) {
        what = named.error == error ? named.text : what;
    }
    return Describe({path, InfErrorLine(bytes, error)},
                    "does not parse as an INF file: " + what + kept);
}

std::string CopyInfs(const std::vector<InfCopy>& copies, ImportResult& result) {
    if (copies.empty()) {
        return "";
    }
    if (DWORD e = sim::files::CreateDirectories(sim::store::kInfFolder)) {
        return std::string(sim::store::kInfFolder) + ": cannot be made (error " +
               std::to_string(e) + ")";
    }
    for (const InfCopy& copy : copies) {
        std::ifstream in(copy.hostPath, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (!in) {
            return copy.hostPath + ": cannot be read";
        }
        const std::string warning = InfWarning(copy.hostPath, bytes.str());
        if (!warning.empty()) {
            result.warnings.push_back(warning);
        }
        const std::string target = std::string(sim::store::kInfFolder) + "\\" + copy.name;
        if (DWORD e = sim::files::WriteWholeFile(target, bytes.str())) {
            return copy.hostPath + ": cannot be copied (error " + std::to_string(e) + ")";
        }
        ++result.infCopies;
    }
    // The device installer's summaries of the copies go into the image with them, so that the
    // machine's first refresh does not parse every copy.
    sim::store::StagedMatches({});
    return "";
}

// Where the machine will not be what the user thinks, though it is what the files say.
void WarnOfMachine(const ImportRequest& request, const ImportResult& result,
                   std::vector<std::string>& warnings) {
    const std::string set = "SYSTEM\\CurrentControlSet\\";
    if (result.devices != 0 && sim::FindKey(sim::Hklm(), set + "Services") == nullptr &&
        warnings.empty()) {
        warnings.push_back("the exports hold no " + set +
                           "Services: they seem cut at a line end, or Services was not exported");
    }
    if (sim::FindKey(sim::Hklm(), set + "Services\\TOLVAN") == nullptr) {
        warnings.push_back("the exports hold no " + set +
                           "Services\\TOLVAN: the framework is not installed on this machine");
    }
    if (!request.presenceFile.empty() && result.devices != 0 && result.phantoms == result.devices) {
        warnings.push_back(Describe({request.presenceFile, 0},
                                    "marks every device absent: no board of this machine is "
                                    "plugged in"));
    }
}

// An imported package that lacks its files in the driver store cannot be installed: a board
// it serves gets no driver when it arrives, as on a Windows machine whose store lost them.
void WarnOfPackageFiles(const std::vector<InfCopy>& copies, std::vector<std::string>& warnings) {
    for (const InfCopy& copy : copies) {
        std::string repository;
        const std::vector<std::string> missing =
            sim::store::MissingPackageFiles(copy.name, repository);
        if (missing.empty()) {
            continue;
        }
        std::string names;
        for (const std::string& name : missing) {
            names += (names.empty() ? "" : ", ") + name;
        }
        const std::string where =
            repository.empty() ? "no package folder of " +
                                     std::string(sim::store::kRepositoryFolder) + " holds this INF"
                               : "its package folder " + repository + " lacks them";
        warnings.push_back(
            Describe({std::string(sim::store::kInfFolder) + "\\" + copy.name, 0},
                     "the driver store lacks its package's files " + names + " (" + where +
                         "): an install from it fails, so a board it serves gets no driver when it "
                         "arrives"));
    }
}

std::string Build(const ImportRequest& request, const PresenceFile& presence,
                  const std::vector<InfCopy>& copies, ImportResult& result) {
    std::vector<RegistryExport> exports(request.regFiles.size());
    for (size_t i = 0; i < exports.size(); ++i) {
        std::string error = ReadRegistryExport(request.regFiles[i], exports[i], result.notes);
        if (!error.empty()) {
            return error;
        }
    }
    std::string error = TakeCurrentControlSet(exports, result.notes);
    InstanceLines instances;
    if (error.empty()) {
        error = ApplyRegistryExports(exports, instances);
    }
    if (!error.empty()) {
        return error;
    }
    WarnOfCutExports(exports, result.warnings);
    exports.clear();
    error = AddNodes(request, presence, instances, result);
    if (error.empty()) {
        WarnOfMachine(request, result, result.warnings);
        error = CopyInfs(copies, result);
    }
    if (error.empty() && !request.driveFolder.empty()) {
        error = CopyDriveFiles(request.driveFolder, result.files);
    }
    if (error.empty()) {
        WarnOfPackageFiles(copies, result.warnings);
    }
    return error;
}

std::string StagingFolder(const std::string& dir) {
    fs::path target = fs::absolute(fs::path(dir).lexically_normal());
    if (target.filename().empty()) {
        target = target.parent_path();
    }
    return (target.parent_path() /
            ("." + target.filename().string() + ".import-" + std::to_string(::getpid())))
        .string();
}

std::string Publish(const std::string& staging, const std::string& dir) {
    std::error_code ec;
    if (fs::exists(dir, ec)) {
        fs::remove(dir, ec);  // an empty folder, as checked before the build
    }
    fs::rename(staging, dir, ec);
    if (ec) {
        fs::remove_all(staging, ec);
        return dir + ": the image cannot be put in place: " + ec.message();
    }
    return "";
}

}  // namespace

ImportResult ImportMachine(const ImportRequest& request) {
    ImportResult result;
    result.error = CheckTarget(request.imageDir);
    if (result.error.empty() && request.regFiles.empty()) {
        result.error = "no registry export given";
    }
    PresenceFile presence;
    if (result.error.empty() && !request.presenceFile.empty()) {
        presence = ReadPresenceFile(request.presenceFile);
        result.error = presence.error;
    }
    std::vector<InfCopy> copies;
    if (result.error.empty() && !request.infFolder.empty()) {
        result.error = ListInfCopies(request.infFolder, copies);
    }
    if (!result.error.empty()) {
        return result;
    }
    const std::string staging = StagingFolder(request.imageDir);
    std::error_code ec;
    fs::remove_all(staging, ec);
    sim::OpenImage(staging);
    result.error = Build(request, presence, copies, result);
    if (result.error.empty()) {
        sim::MarkDirty("machine");
        sim::SaveImage();
    }
    sim::ResetToEmpty();  // lets the image go before it moves
    if (!result.error.empty()) {
        fs::remove_all(staging, ec);
        return result;
    }
    result.error = Publish(staging, request.imageDir);
    result.ok = result.error.empty();
    return result;
}

int ImportCommand(const std::vector<std::string>& args) {
    ImportRequest request;
    bool options = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--present" && hasValue) {
            request.presenceFile = args[++i];
            options = true;
        } else if (args[i] == "--inf" && hasValue) {
            request.infFolder = args[++i];
            options = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            std::fprintf(stderr,
                         "usage: boardkit-sim import DIR REGFILE... [--present FILE] "
                         "[--inf FOLDER]\n"
                         "       boardkit-sim import DIR COLLECTED_FOLDER\n");
            return 2;
        } else if (request.imageDir.empty()) {
            request.imageDir = args[i];
        } else {
            request.regFiles.push_back(args[i]);
        }
    }
    // The folder of boardkit-collect stands for all the sources at once.
    std::error_code ec;
    if (request.regFiles.size() == 1 && fs::is_directory(request.regFiles[0], ec)) {
        const std::string folder = request.regFiles[0];
        std::string error =
            options ? folder + ": a collected folder brings its own presence list and INF copies"
                    : ReadCollectedFolder(folder, request);
        if (!error.empty()) {
            std::fprintf(stderr, "boardkit-sim: %s\nboardkit-sim: no machine image was written\n",
                         error.c_str());
            return 1;
        }
    }
    const ImportResult result = ImportMachine(request);
    if (!result.ok) {
        std::fprintf(stderr, "boardkit-sim: %s\nboardkit-sim: no machine image was written\n",
                     result.error.c_str());
        return 1;
    }
    for (const std::string& note : result.notes) {
        std::printf("%s\n", note.c_str());
    }
    if (result.files == 0) {
        std::printf("imported %zu device nodes (%zu absent) and %zu INF copies into %s\n",
                    result.devices, result.phantoms, result.infCopies, request.imageDir.c_str());
    } else {
        std::printf(
            "imported %zu device nodes (%zu absent), %zu INF copies and %zu files into %s\n",
            result.devices, result.phantoms, result.infCopies, result.files,
            request.imageDir.c_str());
    }
    for (const std::string& warning : result.warnings) {
        std::fprintf(stderr, "boardkit-sim: warning: %s\n", warning.c_str());
    }
    return 0;
}

}  // namespace tools
