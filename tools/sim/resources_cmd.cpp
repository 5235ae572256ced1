// boardkit-sim's resource commands: give a device node the I/O ranges, IRQs and DMA channels
// it holds while it runs, and show what every node holds.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "devices.h"
#include "resources_alloc.h"
#include "sim_commands.h"

namespace tools {
namespace {

using Args = std::vector<std::string>;

int ResourcesUsage() {
    std::fprintf(stderr,
                 "usage: boardkit-sim device resources ID [--io FIRST-LAST]... [--irq N]...\n"
                 "         [--dma N]...   (no option: the node holds nothing)\n");
    return 2;
}

bool ParseValue(const std::string& text, ULONGLONG& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    out = std::strtoull(text.c_str(), &end, 0);
    return end != nullptr && *end == '\0';
}

bool ParseRange(const std::string& text, sim::Resource& out) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        return false;
    }
    out.type = ResType_IO;
    return ParseValue(text.substr(0, dash), out.first) &&
           ParseValue(text.substr(dash + 1), out.last) && out.first <= out.last &&
           out.last <= 0xFFFF;
}

bool ParseNumbered(const std::string& text, RESOURCEID type, sim::Resource& out) {
    out.type = type;
    // IRQs and DMA channels of the ISA bus: 0-15 and 0-7.
    const ULONGLONG limit = type == ResType_IRQ ? 15 : 7;
    if (!ParseValue(text, out.first) || out.first > limit) {
        return false;
    }
    out.last = out.first;
    return true;
}

std::string Describe(const sim::Resource& r) {
    char text[64];
    if (r.type == ResType_IO) {
        std::snprintf(text, sizeof text, "io 0x%llX-0x%llX",
                      static_cast<unsigned long long>(r.first),
                      static_cast<unsigned long long>(r.last));
    } else {
        std::snprintf(text, sizeof text, "%s %llu", r.type == ResType_IRQ ? "irq" : "dma",
                      static_cast<unsigned long long>(r.first));
    }
    return text;
}

}  // namespace

int ResourcesCommand(const Args& args) {
    if (args.empty()) {
        return ResourcesUsage();
    }
    sim::DeviceNode* node = sim::FindDevice(args[0]);
    if (node == nullptr || node == &sim::RootDevice()) {
        std::fprintf(stderr, "boardkit-sim: no device %s\n", args[0].c_str());
        return 1;
    }
    std::vector<sim::Resource> list;
    for (size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) {
            return ResourcesUsage();
        }
        sim::Resource r;
        const std::string& option = args[i];
        const bool ok = option == "--io"    ? ParseRange(args[i + 1], r)
                        : option == "--irq" ? ParseNumbered(args[i + 1], ResType_IRQ, r)
                        : option == "--dma" ? ParseNumbered(args[i + 1], ResType_DMA, r)
                                            : false;
        if (!ok) {
            std::fprintf(stderr, "boardkit-sim: bad %s value %s\n", option.c_str(),
                         args[i + 1].c_str());
            return ResourcesUsage();
        }
        list.push_back(r);
    }
    sim::SetNodeResources(*node, std::move(list));
    return 0;
}

std::string DescribeNodeResources(const std::string& instanceId) {
    sim::DeviceNode* node = sim::FindDevice(instanceId);
    std::string text;
    if (node == nullptr) {
        return text;
    }
    for (const sim::Resource& r : sim::NodeResources(*node)) {
        text += (text.empty() ? "" : ", ") + Describe(r);
    }
    if (!text.empty() && !sim::HoldsResources(*node)) {
        text += " (not held: the device is not started)";
    }
    return text;
}

void ShowResources() {
    std::printf("[resources]\n");
    for (sim::DeviceNode* node : sim::AllDevices()) {
        const std::string text = DescribeNodeResources(node->instanceId);
        if (!text.empty()) {
            std::printf("%s: %s\n", node->instanceId.c_str(), text.c_str());
        }
    }
}

}  // namespace tools
