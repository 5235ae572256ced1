// The simulated driver store, shared by SetupAPI's staging functions and the device installer.
// A staged package is an OEM copy C:\Windows\INF\oem<N>.inf plus its files in the store's
// FileRepository folder <inf name>_amd64_<content hash>, from which devices are installed.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "devices.h"
#include "inf_reader.h"
#include "simwin/base.h"

namespace sim::store {

constexpr const char* kInfFolder = "C:\\Windows\\INF";
constexpr const char* kRepositoryFolder = "C:\\Windows\\System32\\DriverStore\\FileRepository";

// A package INF read and checked as SetupAPI opens it: 0, ERROR_FILE_NOT_FOUND (or the path
// error), the reader's syntax errors, or ERROR_WRONG_INF_STYLE without a Windows signature.
struct Package {
    std::string path;   // as given
    std::string bytes;  // the INF's content
    inf::File inf;
};
DWORD ReadPackage(const std::string& path, Package& out);
// Its two steps: the bytes of the file at `path` (the path errors), then their parse.
DWORD ReadPackageBytes(const std::string& path, std::string& bytes);
DWORD ParsePackage(const std::string& bytes, inf::File& out);

// Whether `name` is an OEM copy's name: oem<decimal digits>.inf, any case, no folder.
bool IsOemName(const std::string& name);
// The OEM copies in the INF folder, in the folder's order.
std::vector<std::string> OemCopies();
// The OEM copy whose content is the package's INF, byte for byte; "" when it is not staged.
std::string FindStagedCopy(const std::string& bytes);
// oem<N>.inf with the lowest N that no file of the INF folder uses.
std::string NextOemName();

// One file of an install section's CopyFiles, with where it comes from and goes to.
struct PackageFile {
    std::string relativeSource;  // below the package folder, '\'-separated
    std::string destination;     // full Win32 path
};
// The files the install section copies; 0, or the error for an unusable directory ID.
DWORD InstallFiles(const inf::File& inf, const std::string& installSection,
                   std::vector<PackageFile>& out);
// Every file the package's x64 models copy (the files staging takes into the store).
DWORD AllPackageFiles(const inf::File& inf, std::vector<PackageFile>& out);

// Joins a folder (Win32 or host) with a '\'-separated relative path.
std::string JoinPath(const std::string& folder, const std::string& relative);
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);

// Writes the OEM copy and the package's files into the store; 0 or the error (a missing
// package file: ERROR_FILE_NOT_FOUND, with nothing written).
DWORD WritePackage(const Package& package, const std::string& oemName);
// Stages the package as SetupCopyOEMInfA without flags does: an identical staged copy is
// reused. `oemName` receives the copy's name.
DWORD StagePackage(const Package& package, std::string& oemName);
// The store folder holding a staged copy's files ("" when there is none): the folder of
// FileRepository named "<INF name>_<architecture>_<hash>" whose INF holds the copy's bytes,
// whether this store staged it or it came from a Windows machine with its own hash.
std::string RepositoryOf(const std::string& oemName);
// The files (relative to the package folder) that the staged copy's package copies and its
// store folder lacks: all of them when no folder holds the copy (`repository` then ""), none
// when the copy is no package SetupAPI reads.
std::vector<std::string> MissingPackageFiles(const std::string& oemName, std::string& repository);
// Removes an OEM copy, its .pnf and its store folder.
void RemovePackage(const std::string& oemName);

// ---- The device installer's side (device_installer.cpp, driver_index.cpp).

// A staged package as the device installer ranks it: its models and its DriverVer.
struct StagedPackage {
    std::string name;  // oem<N>.inf
    std::vector<inf::Model> models;
    std::optional<inf::DriverVersion> version;
};
// What the index keeps of an OEM copy whose bytes parse as a package (`usable`); found again
// by the hash of the bytes, from the image's cache, in a later run.
struct PackageSummary {
    bool usable = false;
    std::vector<inf::Model> models;
    std::optional<inf::DriverVersion> version;
};
// The summary of a copy holding `bytes`: the one a run made of the same bytes before, kept in
// the image's cache, or else parsed now and kept for the next save.
const PackageSummary& SummaryOfCopy(const std::string& bytes);

// A staged package that serves a device: the first of its models that matches the device's
// earliest matching ID, and that ID's position (`rank`) among the device's IDs.
struct StagedMatch {
    const StagedPackage* package;
    const inf::Model* model;
    size_t rank;
    std::string matching;
};
// The staged packages that serve a device with the IDs `ids` (hardware IDs first), in the
// INF folder's order. The pointers stay valid until the next call.
std::vector<StagedMatch> StagedMatches(const std::vector<std::string>& ids);

// The install handler re-enumeration calls (set at start-up): installs the best-matching,
// newest staged package on the node; false when no staged package serves it.
bool InstallFromStore(DeviceNode& node);

// Makes newdev.dll loadable and sets the install handler of re-enumeration; the device tree
// calls it at start-up, since a static library leaves out an object that nothing refers to.
void RegisterDeviceInstaller();

// The model of the package that serves the node best (its hardware IDs rank before its
// compatible IDs); `rank` is the position of the matching ID among the node's IDs.
const inf::Model* BestModelForDevice(const std::vector<inf::Model>& models, const DeviceNode& node,
                                     size_t& rank, std::string& matching);
// Stages the package and installs `model` of it on the node, as the device installer does.
DWORD InstallModel(DeviceNode& node, const Package& package, const inf::Model& model,
                   const std::string& matchingId, bool& reboot);

// The devices whose driver key's InfPath names the OEM copy.
std::vector<DeviceNode*> DevicesUsingInf(const std::string& oemName);

}  // namespace sim::store
