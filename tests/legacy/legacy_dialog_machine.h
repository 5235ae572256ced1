// A machine for the dialog and conflict tests: the node under construction, other devices
// holding resources, and a scripted user.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "choke.h"
#include "devices.h"
#include "legacy/device_node.h"
#include "legacy/resource_dialog.h"
#include "machine.h"
#include "resources_alloc.h"
#include "sim/dialogs.h"
#include "tools/machine_builder.h"

namespace legacy_test {

class DialogMachineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        IsaResourceSelection = {};
        sim::DeviceNode* node = tools::AddBoard(
            {"ROOT\\MULTIFUNCTION\\0000", {"PCM3718"}, sim::Presence::Present, 0, ""});
        ASSERT_NE(node, nullptr);
        CurrentDeviceNode.deviceInfoData.DevInst = node->devInst;
    }
    void TearDown() override { sim::ResetToEmpty(); }

    // Another present, started device that holds `resources`.
    void AddClaimant(const std::string& instanceId, std::vector<sim::Resource> resources) {
        sim::DeviceNode* node =
            tools::AddBoard({instanceId, {"OTHER"}, sim::Presence::Present, 0, ""});
        ASSERT_NE(node, nullptr);
        sim::SetNodeResources(*node, std::move(resources));
    }

    static void Select(int control, int index) {
        sim::AddDialogStep({sim::DialogStep::kSelect, control, index});
    }
    static void Press(int button) { sim::AddDialogStep({sim::DialogStep::kPress, button, 0}); }

    static std::vector<std::string> MessageBoxes() {
        std::vector<std::string> shown;
        for (const std::string& line : sim::JournalLines()) {
            if (line.rfind("MessageBoxA(", 0) == 0) {
                shown.push_back(line);
            }
        }
        return shown;
    }
};

inline sim::Resource Io(ULONGLONG first, ULONGLONG last) {
    return {ResType_IO, first, last};
}
inline sim::Resource Irq(ULONGLONG number) {
    return {ResType_IRQ, number, number};
}
inline sim::Resource Dma(ULONGLONG number) {
    return {ResType_DMA, number, number};
}

}  // namespace legacy_test
