// The file part of a collection: the OEM INF copies (inf\), and under drive_c\ at their paths
// below the system drive's root, the driver-store package folders of the maker's packages and
// the maker's libraries and drivers in System32 and System32\drivers.
#pragma once
#include <cstddef>
#include <string>

#include "output.h"

namespace collect {

struct FileCounts {
    size_t infCopies = 0;
    size_t packages = 0;
    size_t files = 0;  // package and system files
    unsigned long long bytes = 0;
};

FileCounts CopyFiles(Output& out);

// The Windows folder and the system folder, as GetWindowsDirectoryW/GetSystemDirectoryW give
// them; throws CollectError when they cannot be read.
std::wstring WindowsFolder();
std::wstring SystemFolder();

}  // namespace collect
