#include "sample_machine.h"

#include "machine_builder.h"
#include "platform/win32.h"

namespace tools {

// A demo device's record, a PCI board's record, their map entries, and a pre-installed USB
// package: enough for the lists and removals to show something. Device nodes and driver
// packages join as the simulated device tree grows.
bool BuildSampleMachine() {
    bool ok = true;
    ok = ok && AddConfigurationRecord(0, {DwordValue("ProductID", 0), DwordValue("BoardID", 0),
                                          StringValue("KernelKey", "TolDemoS")});
    ok = ok && AddConfigurationRecord(1, {DwordValue("ProductID", 0x0101),
                                          DwordValue("BusNumber", 3), DwordValue("SlotNumber", 0),
                                          StringValue("KernelKey", "TolPx10S")});
    ok = ok && AddMapEntry(0, 0);
    ok = ok && AddMapEntry(1, 1);
    ok = ok && WriteKey(kPreinstallServiceKey, {});
    return ok;
}

}  // namespace tools
