#include "run_capture.h"

#include <atomic>
#include <chrono>
#include <random>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "frontend/entry.h"

namespace {

std::string TempPath(const char* stem) {
    static std::atomic<int> counter{0};
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    std::ostringstream name;
    name << "bk-frontend-" << stem << "-" << counter++ << "-" << std::random_device{}() << "-"
         << std::chrono::steady_clock::now().time_since_epoch().count() << ".txt";
    return (dir / name.str()).string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

StreamCapture::StreamCapture() : outPath_(TempPath("out")), errPath_(TempPath("err")) {
    std::fflush(stdout);
    std::fflush(stderr);
    // Binary files: the test sees the bytes as written, before any text-mode translation.
    outFile_ = std::fopen(outPath_.c_str(), "wb");
    errFile_ = std::fopen(errPath_.c_str(), "wb");
    if (outFile_ == nullptr || errFile_ == nullptr) {
        throw std::runtime_error("cannot create capture files");
    }
    savedOut_ = dup(fileno(stdout));
    savedErr_ = dup(fileno(stderr));
    dup2(fileno(outFile_), fileno(stdout));
    dup2(fileno(errFile_), fileno(stderr));
}

void StreamCapture::Finish(std::string& out, std::string& err) {
    if (!finished_) {
        finished_ = true;
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut_, fileno(stdout));
        dup2(savedErr_, fileno(stderr));
        close(savedOut_);
        close(savedErr_);
        std::fclose(outFile_);
        std::fclose(errFile_);
    }
    out = ReadAll(outPath_);
    err = ReadAll(errPath_);
}

StreamCapture::~StreamCapture() {
    std::string out, err;
    Finish(out, err);
    std::error_code ec;
    std::filesystem::remove(outPath_, ec);
    std::filesystem::remove(errPath_, ec);
}

CapturedRun RunWords(const CommandEntry* table, const std::vector<std::string>& words) {
    std::vector<std::string> storage(words);
    std::vector<char*> argv;
    for (std::string& word : storage) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    CapturedRun run;
    StreamCapture capture;
    run.exitCode = RunCommandLine(table, static_cast<int>(storage.size()), argv.data());
    capture.Finish(run.out, run.err);
    return run;
}

CapturedRun RunBoardkit(const std::vector<std::string>& words) {
    return RunWords(CommandTable(), words);
}
