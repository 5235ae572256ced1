// Installing legacy boards without the dialog, refreshing their drivers, and the range table.
#include <string>

#include "boardkit/operations.h"
#include "legacy/device_node.h"
#include "legacy/legacy_install.h"
#include "legacy_machine.h"

namespace {

using legacy_test::kFirstNode;
using legacy_test::kIsaInf;

class LegacyInstallTest : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        CurrentDeviceNode.deviceInfoSet = nullptr;
        legacy_test::InstallPackages();
    }
};

int32_t UpdateIsa(std::string text) {
    std::string inf = kIsaInf;
    testing::internal::CaptureStdout();
    const int32_t result = UpdateIsaDriver(&inf[0], &text[0], nullptr);
    testing::internal::GetCapturedStdout();
    return result;
}

uint32_t InstallPnp(std::string id) {
    std::string inf = kIsaInf;
    testing::internal::CaptureStdout();
    const uint32_t result = InstallIsaDevicePnp(&inf[0], &id[0]);
    testing::internal::GetCapturedStdout();
    return result;
}

TEST_F(LegacyInstallTest, RangeLengthsAreExactAndDefaultToSixteen) {
    unsigned four = 0, sixteen = 0, thirtyTwo = 0;
    for (const char* id : {"IX104", "IX108", "IX1040", "IX1080", "IX208", "IX216", "IX232", "IA302",
                           "IA304", "IC404", "IC408", "IR508", "IM602", "IM604"}) {
        const uint32_t ports = GetIsaRangeLength(id);
        four += ports == 4;
        sixteen += ports == 16;
        thirtyTwo += ports == 32;
    }
    EXPECT_EQ(four, 4u);
    EXPECT_EQ(thirtyTwo, 1u);
    EXPECT_EQ(four + sixteen + thirtyTwo, 14u);
    EXPECT_EQ(GetIsaRangeLength("IX104"), 4u);
    EXPECT_EQ(GetIsaRangeLength("ix104"), 16u);
    EXPECT_EQ(GetIsaRangeLength("IX10"), 16u);
}

TEST_F(LegacyInstallTest, ThePnpFormKeepsTheNodeWithItsDriver) {
    EXPECT_EQ(InstallPnp("IX104"), 0u);
    sim::DeviceNode* node = sim::FindDevice(kFirstNode);
    ASSERT_NE(node, nullptr);
    EXPECT_NE(sim::DriverKey(*node), nullptr);
    EXPECT_EQ(CurrentDeviceNode.deviceInfoSet, nullptr);
}

TEST_F(LegacyInstallTest, ThePnpFormRemovesTheNodeWhenTheInstallFails) {
    EXPECT_NE(InstallPnp("PCL818L"), 0u);
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);
}

TEST_F(LegacyInstallTest, ALowerCaseTextMatchesNoBoard) {
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0007", {"IX104"}}), nullptr);
    const unsigned updates = sim::CallCount("UpdateDriverForPlugAndPlayDevicesA");
    EXPECT_EQ(UpdateIsa("ix104"), 0);
    EXPECT_EQ(sim::CallCount("UpdateDriverForPlugAndPlayDevicesA"), updates);
}

TEST_F(LegacyInstallTest, TwoBoardsOfOneModelAreUpdatedOnce) {
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0007", {"IX104"}}), nullptr);
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0008", {"IX104"}}), nullptr);
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0009", {"IX104X"}}), nullptr);  // not a catalog ID
    const unsigned updates = sim::CallCount("UpdateDriverForPlugAndPlayDevicesA");
    EXPECT_EQ(UpdateIsa("IX10"), 0);
    EXPECT_EQ(sim::CallCount("UpdateDriverForPlugAndPlayDevicesA"), updates + 1);
}

TEST_F(LegacyInstallTest, OnlyTheLastUpdateCounts) {
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0007", {"IX104"}}), nullptr);
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0008", {"IX108"}}), nullptr);
    EXPECT_EQ(UpdateIsa("IX10"), 0);
    tools::FailCall("UpdateDriverForPlugAndPlayDevicesA", "IX108", ERROR_ACCESS_DENIED);
    EXPECT_EQ(UpdateIsa("IX10"), 2);
    sim::Faults().clear();
    tools::FailCall("UpdateDriverForPlugAndPlayDevicesA", "IX104", ERROR_ACCESS_DENIED);
    EXPECT_EQ(UpdateIsa("IX10"), 0);
}

TEST_F(LegacyInstallTest, MoreThanSixteenMatchingModelsFillTheListAndNoMore) {
    unsigned n = 0;
    for (const CatalogEntry* row = kDeviceCatalog; !CatalogIsEndRow(*row); ++row) {
        EXPECT_NE(tools::AddBoard({"ROOT\\BOARD\\" + std::to_string(n++), {row->hardwareId}}),
                  nullptr);
    }
    CatalogEntry rows[kIsaUpdateListSize + 1] = {};
    rows[kIsaUpdateListSize].productId = 0x5EED;
    auto& list = *reinterpret_cast<CatalogEntry(*)[kIsaUpdateListSize]>(rows);
    EXPECT_EQ(CollectIsaCatalogRows(list, ""), kIsaUpdateListSize);
    EXPECT_EQ(rows[kIsaUpdateListSize].productId, 0x5EEDu);
}

TEST_F(LegacyInstallTest, AFailedHardwareIdReadCollectsNothing) {
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0007", {"IX104"}}), nullptr);
    tools::FailCall("SetupDiGetDeviceRegistryPropertyA", "", ERROR_ACCESS_DENIED);
    CatalogEntry rows[kIsaUpdateListSize] = {};
    EXPECT_EQ(CollectIsaCatalogRows(rows, "IX"), 0u);
}

}  // namespace
