// The Device Catalog: the built-in table of every board the maker supports, and its lookups.
//
// The table is constant and is read only by scanning: every lookup starts at row 0, walks the
// rows in order, stops at the end row and yields the first row that matches, or nullptr.
// Product IDs, model names and hardware IDs repeat across rows, so "first" is part of each
// lookup's meaning. A null text given to a lookup matches nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct CatalogEntry {
    uint32_t productId;           // as configuration records store it; 0 is the demo device
    const char* model;            // model name shown to users
    const char* infRelativePath;  // "<folder>\<file>.inf" below the folder of driver packages
    const char* hardwareId;       // matched against device nodes, INF files and records
    const char* userDll;          // user-mode library in the system folders
    const char* kernelDriver;     // kernel driver file (.sys)
    const char* kernelKey;        // driver family name, as records carry it in KernelKey
    const char* busType;          // "PCI", "PCIE", "USB", "ISA" or "DEMO"
};

// 150 rows (row 0 the demo device) followed by the end row.
extern const CatalogEntry kDeviceCatalog[];

constexpr std::size_t kCatalogRowCount = 150;
constexpr uint32_t kCatalogEndProductId = 0xFFFF;

// True for the end row: product ID 0xFFFF and no texts.
inline bool CatalogIsEndRow(const CatalogEntry& row) {
    return row.productId == kCatalogEndProductId || row.model == nullptr ||
           row.kernelKey == nullptr;
}

// First row whose hardware ID, upper-cased, contains the given text, upper-cased.
const CatalogEntry* CatalogFindByHardwareIdContaining(const char* hardwareIdPart);

// First row whose hardware ID equals the given one when both are upper-cased.
const CatalogEntry* CatalogFindByHardwareIdEqual(const char* hardwareId);

// First row whose hardware ID, as stored, begins the device's ID after upper-casing it.
const CatalogEntry* CatalogFindByDeviceHardwareIdPrefix(const char* deviceHardwareId);

// The same rule for the rows after `after` (a row of the table): the device list walk goes on
// past a matching row whose device turns out to be working.
const CatalogEntry* CatalogFindNextByDeviceHardwareIdPrefix(const char* deviceHardwareId,
                                                            const CatalogEntry* after);

// First row whose hardware ID, as stored (case-sensitive), equals the device's ID upper-cased.
const CatalogEntry* CatalogFindByDeviceHardwareIdEqualAsStored(const char* deviceHardwareId);

// First row whose kernel key, upper-cased, contains the given key, upper-cased.
const CatalogEntry* CatalogFindByKernelKey(const char* kernelKey);

// First row whose kernel key, upper-cased, contains the given key exactly as given.
const CatalogEntry* CatalogFindByKernelKeyUnconverted(const char* kernelKey);

// First row whose INF file name, upper-cased, occurs in the given path, upper-cased.
const CatalogEntry* CatalogFindByInfFileNameInPath(const char* infPath);

// First row whose INF relative path, upper-cased, contains the given name, upper-cased.
const CatalogEntry* CatalogFindByStoredInfFileName(const char* infFileName);

// First row with this product ID.
const CatalogEntry* CatalogFindByProductId(uint32_t productId);

// The INF file name of a row as stored: the part of its INF path after the backslash.
std::string_view CatalogInfFileName(const CatalogEntry& row);
