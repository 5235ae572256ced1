// What the uninstall tests add to the machine builder's vocabulary: demo records with their map
// entries, and the journal lines that show what a removal did and in which order.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "config/config_machine.h"

namespace uninstall_test {

using config_test::KeyExists;
using config_test::MapValueExists;
using setup_test::FirstLine;
using tools::DwordValue;
using tools::StringValue;

// A demo record with its map entry.
inline void DemoRecord(unsigned number, unsigned board, unsigned product = 0,
                       const std::string& kernelKey = "TolDemoS") {
    config_test::Record(number, {DwordValue("ProductID", product), DwordValue("BoardID", board),
                                 StringValue("KernelKey", kernelKey)});
    config_test::MapValue(number);
}

inline bool DeviceThere(const std::string& id) {
    return sim::FindDevice(id) != nullptr;
}

// The journal lines of this test that name one of the calls, with their arguments.
inline std::vector<std::string> Effects(const std::vector<std::string>& calls) {
    std::vector<std::string> lines;
    for (const std::string& line : sim::JournalLines()) {
        for (const std::string& call : calls) {
            if (line.find(call) != std::string::npos) {
                lines.push_back(line);
                break;
            }
        }
    }
    return lines;
}

}  // namespace uninstall_test
