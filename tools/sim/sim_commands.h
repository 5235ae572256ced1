// The commands of boardkit-sim that work on one area of the machine.
#pragma once
#include <string>
#include <vector>

namespace tools {
// `reg import FILE` and `reg export FILE [KEY]`; returns the exit code.
int RegCommand(const std::vector<std::string>& args);
// Prints the area `what` ("registry", "files", or "all" for every area); false if unknown.
bool ShowAreas(const std::string& what);
}  // namespace tools
