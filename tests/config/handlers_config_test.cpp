// The list and removal commands: number bases, and which operation result becomes which
// command result.
#include "config_machine.h"
#include "frontend/handlers.h"

namespace {

using namespace config_test;

using Handler = int32_t (*)(const char*, const char*, uint32_t, int32_t, char**);

int32_t RunCommand(Handler handler, std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    return handler("boardkit.exe", nullptr, 0, static_cast<int32_t>(words.size()), argv.data());
}

class ConfigCommands : public setup_test::MachineTest {};

TEST_F(ConfigCommands, ProductIdsAreHexadecimalWithOrWithoutPrefix) {
    for (const char* text : {"123", "0x123", "0X123"}) {
        Record(1, {DwordValue("ProductID", 291)});
        Record(2, {DwordValue("ProductID", 123)});
        EXPECT_EQ(RunCommand(&RemoveConfigurationByProductIDCommand, {text}), EXIT_RET_SUCCESS);
        EXPECT_FALSE(KeyExists("Device001")) << text;
        EXPECT_TRUE(KeyExists("Device002")) << text;
    }
}

TEST_F(ConfigCommands, DeviceNumbersAreDecimalAndTrailingTextIsIgnored) {
    Record(0, {});
    Record(12, {});
    EXPECT_EQ(RunCommand(&RemoveConfigurationByDeviceNumCommand, {"12abc"}), EXIT_RET_SUCCESS);
    EXPECT_FALSE(KeyExists("Device012"));
    EXPECT_TRUE(KeyExists("Device000"));
    EXPECT_EQ(RunCommand(&RemoveConfigurationByDeviceNumCommand, {"abc"}), EXIT_RET_SUCCESS);
    EXPECT_FALSE(KeyExists("Device000"));
}

TEST_F(ConfigCommands, AMissingStoreFailsTheRemovals) {
    EXPECT_EQ(RunCommand(&RemoveConfigurationByKernelKeyCommand, {"TolDemoS"}), EXIT_RET_FAILURE);
    EXPECT_EQ(RunCommand(&RemoveConfigurationByProductIDCommand, {"0"}), EXIT_RET_FAILURE);
    EXPECT_EQ(RunCommand(&RemoveConfigurationByDeviceNumCommand, {"0"}), EXIT_RET_FAILURE);
}

}  // namespace
