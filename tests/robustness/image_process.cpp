#include "image_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "machine.h"
#include "machine_builder.h"
#include "platform/win32.h"

extern char** environ;
namespace fs = std::filesystem;

namespace robustness {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& image, const std::vector<std::string>& env,
            const std::string& outPath, const std::string& errPath) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment{"BOARDKIT_MACHINE=" + image};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("BOARDKIT_MACHINE", 0) != 0) {
            environment.push_back(*e);
        }
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    const int status =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    return pid;
}

const char* const kRoot = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN";

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool MapValueExists(unsigned number) {
    HKEY key = nullptr;
    const std::string path = std::string(kRoot) + "\\MapEntry";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status =
        RegQueryValueExA(key, std::to_string(number).c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string RecordName(unsigned number) {
    char name[24];  // room for any unsigned number
    std::snprintf(name, sizeof name, "\\Device%03u", number);
    return kRoot + std::string(name);
}

struct LoadFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace

ScratchImage::ScratchImage(const std::string& stem)
    : dir_((fs::temp_directory_path() / ("bk-robust-" + stem + "-" + std::to_string(::getpid())))
               .string()) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
}

ScratchImage::~ScratchImage() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string ScratchImage::CurrentGeneration() const {
    std::error_code ec;
    const fs::path target = fs::read_symlink(fs::path(dir_) / "current", ec);
    return ec ? "" : target.string();
}

ProcessResult Run(const std::string& program, const std::vector<std::string>& args,
                  const std::string& image, const std::vector<std::string>& env) {
    const std::string base = image + ".run";
    pid_t pid = Spawn(program, args, image, env, base + ".out", base + ".err");
    ProcessResult result;
    result.exitCode = Wait(pid);
    result.out = ReadAll(base + ".out");
    result.err = ReadAll(base + ".err");
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    return result;
}

pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const std::string& image, const std::vector<std::string>& env) {
    return Spawn(program, args, image, env, "/dev/null", "/dev/null");
}

int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BuildRecords(const std::string& image, unsigned count) {
    sim::OpenImage(image);
    for (unsigned n = 0; n < count; ++n) {
        tools::AddConfigurationRecord(n, {tools::DwordValue("ProductID", 0x0101),
                                          tools::StringValue("KernelKey", "TolPx10S")});
        tools::AddMapEntry(n, n);
    }
    sim::SaveImage();
    sim::ResetToEmpty();
}

std::string RecordStates(const std::string& image, unsigned count) {
    sim::SetImageFailureHandler([](const std::string& what) { throw LoadFailure(what); });
    std::string states;
    try {
        sim::OpenImage(image);
        for (unsigned n = 0; n < count; ++n) {
            const bool record = KeyExists(RecordName(n));
            const bool map = MapValueExists(n);
            states += record && map ? 'B' : record ? 'R' : map ? 'M' : '-';
        }
    } catch (...) {
        sim::SetImageFailureHandler(nullptr);
        sim::ResetToEmpty();
        throw;
    }
    sim::SetImageFailureHandler(nullptr);
    sim::ResetToEmpty();
    return states;
}

}  // namespace robustness
