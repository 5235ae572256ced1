// The configuration store: the one record scan, the value readers and the deletions.
#include "config/store.h"

#include <cstdio>
#include <cstring>

const char* const kConfigurationRootPath = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN";
const char* const kMapEntryKeyName = "MapEntry";

namespace {

// Subkey names are at most 255 characters; the scan's buffer has room to spare.
constexpr DWORD kKeyNameSize = MAX_PATH;
constexpr const char kRecordPrefix[] = "Device";
constexpr std::size_t kRecordPrefixLength = sizeof kRecordPrefix - 1;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string DecimalText(uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    return text;
}

// Reads a value as raw bytes; the registry type is never looked at.
bool ReadRawValue(HKEY key, const char* valueName, void* buffer, DWORD capacity, DWORD& size) {
    size = capacity;
    return RegQueryValueExA(key, valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &size) ==
           ERROR_SUCCESS;
}

}  // namespace

std::string ConfigurationKeyName(uint32_t deviceNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%03lu", kRecordPrefix,
                  static_cast<unsigned long>(deviceNumber));
    return name;
}

bool ParseConfigurationKeyName(const char* name, uint32_t& deviceNumber) {
    if (name == nullptr || std::strncmp(name, kRecordPrefix, kRecordPrefixLength) != 0) {
        return false;
    }
    const char* digits = name + kRecordPrefixLength;
    if (*digits == '\0') {
        return false;
    }
    uint64_t number = 0;
    for (const char* c = digits; *c != '\0'; ++c) {
        if (!IsDigit(*c)) {
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(*c - '0');
        if (number > 0xFFFFFFFFull) {
            return false;
        }
    }
    deviceNumber = static_cast<uint32_t>(number);
    return true;
}

bool OpenConfigurationRoot(platform::UniqueHKey& root) {
    const LSTATUS status =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfigurationRootPath, 0, KEY_ALL_ACCESS, root.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

uint32_t ForEachConfigurationRecord(
    const std::function<RecordScanStep(ConfigurationRecord& record)>& visit) {
    platform::UniqueHKey root;
    if (!OpenConfigurationRoot(root)) {
        return kStoreNotFound;
    }
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameSize] = {};
        if (RegEnumKeyA(root.get(), index, name, kKeyNameSize) != ERROR_SUCCESS) {
            break;
        }
        platform::UniqueHKey key;
        if (RegOpenKeyExA(root.get(), name, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
            break;
        }
        ConfigurationRecord record;
        record.root = root.get();
        record.key = key.release();
        record.name = name;
        record.numbered = ParseConfigurationKeyName(name, record.deviceNumber);
        const RecordScanStep step = visit(record);
        platform::UniqueHKey left(record.key);
        // The subkey after a deleted one moves into its index; only a key that is really
        // gone may be stepped over again, or a record that resists deletion loops for ever.
        if (record.deleted) {
            --index;
        }
        if (step == RecordScanStep::Stop) {
            break;
        }
    }
    return 0;
}

bool DeleteVisitedRecord(ConfigurationRecord& record) {
    if (record.key != nullptr) {
        RegCloseKey(record.key);
        record.key = nullptr;
    }
    const LSTATUS status = RegDeleteKeyA(record.root, record.name);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    record.deleted = true;
    return true;
}

bool ReadRecordNumber(HKEY record, const char* valueName, uint32_t& value) {
    unsigned char bytes[kRecordNumberWidth] = {};
    DWORD size = 0;
    if (!ReadRawValue(record, valueName, bytes, sizeof bytes, size)) {
        return false;
    }
    // A shorter value fills the low bytes, as a read into a zeroed 32-bit variable does.
    uint32_t number = 0;
    for (DWORD i = 0; i < size && i < kRecordNumberWidth; ++i) {
        number |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    }
    value = number;
    return true;
}

bool ReadRecordText(HKEY record, const char* valueName, char* text, DWORD capacity) {
    if (text == nullptr || capacity == 0) {
        return false;
    }
    std::string bytes(capacity, '\0');
    DWORD size = 0;
    if (!ReadRawValue(record, valueName, &bytes[0], capacity, size)) {
        return false;
    }
    const std::size_t end = bytes.find('\0');
    const std::size_t length = end < size ? end : size;
    if (length >= capacity) {
        return false;
    }
    std::memcpy(text, bytes.data(), length);
    text[length] = '\0';
    return true;
}

uint32_t GetConfigurationItem(uint32_t deviceNumber, char* valueName, uint32_t bufferSize,
                              unsigned char* buffer) BOARDKIT_NOEXCEPT {
    platform::UniqueHKey root;
    if (!OpenConfigurationRoot(root)) {
        return kStoreNotFound;
    }
    platform::UniqueHKey record;
    if (RegOpenKeyExA(root.get(), ConfigurationKeyName(deviceNumber).c_str(), 0, KEY_ALL_ACCESS,
                      record.put()) == ERROR_SUCCESS) {
        DWORD size = bufferSize;
        RegQueryValueExA(record.get(), valueName, nullptr, nullptr, buffer, &size);
    }
    return 0;
}

void DeleteMapEntry(uint32_t deviceNumber) {
    platform::UniqueHKey root;
    if (!OpenConfigurationRoot(root)) {
        return;
    }
    platform::UniqueHKey map;
    if (RegOpenKeyExA(root.get(), kMapEntryKeyName, 0, KEY_ALL_ACCESS, map.put()) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(map.get(), DecimalText(deviceNumber).c_str());
    }
}

void DeleteConfigurationKey(uint32_t deviceNumber) {
    const std::string wanted = ConfigurationKeyName(deviceNumber);
    // The registry finds keys without regard to case; this deletion must not.
    ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        if (std::strcmp(record.name, wanted.c_str()) != 0) {
            return RecordScanStep::Continue;
        }
        DeleteVisitedRecord(record);
        return RecordScanStep::Stop;
    });
}

void SweepAliasRecords() {
    ForEachConfigurationRecord([](ConfigurationRecord& record) {
        if (std::strncmp(record.name, "De", 2) != 0) {
            return RecordScanStep::Continue;
        }
        unsigned char alias[kRecordNumberWidth] = {};
        DWORD size = 0;
        if (ReadRawValue(record.key, "Alias", alias, sizeof alias, size)) {
            DeleteVisitedRecord(record);
        }
        return RecordScanStep::Continue;
    });
}
