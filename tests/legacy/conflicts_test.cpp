// The three conflict checks against the claims of other devices.
#include "boardkit/operations.h"
#include "legacy_dialog_machine.h"
#include "tools/machine_builder.h"

namespace legacy_test {
namespace {

constexpr uint32_t kConflict = 0xE000FFFF;

using ConflictsTest = DialogMachineTest;

TEST_F(ConflictsTest, OverlappingIoRangesConflictAndAdjacentOnesDoNot) {
    AddClaimant("ROOT\\OTHER\\0000", {Io(0x310, 0x31F)});
    EXPECT_EQ(IsaResCheckBaseAddrConflict(0x300, 16), 0u);
    EXPECT_EQ(IsaResCheckBaseAddrConflict(0x300, 17), kConflict);
    EXPECT_EQ(IsaResCheckBaseAddrConflict(0x31F, 4), kConflict);
    EXPECT_EQ(IsaResCheckBaseAddrConflict(0x320, 16), 0u);
}

TEST_F(ConflictsTest, IrqAndDmaConflictOnlyOnTheSameNumber) {
    AddClaimant("ROOT\\OTHER\\0000", {Irq(5), Dma(3)});
    EXPECT_EQ(IsaResCheckIrqConflict(5), kConflict);
    EXPECT_EQ(IsaResCheckIrqConflict(6), 0u);
    EXPECT_EQ(IsaResCheckDmaConflict(3), kConflict);
    EXPECT_EQ(IsaResCheckDmaConflict(1), 0u);
}

TEST_F(ConflictsTest, ZeroValuesAreNotCheckedAtAll) {
    tools::FailCall("CM_Connect_MachineA", "", CR_ACCESS_DENIED);
    EXPECT_EQ(IsaResCheckBaseAddrConflict(0, 16), 0u);
    EXPECT_EQ(IsaResCheckIrqConflict(0), 0u);
    EXPECT_EQ(IsaResCheckDmaConflict(0), 0u);
    EXPECT_EQ(sim::CallCount("CM_Connect_MachineA"), 0u);
}

TEST_F(ConflictsTest, AFailedConnectionReportsItsCode) {
    tools::FailCall("CM_Connect_MachineA", "", CR_ACCESS_DENIED);
    EXPECT_EQ(IsaResCheckIrqConflict(5), static_cast<uint32_t>(CR_ACCESS_DENIED));
    EXPECT_EQ(IsaResCheckBaseAddrConflict(0x300, 16), static_cast<uint32_t>(CR_ACCESS_DENIED));
}

TEST_F(ConflictsTest, AFailedQueryCountsAsNoConflict) {
    AddClaimant("ROOT\\OTHER\\0000", {Irq(5)});
    tools::FailCall("CM_Query_Resource_Conflict_List", "", CR_FAILURE);
    EXPECT_EQ(IsaResCheckIrqConflict(5), 0u);
}

TEST_F(ConflictsTest, TheNodeUnderConstructionNeverConflictsWithItself) {
    sim::DeviceNode* own = sim::DeviceByDevInst(CurrentDeviceNode.deviceInfoData.DevInst);
    ASSERT_NE(own, nullptr);
    sim::SetNodeResources(*own, {Irq(5)});
    EXPECT_EQ(IsaResCheckIrqConflict(5), 0u);
}

}  // namespace
}  // namespace legacy_test
