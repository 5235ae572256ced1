// The configuration store: the one record scan, the value readers and the deletions.
#include "config/store.h"

#include <cstdio>
#include <cstring>

#include "catalog/numbers.h"

const char* const kConfigurationRootPath = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN";
const char* const kMapEntryKeyName = "MapEntry";

namespace {

// Subkey names are at most 255 characters; the scan's buffer has room to spare.
constexpr DWORD kKeyNameSize = MAX_PATH;
constexpr const char kRecordPrefix[] = "Device";
constexpr std::size_t kRecordPrefixLength = sizeof kRecordPrefix - 1;

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when `name` begins with `prefix`, letters compared without regard to case.
bool BeginsWithNoCase(const char* name, const char* prefix) {
    for (; *prefix != '\0'; ++name, ++prefix) {
        if (*name == '\0' || AsciiUpper(*name) != AsciiUpper(*prefix)) {
            return false;
        }
    }
    return true;
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
    if (name == nullptr || !BeginsWithNoCase(name, kRecordPrefix)) {
        return false;
    }
    // The digits must run to the end of the name.
    const std::string_view digits(name + kRecordPrefixLength);
    uint32_t number = 0;
    std::size_t length = 0;
    if (!LeadingDecimal(digits, number, length) || length != digits.size()) {
        return false;
    }
    deviceNumber = number;
    return true;
}

bool BeginsWithDe(const char* name) {
    return name != nullptr && BeginsWithNoCase(name, "De");
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

namespace {

enum class SubkeyOpening { EachSubkey, NamesOnly };

// The one walk over the root's subkeys. With EachSubkey the walk ends at a subkey that cannot
// be opened; with NamesOnly none is opened.
NameScanEnd ScanSubkeys(SubkeyOpening opening,
                        const std::function<RecordScanStep(ConfigurationRecord& record)>& visit) {
    platform::UniqueHKey root;
    if (!OpenConfigurationRoot(root)) {
        return NameScanEnd::NoRoot;
    }
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameSize] = {};
        const LSTATUS status = RegEnumKeyA(root.get(), index, name, kKeyNameSize);
        if (status != ERROR_SUCCESS) {
            if (status == ERROR_NO_MORE_ITEMS) {
                return NameScanEnd::Finished;
            }
            SetLastError(static_cast<DWORD>(status));
            return NameScanEnd::EnumerationFailed;
        }
        platform::UniqueHKey key;
        if (opening == SubkeyOpening::EachSubkey &&
            OpenRecord(root.get(), name, key) != ERROR_SUCCESS) {
            return NameScanEnd::Finished;
        }
        ConfigurationRecord record;
        record.root = root.get();
        record.owner = std::move(key);
        record.key = record.owner.get();
        record.name = name;
        record.numbered = ParseConfigurationKeyName(name, record.deviceNumber);
        const RecordScanStep step = visit(record);
        // The subkey after a deleted one moves into its index; only a key that is really
        // gone may be stepped over again, or a record that resists deletion loops for ever.
        if (record.deleted) {
            --index;
        }
        if (step == RecordScanStep::Stop) {
            return NameScanEnd::Finished;
        }
    }
}

}  // namespace

uint32_t ForEachConfigurationRecord(
    const std::function<RecordScanStep(ConfigurationRecord& record)>& visit) {
    return ScanSubkeys(SubkeyOpening::EachSubkey, visit) == NameScanEnd::NoRoot ? kResultNotFound
                                                                                : 0;
}

NameScanEnd ForEachConfigurationName(
    const std::function<RecordScanStep(ConfigurationRecord& record)>& visit) {
    return ScanSubkeys(SubkeyOpening::NamesOnly, visit);
}

bool DeleteVisitedRecord(ConfigurationRecord& record) {
    record.owner.reset();
    record.key = nullptr;
    const LSTATUS status = RegDeleteKeyA(record.root, record.name);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    record.deleted = true;
    return true;
}

bool DeleteRecordAndMapEntry(ConfigurationRecord& record) {
    if (!DeleteVisitedRecord(record)) {
        return false;
    }
    if (record.numbered) {
        DeleteMapEntry(record.deviceNumber);
    }
    return true;
}

LSTATUS OpenRecord(HKEY root, const char* name, platform::UniqueHKey& record) {
    return RegOpenKeyExA(root, name, 0, KEY_ALL_ACCESS, record.put());
}

LSTATUS OpenRecord(HKEY root, uint32_t deviceNumber, platform::UniqueHKey& record) {
    return OpenRecord(root, ConfigurationKeyName(deviceNumber).c_str(), record);
}

bool ReadRecordNumber(HKEY record, const char* valueName, uint32_t& value, LSTATUS* status) {
    unsigned char bytes[kRecordNumberWidth] = {};
    DWORD size = sizeof bytes;
    const LSTATUS read = RegQueryValueExA(record, valueName, nullptr, nullptr, bytes, &size);
    if (status != nullptr) {
        *status = read;
    }
    if (read != ERROR_SUCCESS) {
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
        return kResultNotFound;
    }
    platform::UniqueHKey record;
    if (OpenRecord(root.get(), deviceNumber, record) == ERROR_SUCCESS) {
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

bool DeleteConfigurationKey(uint32_t deviceNumber, MapEntry mapEntry) {
    bool gone = true;
    const NameScanEnd end = ForEachConfigurationName([&](ConfigurationRecord& record) {
        if (!record.numbered || record.deviceNumber != deviceNumber) {
            return RecordScanStep::Continue;
        }
        gone = DeleteVisitedRecord(record);
        return RecordScanStep::Stop;
    });
    if (!gone || end != NameScanEnd::Finished) {
        return false;
    }
    if (mapEntry == MapEntry::DeleteWithRecord) {
        DeleteMapEntry(deviceNumber);
    }
    return true;
}

void SweepAliasRecords() {
    ForEachConfigurationRecord([](ConfigurationRecord& record) {
        if (!BeginsWithDe(record.name)) {
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
