// Making and removing a root-enumerated device node through SetupAPI, checked the same way on
// the simulated machine and on Wine, which implements this part of the device installer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

const DWORD kSentinel = 0xdeadbeef;
// A class of our own, so that no device of the machine running the test is touched.
const GUID kTestClass = {
    0x6b1f0a52, 0x4c3e, 0x4d1a, {0x9e, 0x27, 0x51, 0x0c, 0x8a, 0x3d, 0x77, 0x19}};
const char kHardwareIds[] = "ROOT\\BOARDKITCONTRACT\0";  // with the literal's NUL: REG_MULTI_SZ

// The instance IDs of the devices of the test class that a set lists.
std::vector<std::string> ListedIds(DWORD flags) {
    std::vector<std::string> ids;
    HDEVINFO set = SetupDiGetClassDevsA(&kTestClass, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "SetupDiGetClassDevsA failed with " << GetLastError();
        return ids;
    }
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char id[MAX_DEVICE_ID_LEN];
        if (SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr)) {
            ids.push_back(id);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

// Removes every device of the test class, so each test starts from none.
void RemoveTestDevices() {
    HDEVINFO set = SetupDiGetClassDevsA(&kTestClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        SetupDiRemoveDevice(set, &data);
    }
    SetupDiDestroyDeviceInfoList(set);
}

class RootDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveTestDevices();
        set_ = SetupDiCreateDeviceInfoList(&kTestClass, nullptr);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        data_.cbSize = sizeof data_;
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set_);
        RemoveTestDevices();
    }
    // Creates, names and registers a node as an installer does for a board that cannot
    // announce itself.
    void CreateAndRegister() {
        ASSERT_TRUE(SetupDiCreateDeviceInfoA(set_, "BoardkitContract", &kTestClass, nullptr,
                                             nullptr, DICD_GENERATE_ID, &data_))
            << GetLastError();
        ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set_, &data_, SPDRP_HARDWAREID,
                                                      reinterpret_cast<const BYTE*>(kHardwareIds),
                                                      sizeof kHardwareIds))
            << GetLastError();
        ASSERT_TRUE(SetupDiRegisterDeviceInfo(set_, &data_, 0, nullptr, nullptr, nullptr))
            << GetLastError();
    }
    HDEVINFO set_ = nullptr;
    SP_DEVINFO_DATA data_ = {};
};

TEST_F(RootDevice, RegisteredNodeIsListedAsPresentUnderAGeneratedRootId) {
    CreateAndRegister();
    const std::vector<std::string> ids = ListedIds(DIGCF_PRESENT);
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0], "ROOT\\BOARDKITCONTRACT\\0000");
    EXPECT_TRUE(data_.ClassGuid == kTestClass);
}

TEST_F(RootDevice, AllClassesSetListsTheNodeWithItsHardwareIds) {
    CreateAndRegister();
    HDEVINFO all =
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(all, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    bool found = false;
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(all, i, &data); ++i) {
        char buffer[256] = {};
        DWORD size = 0;
        if (SetupDiGetDeviceRegistryPropertyA(all, &data, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(buffer), sizeof buffer,
                                              &size)) {
            found = std::string(buffer) == "ROOT\\BOARDKITCONTRACT";
            if (found) {
                EXPECT_EQ(size, sizeof kHardwareIds);
            }
        }
    }
    SetupDiDestroyDeviceInfoList(all);
    EXPECT_TRUE(found);
}

TEST_F(RootDevice, SecondGeneratedIdTakesTheNextNumber) {
    CreateAndRegister();
    SP_DEVINFO_DATA second = {};
    second.cbSize = sizeof second;
    ASSERT_TRUE(SetupDiCreateDeviceInfoA(set_, "BoardkitContract", &kTestClass, nullptr, nullptr,
                                         DICD_GENERATE_ID, &second));
    char id[MAX_DEVICE_ID_LEN] = {};
    ASSERT_TRUE(SetupDiGetDeviceInstanceIdA(set_, &second, id, sizeof id, nullptr));
    EXPECT_STREQ(id, "ROOT\\BOARDKITCONTRACT\\0001");
}

TEST_F(RootDevice, RemovedNodeIsListedNoMore) {
    CreateAndRegister();
    SetLastError(kSentinel);
    ASSERT_TRUE(SetupDiRemoveDevice(set_, &data_));
    EXPECT_TRUE(ListedIds(DIGCF_PRESENT).empty());
    EXPECT_TRUE(ListedIds(0).empty());
}

TEST_F(RootDevice, InstanceIdBufferTooSmallReportsTheSizeWithItsTerminator) {
    CreateAndRegister();
    char small[4];
    DWORD required = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set_, &data_, small, sizeof small, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, sizeof "ROOT\\BOARDKITCONTRACT\\0000");
}

TEST_F(RootDevice, EnumerationOfAnEmptySetEndsAtOnce) {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set_, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

}  // namespace
