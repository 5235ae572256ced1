// Machine states for the uninstall tests: demo boards with records, driver keys naming their
// OEM INF copies, driver files in the system folders, pre-install records.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "choke.h"
#include "config/config_machine.h"

namespace uninstall_test {

using config_test::KeyExists;
using config_test::MapValueExists;
using tools::DwordValue;
using tools::StringValue;

inline const char* const kClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";

// A present demo board ROOT\DAQBOARD\<board>, location "%03u", installed from `oemInf`.
inline std::string DemoBoard(unsigned board, const std::string& oemInf,
                             std::vector<std::string> ids = {"DEMO"}) {
    char id[32];
    std::snprintf(id, sizeof id, "ROOT\\DAQBOARD\\%04u", board);
    char location[8];
    std::snprintf(location, sizeof location, "%03u", board);
    char driver[16];
    std::snprintf(driver, sizeof driver, "%04u", board);
    sim::DeviceSpec spec;
    spec.instanceId = id;
    spec.hardwareIds = std::move(ids);
    spec.classGuid = setup_test::kBoardClass;
    spec.locationInformation = location;
    spec.driver = std::string(setup_test::kBoardClass) + "\\" + driver;
    EXPECT_NE(sim::AddDevice(spec), nullptr) << id;
    EXPECT_TRUE(
        tools::WriteKey(std::string(kClassKey) + "\\" + driver, {StringValue("InfPath", oemInf)}));
    return id;
}

inline void DemoRecord(unsigned number, unsigned board, unsigned product = 0,
                       const std::string& kernelKey = "TolDemoS") {
    config_test::Record(number, {DwordValue("ProductID", product), DwordValue("BoardID", board),
                                 StringValue("KernelKey", kernelKey)});
    config_test::MapValue(number);
}

inline void OemCopy(const std::string& name, const std::string& text) {
    setup_test::WriteFile("C:\\Windows\\INF\\" + name, text);
}

inline bool FileThere(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool DeviceThere(const std::string& id) {
    return sim::FindDevice(id) != nullptr;
}

// The journal lines of this test that name one of the calls, with their arguments.
inline std::vector<std::string> Effects(const std::vector<std::string>& calls) {
    std::vector<std::string> lines;
    for (const std::string& line : sim::JournalLines()) {
        for (const std::string& call : calls) {
            if (line.find(call) != std::string::npos) {
                lines.push_back(line);
                break;
            }
        }
    }
    return lines;
}

// Index of the first journal line containing all the parts; -1 if none.
inline int FirstLine(const std::vector<std::string>& parts) {
    const std::vector<std::string>& lines = sim::JournalLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        bool all = true;
        for (const std::string& part : parts) {
            all = all && lines[i].find(part) != std::string::npos;
        }
        if (all) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace uninstall_test
