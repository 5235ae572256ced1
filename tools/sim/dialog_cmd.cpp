// boardkit-sim's dialog commands: the scripted user of the machine's dialogs, and what the last
// dialog showed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/dialogs.h"
#include "sim_commands.h"

namespace tools {
namespace {

bool ParseInt(const std::string& text, int* out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (end == nullptr || *end != '\0' || value < -32768 || value > 65535) {
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

int DialogUsage() {
    std::fprintf(stderr,
                 "usage: boardkit-sim dialog script add select CONTROL_ID INDEX | "
                 "press BUTTON_ID\n"
                 "       boardkit-sim dialog script clear\n");
    return 2;
}

int AddStep(const std::vector<std::string>& args) {
    sim::DialogStep step;
    if (args.size() == 5 && args[2] == "select") {
        step.kind = sim::DialogStep::kSelect;
        if (!ParseInt(args[3], &step.control) || !ParseInt(args[4], &step.index) ||
            step.index < 0) {
            return DialogUsage();
        }
    } else if (args.size() == 4 && args[2] == "press") {
        step.kind = sim::DialogStep::kPress;
        if (!ParseInt(args[3], &step.control)) {
            return DialogUsage();
        }
    } else {
        return DialogUsage();
    }
    sim::AddDialogStep(step);
    return 0;
}

}  // namespace

int DialogCommand(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "script" && args[1] == "clear") {
        sim::ClearDialogScript();
        return 0;
    }
    if (args.size() >= 2 && args[0] == "script" && args[1] == "add") {
        return AddStep(args);
    }
    return DialogUsage();
}

void ShowDialog() {
    const std::vector<sim::DialogStep> script = sim::DialogScript();
    std::printf("dialog script: %zu step%s\n", script.size(), script.size() == 1 ? "" : "s");
    for (const sim::DialogStep& step : script) {
        std::printf("  %s\n", sim::DescribeDialogStep(step).c_str());
    }
    const std::vector<std::string> view = sim::LastDialogView();
    std::printf("last dialog:%s\n", view.empty() ? " none" : "");
    for (const std::string& line : view) {
        std::printf("  %s\n", line.c_str());
    }
}

}  // namespace tools
