// The generator behind the benchmarks: the sizes asked for, the same machine for the same seed,
// and no more records than device numbers allow.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices.h"
#include "file_system.h"
#include "machine.h"
#include "sim/generate.h"
#include "sim/processes.h"

namespace {

std::vector<std::string> InstanceIds() {
    std::vector<std::string> ids;
    for (const sim::DeviceNode* node : sim::AllDevices()) {
        ids.push_back(node->instanceId);
    }
    return ids;
}

tools::GenerateOptions Small(uint32_t seed) {
    tools::GenerateOptions options;
    options.devices = 300;
    options.records = 60;
    options.infs = 20;
    options.preinstall = 5;
    options.processes = 4;
    options.seed = seed;
    return options;
}

TEST(Generator, MakesTheSizesAskedFor) {
    sim::ResetToEmpty();
    ASSERT_TRUE(tools::GenerateMachine(Small(1)));
    EXPECT_EQ(sim::AllDevices().size(), 300u);
    EXPECT_EQ(sim::RunningProcesses().size(), 4u);
    EXPECT_GE(sim::RunningProcesses()[0].commandLine.size(), 1500u);
    EXPECT_EQ(sim::files::ListDirectory("C:\\Windows\\INF").size(), 20u);
    std::string inf;
    ASSERT_TRUE(sim::files::ReadWholeFile("C:\\Windows\\INF\\oem19.inf", inf));
    EXPECT_GT(inf.size(), 7 * 1024u);
    EXPECT_LE(inf.size(), 8 * 1024u);
    sim::RegKey* records = sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Services\\TOLVAN");
    ASSERT_NE(records, nullptr);
    EXPECT_EQ(records->subkeys.size(), 61u);  // Device000..Device059 and MapEntry
    EXPECT_NE(sim::FindKey(*records, "Device049"), nullptr);
    EXPECT_TRUE(sim::GetDwordValue(*sim::FindKey(*records, "Device049"), "Alias").has_value());
    EXPECT_FALSE(sim::GetDwordValue(*sim::FindKey(*records, "Device048"), "Alias").has_value());
}

TEST(Generator, SameSeedSameMachineOtherSeedOtherMachine) {
    sim::ResetToEmpty();
    ASSERT_TRUE(tools::GenerateMachine(Small(7)));
    const std::vector<std::string> first = InstanceIds();
    sim::ResetToEmpty();
    ASSERT_TRUE(tools::GenerateMachine(Small(7)));
    EXPECT_EQ(InstanceIds(), first);
    sim::ResetToEmpty();
    ASSERT_TRUE(tools::GenerateMachine(Small(8)));
    EXPECT_NE(InstanceIds(), first);
}

TEST(Generator, RefusesMoreRecordsThanDeviceNumbers) {
    sim::ResetToEmpty();
    tools::GenerateOptions options = Small(1);
    options.devices = 2000;
    options.records = 1001;
    EXPECT_FALSE(tools::GenerateMachine(options));
}

TEST(GeneratorOptions, PresetThenOverrides) {
    tools::GenerateOptions options;
    ASSERT_TRUE(tools::ParseGenerateOptions(
        {"--preset", "large", "--devices", "500", "--seed", "3"}, options));
    EXPECT_EQ(options.devices, 500u);
    EXPECT_EQ(options.records, 1000u);
    EXPECT_EQ(options.infs, 1000u);
    EXPECT_EQ(options.processes, 100u);
    EXPECT_EQ(options.seed, 3u);
    EXPECT_FALSE(tools::ParseGenerateOptions({"--devices", "-1"}, options));
    EXPECT_FALSE(tools::ParseGenerateOptions({"--devices"}, options));
    EXPECT_FALSE(tools::ParseGenerateOptions({"--preset", "huge"}, options));
    EXPECT_FALSE(tools::ParseGenerateOptions({"--colour", "1"}, options));
}

}  // namespace
