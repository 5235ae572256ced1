// The registry saved in pieces: a change rewrites only the file that holds it, and an image
// holding the whole registry in one file still loads and keeps every key.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "machine.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace fs = std::filesystem;

namespace {

class RegistryPieces : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("bk-pieces-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        sim::ResetToEmpty();
    }
    void TearDown() override {
        sim::ResetToEmpty();
        fs::remove_all(dir_);
    }
    // Inode of every registry file of the current generation, by name.
    std::map<std::string, ino_t> Inodes() const {
        std::map<std::string, ino_t> inodes;
        const fs::path gen = fs::canonical(dir_ / "current");
        for (const auto& entry : fs::recursive_directory_iterator(gen)) {
            const std::string name = fs::relative(entry.path(), gen).string();
            if (name.rfind("registry", 0) == 0 && entry.is_regular_file()) {
                struct stat info {};
                ::stat(entry.path().c_str(), &info);
                inodes[name] = info.st_ino;
            }
        }
        return inodes;
    }
    void BuildDevices() {
        for (int i = 0; i < 40; ++i) {
            sim::SetDwordValue(
                sim::CreateKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum\\PCI\\DEV_" +
                                                std::to_string(i) + "\\1"),
                "ConfigFlags", static_cast<DWORD>(i));
        }
    }
    fs::path dir_;
};

TEST_F(RegistryPieces, ADeepChangeRewritesOnlyThePieceThatHoldsIt) {
    sim::OpenImage(dir_.string());
    BuildDevices();
    sim::SaveImage();
    const auto before = Inodes();
    ASSERT_GT(before.size(), 3u);
    sim::SetDwordValue(*sim::FindKey(sim::Hklm(), "system\\currentcontrolset\\enum\\pci\\dev_7\\1"),
                       "ConfigFlags", 99);
    sim::SaveImage();
    const auto after = Inodes();
    size_t rewritten = 0;
    for (const auto& [name, inode] : after) {
        rewritten += before.count(name) == 0 || before.at(name) != inode ? 1 : 0;
    }
    EXPECT_EQ(rewritten, 1u);
    EXPECT_EQ(after.at("registry.reg"), before.at("registry.reg"));

    sim::ResetToEmpty();
    sim::OpenImage(dir_.string());
    const sim::RegKey* key =
        sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum\\PCI\\DEV_7\\1");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(sim::GetDwordValue(*key, "ConfigFlags"), 99u);
}

TEST_F(RegistryPieces, SettingAValueToWhatItHoldsRewritesNoPiece) {
    sim::OpenImage(dir_.string());
    BuildDevices();
    sim::SaveImage();
    const auto before = Inodes();
    sim::RegKey* key = sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum\\PCI\\DEV_7\\1");
    ASSERT_NE(key, nullptr);
    sim::SetDwordValue(*key, "configflags", 7);  // the same data under another case of the name
    sim::MarkDirty("registry");                  // as a registry call marks its run
    sim::SaveImage();
    EXPECT_EQ(Inodes(), before);
    // The same bytes under another type are a change.
    sim::SetValue(*key, "ConfigFlags", REG_BINARY, {7, 0, 0, 0});
    sim::MarkDirty("registry");
    sim::SaveImage();
    EXPECT_NE(Inodes(), before);
}

TEST_F(RegistryPieces, RemovingAShallowKeyRemovesItsSubtreeFromEveryPiece) {
    sim::OpenImage(dir_.string());
    BuildDevices();
    sim::SaveImage();
    ASSERT_TRUE(sim::DeleteKeyTree(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum\\PCI"));
    sim::SaveImage();
    sim::ResetToEmpty();
    sim::OpenImage(dir_.string());
    EXPECT_EQ(sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum\\PCI"), nullptr);
    EXPECT_NE(sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum"), nullptr);
}

TEST_F(RegistryPieces, AWholeRegistryInOneFileLoadsAndIsSplitAtTheNextSave) {
    sim::OpenImage(dir_.string());
    BuildDevices();
    const std::string whole = sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE");
    sim::SaveImage();
    const fs::path gen = fs::canonical(dir_ / "current");
    fs::remove_all(gen / "registry");
    fs::remove(gen / "registry.reg");
    std::ofstream(gen / "registry.reg", std::ios::binary) << whole;
    sim::ResetToEmpty();

    sim::OpenImage(dir_.string());
    EXPECT_TRUE(sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE") == whole);
    sim::SetDwordValue(sim::CreateKey(sim::Hklm(), "SOFTWARE\\Touch"), "V", 1);
    sim::SaveImage();
    EXPECT_TRUE(fs::exists(fs::canonical(dir_ / "current") / "registry"));
    EXPECT_LT(fs::file_size(fs::canonical(dir_ / "current") / "registry.reg"), whole.size() / 4);
    sim::ResetToEmpty();
    sim::OpenImage(dir_.string());
    // The machine had no SOFTWARE key before the change made one.
    ASSERT_TRUE(sim::DeleteKeyTree(sim::Hklm(), "SOFTWARE"));
    EXPECT_TRUE(sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE") == whole);
}

TEST(RegFileLoad, ReadingStraightIntoATreeRefusesAnotherRoot) {
    sim::RegKey root;
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n";
    const sim::RegFileResult result = sim::LoadRegFileInto(text, "HKEY_LOCAL_MACHINE", root);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 3u);
}

}  // namespace
