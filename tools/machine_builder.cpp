#include "machine_builder.h"

#include <cstdio>

#include "platform/win32.h"

namespace tools {

const char* const kFrameworkServiceKey = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN";
const char* const kPreinstallServiceKey = "SYSTEM\\CurrentControlSet\\Services\\TOLVANPRE";

RecordValue DwordValue(const std::string& name, uint32_t value) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                  static_cast<uint8_t>(value >> 16),
                                  static_cast<uint8_t>(value >> 24)};
    return {name, REG_DWORD, bytes};
}

RecordValue StringValue(const std::string& name, const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return {name, REG_SZ, bytes};
}

bool WriteKey(const std::string& keyPath, const std::vector<RecordValue>& values) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    for (const RecordValue& value : values) {
        ok = ok && RegSetValueExA(key, value.name.c_str(), 0, value.type, value.bytes.data(),
                                  static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

bool AddConfigurationRecord(unsigned deviceNumber, const std::vector<RecordValue>& values) {
    char name[32];
    std::snprintf(name, sizeof name, "\\Device%03u", deviceNumber);
    return WriteKey(std::string(kFrameworkServiceKey) + name, values);
}

bool AddMapEntry(unsigned deviceNumber, uint32_t data) {
    return WriteKey(std::string(kFrameworkServiceKey) + "\\MapEntry",
                    {DwordValue(std::to_string(deviceNumber), data)});
}

bool AddPreinstallRecord(const std::string& name, const std::string& infFileName) {
    return WriteKey(kPreinstallServiceKey, {StringValue(name, infFileName)});
}

bool WriteMachineFile(const std::string& windowsPath, const std::string& content) {
    HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

}  // namespace tools
