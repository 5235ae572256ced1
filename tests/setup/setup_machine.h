// What the setup tests add to the machine builder's vocabulary: a fresh empty machine for each
// test, a file read back, a hardware-ID list too long for the 4096 bytes it is read into, and
// where in the journal a call was made.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "choke.h"
#include "devices.h"
#include "file_system.h"
#include "machine.h"
#include "platform/win32.h"
#include "tools/machine_builder.h"

namespace setup_test {

inline std::string ReadFile(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(sim::files::ReadWholeFile(path, bytes)) << path;
    return bytes;
}

// A hardware-ID list that begins with `first` and takes more than 4096 bytes with its
// terminators.
inline std::vector<std::string> ListPast4096Bytes(const std::string& first) {
    std::vector<std::string> ids{first};
    std::size_t bytes = first.size() + 2;
    for (int i = 0; bytes <= 4096; ++i) {
        ids.push_back("ROOT\\FILLER_ID_" + std::to_string(1000 + i));
        bytes += ids.back().size() + 1;
    }
    return ids;
}

// Index of the first journal line containing all the parts; -1 if none.
inline int FirstLine(const std::vector<std::string>& parts) {
    const std::vector<std::string>& lines = sim::JournalLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        bool all = true;
        for (const std::string& part : parts) {
            all = all && lines[i].find(part) != std::string::npos;
        }
        if (all) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }
};

}  // namespace setup_test
