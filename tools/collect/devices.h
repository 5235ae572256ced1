// The device part of a collection: every device instance Windows knows, attached or not, with
// its problem, as devices.json in the shape of Get-PnpDevice's JSON (InstanceId, Present,
// Problem) that the import reads.
#pragma once
#include <cstddef>
#include <string>

#include "output.h"

namespace collect {

struct DeviceCounts {
    size_t devices = 0;
    size_t present = 0;
};

DeviceCounts WriteDevices(Output& out, const std::wstring& fileName);

// `text` as a JSON string, quotes included (UTF-8; quote, backslash and control characters
// escaped).
std::string JsonString(const std::wstring& text);

}  // namespace collect
