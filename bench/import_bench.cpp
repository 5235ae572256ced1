// Importing a large customer machine: a generated `reg export` of about 50 MB (some 200,000
// values, UTF-16LE, hex(7) lists over several lines) and its present.txt, as boardkit-sim
// import reads them. The goal on the project's two-core machine: under 2 seconds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/import.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kClass =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
    "{3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}\\";

struct Export {
    std::string text;  // ASCII; written as UTF-16LE
    std::string present;
    size_t values = 0;
};

// regedit's layout of hex data: wrapped after the comma that reaches column 77.
void HexValue(Export& out, const std::string& name, const char* kind, const std::string& bytes) {
    std::string line = "\"" + name + "\"=" + kind;
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
        line += digits;
        if (i + 1 < bytes.size()) {
            line += ',';
            if (line.size() >= 77) {
                out.text += line + "\\\r\n";
                line = "  ";
            }
        }
    }
    out.text += line + "\r\n";
    ++out.values;
}

void MultiValue(Export& out, const std::string& name, const std::vector<std::string>& list) {
    std::string bytes;
    for (const std::string& item : list) {
        for (char c : item + '\0') {
            bytes += c;
            bytes += '\0';
        }
    }
    bytes += std::string(2, '\0');
    HexValue(out, name, "hex(7):", bytes);
}

void Text(Export& out, const std::string& name, const std::string& value) {
    std::string quoted;
    for (char c : value) {
        quoted += c == '\\' ? "\\\\" : std::string(1, c);
    }
    out.text += "\"" + name + "\"=\"" + quoted + "\"\r\n";
    ++out.values;
}

void Dword(Export& out, const std::string& name, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    out.text += "\"" + name + "\"=dword:" + text + "\r\n";
    ++out.values;
}

void AddDevice(Export& out, unsigned n) {
    char dev[8], instance[32], driver[8];
    std::snprintf(dev, sizeof dev, "%04X", 0x1000 + n % 0x400);
    std::snprintf(instance, sizeof instance, "4&%08x&0&%04u", n * 2654435761u, n % 10000);
    std::snprintf(driver, sizeof driver, "%04u", n);
    const std::string hw = std::string("PCI\\VEN_5AE3&DEV_") + dev;
    const std::string id = hw + "&SUBSYS_00015AE3&REV_01\\" + instance;
    out.text += "[" + std::string(kEnum) + id + "]\r\n";
    Text(out, "DeviceDesc", "Tolvan Data Acquisition Board " + std::to_string(n));
    Text(out, "LocationInformation",
         "PCI bus " + std::to_string(n / 32) + ", device " + std::to_string(n % 32) +
             ", function 0");
    Dword(out, "Capabilities", 0);
    MultiValue(out, "HardwareID",
               {hw + "&SUBSYS_00015AE3&REV_01", hw + "&SUBSYS_00015AE3", hw + "&CC_118000",
                hw + "&CC_1180"});
    MultiValue(out, "CompatibleIDs",
               {hw + "&REV_01", hw, "PCI\\VEN_5AE3&CC_118000", "PCI\\CC_118000", "PCI\\CC_1180"});
    Text(out, "ContainerID", "{00000000-0000-0000-ffff-ffffffffffff}");
    Dword(out, "ConfigFlags", 0);
    Text(out, "ClassGUID", "{3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}");
    Text(out, "Class", "DAQBoard");
    Text(out, "Driver", std::string("{3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}\\") + driver);
    Text(out, "Service", "TolPx10S");
    out.text += "\r\n[" + std::string(kEnum) + id + "\\Device Parameters]\r\n";
    HexValue(out, "InterruptManagement", "hex:", std::string(16, '\x01'));
    Dword(out, "MSISupported", 1);
    out.text += "\r\n[" + std::string(kClass) + driver + "]\r\n";
    Text(out, "InfPath", "oem" + std::to_string(3 + n % 50) + ".inf");
    Text(out, "InfSection", "Board_Install");
    Text(out, "ProviderName", "Tolvan");
    HexValue(out, "DriverDateData", "hex(3):", "\x00\x40\x2e\x8c\x3c\xbc\xda\x01");
    Text(out, "DriverDate", "5-2-2025");
    Text(out, "DriverVersion", "2.1.0." + std::to_string(n % 100));
    Text(out, "MatchingDeviceId", hw);
    Text(out, "DriverDesc", "Tolvan Data Acquisition Board");
    out.text += "\r\n";
    out.present += id + "\r\n";
}

std::string Utf16(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + 2 * ascii.size());
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

struct Inputs {
    std::string folder;
    size_t bytes = 0;
    size_t values = 0;
};

// Written once per process; 9,500 boards give about 50 MB and 200,000 values.
const Inputs& LargeExport() {
    static const Inputs inputs = [] {
        Export out;
        out.text = "Windows Registry Editor Version 5.00\r\n\r\n";
        for (unsigned n = 0; n < 9500; ++n) {
            AddDevice(out, n);
        }
        Inputs made;
        made.folder = (fs::temp_directory_path() / "bk-bench-import").string();
        fs::create_directories(made.folder);
        const std::string reg = Utf16(out.text);
        std::ofstream(made.folder + "/customer.reg", std::ios::binary) << reg;
        std::ofstream(made.folder + "/present.txt", std::ios::binary) << Utf16(out.present);
        made.bytes = reg.size();
        made.values = out.values;
        return made;
    }();
    return inputs;
}

void BM_ImportLargeExport(benchmark::State& state) {
    const Inputs& inputs = LargeExport();
    tools::ImportRequest request;
    request.imageDir = inputs.folder + "/image";
    request.regFiles = {inputs.folder + "/customer.reg"};
    request.presenceFile = inputs.folder + "/present.txt";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(request.imageDir);
        state.ResumeTiming();
        const tools::ImportResult result = tools::ImportMachine(request);
        if (!result.ok) {
            state.SkipWithError(result.error.c_str());
            break;
        }
    }
    state.counters["MB"] = static_cast<double>(inputs.bytes) / 1e6;
    state.counters["values"] = static_cast<double>(inputs.values);
    fs::remove_all(request.imageDir);
}
BENCHMARK(BM_ImportLargeExport)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
