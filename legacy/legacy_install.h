// Installing legacy boards on hand-built nodes and refreshing their drivers. The exported
// operations (InstallIsaDevice, InstallIsaDeviceEx, InstallIsaDevicePnp, UpdateIsaDriver) are
// declared in boardkit/operations.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "catalog/catalog.h"

// The update list holds this many catalog rows at most.
constexpr std::size_t kIsaUpdateListSize = 16;

// The number of I/O ports the board of this hardware ID decodes (exact, case-sensitive); 16
// for a board the range table does not name.
uint32_t GetIsaRangeLength(const char* hardwareId);

// Collects into `rows` the distinct catalog rows whose hardware ID equals the upper-cased first
// hardware ID of a present device that contains `hardwareIdText` (as given). At most
// kIsaUpdateListSize rows; further distinct rows are left out. Returns the count written.
std::size_t CollectIsaCatalogRows(CatalogEntry (&rows)[kIsaUpdateListSize],
                                  const char* hardwareIdText);
