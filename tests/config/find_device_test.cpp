// From a configuration record to its present device, family by family.
#include "config/store.h"
#include "config_machine.h"
#include "resources_alloc.h"

namespace {

using namespace config_test;

// The instance ID of the device that record `number` finds, "" when none is handed out.
std::string Found(uint32_t number, uint32_t* result = nullptr) {
    platform::UniqueDevInfo set;
    SP_DEVINFO_DATA device{};
    const uint32_t code = FindConfiguredDevice(number, set, device);
    if (result != nullptr) {
        *result = code;
    }
    if (!set) {
        return "";
    }
    char id[MAX_DEVICE_ID_LEN] = {};
    EXPECT_EQ(CM_Get_Device_IDA(device.DevInst, id, MAX_DEVICE_ID_LEN, 0), CR_SUCCESS);
    return id;
}

class FindDevice : public setup_test::MachineTest {};

TEST_F(FindDevice, TwoPciBoardsOfOneModelAreToldApartByBusAndSlot) {
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_1001\\A", "PCI\\VEN_5AE3&DEV_1001",
                                "PCI bus 3, device 4, function 0"),
              nullptr);
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_1001\\B", "PCI\\VEN_5AE3&DEV_1001",
                                "PCI bus 5, device 2, function 0"),
              nullptr);
    Record(1, {DwordValue("ProductID", 0x0101), DwordValue("BusNumber", 5),
               DwordValue("SlotNumber", 2)});
    Record(2, {DwordValue("ProductID", 0x0101), DwordValue("BusNumber", 3),
               DwordValue("SlotNumber", 4)});
    Record(3, {DwordValue("ProductID", 0x0101), DwordValue("BusNumber", 3),
               DwordValue("SlotNumber", 2)});
    EXPECT_EQ(Found(1), "PCI\\VEN_5AE3&DEV_1001\\B");
    EXPECT_EQ(Found(2), "PCI\\VEN_5AE3&DEV_1001\\A");
    uint32_t result = 0;
    EXPECT_EQ(Found(3, &result), "");
    EXPECT_EQ(result, 0xE0000017u);
}

TEST_F(FindDevice, APciExpressRowIsMatchedLikePci) {
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_E104\\A", "PCI\\VEN_5AE3&DEV_E104",
                                "PCI bus 1, device 0, function 0"),
              nullptr);
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_E104\\B", "PCI\\VEN_5AE3&DEV_E104",
                                "PCI bus 2, device 0, function 0"),
              nullptr);
    Record(1, {DwordValue("ProductID", 0x0B01), DwordValue("BusNumber", 2),
               DwordValue("SlotNumber", 0)});
    EXPECT_EQ(Found(1), "PCI\\VEN_5AE3&DEV_E104\\B");
}

TEST_F(FindDevice, APciLocationWithOneRunOfDigitsMatchesNothing) {
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_1001\\A", "PCI\\VEN_5AE3&DEV_1001", "bus 3"),
              nullptr);
    Record(1, {DwordValue("ProductID", 0x0101), DwordValue("BusNumber", 3),
               DwordValue("SlotNumber", 0)});
    uint32_t result = 0;
    EXPECT_EQ(Found(1, &result), "");
    EXPECT_EQ(result, 0xE0000017u);
}

TEST_F(FindDevice, AUsbRecordTakesTheFirstModuleWhateverItsBoardNumber) {
    EXPECT_NE(
        tools::AddBoardAt("USB\\VID_2E5B&PID_1008\\1", "USB\\VID_2E5B&PID_1008", "Port_#0001"),
        nullptr);
    EXPECT_NE(
        tools::AddBoardAt("USB\\VID_2E5B&PID_1008\\2", "USB\\VID_2E5B&PID_1008", "Port_#0002"),
        nullptr);
    Record(4, {DwordValue("ProductID", 0x0A01), DwordValue("BoardID", 9)});
    EXPECT_EQ(Found(4), "USB\\VID_2E5B&PID_1008\\1");
}

TEST_F(FindDevice, TheDemoDeviceIsFoundByTheNumberItsLocationCarries) {
    EXPECT_NE(tools::AddBoardAt("ROOT\\DEMO\\0000", "DEMO", "Root"), nullptr);
    EXPECT_NE(tools::AddBoardAt("ROOT\\DEMO\\0001", "DEMO", "002"), nullptr);
    Record(1, {DwordValue("ProductID", 0), DwordValue("BoardID", 2)});
    Record(2, {DwordValue("ProductID", 0), DwordValue("BoardID", 0)});
    EXPECT_EQ(Found(1), "ROOT\\DEMO\\0001");
    // A location that is no number was never parsed, so it cannot stand for board 0.
    EXPECT_EQ(Found(2), "");
}

TEST_F(FindDevice, ALegacyBoardIsFoundByItsPortBaseOrWhenDisabledByAnyRecord) {
    sim::DeviceNode* node = tools::AddBoardAt("ROOT\\IX104\\0000", "IX104", "");
    sim::SetNodeResources(*node, {{ResType_IO, 0x300, 0x30F}});
    Record(1, {DwordValue("ProductID", 0x0701), DwordValue("BaseAddress", 0x200)});
    Record(2, {DwordValue("ProductID", 0x0701), DwordValue("BaseAddress", 0x300)});
    EXPECT_EQ(Found(1), "");
    EXPECT_EQ(Found(2), "ROOT\\IX104\\0000");
    node->problem = CM_PROB_DISABLED;
    EXPECT_EQ(Found(1), "ROOT\\IX104\\0000");
}

TEST_F(FindDevice, AProductWithoutCatalogRowHandsOutNothingAndSucceeds) {
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_1001\\A", "PCI\\VEN_5AE3&DEV_1001",
                                "PCI bus 3, device 4, function 0"),
              nullptr);
    Record(1, {DwordValue("ProductID", 0xFFFF)});
    Record(2, {DwordValue("BusNumber", 3)});
    uint32_t result = 1;
    EXPECT_EQ(Found(1, &result), "");
    EXPECT_EQ(result, 0u);
    result = 1;
    EXPECT_EQ(Found(2, &result), "");
    EXPECT_EQ(result, 0u);
}

TEST_F(FindDevice, ADeviceWhoseListCannotBeReadOrDoesNotFitIsPassedOver) {
    EXPECT_NE(tools::AddBoard({"ACPI\\PNP0A03\\0",
                               {"ACPI\\PNP0A03"},
                               sim::Presence::Present,
                               0,
                               tools::kSystemClass}),
              nullptr);
    EXPECT_NE(tools::AddBoard({"USB\\VID_2E5B&PID_1008\\1",
                               setup_test::ListPast4096Bytes("USB\\VID_2E5B&PID_1008")}),
              nullptr);
    EXPECT_NE(tools::AddBoardAt("USB\\VID_2E5B&PID_1008\\2", "USB\\VID_2E5B&PID_1008", ""),
              nullptr);
    Record(4, {DwordValue("ProductID", 0x0A01)});
    tools::FailCall("SetupDiGetDeviceRegistryPropertyA", "ACPI\\PNP0A03\\0", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Found(4), "USB\\VID_2E5B&PID_1008\\2");
}

TEST_F(FindDevice, AFailedDeviceListIsReported) {
    Record(1, {DwordValue("ProductID", 0x0A01)});
    EXPECT_NE(tools::AddBoardAt("USB\\VID_2E5B&PID_1008\\1", "USB\\VID_2E5B&PID_1008", ""),
              nullptr);
    tools::FailCall("SetupDiGetClassDevsA", "", ERROR_NOT_ENOUGH_MEMORY);
    uint32_t result = 0;
    EXPECT_EQ(Found(1, &result), "");
    EXPECT_EQ(result, 0xE0000017u);
}

}  // namespace
