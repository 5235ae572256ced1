// Builds machine state in the maker's own terms ("a demo record with board number 3"), through
// the same Win32 calls the program uses, so a machine made here is one the program can meet.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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
// A pre-install record: value `name`, data `infFileName`.
bool AddPreinstallRecord(const std::string& name, const std::string& infFileName);

// Writes a file of the machine (a Windows path such as C:\Windows\inf\oem3.inf).
bool WriteMachineFile(const std::string& windowsPath, const std::string& content);

extern const char* const kFrameworkServiceKey;   // SYSTEM\CurrentControlSet\Services\TOLVAN
extern const char* const kPreinstallServiceKey;  // SYSTEM\CurrentControlSet\Services\TOLVANPRE

}  // namespace tools
