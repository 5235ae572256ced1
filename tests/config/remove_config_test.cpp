// Removal of configuration records together with their map entries.
#include "boardkit/operations.h"
#include "config_machine.h"

namespace {

using namespace config_test;

class RemoveConfiguration : public setup_test::MachineTest {};

TEST_F(RemoveConfiguration, ALowerCaseKernelKeyRemovesBothAdjacentRecords) {
    Record(1, {StringValue("KernelKey", "TOLPX10S")});
    Record(2, {StringValue("KernelKey", "TolPx10S")});
    Record(3, {StringValue("KernelKey", "TolUa08S")});
    Record(4, {DwordValue("ProductID", 0x0101)});
    for (unsigned n = 1; n <= 4; ++n) {
        MapValue(n);
    }
    char key[] = "tolpx10s";
    EXPECT_EQ(RemoveConfigurationByKernelKey(key), 0u);
    EXPECT_STREQ(key, "tolpx10s");
    EXPECT_EQ(Subkeys(), (std::vector<std::string>{"Device003", "Device004", "MapEntry"}));
    EXPECT_FALSE(MapValueExists(1));
    EXPECT_FALSE(MapValueExists(2));
    EXPECT_TRUE(MapValueExists(3));
    EXPECT_TRUE(MapValueExists(4));
}

TEST_F(RemoveConfiguration, ProductZeroRemovesEveryDemoRecord) {
    Record(1, {DwordValue("ProductID", 0)});
    Record(2, {DwordValue("ProductID", 0x0101)});
    Record(3, {DwordValue("ProductID", 0)});
    Record(4, {StringValue("KernelKey", "TolDemoS")});
    EXPECT_EQ(RemoveConfigurationByProductID(0), 0u);
    EXPECT_EQ(Subkeys(), (std::vector<std::string>{"Device002", "Device004"}));
}

TEST_F(RemoveConfiguration, ByNumberRemovesTheRecordAndItsMapValueOnly) {
    Record(7, {DwordValue("ProductID", 0)});
    MapValue(7);
    MapValue(8);
    EXPECT_EQ(RemoveConfigurationByDeviceNum(7), 0u);
    EXPECT_FALSE(KeyExists("Device007"));
    EXPECT_FALSE(MapValueExists(7));
    EXPECT_EQ(RemoveConfigurationByDeviceNum(8), 0u);
    EXPECT_TRUE(MapValueExists(8));
}

TEST_F(RemoveConfiguration, ARecordThatCannotBeDeletedKeepsItsMapValue) {
    Record(7, {DwordValue("ProductID", 0), StringValue("KernelKey", "TolDemoS")});
    Key("Device007\\Child");
    MapValue(7);
    EXPECT_EQ(RemoveConfigurationByDeviceNum(7), 0u);
    EXPECT_EQ(RemoveConfigurationByProductID(0), 0u);
    char key[] = "TolDemoS";
    EXPECT_EQ(RemoveConfigurationByKernelKey(key), 0u);
    EXPECT_TRUE(KeyExists("Device007"));
    EXPECT_TRUE(MapValueExists(7));
}

TEST_F(RemoveConfiguration, AShortNameTouchesNoMapValue) {
    Record(12, {DwordValue("ProductID", 5)});
    Key("Dev");
    HKEY dev = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kRoot) + "\\Dev").c_str(), 0,
                            KEY_ALL_ACCESS, &dev),
              ERROR_SUCCESS);
    const DWORD product = 0x0101;
    RegSetValueExA(dev, "ProductID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&product), 4);
    RegCloseKey(dev);
    MapValue(12);
    EXPECT_EQ(RemoveConfigurationByProductID(0x0101), 0u);
    EXPECT_FALSE(KeyExists("Dev"));
    EXPECT_TRUE(MapValueExists(12));
}

TEST_F(RemoveConfiguration, AMissingStoreIsReported) {
    char key[] = "TolDemoS";
    EXPECT_EQ(RemoveConfigurationByKernelKey(key), 0xE0000017u);
    EXPECT_EQ(RemoveConfigurationByProductID(0), 0xE0000017u);
    EXPECT_EQ(RemoveConfigurationByDeviceNum(0), 0xE0000017u);
}

}  // namespace
