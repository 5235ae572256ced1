// Machine states for the setup tests, in the terms of boards: a board with these hardware IDs,
// present or remembered, working or with a problem; a library in a system folder; a fault.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "devices.h"
#include "file_system.h"
#include "machine.h"
#include "platform/win32.h"

namespace setup_test {

// The board device class as the maker documents it, and the class of system devices.
inline const char* const kBoardClass = "{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";
inline const char* const kSystemClass = "{4d36e97d-e325-11ce-bfc1-08002be10318}";

struct Board {
    Board(std::string id, std::vector<std::string> ids,
          sim::Presence presence_ = sim::Presence::Present, ULONG problem_ = 0,
          std::string cls = kBoardClass, std::string parent_ = "")
        : instanceId(std::move(id)),
          hardwareIds(std::move(ids)),
          presence(presence_),
          problem(problem_),
          classGuid(std::move(cls)),
          parent(std::move(parent_)) {}
    std::string instanceId;
    std::vector<std::string> hardwareIds;
    sim::Presence presence;
    ULONG problem;
    std::string classGuid;
    std::string parent;
};

inline sim::DeviceNode* AddBoard(const Board& board) {
    sim::DeviceSpec spec;
    spec.instanceId = board.instanceId;
    spec.parentId = board.parent;
    spec.presence = board.presence;
    spec.problem = board.problem;
    spec.hardwareIds = board.hardwareIds;
    spec.classGuid = board.classGuid;
    sim::DeviceNode* node = sim::AddDevice(spec);
    EXPECT_NE(node, nullptr) << board.instanceId;
    return node;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    const std::string folder = path.substr(0, path.rfind('\\'));
    ASSERT_EQ(sim::files::CreateDirectories(folder), 0u) << folder;
    ASSERT_EQ(sim::files::WriteWholeFile(path, bytes), 0u) << path;
}

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

// Every matching call fails with `error` (`nth` 0), or only the nth one.
inline void FailCall(const char* api, const std::string& arg, DWORD error, unsigned nth = 0) {
    sim::Faults().push_back({api, arg, nth, 0, error, 0});
}

class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }
};

}  // namespace setup_test
