// The one reader of a device property into a growing buffer.
#include <gtest/gtest.h>

#include "setup/device_properties.h"
#include "setup/setup_machine.h"
#include "tools/machine_builder.h"

namespace {

class DeviceProperties : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        setup_test::MachineTest::SetUp();
        ASSERT_NE(tools::AddDemoBoard(1, "oem3.inf", {"DEMO", std::string(300, 'X')}), "");
        set_.reset(
            SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
        device_.cbSize = sizeof device_;
        ASSERT_TRUE(SetupDiEnumDeviceInfo(set_.get(), 0, &device_));
    }
    platform::UniqueDevInfo set_;
    SP_DEVINFO_DATA device_{};
};

TEST_F(DeviceProperties, TheBufferGrowsToTheWholeList) {
    DevicePropertyBuffer buffer;
    ASSERT_EQ(ReadDeviceProperty(set_.get(), device_, SPDRP_HARDWAREID, 0, buffer),
              PropertyRead::Read);
    // "DEMO", 300 characters, each with its terminator, and the list's own.
    EXPECT_EQ(buffer.size, 5u + 301u + 1u);
    EXPECT_STREQ(buffer.text(), "DEMO");
    EXPECT_EQ(std::string(buffer.text() + 5), std::string(300, 'X'));
}

TEST_F(DeviceProperties, APropertyPastTheLimitIsUnreadableAndAMissingOneIsMissing) {
    DevicePropertyBuffer buffer;
    EXPECT_EQ(ReadDeviceProperty(set_.get(), device_, SPDRP_HARDWAREID, 306, buffer),
              PropertyRead::Unreadable);
    EXPECT_EQ(ReadDeviceProperty(set_.get(), device_, SPDRP_FRIENDLYNAME, 0, buffer),
              PropertyRead::Missing);
}

}  // namespace
