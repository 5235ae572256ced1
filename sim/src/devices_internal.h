// What the device tree's own files share.
#pragma once
#include <nlohmann/json.hpp>

#include "devices.h"

namespace sim {

void ChangedDevices();
void ChangedRegistry();

// Writes the node description's non-empty properties as the Enum key's values.
void WriteSpecToKey(RegKey& key, const DeviceSpec& spec);
nlohmann::json SpecToJson(const DeviceSpec& spec);
DeviceSpec SpecFromJson(const nlohmann::json& j);

// Makes a node present as an arrival does: its pending properties are remembered, and a
// node that needs a driver goes to the device installer.
void Arrive(DeviceNode& node);
// Gives the hardware that the buses below `from` report again (removed nodes still plugged in)
// its nodes back, as arriving nodes.
void ReportAgain(DeviceNode& from);

}  // namespace sim
