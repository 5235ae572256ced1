// boardkit-sim what-if: runs a boardkit command on a copy of a machine image and tells what
// it would do there. The image is only ever read, under its lock, so it stays byte for byte as
// it was even while other runs wait for it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "file_system.h"
#include "machine.h"
#include "what_if.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tools {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string MakeTempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/boardkit-what-if-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return ::mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data()) : "";
}

// The program beside this one (or one folder up, as the build tree lays them out).
std::string FindBoardkit() {
    const char* named = std::getenv("BOARDKIT_EXE");
    if (named != nullptr && *named != '\0') {
        return named;
    }
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return "";
    }
    for (const fs::path& folder : {self.parent_path(), self.parent_path().parent_path()}) {
        if (fs::is_regular_file(folder / "boardkit", ec)) {
            return (folder / "boardkit").string();
        }
    }
    return "";
}

std::vector<std::string> EnvironmentFor(const std::string& image) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "BOARDKIT_MACHINE=", 17) != 0) {
            env.emplace_back(*e);
        }
    }
    env.push_back("BOARDKIT_MACHINE=" + image);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts) {
        out.push_back(&text[0]);
    }
    out.push_back(nullptr);
    return out;
}

// Runs the program with its output going to two files; false with `error` if it cannot start.
bool Run(const std::string& program, const std::vector<std::string>& command,
         const std::string& image, const std::string& outFile, const std::string& errFile,
         int& exitCode, std::string& error) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), command.begin(), command.end());
    std::vector<std::string> env = EnvironmentFor(image);
    std::vector<char*> argp = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = program + ": cannot be started: " + std::strerror(rc);
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

// The journal lines a run appended after `offset`, without the run's header line.
std::vector<std::string> JournalSince(const std::string& image, size_t offset) {
    const std::string text = ReadText(image + "/journal.log");
    std::vector<std::string> lines;
    std::istringstream in(offset < text.size() ? text.substr(offset) : "");
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 7, "== run ") != 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The journal's calls that tried to change a host file and failed: on the copy the host's files
// are read-only, so these are what the command would have written outside the machine.
std::vector<std::string> HostRefusals(const std::vector<std::string>& journal) {
    static const char* const kChanging[] = {"CreateFileA(", "DeleteFileA(", "CopyFileA(",
                                            "CreateDirectoryA(", "RemoveDirectoryA("};
    std::vector<std::string> out;
    for (const std::string& line : journal) {
        const size_t open = line.find('(');
        if (open == std::string::npos || line.size() < 4 ||
            line.compare(line.size() - 4, 4, " = 0") != 0) {
            continue;
        }
        const std::string api = line.substr(0, open + 1);
        bool changing = false;
        for (const char* name : kChanging) {
            changing = changing || api == name;
        }
        // The host path is the target: the first argument, or CopyFileA's second.
        size_t at = open + 1;
        if (api == "CopyFileA(") {
            const size_t comma = line.find(", ", at);
            at = comma == std::string::npos ? line.size() : comma + 2;
        }
        if (changing && at < line.size() && line[at] == '/') {
            out.push_back(line);
        }
    }
    return out;
}

// Makes the copy's host files read-only, so that the command changes nothing outside it.
void ProtectHost(const std::string& image) {
    sim::OpenImage(image);
    sim::files::SetHostFilesReadOnly(true);
    sim::SaveImage();
    sim::ResetToEmpty();
}

void AppendLines(std::string& out, const std::string& title,
                 const std::vector<std::string>& lines) {
    out += "--- " + title + " (" + std::to_string(lines.size()) + ")\n";
    for (const std::string& line : lines) {
        out += line + "\n";
    }
}

void AppendSection(std::string& out, const std::string& title, const std::vector<Change>& changes) {
    out += "--- " + title + " (" + std::to_string(changes.size()) + ")\n";
    for (const Change& change : changes) {
        out += change.line + "\n";
        for (const std::string& detail : change.details) {
            out += "    " + detail + "\n";
        }
    }
}

nlohmann::ordered_json ChangesJson(const std::vector<Change>& changes) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const Change& change : changes) {
        nlohmann::ordered_json item = {{"change", change.line}};
        if (!change.details.empty()) {
            item["details"] = change.details;
        }
        out.push_back(std::move(item));
    }
    return out;
}

void AppendText(std::string& out, const std::string& title, const std::string& text) {
    out += "--- " + title + "\n" + text;
    if (!text.empty() && text.back() != '\n') {
        out += "\n";
    }
}

}  // namespace

bool CopyImage(const std::string& from, const std::string& to, std::string& error) {
    std::error_code ec;
    const fs::path source(from);
    const fs::path current = fs::read_symlink(source / "current", ec);
    if (ec) {
        error = from + ": holds no machine image";
        return false;
    }
    // Opened without O_CREAT: taking the lock must not add a file to the image.
    const int lock = ::open((source / "lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (lock >= 0) {
        ::flock(lock, LOCK_SH);
    }
    fs::create_directories(to, ec);
    fs::copy(source / current, fs::path(to) / current, fs::copy_options::recursive, ec);
    if (!ec) {
        fs::create_directory_symlink(current, fs::path(to) / "current", ec);
    }
    if (!ec && fs::exists(source / "journal.log")) {
        fs::copy_file(source / "journal.log", fs::path(to) / "journal.log", ec);
    }
    if (lock >= 0) {
        ::close(lock);
    }
    if (ec) {
        error = from + ": cannot be copied: " + ec.message();
        return false;
    }
    return true;
}

WhatIfReport WhatIf(const WhatIfRequest& request) {
    WhatIfReport report;
    const std::string program = request.boardkit.empty() ? FindBoardkit() : request.boardkit;
    if (program.empty()) {
        report.error =
            "boardkit not found beside boardkit-sim (name it with --boardkit or BOARDKIT_EXE)";
        return report;
    }
    const std::string work = MakeTempFolder();
    if (work.empty()) {
        report.error = std::string("no temporary folder: ") + std::strerror(errno);
        return report;
    }
    const std::string image = work + "/image";
    if (CopyImage(request.imageDir, image, report.error)) {
        ProtectHost(image);
        const MachineSnapshot before = TakeSnapshot(image);
        std::error_code ec;
        const auto journalSize =
            fs::exists(image + "/journal.log")
                ? static_cast<size_t>(fs::file_size(image + "/journal.log", ec))
                : size_t{0};
        if (Run(program, request.command, image, work + "/stdout", work + "/stderr",
                report.exitCode, report.error)) {
            report.standardOutput = ReadText(work + "/stdout");
            report.standardError = ReadText(work + "/stderr");
            report.journal = JournalSince(image, journalSize);
            report.hostRefused = HostRefusals(report.journal);
            report.diff = DiffSnapshots(before, TakeSnapshot(image));
            report.ok = true;
        }
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return report;
}

std::string FormatWhatIf(const WhatIfReport& report) {
    std::string out = "exit code: " + std::to_string(report.exitCode) + "\n";
    out += "host files: read-only to the command (a change fails with access denied)\n";
    AppendText(out, "standard output", report.standardOutput);
    AppendText(out, "standard error", report.standardError);
    AppendLines(out, "journal", report.journal);
    AppendLines(out, "host files refused", report.hostRefused);
    AppendSection(out, "registry", report.diff.registry);
    AppendSection(out, "device tree", report.diff.devices);
    AppendSection(out, "driver store", report.diff.driverStore);
    AppendSection(out, "files", report.diff.files);
    AppendSection(out, "certificate stores", report.diff.certificates);
    AppendSection(out, "processes", report.diff.processes);
    AppendSection(out, "windows", report.diff.windows);
    return out;
}

std::string FormatWhatIfJson(const WhatIfReport& report) {
    nlohmann::ordered_json doc;
    doc["exit_code"] = report.exitCode;
    doc["host_files"] = "read-only";
    doc["standard_output"] = report.standardOutput;
    doc["standard_error"] = report.standardError;
    doc["journal"] = report.journal;
    doc["host_files_refused"] = report.hostRefused;
    doc["registry"] = ChangesJson(report.diff.registry);
    doc["device_tree"] = ChangesJson(report.diff.devices);
    doc["driver_store"] = ChangesJson(report.diff.driverStore);
    doc["files"] = ChangesJson(report.diff.files);
    doc["certificate_stores"] = ChangesJson(report.diff.certificates);
    doc["processes"] = ChangesJson(report.diff.processes);
    doc["windows"] = ChangesJson(report.diff.windows);
    // Output and data of a Windows machine need not be UTF-8; bytes that are not pass as U+FFFD.
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

int WhatIfCommand(const std::vector<std::string>& args) {
    WhatIfRequest request;
    bool json = false;
    size_t i = 0;
    for (; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--boardkit" && i + 1 < args.size()) {
            request.boardkit = args[++i];
        } else if (args[i] == "--json") {
            json = true;
        } else if (request.imageDir.empty() && !args[i].empty() && args[i][0] != '-') {
            request.imageDir = args[i];
        } else {
            i = args.size();
        }
    }
    if (request.imageDir.empty() || i >= args.size()) {
        std::fprintf(stderr,
                     "usage: boardkit-sim what-if IMAGE [--json] [--boardkit PATH] -- ARGS...\n");
        return kWhatIfFailed;
    }
    request.command.assign(args.begin() + static_cast<long>(i) + 1, args.end());
    const WhatIfReport report = WhatIf(request);
    if (!report.ok) {
        std::fprintf(stderr, "boardkit-sim: %s\n", report.error.c_str());
        return kWhatIfFailed;
    }
    std::fputs((json ? FormatWhatIfJson(report) : FormatWhatIf(report)).c_str(), stdout);
    return report.exitCode;
}

}  // namespace tools
