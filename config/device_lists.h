// The three device lists: catalog rows written to a text file, one "%d,%s,%s,%s,%s,%s" line
// each, CR LF ended. The exported operations are declared in boardkit/operations.h.
#pragma once
#include <string>
#include <vector>

#include "catalog/catalog.h"

using DeviceList = std::vector<const CatalogEntry*>;

// The line of one row, without its line end.
std::string DeviceListLine(const CatalogEntry& row);

// Appends the first catalog row of each pre-installed package, each row at most once.
void AppendPreinstalledRows(DeviceList& list);

// Creates or truncates the file and writes the list. False (the error in GetLastError) when
// the file cannot be created or written; a half-written file is removed.
bool WriteDeviceList(const char* path, const DeviceList& list);
