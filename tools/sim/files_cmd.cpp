// boardkit-sim's file commands: put a file of given text on the machine's drive, so that a
// case can carry a small driver package or a board's library as data.
#include <cstdio>
#include <string>
#include <vector>

#include "file_system.h"
#include "sim_commands.h"

namespace tools {

int FileCommand(const std::vector<std::string>& args) {
    if (args.size() != 3 || args[0] != "write") {
        std::fprintf(stderr, "usage: boardkit-sim file write C:\\PATH TEXT\n");
        return 2;
    }
    const std::string& path = args[1];
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos || path.size() < 3 || path[1] != ':') {
        std::fprintf(stderr, "boardkit-sim: %s is no full path on drive C:\n", path.c_str());
        return 1;
    }
    DWORD error = sim::files::CreateDirectories(path.substr(0, slash));
    if (error == 0) {
        error = sim::files::WriteWholeFile(path, args[2]);
    }
    if (error != 0) {
        std::fprintf(stderr, "boardkit-sim: %s cannot be written (error %lu)\n", path.c_str(),
                     static_cast<unsigned long>(error));
        return 1;
    }
    return 0;
}

}  // namespace tools
