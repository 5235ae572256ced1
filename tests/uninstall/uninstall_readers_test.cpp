// The readers the uninstall operations share: a record by device number, a device property
// into a growing buffer, and the INF copy a device was installed from.
#include <gtest/gtest.h>

#include "uninstall/uninstall.h"
#include "uninstall/uninstall_machine.h"

namespace {

using namespace uninstall_test;

class UninstallReaders : public setup_test::MachineTest {
  protected:
    // The device information set of every present device, with the first device in `device`.
    static platform::UniqueDevInfo FirstDevice(SP_DEVINFO_DATA& device) {
        platform::UniqueDevInfo set(
            SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
        device = {};
        device.cbSize = sizeof device;
        EXPECT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &device));
        return set;
    }
};

TEST_F(UninstallReaders, ARecordIsFoundOnlyByTheDigitsAfterDevice) {
    config_test::Record(7, {DwordValue("ProductID", 0)});
    config_test::Key("Devices");
    platform::UniqueHKey record;
    EXPECT_EQ(OpenDeviceRecord(7, record), 0u);
    EXPECT_TRUE(static_cast<bool>(record));
    platform::UniqueHKey none;
    EXPECT_EQ(OpenDeviceRecord(8, none), 0xE0000015u);
    EXPECT_EQ(OpenDeviceRecord(-1, none), 0xE0000015u);
    EXPECT_FALSE(static_cast<bool>(none));
}

TEST_F(UninstallReaders, WithoutTheStoreNoRecordIsFound) {
    platform::UniqueHKey record;
    EXPECT_EQ(OpenDeviceRecord(0, record), 0xE0000015u);
}

TEST_F(UninstallReaders, APropertyBufferGrowsToTheWholeList) {
    EXPECT_NE(tools::AddDemoBoard(1, "oem3.inf", {"DEMO", std::string(300, 'X')}), "");
    SP_DEVINFO_DATA device;
    platform::UniqueDevInfo set = FirstDevice(device);
    platform::UniqueLocal buffer;
    DWORD size = 0;
    ASSERT_TRUE(GetDeviceProperty(set.get(), &device, SPDRP_HARDWAREID, buffer, size));
    // "DEMO", 300 characters, each with its terminator, and the list's own.
    EXPECT_EQ(size, 5u + 301u + 1u);
    const char* ids = static_cast<const char*>(buffer.get());
    EXPECT_STREQ(ids, "DEMO");
    EXPECT_EQ(std::string(ids + 5), std::string(300, 'X'));
}

TEST_F(UninstallReaders, AFailedReadFreesTheBuffer) {
    EXPECT_NE(tools::AddDemoBoard(1, "oem3.inf"), "");
    SP_DEVINFO_DATA device;
    platform::UniqueDevInfo set = FirstDevice(device);
    platform::UniqueLocal buffer;
    DWORD size = 0;
    ASSERT_TRUE(GetDeviceProperty(set.get(), &device, SPDRP_HARDWAREID, buffer, size));
    EXPECT_FALSE(GetDeviceProperty(set.get(), &device, SPDRP_FRIENDLYNAME, buffer, size));
    EXPECT_FALSE(static_cast<bool>(buffer));
    EXPECT_EQ(size, 0u);
}

TEST_F(UninstallReaders, TheInfNameComesFromTheDriverKey) {
    EXPECT_NE(tools::AddDemoBoard(1, "oem12.inf"), "");
    SP_DEVINFO_DATA device;
    platform::UniqueDevInfo set = FirstDevice(device);
    char name[MAX_PATH] = "unchanged";
    EXPECT_TRUE(GetDeviceInfPath(set.get(), &device, name));
    EXPECT_STREQ(name, "oem12.inf");
}

TEST_F(UninstallReaders, AnInfNameThatFillsTheBufferIsRefused) {
    EXPECT_NE(tools::AddDemoBoard(1, std::string(MAX_PATH, 'o')), "");
    SP_DEVINFO_DATA device;
    platform::UniqueDevInfo set = FirstDevice(device);
    char name[MAX_PATH] = "unchanged";
    EXPECT_FALSE(GetDeviceInfPath(set.get(), &device, name));
    EXPECT_STREQ(name, "unchanged");
}

}  // namespace
