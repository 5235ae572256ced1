// The configuration store: reading values, finding a record's device, the deletions.
#include <cstring>

#include "config/store.h"
#include "config_machine.h"

namespace {

using namespace config_test;

class ConfigurationItems : public setup_test::MachineTest {};

TEST_F(ConfigurationItems, AMissingRecordLeavesTheCallersBufferAsItWas) {
    Key("MapEntry");
    uint32_t value = 0xA5A5A5A5;
    char name[] = "ProductID";
    EXPECT_EQ(GetConfigurationItem(4, name, 4, reinterpret_cast<unsigned char*>(&value)), 0u);
    EXPECT_EQ(value, 0xA5A5A5A5u);
}

TEST_F(ConfigurationItems, AValueIsReadIntoTheBuffer) {
    Record(12, {DwordValue("BoardID", 7)});
    uint32_t value = 0;
    char name[] = "BoardID";
    EXPECT_EQ(GetConfigurationItem(12, name, 4, reinterpret_cast<unsigned char*>(&value)), 0u);
    EXPECT_EQ(value, 7u);
}

TEST_F(ConfigurationItems, AMissingStoreIsReported) {
    uint32_t value = 0;
    char name[] = "BoardID";
    EXPECT_EQ(GetConfigurationItem(0, name, 4, reinterpret_cast<unsigned char*>(&value)),
              0xE0000017u);
}

TEST(RecordNames, OnlyDeviceInAnyLetterCaseFollowedByDigitsCarriesANumber) {
    uint32_t number = 99;
    EXPECT_TRUE(ParseConfigurationKeyName("Device012", number));
    EXPECT_EQ(number, 12u);
    EXPECT_TRUE(ParseConfigurationKeyName("Device1000", number));
    EXPECT_EQ(number, 1000u);
    // Windows compares key names without regard to case: these are Device007 and Device008.
    EXPECT_TRUE(ParseConfigurationKeyName("device007", number));
    EXPECT_EQ(number, 7u);
    EXPECT_TRUE(ParseConfigurationKeyName("DEVICE008", number));
    EXPECT_EQ(number, 8u);
    number = 99;
    EXPECT_FALSE(ParseConfigurationKeyName("Dev", number));
    EXPECT_FALSE(ParseConfigurationKeyName("Device", number));
    EXPECT_FALSE(ParseConfigurationKeyName("Device12x", number));
    EXPECT_FALSE(ParseConfigurationKeyName("Devise012", number));
    EXPECT_FALSE(ParseConfigurationKeyName("Device99999999999", number));
    EXPECT_EQ(number, 99u);
    EXPECT_EQ(ConfigurationKeyName(7), "Device007");
    EXPECT_EQ(ConfigurationKeyName(123), "Device123");
    EXPECT_EQ(ConfigurationKeyName(1000), "Device1000");
}

class Deletions : public setup_test::MachineTest {};

TEST_F(Deletions, ConfigurationKeyIsFoundByItsNumberInAnyLetterCase) {
    Key("DEVICE005");
    Key("Device050");
    DeleteConfigurationKey(5);
    EXPECT_FALSE(KeyExists("DEVICE005"));
    EXPECT_TRUE(KeyExists("Device050"));
}

TEST_F(Deletions, MapEntryGoesAloneAndAMissingOneIsNoError) {
    MapValue(3);
    MapValue(12);
    DeleteMapEntry(12);
    DeleteMapEntry(40);
    EXPECT_FALSE(MapValueExists(12));
    EXPECT_TRUE(MapValueExists(3));
}

TEST_F(Deletions, SweepTakesFourByteAliasesAndKeepsLongerOnes) {
    Record(1, {DwordValue("Alias", 1)});
    Record(2, {StringValue("Alias", "longer than four")});
    Record(3, {DwordValue("ProductID", 0)});
    Key("Other");
    Record(4, {DwordValue("Alias", 0)});
    SweepAliasRecords();
    EXPECT_EQ(Subkeys(), (std::vector<std::string>{"Device002", "Device003", "Other"}));
}

TEST_F(Deletions, SweepEndsWhenAnAliasRecordCannotBeDeleted) {
    Record(1, {DwordValue("Alias", 1)});
    Key("Device001\\Child");
    Record(2, {DwordValue("Alias", 1)});
    SweepAliasRecords();
    EXPECT_TRUE(KeyExists("Device001"));
    EXPECT_FALSE(KeyExists("Device002"));
}

TEST_F(Deletions, ScanVisitsTheRecordAfterADeletedOne) {
    Record(1, {});
    Record(2, {});
    Record(3, {});
    std::vector<std::string> seen;
    EXPECT_EQ(ForEachConfigurationRecord([&](ConfigurationRecord& record) {
                  seen.push_back(record.name);
                  if (seen.size() == 1) {
                      EXPECT_TRUE(DeleteVisitedRecord(record));
                  }
                  return RecordScanStep::Continue;
              }),
              0u);
    EXPECT_EQ(seen, (std::vector<std::string>{"Device001", "Device002", "Device003"}));
}

TEST_F(Deletions, ScanOfAMissingStoreVisitsNothing) {
    bool visited = false;
    EXPECT_EQ(ForEachConfigurationRecord([&](ConfigurationRecord&) {
                  visited = true;
                  return RecordScanStep::Continue;
              }),
              0xE0000017u);
    EXPECT_FALSE(visited);
}

TEST_F(Deletions, TextValuesEndInsideTheirBuffer) {
    Record(1, {StringValue("KernelKey", std::string(63, 'K')),
               StringValue("Long", std::string(64, 'L'))});
    ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        char text[64];
        std::memset(text, 'x', sizeof text);
        EXPECT_TRUE(ReadRecordText(record.key, "KernelKey", text, sizeof text));
        EXPECT_EQ(std::strlen(text), 63u);
        EXPECT_FALSE(ReadRecordText(record.key, "Long", text, sizeof text));
        return RecordScanStep::Stop;
    });
}

}  // namespace
