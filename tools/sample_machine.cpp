#include "sample_machine.h"

#include "machine_builder.h"
#include "devices.h"
#include "platform/win32.h"

namespace tools {

namespace {

constexpr const char* kBoardClass = "{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";

sim::DeviceSpec Board(const char* instanceId, std::vector<std::string> hardwareIds,
                      sim::Presence presence, ULONG problem, const char* location) {
    sim::DeviceSpec spec;
    spec.instanceId = instanceId;
    spec.hardwareIds = std::move(hardwareIds);
    spec.presence = presence;
    spec.problem = problem;
    spec.classGuid = kBoardClass;
    spec.className = "DAQBoard";
    spec.locationInformation = location;
    return spec;
}

// A working PCI board (the record Device001 describes, with its driver key), a second PCI
// board that has no driver yet, a USB module that was unplugged, and the demo device of record
// Device000, which has no driver either: a started device without one shows Code 28.
bool AddSampleBoards() {
    const std::string driverKey = std::string(kBoardClass) + "\\0000";
    sim::DeviceSpec boards[] = {
        Board("PCI\\VEN_5AE3&DEV_1001\\4&1A2B3C4D&0&0018",
              {"PCI\\VEN_5AE3&DEV_1001", "PCI\\VEN_5AE3&DEV_1001&CC_118000"},
              sim::Presence::Present, 0, "PCI bus 3, device 0, function 0"),
        Board("PCI\\VEN_5AE3&DEV_1001\\4&1A2B3C4D&0&0020",
              {"PCI\\VEN_5AE3&DEV_1001", "PCI\\VEN_5AE3&DEV_1001&CC_118000"},
              sim::Presence::Present, 28, "PCI bus 4, device 0, function 0"),
        Board("USB\\VID_2E5B&PID_0001\\5&2B3C4D5E&0&1", {"USB\\VID_2E5B&PID_0001"},
              sim::Presence::Phantom, 0, "Port_#0001.Hub_#0001"),
        Board("ROOT\\DAQBOARD\\0000", {"DEMO"}, sim::Presence::Present, CM_PROB_FAILED_INSTALL,
              "000"),
    };
    boards[0].driver = driverKey;
    for (const sim::DeviceSpec& board : boards) {
        if (sim::AddDevice(board) == nullptr) {
            return false;
        }
    }
    return WriteKey(std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + driverKey,
                    {StringValue("DriverDesc", "DAQ board PCI-1001")});
}

}  // namespace

// A demo device's record, a PCI board's record, their map entries, and a pre-installed USB
// package: enough for the lists and removals to show something. Device nodes and driver
// packages join as the simulated device tree grows.
bool BuildSampleMachine() {
    bool ok = true;
    ok = ok && AddConfigurationRecord(0, {DwordValue("ProductID", 0), DwordValue("BoardID", 0),
                                          StringValue("KernelKey", "TolDemoS")});
    ok = ok && AddConfigurationRecord(
                   1, {DwordValue("ProductID", 0x0101), DwordValue("BusNumber", 3),
                       DwordValue("SlotNumber", 0), StringValue("KernelKey", "TolPx10S")});
    ok = ok && AddMapEntry(0, 0);
    ok = ok && AddMapEntry(1, 1);
    ok = ok && WriteKey(kPreinstallServiceKey, {});
    ok = ok && AddSampleBoards();
    return ok;
}

}  // namespace tools
