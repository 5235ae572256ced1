// The machine image: a folder holding generations of the machine's files and a pointer to the
// current one.
//
//   <image>/current -> gen-000007      symbolic link, switched by rename
//   <image>/gen-000007/machine.json    run-time state (settings, faults, the areas' sections)
//   <image>/gen-000007/registry.reg    HKLM down to four levels, in regedit's export format
//   <image>/gen-000007/registry/NN.reg the deeper subtrees, in pieces by a hash of their path
//   <image>/gen-000007/cache/          derived, faster forms (registry pieces, INF summaries)
//   <image>/gen-000007/drive_c/        the machine's files
//   <image>/journal.log                appended by every run that changed something
//   <image>/lock                       held exclusively for the whole run
//
// A save builds the next generation beside the current one (unchanged files hard-linked,
// changed ones written and flushed) and then renames a new link over `current`, so a killed
// run leaves either the old machine or the new one, never a mix.
#include "machine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "choke.h"
#include "machine_internal.h"
#include "mapped_file.h"

namespace fs = std::filesystem;

namespace sim {

void SyncPath(const std::string& path, bool directory) {
    int fd = ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void ReplaceFileContent(const std::string& path, std::string_view bytes,
                        const int64_t* unixTime100ns) {
    // '|' is in no Windows file name, so the temporary name meets no file of drive C:. It is
    // a name of its own beside the file, not the file's name lengthened: drive C: holds names
    // of up to 255 characters, the longest a host folder takes.
    const size_t slash = path.rfind('/');
    const std::string tmp =
        (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "|saving";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + tmp);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ::close(fd);
            throw std::runtime_error("cannot write " + tmp);
        }
        done += static_cast<size_t>(n);
    }
    if (unixTime100ns != nullptr) {
        timespec times[2];
        times[0].tv_sec = times[1].tv_sec = *unixTime100ns / 10000000;
        times[0].tv_nsec = times[1].tv_nsec = (*unixTime100ns % 10000000) * 100;
        ::futimens(fd, times);
    }
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    if (!flushed || std::rename(tmp.c_str(), path.c_str()) != 0) {
        throw std::runtime_error("cannot save " + path);
    }
}

namespace {

constexpr const char* kMemoryImage = ":memory:";

struct Core {
    bool loaded = false;
    bool inMemory = true;
    bool exitHookSet = false;
    int lockFd = -1;
    std::string imageDir;
    std::string genDir;
    MachineSettings settings;
    std::vector<Fault> faults;
    std::map<std::string, unsigned> calls;
    std::set<std::string> dirty;
    std::vector<std::string> journal;
    // Sections of machine.json that no area of this program registered (a program links only
    // the areas it calls): kept as read, so that saving never drops another program's state.
    nlohmann::json foreignSections = nlohmann::json::object();
    std::function<void()> defaultFactory;
    std::function<void(const std::string&)> failureHandler;
};

Core& C() {
    static Core* core = new Core;  // never destroyed: the exit hook may run after statics die
    return *core;
}

std::vector<StateSection>& Sections() {
    static auto* sections = new std::vector<StateSection>;
    return *sections;
}

std::vector<ImagePart>& Parts() {
    static auto* parts = new std::vector<ImagePart>;
    return *parts;
}

[[noreturn]] void Die(const std::string& what) {
    // A machine that cannot be loaded or saved is a broken test bench, not an answer of the
    // program: end the process with a distinctive code, one line in the image folder, and (the
    // program's output being void by then) one line on stderr so a person sees why.
    if (C().failureHandler) {
        C().failureHandler(what);
    }
    if (!C().imageDir.empty()) {
        std::ofstream(C().imageDir + "/sim-error.log", std::ios::app) << what << "\n";
    }
    const std::string line = "simulated machine: " + what + "\n";
    ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    (void)written;
    _exit(125);
}

// How long a run waits for another run to release the image: BOARDKIT_MACHINE_LOCK_TIMEOUT
// seconds, 60 by default (a long batch of concurrent runs queues well within it).
double LockTimeoutSeconds() {
    const char* text = std::getenv("BOARDKIT_MACHINE_LOCK_TIMEOUT");
    if (text != nullptr && *text != '\0') {
        char* end = nullptr;
        double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && seconds >= 0) {
            return seconds;
        }
    }
    return 60;
}

std::string DefaultImageDir() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data != nullptr && *data != '\0') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "/tmp") + "/.local/share";
    }
    return base + "/boardkit/machine";
}

void ResetState() {
    Core& c = C();
    c.settings = MachineSettings{};
    c.faults.clear();
    c.dirty.clear();
    c.journal.clear();
    c.foreignSections = nlohmann::json::object();
    for (auto& section : Sections()) {
        section.reset();
    }
}

nlohmann::json FaultToJson(const Fault& f) {
    nlohmann::json j = {{"api", f.api}, {"error", f.error}};
    if (!f.arg.empty())
        j["arg"] = f.arg;
    if (f.nth != 0)
        j["nth"] = f.nth;
    if (f.from != 0)
        j["from"] = f.from;
    return j;
}

Fault FaultFromJson(const nlohmann::json& j) {
    Fault f;
    f.api = j.at("api").get<std::string>();
    f.error = j.at("error").get<DWORD>();
    f.arg = j.value("arg", std::string());
    f.nth = j.value("nth", 0u);
    f.from = j.value("from", 0u);
    return f;
}

bool IsRegisteredSection(const std::string& name) {
    for (const auto& section : Sections()) {
        if (name == section.name) {
            return true;
        }
    }
    return false;
}

void LoadMachineJson(const std::string& genDir) {
    nlohmann::json doc;
    if (!genDir.empty()) {
        bool found = false;
        std::string error;
        try {
            const MappedFile file(genDir + "/machine.json", found);
            if (found) {
                doc = nlohmann::json::parse(file.bytes());
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!error.empty()) {
            Die("machine.json: " + error);
        }
        if (!found) {
            Die("cannot read " + genDir + "/machine.json");
        }
    }
    Core& c = C();
    try {
        if (doc.contains("settings")) {
            c.settings.elevated = doc["settings"].value("elevated", true);
        }
        if (doc.contains("faults")) {
            for (const auto& f : doc["faults"]) {
                c.faults.push_back(FaultFromJson(f));
            }
        }
        for (auto& section : Sections()) {
            auto it = doc.is_object() ? doc.find(section.name) : doc.end();
            section.load(it != doc.end() ? std::move(*it) : nlohmann::json());
        }
        if (doc.is_object()) {
            for (auto it = doc.begin(); it != doc.end(); ++it) {
                if (it.key() != "settings" && it.key() != "faults" &&
                    !IsRegisteredSection(it.key())) {
                    c.foreignSections[it.key()] = std::move(it.value());
                }
            }
        }
    } catch (const std::exception& e) {
        Die("machine.json: " + std::string(e.what()));
    }
}

std::string MachineJsonText() {
    Core& c = C();
    nlohmann::json doc;
    doc["settings"] = {{"elevated", c.settings.elevated}};
    nlohmann::json faults = nlohmann::json::array();
    for (const Fault& f : c.faults) {
        faults.push_back(FaultToJson(f));
    }
    doc["faults"] = faults;
    for (auto it = c.foreignSections.begin(); it != c.foreignSections.end(); ++it) {
        doc[it.key()] = it.value();
    }
    for (auto& section : Sections()) {
        nlohmann::json value = section.save();
        if (!value.is_null()) {
            doc[section.name] = std::move(value);
        }
    }
    return doc.dump(2) + "\n";
}

// About the memory the loaded machine takes: the tree of a registry export is about its size,
// and the parsed state several times the size of its text.
size_t ExpectedLoadBytes(const std::string& genDir) {
    if (genDir.empty()) {
        return 0;
    }
    auto sizeOf = [](const fs::path& path) {
        std::error_code ec;
        const auto size = fs::file_size(path, ec);
        return ec ? size_t{0} : static_cast<size_t>(size);
    };
    size_t registryBytes = sizeOf(genDir + "/registry.reg");
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(genDir + "/registry", ec)) {
        registryBytes += sizeOf(entry.path());
    }
    return registryBytes + 8 * sizeOf(genDir + "/machine.json");
}

void LoadParts(const std::string& genDir) {
    ReserveHeapForImage(ExpectedLoadBytes(genDir));
    LoadMachineJson(genDir);
    for (auto& part : Parts()) {
        try {
            part.load(genDir);
        } catch (const std::exception& e) {
            Die(std::string(part.name) + ": " + e.what());
        }
    }
}

void LockImage(const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    int fd = ::open((dir + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        Die("cannot lock the machine image " + dir);
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(LockTimeoutSeconds());
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            Die("cannot lock the machine image " + dir);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            Die("the machine image " + dir + " is locked by another run for too long");
        }
        ::usleep(2000);
    }
    C().lockFd = fd;
}

void UnlockImage() {
    if (C().lockFd >= 0) {
        ::close(C().lockFd);
        C().lockFd = -1;
    }
}

// The current generation's folder; "" only for an image that has never been saved. A pointer
// that exists but leads nowhere readable ends the run: loading it as an empty machine would let
// this run's save write over the real one.
std::string CurrentGeneration(const std::string& dir) {
    std::error_code ec;
    const fs::path link = fs::path(dir) / "current";
    if (!fs::is_symlink(fs::symlink_status(link, ec))) {
        if (fs::exists(fs::symlink_status(link, ec))) {
            Die("the machine image's current pointer is not a link: " + link.string());
        }
        return "";
    }
    fs::path target = fs::read_symlink(link, ec);
    const std::string genDir = (fs::path(dir) / target).string();
    if (ec || ::access((genDir + "/machine.json").c_str(), R_OK) != 0) {
        Die("the machine image's current generation cannot be read: " + genDir);
    }
    return genDir;
}

void LinkTree(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        fs::path dest = to / entry.path().filename();
        if (entry.is_directory()) {
            LinkTree(entry.path(), dest);
        } else {
            fs::create_hard_link(entry.path(), dest);
        }
    }
}

void AppendJournal() {
    Core& c = C();
    if (c.journal.empty() || c.imageDir.empty()) {
        return;
    }
    std::ofstream out(c.imageDir + "/journal.log", std::ios::app);
    out << "== run " << ::getpid() << "\n";
    for (const auto& line : c.journal) {
        out << line << "\n";
    }
    c.journal.clear();
}

int GenerationNumber(const std::string& genDir) {
    if (genDir.empty()) {
        return 0;
    }
    std::string name = fs::path(genDir).filename().string();
    return name.size() > 4 ? std::atoi(name.c_str() + 4) : 0;
}

void SaveGeneration() {
    Core& c = C();
    const std::string oldGen = c.genDir;
    char name[32];
    std::snprintf(name, sizeof name, "gen-%06d", GenerationNumber(oldGen) + 1);
    const std::string newGen = c.imageDir + "/" + name;
    try {
        std::error_code ec;
        fs::remove_all(newGen, ec);  // left behind by a run killed while saving
        if (oldGen.empty()) {
            fs::create_directories(newGen);
        } else {
            LinkTree(oldGen, newGen);
        }
        for (auto& part : Parts()) {
            if (part.derived || c.dirty.count(part.name) != 0 || oldGen.empty()) {
                part.save(oldGen, newGen);
            }
        }
        ReplaceFileContent(newGen + "/machine.json", MachineJsonText());
        SyncPath(newGen, true);
        const std::string link = c.imageDir + "/current.tmp";
        fs::remove(link, ec);
        fs::create_directory_symlink(name, link);
        fs::rename(link, c.imageDir + "/current");
        SyncPath(c.imageDir, true);
    } catch (const std::exception& e) {
        Die("saving the machine image: " + std::string(e.what()));
    }
    if (!oldGen.empty()) {
        std::error_code ec;
        fs::remove_all(oldGen, ec);
    }
    c.genDir = newGen;
    c.dirty.clear();
}

void SaveAtExit() {
    Core& c = C();
    if (!c.loaded || c.inMemory) {
        return;
    }
    SaveImage();
    UnlockImage();
}

void Open(const std::string& dir) {
    Core& c = C();
    if (c.lockFd >= 0) {
        UnlockImage();
    }
    ResetState();
    c.imageDir = dir;
    c.inMemory = false;
    LockImage(dir);
    c.genDir = CurrentGeneration(dir);
    c.loaded = true;
    LoadParts(c.genDir);
    if (!c.exitHookSet) {
        c.exitHookSet = true;
        std::atexit(SaveAtExit);
    }
}

}  // namespace

void RegisterSection(StateSection section) {
    Sections().push_back(std::move(section));
}
void RegisterImagePart(ImagePart part) {
    Parts().push_back(std::move(part));
}
void SetDefaultMachineFactory(std::function<void()> factory) {
    C().defaultFactory = std::move(factory);
}

void SetImageFailureHandler(std::function<void(const std::string&)> handler) {
    C().failureHandler = std::move(handler);
}

void EnsureLoaded() {
    Core& c = C();
    if (c.loaded) {
        return;
    }
    const char* env = std::getenv("BOARDKIT_MACHINE");
    if (env != nullptr && std::string(env) == kMemoryImage) {
        ResetToEmpty();
        return;
    }
    const bool isDefault = env == nullptr || *env == '\0';
    const std::string dir = isDefault ? DefaultImageDir() : std::string(env);
    Open(dir);
    if (isDefault && c.genDir.empty() && c.defaultFactory) {
        // First use of the default machine: it starts as the sample machine.
        c.defaultFactory();
        MarkDirty("machine");
        SaveImage();
        c.journal.clear();
    }
}

void ResetToEmpty() {
    Core& c = C();
    UnlockImage();
    ResetState();
    c.imageDir.clear();
    c.genDir.clear();
    c.inMemory = true;
    c.loaded = true;
    c.calls.clear();
    LoadParts("");
}

void OpenImage(const std::string& dir) {
    Open(dir);
}

void SaveImage() {
    Core& c = C();
    if (c.inMemory || c.imageDir.empty()) {
        return;
    }
    if (!c.dirty.empty() || c.genDir.empty()) {
        SaveGeneration();
    }
    AppendJournal();
}

MachineSettings& Settings() {
    EnsureLoaded();
    return C().settings;
}

std::vector<Fault>& Faults() {
    EnsureLoaded();
    return C().faults;
}

unsigned CallCount(const std::string& api) {
    auto it = C().calls.find(api);
    return it == C().calls.end() ? 0 : it->second;
}

void MarkDirty(const char* part) {
    C().dirty.insert(part);
}

const std::string& ImageDir() {
    return C().imageDir;
}
const std::string& GenerationDir() {
    return C().genDir;
}

const std::vector<std::string>& JournalLines() {
    return C().journal;
}

void CountCall(const char* api) {
    ++C().calls[api];
}
void AppendJournalLine(std::string line) {
    C().journal.push_back(std::move(line));
}

}  // namespace sim
