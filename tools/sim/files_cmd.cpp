// boardkit-sim's file commands: put a file on the machine's drive, either of given text (so
// that a case can carry a small driver package as data) or copied byte for byte from the host
// (a driver, a library, a catalog file).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file_system.h"
#include "sim_commands.h"

namespace tools {
namespace {

int FileUsage() {
    std::fprintf(stderr,
                 "usage: boardkit-sim file write C:\\PATH TEXT\n"
                 "       boardkit-sim file copy HOSTFILE C:\\PATH\n");
    return 2;
}

bool IsDrivePath(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && path.find('\\') != std::string::npos;
}

// Writes the bytes at `path` on drive C:, making the folders above it.
int PutFile(const std::string& path, const std::string& bytes) {
    DWORD error = sim::files::CreateDirectories(path.substr(0, path.rfind('\\')));
    if (error == 0) {
        error = sim::files::WriteWholeFile(path, bytes);
    }
    if (error != 0) {
        std::fprintf(stderr, "boardkit-sim: %s cannot be written (error %lu)\n", path.c_str(),
                     static_cast<unsigned long>(error));
        return 1;
    }
    return 0;
}

int Copy(const std::string& hostFile, std::string target) {
    std::ifstream in(hostFile, std::ios::binary);
    std::ostringstream bytes;
    if (in) {
        bytes << in.rdbuf();
    }
    std::error_code ec;
    if (!in || std::filesystem::is_directory(hostFile, ec)) {
        std::fprintf(stderr, "boardkit-sim: %s cannot be read\n", hostFile.c_str());
        return 1;
    }
    // As copy does: a folder as the target receives the file under its own name.
    if (target.back() == '\\' || sim::files::IsDirectory(target)) {
        const size_t slash = hostFile.find_last_of('/');
        target += (target.back() == '\\' ? "" : "\\") + hostFile.substr(slash + 1);
    }
    return PutFile(target, bytes.str());
}

}  // namespace

int FileCommand(const std::vector<std::string>& args) {
    if (args.size() != 3 || (args[0] != "write" && args[0] != "copy")) {
        return FileUsage();
    }
    const std::string& path = args[0] == "write" ? args[1] : args[2];
    if (!IsDrivePath(path)) {
        std::fprintf(stderr, "boardkit-sim: %s is no full path on drive C:\n", path.c_str());
        return 1;
    }
    return args[0] == "write" ? PutFile(path, args[2]) : Copy(args[1], path);
}

}  // namespace tools
