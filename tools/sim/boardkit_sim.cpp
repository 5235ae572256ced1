// clang-format off
// boardkit-sim: creates, shows and changes machine images for the Linux build of boardkit.
//
//   boardkit-sim new [--empty] DIR          a new image: the sample machine, or an empty one
//   boardkit-sim [-M DIR] show [PART]       settings, faults, registry, files, certificates, shutdown
//   boardkit-sim [-M DIR] reg import FILE   applies a .reg file to HKLM
//   boardkit-sim [-M DIR] reg export FILE [KEY]
//   boardkit-sim [-M DIR] fault add API ERROR [--arg TEXT] [--nth N | --from N]
//   boardkit-sim [-M DIR] fault list | fault clear
//   boardkit-sim [-M DIR] set elevated yes|no
//   boardkit-sim [-M DIR] journal
//   boardkit-sim [-M DIR] device plug|arrive|unplug|remove ID [OPTIONS]
//   boardkit-sim [-M DIR] device resources ID [--io 0x300-0x31F]... [--irq N] [--dma N]
//   boardkit-sim [-M DIR] process start IMAGE [--cmdline TEXT] [--holds PATH]... | stop PID
//   boardkit-sim [-M DIR] wizard start [ID] | tray remove|restore
//   boardkit-sim [-M DIR] file write C:\PATH TEXT | file copy HOSTFILE C:\PATH
//   boardkit-sim import DIR REGFILE... [--present FILE] [--inf FOLDER]
//   boardkit-sim what-if IMAGE [--json] [--boardkit PATH] -- ARGS...
//   boardkit-sim help | --help
//
// Without -M the image named by BOARDKIT_MACHINE is used.
// clang-format on
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "machine.h"
#include "sample_machine.h"
#include "sim_commands.h"
#include "sim/import.h"
#include "sim/what_if.h"

namespace {

using Args = std::vector<std::string>;

// The usage, on standard error after a wrong command line (exit 2), or on standard output when
// asked for with help, --help or -h (exit 0).
int Usage(std::FILE* out = stderr, int exitCode = 2) {
    std::fprintf(
        out,
        "usage: boardkit-sim new [--empty] DIR\n"
        "       boardkit-sim new [--preset large] [--devices N] [--records N] [--infs N]\n"
        "                        [--preinstall N] [--processes N] [--seed S] DIR\n"
        "       boardkit-sim [-M DIR] show [settings|faults|registry|files|devices|\n"
        "                                 certificates|shutdown|journal|processes|\n"
        "                                 windows|timers]\n"
        "       boardkit-sim [-M DIR] reg import FILE | reg export FILE [KEY]\n"
        "       boardkit-sim [-M DIR] fault add API ERROR [--arg TEXT] [--nth N|--from N]\n"
        "       boardkit-sim [-M DIR] fault list | fault clear\n"
        "           (a fault stays until fault clear; --nth N fails the Nth matching\n"
        "            call of every run, --from N every call from the Nth on)\n"
        "       boardkit-sim [-M DIR] set elevated yes|no\n"
        "       boardkit-sim [-M DIR] journal\n"
        "       boardkit-sim [-M DIR] device plug|arrive|unplug|remove ID [OPTIONS]\n"
        "       boardkit-sim [-M DIR] device resources ID [--io A-B] [--irq N] [--dma N]\n"
        "       boardkit-sim [-M DIR] record add N [--value NAME=TYPE:DATA]... | record "
        "show|delete\n"
        "       boardkit-sim [-M DIR] map add N HEX | map delete N | map show\n"
        "       boardkit-sim [-M DIR] file write C:\\PATH TEXT | file copy HOSTFILE C:\\PATH\n"
        "       boardkit-sim [-M DIR] dialog script add select ID INDEX | press ID | clear\n"
        "       boardkit-sim [-M DIR] process start IMAGE [--cmdline T] [--holds P]... | stop PID\n"
        "       boardkit-sim [-M DIR] wizard start [ID] | tray remove|restore\n"
        "       boardkit-sim import DIR REGFILE... [--present FILE] [--inf FOLDER]\n"
        "       boardkit-sim import DIR COLLECTED_FOLDER   (what boardkit-collect wrote)\n"
        "       boardkit-sim what-if IMAGE [--json] [--boardkit PATH] -- ARGS...\n"
        "       boardkit-sim help | --help\n"
        "Without -M the image named by BOARDKIT_MACHINE is used. Exit codes: 0 done,\n"
        "1 failed (the reason on standard error), 2 wrong command line; what-if exits with\n"
        "the command's own code, or 125 when it cannot run the command.\n");
    return exitCode;
}

bool ParseNumber(const std::string& text, unsigned long& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, 0);
    return end != nullptr && *end == '\0';
}

int NewImage(const Args& args) {
    bool empty = false;
    std::string dir;
    for (const std::string& arg : args) {
        if (arg == "--empty") {
            empty = true;
        } else if (dir.empty()) {
            dir = arg;
        } else {
            return Usage();
        }
    }
    if (dir.empty()) {
        return Usage();
    }
    if (std::filesystem::exists(std::filesystem::path(dir) / "current")) {
        std::fprintf(stderr, "boardkit-sim: %s already holds a machine\n", dir.c_str());
        return 1;
    }
    sim::OpenImage(dir);
    if (!empty && !tools::BuildSampleMachine()) {
        std::fprintf(stderr, "boardkit-sim: the sample machine could not be built\n");
        return 1;
    }
    sim::MarkDirty("machine");
    sim::SaveImage();
    std::printf("created %s machine in %s\n", empty ? "an empty" : "the sample", dir.c_str());
    return 0;
}

int Faults(const Args& args) {
    if (args.empty()) {
        return Usage();
    }
    auto& faults = sim::Faults();
    if (args[0] == "list" && args.size() == 1) {
        for (const sim::Fault& f : faults) {
            std::printf("%s error=%lu%s%s%s\n", f.api.c_str(), static_cast<unsigned long>(f.error),
                        f.arg.empty() ? "" : (" arg=" + f.arg).c_str(),
                        f.nth ? (" nth=" + std::to_string(f.nth)).c_str() : "",
                        f.from ? (" from=" + std::to_string(f.from)).c_str() : "");
        }
        return 0;
    }
    if (args[0] == "clear" && args.size() == 1) {
        faults.clear();
        sim::MarkDirty("machine");
        return 0;
    }
    if (args[0] != "add" || args.size() < 3) {
        return Usage();
    }
    sim::Fault fault;
    fault.api = args[1];
    unsigned long error = 0;
    if (!ParseNumber(args[2], error)) {
        return Usage();
    }
    fault.error = static_cast<DWORD>(error);
    for (size_t i = 3; i < args.size(); i += 2) {
        unsigned long n = 0;
        if (i + 1 >= args.size()) {
            return Usage();
        }
        if (args[i] == "--arg") {
            fault.arg = args[i + 1];
        } else if (args[i] == "--nth" && ParseNumber(args[i + 1], n)) {
            fault.nth = static_cast<unsigned>(n);
        } else if (args[i] == "--from" && ParseNumber(args[i + 1], n)) {
            fault.from = static_cast<unsigned>(n);
        } else {
            return Usage();
        }
    }
    faults.push_back(fault);
    sim::MarkDirty("machine");
    return 0;
}

int Set(const Args& args) {
    if (args.size() != 2 || args[0] != "elevated" || (args[1] != "yes" && args[1] != "no")) {
        return Usage();
    }
    sim::Settings().elevated = args[1] == "yes";
    sim::MarkDirty("machine");
    return 0;
}

int Journal() {
    std::ifstream in(sim::ImageDir() + "/journal.log", std::ios::binary);
    std::cout << in.rdbuf();
    return 0;
}

int Show(const Args& args) {
    const std::string what = args.empty() ? "all" : args[0];
    if (what == "settings" || what == "all") {
        std::printf("elevated: %s\n", sim::Settings().elevated ? "yes" : "no");
    }
    if (what == "faults" || what == "all") {
        std::printf("faults: %zu\n", sim::Faults().size());
        Faults({"list"});
    }
    if (what == "journal") {
        return Journal();
    }
    if (what == "dialog") {
        tools::ShowDialog();
        return 0;
    }
    if (what == "resources") {
        tools::ShowResources();
        return 0;
    }
    if (what == "devices" || what == "all") {
        tools::ShowDevices();
    }
    if (what == "certificates" || what == "all") {
        tools::ShowCertificates();
    }
    if (what == "shutdown" || what == "all") {
        tools::ShowShutdown();
    }
    if (what == "processes" || what == "all") {
        tools::ShowProcesses();
    }
    if (what == "windows" || what == "all") {
        tools::ShowWindows();
    }
    if (what == "timers" || what == "all") {
        tools::ShowTimers();
    }
    const bool ownView = what == "devices" || what == "certificates" || what == "shutdown" ||
                         what == "processes" || what == "windows" || what == "timers";
    return tools::ShowAreas(what) || ownView ? 0 : Usage();
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argv + 1, argv + argc);
    std::string image;
    if (args.size() >= 2 && (args[0] == "-M" || args[0] == "--machine")) {
        image = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        return Usage();
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "help" || command == "--help" || command == "-h") {
        return Usage(stdout, 0);
    }
    if (command == "new" && tools::IsGenerateRequest(args)) {
        return tools::NewGeneratedImage(args);
    }
    if (command == "new") {
        return NewImage(args);
    }
    if (command == "import" || command == "what-if") {
        return command == "import" ? tools::ImportCommand(args) : tools::WhatIfCommand(args);
    }
    if (image.empty()) {
        const char* env = std::getenv("BOARDKIT_MACHINE");
        if (env == nullptr || *env == '\0') {
            std::fprintf(stderr,
                         "boardkit-sim: name the machine with -M DIR or BOARDKIT_MACHINE\n");
            return 2;
        }
        image = env;
    }
    if (!std::filesystem::exists(std::filesystem::path(image) / "current")) {
        std::fprintf(stderr, "boardkit-sim: %s holds no machine (make one with new)\n",
                     image.c_str());
        return 1;
    }
    sim::OpenImage(image);
    int rc = 2;
    if (command == "show") {
        rc = Show(args);
    } else if (command == "fault") {
        rc = Faults(args);
    } else if (command == "set") {
        rc = Set(args);
    } else if (command == "journal") {
        rc = Journal();
    } else if (command == "device" && !args.empty() && args[0] == "resources") {
        rc = tools::ResourcesCommand(Args(args.begin() + 1, args.end()));
    } else if (command == "device") {
        rc = tools::DeviceCommand(args);
    } else if (command == "dialog") {
        rc = tools::DialogCommand(args);
    } else if (command == "file") {
        rc = tools::FileCommand(args);
    } else if (command == "record") {
        rc = tools::RecordCommand(args);
    } else if (command == "map") {
        rc = tools::MapCommand(args);
    } else if (command == "reg") {
        rc = tools::RegCommand(args);
    } else if (command == "process" || command == "wizard" || command == "tray") {
        rc = command == "process"  ? tools::ProcessCommand(args)
             : command == "wizard" ? tools::WizardCommand(args)
                                   : tools::TrayCommand(args);
    } else {
        rc = Usage();
    }
    if (rc == 0) {
        sim::SaveImage();
    }
    return rc;
}
