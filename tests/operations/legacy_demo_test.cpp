// The demo device install on a real SetupAPI: the same checks run on the simulated machine and
// under Wine, whose SetupAPI and newdev create, register and install root nodes as well.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "legacy/device_node.h"
#include "platform/win32.h"

namespace {

const char kRecordKey[] = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\Device990";
const GUID kBoardClass = {
    0x3D5A1C7E, 0x94B2, 0x4F08, {0xA6, 0xC3, 0x1E, 0x7D, 0x2B, 0x9F, 0x50, 0x48}};

std::string Fixture(const char* name) {
    std::ifstream in(std::string(BK_SOURCE_DIR) + "/tests/fixtures/inf/demo/" + name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << name;
    return text.str();
}

void WriteMachineFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

void SetRecord(DWORD productId, DWORD boardId) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "ProductID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&productId), 4);
    RegSetValueExA(key, "BoardID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&boardId), 4);
    RegCloseKey(key);
}

// Removes the demo nodes with this location, so the shared machine is left as it was.
void RemoveDemoNodes(const std::string& wanted) {
    HDEVINFO set = SetupDiGetClassDevsA(&kBoardClass, "ROOT", nullptr, 0);
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char location[16] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_LOCATION_INFORMATION, nullptr,
                                              reinterpret_cast<BYTE*>(location),
                                              sizeof location - 1, nullptr) &&
            wanted == location) {
            SetupDiRemoveDevice(set, &data);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

// The locations of the present or registered nodes whose hardware ID list starts with DEMO.
std::vector<std::string> DemoLocations() {
    std::vector<std::string> locations;
    HDEVINFO set = SetupDiGetClassDevsA(&kBoardClass, "ROOT", nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) {
        return locations;
    }
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char ids[64] = {};
        char location[16] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(ids), sizeof ids - 2,
                                              nullptr) &&
            std::string(ids) == "DEMO") {
            SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_LOCATION_INFORMATION, nullptr,
                                              reinterpret_cast<BYTE*>(location),
                                              sizeof location - 1, nullptr);
            locations.push_back(location);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return locations;
}

class LegacyDemo : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateDirectoryA("C:\\bkdemo", nullptr);
        WriteMachineFile(inf_, Fixture("TolDemoS.inf"));
        WriteMachineFile("C:\\bkdemo\\TolDemoS.sys", Fixture("TolDemoS.sys"));
    }
    void TearDown() override {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRecordKey);
        DeleteFileA("C:\\bkdemo\\TolDemoS.sys");
        DeleteFileA(inf_.c_str());
        RemoveDirectoryA("C:\\bkdemo");
    }
    std::string inf_ = "C:\\bkdemo\\TolDemoS.inf";
};

TEST_F(LegacyDemo, TheNextDemoDeviceGetsTheNumberAfterTheRecordsOrLeavesNoNode) {
    // Board number 0 is held by a demo record, so the new node's number is 1.
    SetRecord(0, 0);
    const size_t before = DemoLocations().size();
    testing::internal::CaptureStdout();
    const uint32_t result = InstallDemoDevice(&inf_[0]);
    testing::internal::GetCapturedStdout();
    const std::vector<std::string> after = DemoLocations();
    EXPECT_EQ(result, 0u);
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(after.back(), "001");
    RemoveDemoNodes("001");
}

TEST_F(LegacyDemo, ADemoRecordWithoutBoardIdIsRefusedBeforeANodeIsMade) {
    // A demo record without BoardID before any with one: no number can be given.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD zero = 0;
    RegSetValueExA(key, "ProductID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
    RegCloseKey(key);
    const size_t before = DemoLocations().size();
    EXPECT_EQ(InstallDemoDevice(&inf_[0]), 0xE0000017u);
    EXPECT_EQ(DemoLocations().size(), before);
}

}  // namespace
