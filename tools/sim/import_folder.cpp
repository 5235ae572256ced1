// The folder boardkit-collect writes on a customer's machine, taken as it is: registry.reg,
// devices.json, the OEM INF copies in inf\ and, in drive_c\, the driver-store packages and
// system files at their paths below the system drive's root.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "file_system.h"
#include "import.h"

namespace fs = std::filesystem;

namespace tools {
namespace {

constexpr char kRegistryFile[] = "registry.reg";
constexpr char kDevicesFile[] = "devices.json";
constexpr char kInfFolder[] = "inf";
constexpr char kDriveFolder[] = "drive_c";

}  // namespace

std::string ReadCollectedFolder(const std::string& folder, ImportRequest& request) {
    const fs::path root(folder);
    std::error_code ec;
    if (!fs::is_regular_file(root / kRegistryFile, ec)) {
        return (root / kRegistryFile).string() +
               ": missing; a collected folder holds the registry.reg that boardkit-collect "
               "writes";
    }
    request.regFiles = {(root / kRegistryFile).string()};
    if (fs::is_regular_file(root / kDevicesFile, ec)) {
        request.presenceFile = (root / kDevicesFile).string();
    }
    if (fs::is_directory(root / kInfFolder, ec)) {
        request.infFolder = (root / kInfFolder).string();
    }
    if (fs::is_directory(root / kDriveFolder, ec)) {
        request.driveFolder = (root / kDriveFolder).string();
    }
    return "";
}

std::string CopyDriveFiles(const std::string& driveFolder, size_t& files) {
    std::error_code ec;
    fs::recursive_directory_iterator it(driveFolder, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path relative = it->path().lexically_relative(driveFolder);
        std::string target = "C:";
        for (const fs::path& part : relative) {
            target += "\\" + part.string();
        }
        DWORD error = 0;
        if (it->is_directory(ec)) {
            error = sim::files::CreateDirectories(target);
        } else if (it->is_regular_file(ec)) {
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            if (!in) {
                return it->path().string() + ": cannot be read";
            }
            error = sim::files::WriteWholeFile(target, bytes.str());
            ++files;
        } else {
            return it->path().string() + ": neither a file nor a folder";
        }
        if (error != 0) {
            return it->path().string() + ": cannot be placed at " + target + " (error " +
                   std::to_string(error) + ")";
        }
    }
    if (ec) {
        return driveFolder + ": cannot be listed: " + ec.message();
    }
    return "";
}

}  // namespace tools
