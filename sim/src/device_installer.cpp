// The device installer of newdev.dll: UpdateDriverForPlugAndPlayDevicesA, and the install of
// staged packages that re-enumeration asks for when a board arrives or is marked for
// reinstallation. Both put a package's driver on a node the same way (InstallOnDevice).
#include <algorithm>
#include <cctype>

#include "choke.h"
#include "text.h"
#include "sim/processes.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "sim/modules.h"
#include "simwin/newdev.h"
#include "simwin/setupapi_store.h"

namespace sim::store {
namespace {

constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr DWORD kAssociatedService = 0x2;  // SPSVCINST_ASSOCSERVICE

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> DeviceIds(const DeviceNode& node) {
    std::vector<std::string> ids;
    if (RegKey* key = DeviceKey(node)) {
        for (const char* name : {"HardwareID", "CompatibleIDs"}) {
            if (auto list = GetMultiStringValue(*key, name))
                ids.insert(ids.end(), list->begin(), list->end());
        }
    }
    return ids;
}

// The package's best model for the device: the one matching the device's earliest ID (its
// hardware IDs rank before its compatible IDs). `rank` receives that ID's position.
const inf::Model* BestModel(const std::vector<inf::Model>& models,
                            const std::vector<std::string>& ids, size_t& rank,
                            std::string& matching) {
    for (rank = 0; rank < ids.size(); ++rank) {
        for (const inf::Model& m : models) {
            for (const std::string& id : m.ids) {
                if (sim::EqualNoCase(id, ids[rank], sim::CaseRule::kAscii)) {
                    matching = ids[rank];
                    return &m;
                }
            }
        }
    }
    return nullptr;
}

bool HasId(const std::vector<std::string>& ids, const std::string& id) {
    return std::any_of(ids.begin(), ids.end(), [&](const std::string& s) {
        return sim::EqualNoCase(s, id, sim::CaseRule::kAscii);
    });
}

// A file in use cannot be replaced now: the new one waits beside it and the session manager
// renames it at the next start, as MoveFileEx(MOVEFILE_DELAY_UNTIL_REBOOT) arranges.
void ReplaceAtReboot(const std::string& target, const std::string& bytes) {
    std::string temporary;
    for (unsigned n = 0; temporary.empty() || files::Exists(temporary); ++n)
        temporary = FolderOf(target) + "\\SET" + std::to_string(n) + ".tmp";
    files::WriteWholeFile(temporary, bytes);
    RegKey& key = CreateKey(Hklm(), kSessionManager);
    std::vector<std::string> pending = GetMultiStringValue(key, "PendingFileRenameOperations")
                                           .value_or(std::vector<std::string>{});
    pending.push_back("\\??\\" + temporary);
    pending.push_back("!\\??\\" + target);
    SetMultiStringValue(key, "PendingFileRenameOperations", pending);
}

// Copies the install's files from the package's store folder ("" when none holds the copy);
// a file it lacks fails the install before anything is copied, and `missing` names it.
DWORD CopyPackageFiles(const std::string& packageFolder, const std::vector<PackageFile>& list,
                       bool& reboot, std::string& missing) {
    std::vector<std::string> contents;
    for (const PackageFile& f : list) {
        std::string bytes;
        if (packageFolder.empty() ||
            !files::ReadWholeFile(JoinPath(packageFolder, f.relativeSource), bytes)) {
            missing = packageFolder.empty() ? f.relativeSource
                                            : JoinPath(packageFolder, f.relativeSource);
            return ERROR_FILE_NOT_FOUND;
        }
        contents.push_back(std::move(bytes));
    }
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string& target = list[i].destination;
        files::CreateDirectories(FolderOf(target));
        if (files::IsHeld(target)) {
            ReplaceAtReboot(target, contents[i]);
            reboot = true;
        } else if (DWORD e = files::WriteWholeFile(target, contents[i])) {
            return e;
        }
    }
    return 0;
}

// A driver's binary as the service key names it: %12% (the drivers folder) is written the
// way the system loader reads it.
std::string ImagePath(const std::string& binary) {
    const std::string drivers = "%12%\\";
    if (binary.size() > drivers.size() &&
        sim::EqualNoCase(binary.substr(0, drivers.size()), drivers, sim::CaseRule::kAscii))
        return "\\SystemRoot\\System32\\drivers\\" + binary.substr(drivers.size());
    return binary;
}

// The service the install section adds for the device (AddService with SPSVCINST_ASSOCSERVICE).
void AddServices(const inf::File& file, const std::string& installSection, RegKey& deviceKey) {
    const inf::Section* services = inf::FindSection(file, installSection + ".Services");
    if (services == nullptr)
        return;
    for (const inf::Line& line : services->lines) {
        if (!line.hasKey || !sim::EqualNoCase(line.key, "AddService", sim::CaseRule::kAscii) ||
            line.fields.empty())
            continue;
        const std::string name = line.fields[0];
        const DWORD flags =
            static_cast<DWORD>(std::strtoul(inf::Field(line, 1).c_str(), nullptr, 0));
        const inf::Section* body = inf::FindSection(file, inf::Field(line, 2));
        RegKey& service = CreateKey(Hklm(), "SYSTEM\\CurrentControlSet\\Services\\" + name);
        if (body != nullptr) {
            for (const char* value : {"ServiceType", "StartType", "ErrorControl"}) {
                if (const inf::Line* l = inf::FindLine(*body, value)) {
                    const char* target = value[0] == 'S' && value[1] == 'e' ? "Type"
                                         : value[0] == 'S'                  ? "Start"
                                                                            : "ErrorControl";
                    SetDwordValue(
                        service, target,
                        static_cast<DWORD>(std::strtoul(inf::Field(*l, 0).c_str(), nullptr, 0)));
                }
            }
            if (const inf::Line* l = inf::FindLine(*body, "ServiceBinary"))
                SetStringValue(service, "ImagePath", ImagePath(inf::Field(*l, 0)), REG_EXPAND_SZ);
        }
        if ((flags & kAssociatedService) != 0)
            SetStringValue(deviceKey, "Service", name);
    }
}

// Moves the node into the package's setup class: a driver key of another class goes.
RegKey* DriverKeyForClass(DeviceNode& node, RegKey& deviceKey, const inf::File& file) {
    const std::string cls = Lower(inf::Value(file, "Version", "ClassGuid").value_or(""));
    const std::string current = GetStringValue(deviceKey, "ClassGUID").value_or("");
    if (!cls.empty() && !sim::EqualNoCase(cls, current, sim::CaseRule::kAscii)) {
        if (auto driver = GetStringValue(deviceKey, "Driver"))
            DeleteKeyTree(Hklm(), std::string(kClassKeyPath) + "\\" + *driver);
        RemoveValue(deviceKey, "Driver");
        SetStringValue(deviceKey, "ClassGUID", cls);
        if (auto name = inf::Value(file, "Version", "Class"))
            SetStringValue(deviceKey, "Class", *name);
    }
    RegKey* key = DriverKey(node);
    return key != nullptr ? key : CreateDriverKey(node);
}

// Puts the staged package on the node: files, driver key, service, and a working state.
DWORD InstallOnDevice(DeviceNode& node, const std::string& oemName, const inf::File& file,
                      const inf::Model& model, const std::string& matchingId, bool copyFiles,
                      bool& reboot) {
    const std::string section = inf::InstallSectionFor(file, model.installSection);
    if (section.empty())
        return ERROR_SECTION_NOT_FOUND;
    std::vector<PackageFile> list;
    if (DWORD e = InstallFiles(file, section, list))
        return e;
    if (copyFiles) {
        const std::string repository = RepositoryOf(oemName);
        std::string missing;
        const DWORD e = CopyPackageFiles(repository, list, reboot, missing);
        // As Windows's device install log does, an install that lacks a file names it.
        if (!missing.empty()) {
            Journal("InstallDevice",
                    node.instanceId + " <- " + oemName + ": " + missing + " not found" +
                        (repository.empty()
                             ? " (no package folder in " + std::string(kRepositoryFolder) +
                                   " holds " + oemName + ")"
                             : ""),
                    static_cast<long long>(e));
        }
        if (e != 0)
            return e;
    }
    RegKey* deviceKey = DeviceKey(node);
    RegKey* driverKey = deviceKey != nullptr ? DriverKeyForClass(node, *deviceKey, file) : nullptr;
    if (driverKey == nullptr)
        return ERROR_INVALID_DATA;
    const inf::DriverVersion version = inf::DriverVerOf(file).value_or(inf::DriverVersion{});
    SetStringValue(*driverKey, "InfPath", oemName);
    SetStringValue(*driverKey, "InfSection", model.installSection);
    SetStringValue(*driverKey, "InfSectionExt", section.substr(model.installSection.size()));
    SetStringValue(*driverKey, "ProviderName",
                   inf::Value(file, "Version", "Provider").value_or(""));
    SetStringValue(*driverKey, "DriverDesc", model.description);
    SetStringValue(*driverKey, "DriverVersion", inf::VersionText(version));
    SetStringValue(*driverKey, "DriverDate", inf::DateText(version));
    // Windows keeps the matching ID in lower case.
    SetStringValue(*driverKey, "MatchingDeviceId", Lower(matchingId));
    SetStringValue(*deviceKey, "DeviceDesc", model.description);
    AddServices(file, section, *deviceKey);
    const DWORD flags = GetDwordValue(*deviceKey, "ConfigFlags").value_or(0);
    SetDwordValue(*deviceKey, "ConfigFlags",
                  flags & ~(kConfigFlagReinstall | kConfigFlagFailedInstall));
    // A disabled device keeps its disable across a driver update.
    SetProblem(node, StartedProblem(node));
    MarkDirty("registry");
    MarkDirty("devices");
    Journal("InstallDevice", node.instanceId + " <- " + oemName, 0);
    return 0;
}

}  // namespace

const inf::Model* BestModelForDevice(const std::vector<inf::Model>& models, const DeviceNode& node,
                                     size_t& rank, std::string& matching) {
    return BestModel(models, DeviceIds(node), rank, matching);
}

DWORD InstallModel(DeviceNode& node, const Package& package, const inf::Model& model,
                   const std::string& matchingId, bool& reboot) {
    std::string oemName;
    if (DWORD e = StagePackage(package, oemName))
        return e;
    return InstallOnDevice(node, oemName, package.inf, model, matchingId, true, reboot);
}

std::vector<DeviceNode*> DevicesUsingInf(const std::string& oemName) {
    std::vector<DeviceNode*> users;
    for (DeviceNode* node : AllDevices()) {
        RegKey* key = DriverKey(*node);
        auto inf = key != nullptr ? GetStringValue(*key, "InfPath") : std::nullopt;
        if (inf && sim::EqualNoCase(*inf, oemName, sim::CaseRule::kAscii))
            users.push_back(node);
    }
    return users;
}

namespace {

// Whether the node's installed driver is at least as new as the package (DriverVer order).
bool HasSameOrNewer(const DeviceNode& node, const inf::File& file) {
    RegKey* key = DriverKey(node);
    if (key == nullptr || !GetStringValue(*key, "InfPath"))
        return false;
    auto date = GetStringValue(*key, "DriverDate").value_or("");
    std::replace(date.begin(), date.end(), '-', '/');
    auto installed = inf::ParseDriverVer(date, GetStringValue(*key, "DriverVersion").value_or(""));
    auto offered = inf::DriverVerOf(file);
    return installed && (!offered || inf::Compare(*installed, *offered) >= 0);
}

}  // namespace

// Re-enumeration's turn: the newest staged package with the best match for the node.
bool InstallFromStore(DeviceNode& node) {
    const StagedMatch* best = nullptr;
    const std::vector<StagedMatch> matches = StagedMatches(DeviceIds(node));
    for (const StagedMatch& m : matches) {
        const auto& version = m.package->version;
        if (best == nullptr || m.rank < best->rank ||
            (m.rank == best->rank && version &&
             (!best->package->version || inf::Compare(*version, *best->package->version) > 0)))
            best = &m;
    }
    if (best == nullptr)
        return false;
    Package package;
    if (ReadPackage(JoinPath(kInfFolder, best->package->name), package) != 0)
        return false;
    bool reboot = false;
    return InstallOnDevice(node, best->package->name, package.inf, *best->model, best->matching,
                           true, reboot) == 0;
}

}  // namespace sim::store

using sim::FailWith;

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND hwndParent, LPCSTR HardwareId,
                                               LPCSTR FullInfPath, DWORD InstallFlags,
                                               PBOOL bRebootRequired) {
    using namespace sim::store;
    sim::ApiCall call("UpdateDriverForPlugAndPlayDevicesA",
                      HardwareId != nullptr ? HardwareId : "");
    if (DWORD e = call.fault())
        return FailWith(e);
    (void)hwndParent;  // the simulated installer shows no user interface
    if ((InstallFlags & ~static_cast<DWORD>(INSTALLFLAG_BITS)) != 0)
        return FailWith(ERROR_INVALID_FLAGS);
    if (HardwareId == nullptr || *HardwareId == '\0' || FullInfPath == nullptr)
        return FailWith(ERROR_INVALID_PARAMETER);
    Package package;
    if (DWORD e = ReadPackage(FullInfPath, package))
        return FailWith(e);
    if (!sim::Settings().elevated)
        return FailWith(ERROR_ACCESS_DENIED);
    // The installer's own window dispatches the caller's messages while it works.
    sim::PumpTimers(1000);

    // The devices to update: present, carrying the ID, and served by one of the INF's models.
    const std::vector<sim::inf::Model> models = sim::inf::Models(package.inf);
    struct Target {
        sim::DeviceNode* node;
        const sim::inf::Model* model;
        std::string matching;
    };
    std::vector<Target> targets;
    bool newerInstalled = false;
    for (sim::DeviceNode* node : sim::AllDevices()) {
        const std::vector<std::string> ids = DeviceIds(*node);
        if (!sim::InRunningTree(*node) || !HasId(ids, HardwareId))
            continue;
        size_t rank = 0;
        std::string matching;
        const sim::inf::Model* model = BestModel(models, ids, rank, matching);
        if (model == nullptr)
            continue;
        if ((InstallFlags & INSTALLFLAG_FORCE) == 0 && HasSameOrNewer(*node, package.inf)) {
            newerInstalled = true;
            continue;
        }
        targets.push_back(Target{node, model, matching});
    }
    const std::string args = std::string(HardwareId) + ", " + FullInfPath;
    if (targets.empty()) {
        // Documented: a match whose driver is no better than the installed one, without
        // INSTALLFLAG_FORCE, gives ERROR_NO_MORE_ITEMS.
        const DWORD e = newerInstalled ? ERROR_NO_MORE_ITEMS : ERROR_NO_SUCH_DEVINST;
        sim::Journal("UpdateDriverForPlugAndPlayDevicesA", args, static_cast<long long>(e));
        return FailWith(e);
    }
    std::string oemName;
    if (DWORD e = StagePackage(package, oemName)) {
        sim::Journal("UpdateDriverForPlugAndPlayDevicesA", args, static_cast<long long>(e));
        return FailWith(e);
    }
    bool reboot = false;
    const bool copyFiles = (InstallFlags & INSTALLFLAG_READONLY) == 0;
    for (const Target& t : targets) {
        if (DWORD e = InstallOnDevice(*t.node, oemName, package.inf, *t.model, t.matching,
                                      copyFiles, reboot)) {
            sim::Journal("UpdateDriverForPlugAndPlayDevicesA", args, static_cast<long long>(e));
            return FailWith(e);
        }
    }
    if (reboot && bRebootRequired != nullptr)
        *bRebootRequired = TRUE;
    sim::Journal("UpdateDriverForPlugAndPlayDevicesA", args + (reboot ? " (reboot)" : ""), 0);
    return TRUE;
}

void sim::store::RegisterDeviceInstaller() {
    sim::RegisterLibrary(
        "newdev.dll",
        {{"UpdateDriverForPlugAndPlayDevicesA",
          reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&UpdateDriverForPlugAndPlayDevicesA))},
         {"InstallSelectedDriver",
          reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&InstallSelectedDriver))}});
    sim::SetInstallHandler(&sim::store::InstallFromStore);
}
