// The device installer's summaries of the staged copies, kept in the image between runs: a run
// that finds them serves the same packages as one that parses every copy, and a copy whose
// bytes changed, by any route, is read again.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "registry_tree.h"

namespace fs = std::filesystem;

namespace {

const std::string kWidgetInf = BK_SOURCE_DIR "/tests/fixtures/inf/widget/widget.inf";
const char* const kWidgetId = "PCI\\VEN_1234&DEV_5678";
const char* const kOtherId = "PCI\\VEN_1234&DEV_5679";  // the same length: the same file size

std::string ReadHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class DriverSummaries : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("bk-summaries-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        sim::ResetToEmpty();
        sim::OpenImage(dir_.string());
        widget_ = ReadHost(kWidgetInf);
        ASSERT_FALSE(widget_.empty());
        ASSERT_EQ(sim::files::CreateDirectories("C:\\Windows\\INF"), 0u);
        ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem0.inf", widget_), 0u);
        ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem1.inf",
                                             Replaced(widget_, "DEV_5678", "DEV_ABCD")),
                  0u);
        ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem2.inf", "not an INF"), 0u);
    }
    void TearDown() override {
        sim::ResetToEmpty();
        fs::remove_all(dir_);
    }
    fs::path Gen() const { return fs::canonical(dir_ / "current"); }
    fs::path SummaryFile() const { return Gen() / "cache" / "inf-summaries.bin"; }
    // A change elsewhere, so that the run saves a new generation.
    static void SaveWithAChange() {
        sim::SetDwordValue(sim::CreateKey(sim::Hklm(), "SOFTWARE\\Touch"), "N", 1);
        sim::MarkDirty("registry");
        sim::SaveImage();
    }
    void Reload() {
        sim::ResetToEmpty();
        sim::OpenImage(dir_.string());
    }
    // What serves `id`: "oemN.inf version", or "none".
    static std::string Served(const char* id) {
        const auto matches = sim::store::StagedMatches({id});
        if (matches.empty()) {
            return "none";
        }
        const auto& version = matches.front().package->version;
        return matches.front().package->name + " " +
               (version ? sim::inf::VersionText(*version) : std::string("(no version)")) + " " +
               matches.front().model->ids.front();
    }
    fs::path dir_;
    std::string widget_;
};

TEST_F(DriverSummaries, ARunThatFindsTheSummariesServesWhatParsingServes) {
    const std::string widget = Served(kWidgetId);
    const std::string other = Served("PCI\\VEN_1234&DEV_ABCD");
    ASSERT_EQ(widget, "oem0.inf 2.1.0.7 PCI\\VEN_1234&DEV_5678");
    ASSERT_EQ(other, "oem1.inf 2.1.0.7 PCI\\VEN_1234&DEV_ABCD");
    SaveWithAChange();
    ASSERT_TRUE(fs::exists(SummaryFile()));

    Reload();
    EXPECT_EQ(Served(kWidgetId), widget);
    EXPECT_EQ(Served("PCI\\VEN_1234&DEV_ABCD"), other);
    EXPECT_EQ(Served("PCI\\VEN_0000&DEV_0000"), "none");
    // Nothing new was read, so the next generation keeps the file as it was.
    struct stat before {};
    ASSERT_EQ(::stat(SummaryFile().c_str(), &before), 0);
    SaveWithAChange();
    struct stat after {};
    ASSERT_EQ(::stat(SummaryFile().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(DriverSummaries, ACopyEditedOnDiskBetweenRunsIsReadAgainAtTheSameSize) {
    ASSERT_EQ(Served(kWidgetId), "oem0.inf 2.1.0.7 PCI\\VEN_1234&DEV_5678");
    SaveWithAChange();
    fs::path copy;
    for (const auto& entry : fs::recursive_directory_iterator(Gen() / "drive_c")) {
        if (entry.path().filename() == "oem0.inf") {
            copy = entry.path();
        }
    }
    ASSERT_FALSE(copy.empty());
    const std::string edited = Replaced(widget_, "DEV_5678", "DEV_5679");
    ASSERT_EQ(edited.size(), widget_.size());
    fs::remove(copy);  // the file is linked into the generation before; edit this one only
    std::ofstream(copy, std::ios::binary) << edited;

    Reload();
    EXPECT_EQ(Served(kWidgetId), "none");
    EXPECT_EQ(Served(kOtherId), "oem0.inf 2.1.0.7 PCI\\VEN_1234&DEV_5679");
}

TEST_F(DriverSummaries, ADamagedSummaryFileIsIgnored) {
    Served(kWidgetId);
    SaveWithAChange();
    const std::string good = ReadHost(SummaryFile());
    ASSERT_GT(good.size(), 16u);
    // A changed ID still reads as a summary: only the file's own hash tells it apart.
    const std::string flipped = Replaced(good, "DEV_ABCD", "DEV_ABCE");
    ASSERT_NE(flipped, good);
    for (const std::string& damaged :
         {std::string(), good.substr(0, 12), good.substr(0, good.size() - 1), flipped}) {
        fs::remove(SummaryFile());
        std::ofstream(SummaryFile(), std::ios::binary) << damaged;
        Reload();
        EXPECT_EQ(Served(kWidgetId), "oem0.inf 2.1.0.7 PCI\\VEN_1234&DEV_5678");
        EXPECT_EQ(Served("PCI\\VEN_1234&DEV_ABCD"), "oem1.inf 2.1.0.7 PCI\\VEN_1234&DEV_ABCD");
    }
}

TEST_F(DriverSummaries, SummariesAloneNeverMakeARunSave) {
    sim::SaveImage();
    const fs::path generation = Gen();
    fs::remove_all(generation / "cache");
    Reload();
    Served(kWidgetId);  // parses the three copies: new summaries
    sim::ResetToEmpty();
    EXPECT_EQ(Gen(), generation);
    EXPECT_FALSE(fs::exists(SummaryFile()));
}

}  // namespace
