// The readers the uninstall operations share: a record by device number and the INF copy a
// device was installed from.
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
