#include "generate.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "catalog/catalog.h"
#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine_builder.h"
#include "registry_tree.h"
#include "resources_alloc.h"
#include "sim/processes.h"

namespace tools {
namespace {

constexpr const char* kBoardClass = "{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";
constexpr const char* kSystemClass = "{4d36e97d-e325-11ce-bfc1-08002be10318}";
constexpr unsigned kMaxRecords = 1000;  // device numbers have three digits
constexpr std::size_t kInfSize = 8 * 1024;

// A small linear congruential generator: the same seed gives the same machine on every host,
// which std::uniform_int_distribution does not promise.
struct Random {
    uint64_t state;
    uint32_t Next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    unsigned Below(unsigned n) { return n == 0 ? 0 : Next() % n; }
};

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Catalog rows of real boards (row 0 is the demo device).
const CatalogEntry& BoardRow(unsigned index) {
    return kDeviceCatalog[1 + index % (kCatalogRowCount - 1)];
}

std::string Family(const CatalogEntry& row) {
    const std::string bus = row.busType;
    return bus == "PCIE" ? "PCI" : bus;
}

// Where board `k` of the maker sits: PCI bus and slot for PCI rows, a port base for ISA.
struct Placement {
    unsigned bus, slot, ioBase, irq;
};
Placement PlacementOf(unsigned k) {
    return {1 + k / 32, k % 32, 0x200 + (k % 24) * 0x20, 3 + k % 12};
}

sim::DeviceSpec MakerBoard(unsigned k, const CatalogEntry& row, Random& random) {
    const Placement at = PlacementOf(k);
    sim::DeviceSpec spec;
    spec.classGuid = kBoardClass;
    spec.className = "DAQBoard";
    spec.deviceDesc = std::string("Tolvan ") + row.model;
    spec.hardwareIds = {row.hardwareId};
    const std::string family = Family(row);
    if (family == "PCI") {
        spec.instanceId =
            std::string(row.hardwareId) + Format("\\4&%08X&0&%02X", random.Next(), at.slot * 8);
        spec.hardwareIds.push_back(std::string(row.hardwareId) + "&CC_118000");
        spec.locationInformation = Format("PCI bus %u, device %u, function 0", at.bus, at.slot);
    } else if (family == "USB") {
        spec.instanceId =
            std::string(row.hardwareId) + Format("\\5&%08X&0&%u", random.Next(), k % 8 + 1);
        spec.locationInformation = Format("Port_#%04u.Hub_#%04u", k % 8 + 1, k / 8 % 100 + 1);
    } else {
        spec.instanceId = Format("ROOT\\DAQBOARD\\%04u", 1000 + k);
        spec.locationInformation = Format("%03u", k);
    }
    return spec;
}

// Devices of other makers, of the kinds a PC has many of.
sim::DeviceSpec OtherDevice(unsigned i, Random& random) {
    sim::DeviceSpec spec;
    spec.classGuid = kSystemClass;
    spec.className = "System";
    const unsigned device = random.Below(0x3000);
    switch (i % 3) {
        case 0:
            spec.hardwareIds = {Format("PCI\\VEN_8086&DEV_%04X&SUBSYS_%08X", device, random.Next()),
                                Format("PCI\\VEN_8086&DEV_%04X", device)};
            spec.locationInformation =
                Format("PCI bus %u, device %u, function %u", i % 200, i % 32, i % 8);
            break;
        case 1:
            spec.hardwareIds = {Format("USB\\VID_046D&PID_%04X&REV_%04X", device, i % 100),
                                Format("USB\\VID_046D&PID_%04X", device)};
            break;
        default:
            spec.hardwareIds = {Format("ACPI\\PNP%04X", device % 0x10000)};
            break;
    }
    spec.compatibleIds = {"*PNP0C01"};
    spec.instanceId = spec.hardwareIds.back() + Format("\\7&%08X&0&%u", random.Next(), i);
    spec.deviceDesc = "Other maker's device";
    return spec;
}

// Presence and problem: about a third of the nodes are remembered boards, a few present ones
// have no driver (28) or are disabled (22).
void Spread(sim::DeviceSpec& spec, Random& random) {
    const unsigned roll = random.Below(100);
    spec.presence = roll < 30 ? sim::Presence::Phantom : sim::Presence::Present;
    spec.problem = roll >= 30 && roll < 35 ? 28 : roll >= 35 && roll < 37 ? 22 : 0;
}

bool AttachInf(sim::DeviceNode& node, unsigned infs, unsigned k) {
    if (infs == 0) {
        return true;
    }
    sim::RegKey* key = sim::CreateDriverKey(node);
    if (key == nullptr) {
        return false;
    }
    sim::SetStringValue(*key, "InfPath", Format("oem%u.inf", k % infs));
    sim::SetStringValue(*key, "DriverVersion", "3.0.1.0");
    return true;
}

bool AddMakerBoard(unsigned k, const GenerateOptions& options, Random& random) {
    const CatalogEntry& row = BoardRow(k * 7);
    sim::DeviceSpec spec = MakerBoard(k, row, random);
    // The boards that records describe are present, so record scans find their devices.
    if (k >= options.records) {
        Spread(spec, random);
    }
    sim::DeviceNode* node = sim::AddDevice(spec);
    if (node == nullptr) {
        return false;
    }
    if (Family(row) == "ISA") {
        const Placement at = PlacementOf(k);
        sim::SetNodeResources(
            *node, {{ResType_IO, at.ioBase, at.ioBase + 0x1F}, {ResType_IRQ, at.irq, at.irq}});
    }
    return spec.problem == 28 || AttachInf(*node, options.infs, k);
}

bool AddDevices(const GenerateOptions& options, Random& random) {
    // Four nodes in ten are the maker's boards, so several of one model appear.
    const unsigned boards = std::max(options.records, options.devices * 4 / 10);
    for (unsigned i = 0; i < options.devices; ++i) {
        if (i < boards) {
            if (!AddMakerBoard(i, options, random)) {
                return false;
            }
            continue;
        }
        sim::DeviceSpec spec = OtherDevice(i, random);
        Spread(spec, random);
        if (sim::AddDevice(spec) == nullptr) {
            return false;
        }
    }
    return true;
}

// Record k describes maker board k; every fiftieth is an alias record the framework leaves
// beside a real one.
bool AddRecords(const GenerateOptions& options) {
    bool ok = true;
    for (unsigned k = 0; ok && k < options.records; ++k) {
        const CatalogEntry& row = BoardRow(k * 7);
        const Placement at = PlacementOf(k);
        std::vector<RecordValue> values = {
            DwordValue("ProductID", row.productId), DwordValue("BoardID", k),
            StringValue("KernelKey", row.kernelKey), StringValue("DriverVersion", "3.0.1.0")};
        const std::string family = Family(row);
        if (family == "PCI") {
            values.push_back(DwordValue("BusNumber", at.bus));
            values.push_back(DwordValue("SlotNumber", at.slot));
        } else if (family == "ISA") {
            values.push_back(DwordValue("BaseAddress", at.ioBase));
            values.push_back(DwordValue("IRQ", at.irq));
        }
        if (k % 50 == 49) {
            values.push_back(DwordValue("Alias", k - 1));
        }
        ok = AddConfigurationRecord(k, values) && AddMapEntry(k, 0x10000 + k);
    }
    return ok;
}

bool AddInfCopies(const GenerateOptions& options) {
    if (sim::files::CreateDirectories("C:\\Windows\\INF") != 0) {
        return false;
    }
    for (unsigned i = 0; i < options.infs; ++i) {
        const std::string path = Format("C:\\Windows\\INF\\oem%u.inf", i);
        if (sim::files::WriteWholeFile(path, GeneratedInfText(i, kInfSize)) != 0) {
            return false;
        }
    }
    // As staging would, leave the device installer's summaries of the copies in the image, so
    // that the machine's first refresh does not parse them all.
    sim::store::StagedMatches({});
    return true;
}

// Named as the program names them: the INF file name without its last five characters.
bool AddPreinstallRecords(const GenerateOptions& options) {
    bool ok = WriteKey(kPreinstallServiceKey, {});
    for (unsigned i = 0; ok && i < options.preinstall; ++i) {
        const std::string file(CatalogInfFileName(BoardRow(i)));
        const std::string name = file.size() > 5 ? file.substr(0, file.size() - 5) : file;
        ok = AddPreinstallRecord(name, file);
    }
    return ok;
}

void AddProcesses(const GenerateOptions& options) {
    for (unsigned i = 0; i < options.processes; ++i) {
        sim::ProcessRecord process;
        process.image = Format("C:\\Program Files\\Vendor%u\\service%u.exe", i % 17, i);
        process.commandLine = "\"" + process.image + "\"";
        while (process.commandLine.size() < 1500) {
            process.commandLine +=
                Format(" /option%u=C:\\ProgramData\\Vendor%u\\settings%u.ini", i, i % 17,
                       static_cast<unsigned>(process.commandLine.size()));
        }
        sim::StartProcess(process);
    }
}

bool ParseCount(const std::string& text, unsigned& out) {
    if (text.empty() || text[0] == '-') {
        return false;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (end == nullptr || *end != '\0' || value > 10000000UL) {
        return false;
    }
    out = static_cast<unsigned>(value);
    return true;
}

}  // namespace

GenerateOptions LargePreset() {
    GenerateOptions options;
    options.devices = 10000;
    options.records = 1000;
    options.infs = 1000;
    options.preinstall = 100;
    options.processes = 100;
    return options;
}

std::string GeneratedInfText(unsigned index, std::size_t size) {
    const CatalogEntry& row = BoardRow(index);
    std::string text = "; Driver package of the " + std::string(row.model) + "\r\n";
    text += "[Version]\r\nSignature   = \"$Windows NT$\"\r\nClass       = DAQBoard\r\n";
    text += "ClassGuid   = {3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}\r\nProvider    = %Vendor%\r\n";
    text += Format("DriverVer   = 11/20/2024,3.0.%u.0\r\n\r\n", index);
    text += "[Manufacturer]\r\n%Vendor% = Boards, NTamd64\r\n\r\n[Boards.NTamd64]\r\n";
    text += "%Board.Desc% = Board_Install, " + std::string(row.hardwareId) + "\r\n\r\n";
    text += "[Board_Install.NTamd64]\r\nCopyFiles = Board.Drivers\r\n\r\n";
    text += "[Board.Drivers]\r\n" + std::string(row.kernelDriver) + "\r\n\r\n";
    text += "[Strings]\r\nVendor = \"Tolvan\"\r\nBoard.Desc = \"Tolvan " + std::string(row.model) +
            "\"\r\n";
    for (unsigned line = 0; text.size() + 64 < size; ++line) {
        text += Format("Channel%u.Desc = \"Analog input channel %u, range setting %u\"\r\n", line,
                       line, line % 7);
    }
    return text;
}

bool GenerateMachine(const GenerateOptions& options) {
    if (options.records > kMaxRecords || options.records > options.devices) {
        return false;
    }
    Random random{options.seed * 2654435761ULL + 1};
    if (!AddDevices(options, random) || !AddRecords(options) || !AddInfCopies(options) ||
        !AddPreinstallRecords(options)) {
        return false;
    }
    AddProcesses(options);
    return true;
}

bool ParseGenerateOptions(const std::vector<std::string>& args, GenerateOptions& out) {
    for (size_t i = 0; i < args.size(); i += 2) {
        if (args[i] == "--preset") {
            if (i + 1 >= args.size() || args[i + 1] != "large") {
                return false;
            }
            const uint32_t seed = out.seed;
            out = LargePreset();
            out.seed = seed;
            continue;
        }
        unsigned* field = args[i] == "--devices"      ? &out.devices
                          : args[i] == "--records"    ? &out.records
                          : args[i] == "--infs"       ? &out.infs
                          : args[i] == "--preinstall" ? &out.preinstall
                          : args[i] == "--processes"  ? &out.processes
                          : args[i] == "--seed"       ? &out.seed
                                                      : nullptr;
        if (field == nullptr || i + 1 >= args.size() || !ParseCount(args[i + 1], *field)) {
            return false;
        }
    }
    return true;
}

}  // namespace tools
