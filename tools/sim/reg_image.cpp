#include "reg_image.h"

#include <fstream>
#include <sstream>

#include "machine.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace tools {

bool ImportRegFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream bytes;
    bytes << in.rdbuf();
    sim::RegFileResult result = sim::ImportRegFile(bytes.str());
    if (!result.ok) {
        error = path + ":" + std::to_string(result.line) + ": " + result.message;
        return false;
    }
    sim::MarkDirty("registry");
    return true;
}

bool ExportRegFile(const std::string& path, const std::string& keyPath, std::string& error) {
    const size_t slash = keyPath.find('\\');
    const std::string rootName = keyPath.substr(0, slash);
    sim::RegKey* root = sim::MachineRoot(rootName);
    sim::RegKey* key = root;
    if (root != nullptr && slash != std::string::npos) {
        key = sim::FindKey(*root, keyPath.substr(slash + 1));
    }
    if (key == nullptr) {
        error = "no key " + keyPath;
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << sim::ExportRegFile(*key, keyPath);
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace tools
