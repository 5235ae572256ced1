// .reg files in and out of the machine's registry (boardkit-sim reg import / export).
#pragma once
#include <string>

namespace tools {
bool ImportRegFile(const std::string& path, std::string& error);
bool ExportRegFile(const std::string& path, const std::string& keyPath, std::string& error);
}  // namespace tools
