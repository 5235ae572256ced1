// Builds machine state in the maker's own terms ("a demo record with board number 3", "a PCI
// board with this hardware ID, remembered, without driver"): records through the same Win32
// calls the program uses, so a machine made here is one the program can meet; boards, files
// and faults straight into the simulated machine's data, so they leave no journal line and no
// call count. The one vocabulary of the tests' machines.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devices.h"

namespace tools {

// One value of a framework record; `bytes` holds the raw data, `type` the registry type.
struct RecordValue {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> bytes;
};

RecordValue DwordValue(const std::string& name, uint32_t value);
RecordValue StringValue(const std::string& name, const std::string& text);

// Creates (or extends) HKLM\<keyPath> with the given values. False when a call fails.
bool WriteKey(const std::string& keyPath, const std::vector<RecordValue>& values);

// The framework's configuration record Device%03d under its service key.
bool AddConfigurationRecord(unsigned deviceNumber, const std::vector<RecordValue>& values);
// The framework's MapEntry value for a device number.
bool AddMapEntry(unsigned deviceNumber, uint32_t data);
// The framework's key with its (empty) map: a store without records.
[[nodiscard]] bool AddEmptyStore();
// A demo device's record: product 0, the board number, the driver's kernel key.
[[nodiscard]] bool AddDemoRecord(unsigned deviceNumber, unsigned board,
                                 const std::string& kernelKey = "TolDemoS");
// A pre-install record: value `name`, data `infFileName`.
bool AddPreinstallRecord(const std::string& name, const std::string& infFileName);

// The board device class as the maker documents it, and the class of system devices.
extern const char* const kBoardClass;   // {3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}
extern const char* const kSystemClass;  // {4d36e97d-e325-11ce-bfc1-08002be10318}

// A device node as the tree shows it: by default a present, working board of the board class
// without driver. Written in braces in this order: {instance, {ids}, presence, problem, ...};
// the location, driver key and flags are set on the value.
struct Board {
    Board(std::string id, std::vector<std::string> ids,
          sim::Presence presence_ = sim::Presence::Present, ULONG problem_ = 0,
          std::string cls = kBoardClass, std::string parent_ = "")
        : instanceId(std::move(id)),
          hardwareIds(std::move(ids)),
          presence(presence_),
          problem(problem_),
          classGuid(std::move(cls)),
          parent(std::move(parent_)) {}
    std::string instanceId;
    std::vector<std::string> hardwareIds;
    sim::Presence presence;
    ULONG problem;
    std::string classGuid;
    std::string parent;
    std::string location;
    std::string driver;  // the driver key below Control\Class, "" for none
    std::optional<DWORD> configFlags;
};

// Adds the board's node; null when the tree refuses it (an instance ID already there).
[[nodiscard]] sim::DeviceNode* AddBoard(const Board& board);
// A present board of the board class with one hardware ID at `location`, the bus and slot (or
// port, or board number) that a framework record names.
[[nodiscard]] sim::DeviceNode* AddBoardAt(const std::string& instanceId,
                                          const std::string& hardwareId,
                                          const std::string& location, ULONG problem = 0);
// A present demo board ROOT\DAQBOARD\<board as %04u> with hardware IDs `ids` and the location
// "%03u" that carries its board number; with `oemInf`, installed from that OEM INF copy (its
// driver key names the copy). Returns the instance ID, "" when a step fails.
[[nodiscard]] std::string AddDemoBoard(unsigned board, const std::string& oemInf = "",
                                       std::vector<std::string> ids = {"DEMO"});

// Writes a file of the machine (a Windows path such as C:\Windows\inf\oem3.inf), making its
// folders. False when a step fails.
[[nodiscard]] bool WriteMachineFile(const std::string& windowsPath, const std::string& content);
// An OEM INF copy C:\Windows\INF\<name>.
[[nodiscard]] bool AddOemInfCopy(const std::string& name, const std::string& content);
// A plug-and-play package of the board class for one hardware ID: its INF text, with the
// service `service` whose driver file is `sys`, at DriverVer `version`.
std::string BoardPackageInf(const std::string& hardwareId, const std::string& service,
                            const std::string& sys, const std::string& version);
// The package's INF at `infPath` and its driver file beside it.
[[nodiscard]] bool AddBoardPackage(const std::string& infPath, const std::string& hardwareId,
                                   const std::string& service, const std::string& sys,
                                   const std::string& version);

// Every call of `api` with the argument `arg` ("" for any) fails with `error` from now on
// (`nth` 0), or only the nth such call.
void FailCall(const char* api, const std::string& arg, DWORD error, unsigned nth = 0);

// What a test reads back.
bool FileExists(const std::string& windowsPath);
bool PreinstallRecordExists(const std::string& name);

extern const char* const kFrameworkServiceKey;   // SYSTEM\CurrentControlSet\Services\TOLVAN
extern const char* const kPreinstallServiceKey;  // SYSTEM\CurrentControlSet\Services\TOLVANPRE

}  // namespace tools
