// Enabling, disabling and unloading devices by configuration record, on demo devices whose
// location text carries their board number, and the two commands that reach them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "choke.h"
#include "devices.h"
#include "frontend/handlers.h"
#include "machine.h"
#include "machine_builder.h"
#include "platform/win32.h"

namespace {

constexpr int32_t kNotFound = static_cast<int32_t>(0xE0000017u);
constexpr ULONG kDisabled = 22;  // CM_PROB_DISABLED
// A product ID that no catalog row carries.
constexpr uint32_t kUnknownProduct = 0xFFFE;

class DeviceStateOperations : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }

    // A demo device with board number `board` and the framework's record `number` for it.
    static std::string AddDemo(unsigned number, unsigned board,
                               const std::string& kernelKey = "TolDemoS") {
        const std::string id = tools::AddDemoBoard(board);
        EXPECT_NE(id, "");
        EXPECT_TRUE(tools::AddDemoRecord(number, board, kernelKey));
        return id;
    }
    static ULONG Problem(const std::string& id) { return sim::FindDevice(id)->problem; }
    // The journal's state changes of this test, as "<id> enable global" and the like.
    static std::vector<std::string> StateChanges() {
        std::vector<std::string> changes;
        for (const std::string& line : sim::JournalLines()) {
            const size_t at = line.find("SetupDiChangeState");
            if (at != std::string::npos) {
                changes.push_back(line.substr(at));
            }
        }
        return changes;
    }
    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(DeviceStateOperations, DisablingMakesOneProfileChangeAndEnablingTwo) {
    const std::string id = AddDemo(5, 1);
    int reboot = 7;
    const size_t before = StateChanges().size();
    EXPECT_EQ(EnableOrDisableDevice(0, 5, &reboot), 0);
    EXPECT_EQ(Problem(id), kDisabled);
    std::vector<std::string> changes = StateChanges();
    ASSERT_EQ(changes.size(), before + 1);
    EXPECT_TRUE(Contains(changes.back(), "disable configspecific"));
    EXPECT_EQ(reboot, 7);  // a change that took effect leaves the caller's value alone

    // Any non-zero value enables: first the global flag, then the profile's.
    EXPECT_EQ(EnableOrDisableDevice(16, 5, &reboot), 0);
    EXPECT_EQ(Problem(id), 0u);
    changes = StateChanges();
    ASSERT_EQ(changes.size(), before + 3);
    EXPECT_TRUE(Contains(changes[before + 1], "enable global"));
    EXPECT_TRUE(Contains(changes[before + 2], "enable configspecific"));
}

TEST_F(DeviceStateOperations, ARecordWithoutItsBoardIsNotFoundAndNothingChanges) {
    const std::string id = AddDemo(5, 1);
    ASSERT_TRUE(tools::AddConfigurationRecord(
        6, {tools::DwordValue("ProductID", 0), tools::DwordValue("BoardID", 9)}));
    int reboot = 0;
    EXPECT_EQ(EnableOrDisableDevice(0, 6, &reboot), kNotFound);
    EXPECT_EQ(EnableOrDisableDevice(0, 42, &reboot), 0);  // no record: no product, no change
    EXPECT_EQ(UnloadDevice(6), kNotFound);
    EXPECT_EQ(Problem(id), 0u);
    EXPECT_EQ(sim::CallCount("SetupDiChangeState"), 0u);
}

TEST_F(DeviceStateOperations, AProductOutsideTheCatalogIsDoneWithoutAChange) {
    const std::string id = AddDemo(5, 1);
    ASSERT_TRUE(tools::AddConfigurationRecord(
        8, {tools::DwordValue("ProductID", kUnknownProduct), tools::DwordValue("BoardID", 1)}));
    int reboot = 0;
    EXPECT_EQ(EnableOrDisableDevice(0, 8, &reboot), 0);
    EXPECT_EQ(UnloadDevice(8), 0);
    EXPECT_EQ(Problem(id), 0u);
    EXPECT_NE(sim::FindDevice(id), nullptr);
    EXPECT_EQ(sim::CallCount("SetupDiChangeState"), 0u);
    EXPECT_EQ(sim::CallCount("SetupDiRemoveDevice"), 0u);
}

TEST_F(DeviceStateOperations, ARefusedStateChangeIsReportedWithItsError) {
    const std::string id = AddDemo(5, 1);
    tools::FailCall("SetupDiChangeState", "", 0xE000020Bu);
    int reboot = 0;
    EXPECT_EQ(static_cast<uint32_t>(EnableOrDisableDevice(0, 5, &reboot)), 0xE000020Bu);
    EXPECT_EQ(Problem(id), 0u);
}

TEST_F(DeviceStateOperations, OnlyTheFinalChangeOfAnEnableDecidesTheResult) {
    const std::string id = AddDemo(5, 1);
    sim::SetProblem(*sim::FindDevice(id), kDisabled);
    // The global change fails; the profile change still brings the board back.
    tools::FailCall("SetupDiChangeState", "", ERROR_GEN_FAILURE, 1);
    int reboot = 0;
    EXPECT_EQ(EnableOrDisableDevice(1, 5, &reboot), 0);
    EXPECT_EQ(Problem(id), 0u);

    sim::Faults().clear();
    sim::SetProblem(*sim::FindDevice(id), kDisabled);
    tools::FailCall("SetupDiChangeState", "", ERROR_GEN_FAILURE, 2);
    EXPECT_EQ(EnableOrDisableDevice(1, 5, &reboot), static_cast<int32_t>(ERROR_GEN_FAILURE));
}

TEST_F(DeviceStateOperations, ParametersThatCannotBeSetGiveTheirErrorAndTheRestartAnswer) {
    const std::string id = AddDemo(5, 1);
    tools::FailCall("SetupDiSetClassInstallParamsA", "", ERROR_ACCESS_DENIED);
    int reboot = 7;
    EXPECT_EQ(EnableOrDisableDevice(0, 5, &reboot), static_cast<int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(reboot, 0);  // read from the install parameters: no restart pending
    EXPECT_EQ(Problem(id), 0u);
    EXPECT_EQ(sim::CallCount("SetupDiChangeState"), 0u);
}

TEST_F(DeviceStateOperations, EnableDevicesVisitsEveryRecordOfTheKernelKeyInOrder) {
    const std::string a = AddDemo(3, 1, "toldemos");
    const std::string b = AddDemo(1, 2, "TOLDEMOS");
    const std::string c = AddDemo(7, 3, "TolDemoS");
    const std::string other = AddDemo(2, 4, "TolOtherS");
    for (const std::string& id : {a, b, c, other}) {
        sim::SetProblem(*sim::FindDevice(id), kDisabled);
    }
    char key[] = "tOlDeMoS";
    EXPECT_EQ(EnableDevices(key), 0);
    EXPECT_STREQ(key, "TOLDEMOS");
    EXPECT_EQ(Problem(a), 0u);
    EXPECT_EQ(Problem(b), 0u);
    EXPECT_EQ(Problem(c), 0u);
    EXPECT_EQ(Problem(other), kDisabled);
    // Record order: Device001, Device003, Device007; each enable ends with its profile change.
    std::vector<std::string> order;
    for (const std::string& line : StateChanges()) {
        if (Contains(line, "configspecific")) {
            order.push_back(line);
        }
    }
    ASSERT_EQ(order.size(), 3u);
    EXPECT_TRUE(Contains(order[0], b));
    EXPECT_TRUE(Contains(order[1], a));
    EXPECT_TRUE(Contains(order[2], c));
}

TEST_F(DeviceStateOperations, DisableDevicesLeavesOtherKernelKeysAndUnnumberedRecordsAlone) {
    const std::string mine = AddDemo(4, 1);
    const std::string other = AddDemo(5, 2, "TolOtherS");
    // A subkey whose name carries no device number is not a record to act on.
    ASSERT_TRUE(tools::WriteKey(std::string(tools::kFrameworkServiceKey) + "\\Devices",
                                {tools::StringValue("KernelKey", "TolDemoS")}));
    char key[] = "toldemos";
    EXPECT_EQ(DisableDevices(key), 0);
    EXPECT_EQ(Problem(mine), kDisabled);
    EXPECT_EQ(Problem(other), 0u);
    EXPECT_EQ(StateChanges().size(), 1u);
}

TEST_F(DeviceStateOperations, WithoutAStoreTheKernelKeyIsNeitherChangedNorUsed) {
    char key[] = "toldemos";
    EXPECT_EQ(DisableDevices(key), kNotFound);
    EXPECT_EQ(EnableDevices(key), kNotFound);
    EXPECT_STREQ(key, "toldemos");
    EXPECT_EQ(EnableDevices(nullptr), 2);
}

TEST_F(DeviceStateOperations, UnloadRemovesTheNodeAndKeepsTheRecord) {
    const std::string id = AddDemo(5, 1);
    const std::string other = AddDemo(6, 2);
    EXPECT_EQ(UnloadDevice(5), 0);
    EXPECT_EQ(sim::FindDevice(id), nullptr);
    EXPECT_NE(sim::FindDevice(other), nullptr);
    uint32_t product = 0xFFFFFFFF;
    EXPECT_EQ(GetConfigurationItem(5, const_cast<char*>("ProductID"), 4,
                                   reinterpret_cast<unsigned char*>(&product)),
              0u);
    EXPECT_EQ(product, 0u);
    EXPECT_EQ(UnloadDevice(5), kNotFound);  // nothing left to remove
}

TEST_F(DeviceStateOperations, AFailedRemovalIsNotFound) {
    const std::string id = AddDemo(5, 1);
    tools::FailCall("SetupDiRemoveDevice", "", ERROR_ACCESS_DENIED);
    EXPECT_EQ(UnloadDevice(5), kNotFound);
    EXPECT_NE(sim::FindDevice(id), nullptr);
}

// The commands: device numbers in base 10, the enable flag in base 16.
class DeviceStateCommands : public DeviceStateOperations {
  protected:
    static int32_t Run(int32_t (*handler)(const char*, const char*, uint32_t, int32_t, char**),
                       std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(&a[0]);
        }
        argv.push_back(nullptr);
        return handler("boardkit", nullptr, 0, static_cast<int32_t>(args.size()), argv.data());
    }
};

TEST_F(DeviceStateCommands, UnloadDeviceReadsTheLeadingDigits) {
    const std::string twelve = AddDemo(12, 1);
    const std::string zero = AddDemo(0, 2);
    EXPECT_EQ(Run(UnloadDeviceCommand, {"12abc"}), 0);
    EXPECT_EQ(sim::FindDevice(twelve), nullptr);
    EXPECT_NE(sim::FindDevice(zero), nullptr);
    EXPECT_EQ(Run(UnloadDeviceCommand, {"abc"}), 0);
    EXPECT_EQ(sim::FindDevice(zero), nullptr);
    EXPECT_EQ(Run(UnloadDeviceCommand, {"12"}), 2);  // its board is gone now
}

TEST_F(DeviceStateCommands, EnableFlagIsHexadecimalAndDeviceNumberDecimal) {
    const std::string three = AddDemo(3, 1);
    const std::string ten = AddDemo(10, 2);
    sim::SetProblem(*sim::FindDevice(three), kDisabled);
    sim::SetProblem(*sim::FindDevice(ten), kDisabled);
    EXPECT_EQ(Run(EnableOrDisableDeviceCommand, {"10", "3"}), 0);
    EXPECT_EQ(Problem(three), 0u);
    EXPECT_EQ(Problem(ten), kDisabled);
    EXPECT_EQ(Run(EnableOrDisableDeviceCommand, {"0x0", "3"}), 0);
    EXPECT_EQ(Problem(three), kDisabled);
    EXPECT_EQ(Run(EnableOrDisableDeviceCommand, {"1", "99"}), 0);  // no such record
}

TEST_F(DeviceStateCommands, AFailureIsReported) {
    ASSERT_TRUE(tools::AddConfigurationRecord(
        4, {tools::DwordValue("ProductID", 0), tools::DwordValue("BoardID", 5)}));
    EXPECT_EQ(Run(EnableOrDisableDeviceCommand, {"1", "4"}), 2);
    EXPECT_EQ(Run(UnloadDeviceCommand, {"4"}), 2);
}

}  // namespace
