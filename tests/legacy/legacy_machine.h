// Machine states for the legacy tests: the tests' own ISA and demo packages copied into the
// machine, and reading back what a hand-built node carries.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../setup/setup_machine.h"
#include "devices.h"
#include "registry_tree.h"

namespace legacy_test {

inline const char* const kIsaInf = "C:\\Drivers\\Isa\\TolIx10s.inf";
inline const char* const kDemoInf = "C:\\Drivers\\Demo\\TolDemoS.inf";
// The first node the class installer generates for the packages' class "TolBoards".
inline const char* const kFirstNode = "ROOT\\TOLBOARDS\\0000";

inline std::string HostFixture(const std::string& relative) {
    std::string bytes;
    std::FILE* f =
        std::fopen((std::string(BK_SOURCE_DIR) + "/tests/fixtures/inf/" + relative).c_str(), "rb");
    EXPECT_NE(f, nullptr) << relative;
    if (f != nullptr) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

inline void InstallPackages() {
    EXPECT_TRUE(tools::WriteMachineFile(kIsaInf, HostFixture("isa/TolIx10s.inf")));
    EXPECT_TRUE(
        tools::WriteMachineFile("C:\\Drivers\\Isa\\TolIx10s.sys", HostFixture("isa/TolIx10s.sys")));
    EXPECT_TRUE(tools::WriteMachineFile(kDemoInf, HostFixture("demo/TolDemoS.inf")));
    EXPECT_TRUE(tools::WriteMachineFile("C:\\Drivers\\Demo\\TolDemoS.sys",
                                        HostFixture("demo/TolDemoS.sys")));
}

inline std::vector<std::string> MultiString(const std::string& instanceId, const char* value) {
    sim::DeviceNode* node = sim::FindDevice(instanceId);
    sim::RegKey* key = node != nullptr ? sim::DeviceKey(*node) : nullptr;
    if (key == nullptr)
        return {};
    return sim::GetMultiStringValue(*key, value).value_or(std::vector<std::string>{});
}

// The byte count a property read reports for the node.
inline DWORD PropertySize(const std::string& instanceId, DWORD property) {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, instanceId.c_str(), nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    DWORD size = 0;
    if (set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(set, 0, &data)) {
        SetupDiGetDeviceRegistryPropertyA(set, &data, property, nullptr, nullptr, 0, &size);
    }
    SetupDiDestroyDeviceInfoList(set);
    return size;
}

inline size_t RootBoardNodes() {
    size_t count = 0;
    for (sim::DeviceNode* node : sim::AllDevices()) {
        if (node->instanceId.rfind("ROOT\\TOLBOARDS\\", 0) == 0)
            ++count;
    }
    return count;
}

}  // namespace legacy_test
