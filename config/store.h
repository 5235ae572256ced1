// The framework's configuration store: one record per board instance below the framework's
// service key, plus the MapEntry subkey of per-number values. This program never creates a
// record or writes a record value; it reads records, finds the device a record describes, and
// deletes records and map entries. Every scan over the records goes through
// ForEachConfigurationRecord, so the rules of enumeration, step-back and numbering hold once.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "boardkit/operations.h"
#include "catalog/results.h"
#include "platform/unique.h"
#include "platform/win32.h"

// The store root and its map subkey, below HKEY_LOCAL_MACHINE.
extern const char* const kConfigurationRootPath;
extern const char* const kMapEntryKeyName;

// Widths in which record values are read; a longer value counts as unreadable.
constexpr DWORD kRecordNumberWidth = 4;
constexpr DWORD kKernelKeyWidth = 64;

// "Device%03d" of the number ("Device007", "Device1000").
std::string ConfigurationKeyName(uint32_t deviceNumber);

// Reads the device number from a subkey name of the form "Device" followed by one or more
// decimal digits; false for any other name or a number above 32 bits. Record names are
// registry names, which Windows compares without regard to letter case: "device007" is
// Device007.
bool ParseConfigurationKeyName(const char* name, uint32_t& deviceNumber);

// True for a subkey name that begins with "De" in any letter case, the names that the demo
// board numbers, the alias sweep and the demo uninstall look at.
bool BeginsWithDe(const char* name);

// Opens the store root with KEY_ALL_ACCESS; false (and the error left in GetLastError) when
// it cannot be opened.
bool OpenConfigurationRoot(platform::UniqueHKey& root);

// The subkey that a scan stands on.
struct ConfigurationRecord {
    HKEY root = nullptr;         // the open store root
    platform::UniqueHKey owner;  // owns `key` while the record is visited
    HKEY key = nullptr;          // the open subkey (KEY_ALL_ACCESS); null once deleted
    const char* name = nullptr;  // the subkey's name as enumerated
    bool numbered = false;       // the name is "Device" + digits
    uint32_t deviceNumber = 0;   // meaningful only when numbered
    bool deleted = false;        // set by DeleteVisitedRecord when the subkey is gone
};

enum class RecordScanStep { Continue, Stop };

// Visits every subkey of the store root in enumeration order, each opened with
// KEY_ALL_ACCESS. The scan ends at the first enumeration error (normally the end) or at a
// subkey that cannot be opened; after a visit that deleted its subkey (DeleteVisitedRecord
// succeeded) the same index is visited again, so the next subkey is not skipped. Returns 0, or
// kResultNotFound when the root cannot be opened (nothing is visited).
uint32_t ForEachConfigurationRecord(
    const std::function<RecordScanStep(ConfigurationRecord& record)>& visit);

// How a scan of the subkey names ended.
enum class NameScanEnd {
    Finished,           // the enumeration reached its end, or the visitor stopped it
    NoRoot,             // the store root cannot be opened (the error in GetLastError)
    EnumerationFailed,  // the enumeration failed otherwise (the error in GetLastError)
};

// Visits the names of the root's subkeys in enumeration order without opening any (`key` is
// null), so a subkey that cannot be opened never ends the scan; the visitor opens what it
// needs below `root`. Deletion and step-back work as in ForEachConfigurationRecord.
NameScanEnd ForEachConfigurationName(
    const std::function<RecordScanStep(ConfigurationRecord& record)>& visit);

// Closes the visited subkey and deletes it with RegDeleteKeyA. True and record.deleted set
// when it is gone; false (the error in GetLastError) when it could not be deleted.
bool DeleteVisitedRecord(ConfigurationRecord& record);

// Deletes the visited record and then, when its name carries a device number, that number's
// map entry. A record that stays (it has subkeys, or access is denied) keeps its map entry, so
// the framework's two halves never disagree. True when the record is gone.
bool DeleteRecordAndMapEntry(ConfigurationRecord& record);

// Opens the subkey `name` (or "Device%03d" of the number) below the open store root with
// KEY_ALL_ACCESS, as every reader and deleter of records does; the registry's answer.
LSTATUS OpenRecord(HKEY root, const char* name, platform::UniqueHKey& record);
LSTATUS OpenRecord(HKEY root, uint32_t deviceNumber, platform::UniqueHKey& record);

// Record value readers: true only when the value was read and fits. A value that is missing,
// unreadable or wider than its buffer leaves the output as it was; `status` (when given)
// receives the registry's answer, ERROR_FILE_NOT_FOUND for a missing value.
bool ReadRecordNumber(HKEY record, const char* valueName, uint32_t& value,
                      LSTATUS* status = nullptr);
// Reads a text value into `text` (`capacity` bytes, terminator included). A value without a
// terminator is ended inside the buffer; one that fills the buffer without a terminator is
// longer than the buffer allows and counts as unreadable.
bool ReadRecordText(HKEY record, const char* valueName, char* text, DWORD capacity);

// Finds the present device that record `deviceNumber` describes. 0 with `set` holding the
// device list and `device` the device's data; 0 with `set` empty when the record has no
// readable ProductID or no catalog row has it; kResultNotFound when the device list cannot be
// built or no present device matches.
uint32_t FindConfiguredDevice(uint32_t deviceNumber, platform::UniqueDevInfo& set,
                              SP_DEVINFO_DATA& device);

// Deletes the MapEntry value named by the number in plain decimal; a missing value, map key or
// root is no error.
void DeleteMapEntry(uint32_t deviceNumber);

// Whether a record's deletion takes the number's map entry with it.
enum class MapEntry { Keep, DeleteWithRecord };

// Deletes the first subkey whose name carries the device number (ParseConfigurationKeyName),
// looking at names only. True when no such subkey is left: it was deleted, or the whole
// enumeration found none; false when it resists deletion or the names cannot be enumerated.
// With DeleteWithRecord the number's map entry goes too, only when the result is true.
bool DeleteConfigurationKey(uint32_t deviceNumber, MapEntry mapEntry = MapEntry::Keep);

// Deletes every record whose name begins with "De" (BeginsWithDe) and that carries an Alias value
// of at most four bytes. A record that cannot be deleted is passed over, so the sweep always ends.
void SweepAliasRecords();
