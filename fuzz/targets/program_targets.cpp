// Fuzz targets over the program itself: its process entry, the machine image it runs on, its
// walk of a module's export directory and its readers of multi-string device properties.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "config/module_exports.h"
#include "devices.h"
#include "frontend/entry.h"
#include "fuzz/targets/fuzz_targets.h"
#include "machine.h"
#include "platform/win32.h"
#include "sample_machine.h"

namespace fs = std::filesystem;

namespace fuzz {
namespace {

constexpr size_t kMaxWords = 16;

std::vector<std::string> SplitWords(const uint8_t* data, size_t size) {
    std::vector<std::string> words{"C:\\Program Files\\Tolvan\\boardkit.exe"};
    std::string word;
    for (size_t i = 0; i < size && words.size() < kMaxWords; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (words.size() < kMaxWords && (!word.empty() || size == 0 || data[size - 1] == 0)) {
        words.push_back(word);
    }
    return words;
}

// What outlives a run inside one process (the node under construction, running timers) is
// put back as a new process would find it.
void EndRun() {
    CloseDeviceNode();
    KillBoardkitAPTimer(0);
    EliminateInstalldevIconinSystemTrayTimer(0);
}

struct ImageFailure {};

std::string ScratchImage() {
    static const std::string dir =
        (fs::temp_directory_path() / ("bk-fuzz-image-" + std::to_string(::getpid()))).string();
    return dir;
}

void WriteBytes(const fs::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The first page of every loaded module is mapped; the image spans SizeOfImage bytes.
constexpr size_t kPage = 4096;
constexpr size_t kMaxImage = 1u << 20;

size_t MappedSize(const std::vector<uint8_t>& headers) {
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, headers.data(), sizeof dos);
    if (dos.e_lfanew < 0 ||
        static_cast<size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > kPage) {
        return kPage;
    }
    IMAGE_NT_HEADERS64 nt;
    std::memcpy(&nt, headers.data() + dos.e_lfanew, sizeof nt);
    const size_t image = nt.OptionalHeader.SizeOfImage;
    return image <= kPage ? kPage : (image + kPage - 1) / kPage * kPage;
}

}  // namespace

void SilenceStandardStreams() {
    int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
}

int CommandLine(const uint8_t* data, size_t size) {
    std::vector<std::string> words = SplitWords(data, size);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    sim::ResetToEmpty();
    tools::BuildSampleMachine();
    BoardkitMain(static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    EndRun();
    return 0;
}

int MachineImage(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    // Two bytes give the length of machine.json; registry.reg holds the rest.
    const size_t jsonSize = std::min<size_t>(size - 2, data[0] | (data[1] << 8));
    const fs::path dir = ScratchImage();
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir / "gen-000001");
    WriteBytes(dir / "gen-000001" / "machine.json", data + 2, jsonSize);
    WriteBytes(dir / "gen-000001" / "registry.reg", data + 2 + jsonSize, size - 2 - jsonSize);
    fs::create_directory_symlink("gen-000001", dir / "current");
    sim::SetImageFailureHandler([](const std::string&) { throw ImageFailure{}; });
    try {
        sim::OpenImage(dir.string());
        // What loads must save, and what it saved must load again.
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fuzz", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
        sim::SaveImage();
        sim::SetImageFailureHandler([](const std::string&) { std::abort(); });
        sim::OpenImage(dir.string());
    } catch (const ImageFailure&) {
    }
    sim::SetImageFailureHandler(nullptr);
    sim::ResetToEmpty();
    fs::remove_all(dir, ec);
    return 0;
}

int ExportWalk(const uint8_t* data, size_t size) {
    std::vector<uint8_t> headers(kPage, 0);
    std::memcpy(headers.data(), data, std::min(size, kPage));
    const size_t mapped = MappedSize(headers);
    if (mapped > kMaxImage) {
        return 0;
    }
    std::vector<uint8_t> image(mapped, 0);
    std::memcpy(image.data(), data, std::min(size, mapped));
    auto module = reinterpret_cast<HMODULE>(image.data());
    const char* names[] = {"NtQueryInformationProcess", "", reinterpret_cast<const char*>(1),
                           reinterpret_cast<const char*>(2), reinterpret_cast<const char*>(0xFFFF)};
    for (const char* name : names) {
        // Only the walk's own reads are checked (by the sanitizers); the address it hands
        // back is the caller's to use.
        FindModuleExport(module, name);
    }
    return 0;
}

int MultiStrings(const uint8_t* data, size_t size) {
    sim::ResetToEmpty();
    sim::DeviceSpec spec;
    spec.instanceId = "PCI\\VEN_5AE3&DEV_0001\\3&11583659&0&10";
    spec.hardwareIds = {"PCI\\VEN_5AE3&DEV_0001"};
    spec.classGuid = "{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";
    if (sim::AddDevice(spec) == nullptr) {
        std::abort();
    }
    // The first byte splits the rest between HardwareID and CompatibleIDs, stored raw: the
    // registry guarantees no terminator, so every reader must stop at the value's end.
    const size_t split = size == 0 ? 0 : std::min<size_t>(size - 1, data[0]);
    const uint8_t* rest = size == 0 ? data : data + 1;
    const size_t restSize = size == 0 ? 0 : size - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      ("SYSTEM\\CurrentControlSet\\Enum\\" + spec.instanceId).c_str(), 0,
                      KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        std::abort();
    }
    RegSetValueExA(key, "HardwareID", 0, REG_MULTI_SZ, rest, static_cast<DWORD>(split));
    RegSetValueExA(key, "CompatibleIDs", 0, REG_MULTI_SZ, rest + split,
                   static_cast<DWORD>(restSize - split));
    RegCloseKey(key);
    char id[] = "PCI\\VEN_5AE3";
    char demo[] = "DEMO";
    int found = 0;
    IsDeviceExist(id);
    IsDeviceUsing(id);
    IsDeviceExistInstalled(id, &found);
    IsDeviceExistNotInstall(id, &found);
    IsDeviceExist(demo);
    IsDemoDeviceInstalled(&found);
    char list[] = "C:\\Windows\\Temp\\fuzz-list.txt";
    GetDeviceExistNotInstalledList(list);
    GetDeviceInstalledList(list);
    RemoveDevice(id);
    std::fflush(stdout);
    EndRun();
    return 0;
}

}  // namespace fuzz
