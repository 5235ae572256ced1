// Shared by the import tests: the customer fixtures, a scratch folder per test, files in the
// encodings Windows tools write, and real runs of boardkit on an image.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/import.h"

namespace import_test {

namespace fs = std::filesystem;

inline std::string Fixture(const std::string& name) {
    return std::string(BK_SOURCE_DIR) + "/tests/fixtures/import/" + name;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// ASCII text as UTF-16LE with a byte-order mark, as reg export and PowerShell 5.1 write it.
inline std::string Utf16(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// The ASCII text of a UTF-16LE file with a byte-order mark.
inline std::string FromUtf16(const std::string& bytes) {
    std::string out;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        out += bytes[i];
    }
    return out;
}

// The 1-based number of the first line of `text` that contains `part`.
inline size_t LineOf(const std::string& text, const std::string& part) {
    const size_t at = text.find(part);
    EXPECT_NE(at, std::string::npos) << part;
    size_t line = 1;
    for (size_t i = 0; i < at && at != std::string::npos; ++i) {
        line += text[i] == '\n' ? 1 : 0;
    }
    return line;
}

// A fresh folder for one test, removed afterwards.
class ScratchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/bk-import-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        scratch_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(scratch_, ec);
    }
    std::string Path(const std::string& name) const { return scratch_ + "/" + name; }
    // What the scratch folder holds, so a failed import can be shown to have written nothing.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(scratch_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    tools::ImportResult ImportCustomer(const std::string& image, const std::string& presence) {
        tools::ImportRequest request;
        request.imageDir = Path(image);
        request.regFiles = {Fixture("customer.reg")};
        request.presenceFile = presence.empty() ? "" : Fixture(presence);
        request.infFolder = Fixture("inf");
        return tools::ImportMachine(request);
    }

    std::string scratch_;
};

inline std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// The boardkit program of this build, laid out beside the tests' folder.
inline std::string BoardkitProgram() {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "boardkit").string();
}

// Runs boardkit for real on the image; its exit code, and its standard output in `out`.
inline int RunBoardkit(const std::string& image, const std::vector<std::string>& args,
                       std::string* out = nullptr) {
    const std::string outFile = image + ".stdout";
    std::string command = "BOARDKIT_MACHINE=" + Quote(image) + " " + Quote(BoardkitProgram());
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    command += " >" + Quote(outFile) + " 2>/dev/null";
    const int status = std::system(command.c_str());
    if (out != nullptr) {
        *out = ReadBytes(outFile);
    }
    std::remove(outFile.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace import_test
