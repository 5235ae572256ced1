// The binary cache beside each registry piece: a machine loads to the same tree from its cache
// as from its text, and a cache that is missing, stale or damaged is never believed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "content_hash.h"
#include "machine.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDevice = "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1\\3&11&0";

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class RegistryCache : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("bk-regcache-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        sim::ResetToEmpty();
    }
    void TearDown() override {
        sim::ResetToEmpty();
        fs::remove_all(dir_);
    }
    fs::path Gen() const { return fs::canonical(dir_ / "current"); }
    // The piece file that holds kDevice, found by its text.
    fs::path DevicePiece() const {
        for (const auto& entry : fs::directory_iterator(Gen() / "registry")) {
            if (ReadAll(entry.path()).find("F\0l\0a\0g\0s\0", 0, 10) != std::string::npos) {
                return entry.path();
            }
        }
        return {};
    }
    fs::path CacheOf(const fs::path& piece) const {
        return Gen() / "cache" / ("registry-" + piece.stem().string() + ".bin");
    }
    // A tree with what the text form must escape or spell out: empty and Latin-1 names, a
    // default value, line breaks and quotes in strings, strings without their terminator,
    // every type the export writes, and keys that differ only in case from their siblings'.
    void BuildAwkwardTree() {
        sim::RegKey& device = sim::CreateKey(sim::Hklm(), kDevice);
        sim::SetDwordValue(device, "Flags", 0x80000001u);
        sim::SetStringValue(device, "", "default");
        sim::SetStringValue(device, "Quote \"and\\ back", "line\r\nbreak \"q\"");
        sim::SetMultiStringValue(device, "HardwareID", {"PCI\\VEN_1&DEV_2", "PCI\\VEN_1"});
        sim::SetValue(device, "Unterminated", REG_SZ, {'a', 0, 'b', 0});
        sim::SetValue(device, "Empty", REG_BINARY, {});
        sim::SetValue(device, "Big", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
        sim::SetStringValue(device, "Caf\xC3\xA9", "\xC3\xA9t\xC3\xA9", REG_EXPAND_SZ);
        sim::CreateKey(device, "Device Parameters\\Deep\\Deeper");
        sim::CreateKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_2\\Z");
        for (int i = 0; i < 30; ++i) {
            sim::SetDwordValue(
                sim::CreateKey(sim::Hklm(), "SOFTWARE\\Maker\\Framework\\Records\\Device" +
                                                std::to_string(i) + "\\Sub"),
                "N", static_cast<DWORD>(i));
        }
    }
    std::string Export() const { return sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE"); }
    std::string Reload() {
        sim::ResetToEmpty();
        sim::OpenImage(dir_.string());
        return Export();
    }
    fs::path dir_;
};

TEST_F(RegistryCache, AMachineLoadsToTheSameTreeFromItsCacheAsFromItsText) {
    sim::OpenImage(dir_.string());
    BuildAwkwardTree();
    const std::string built = Export();
    sim::SaveImage();
    ASSERT_TRUE(fs::exists(Gen() / "cache"));
    EXPECT_TRUE(Reload() == built);  // from the caches

    fs::remove_all(Gen() / "cache");
    EXPECT_TRUE(Reload() == built);  // from the text alone
    // Values keep their order and their exact bytes, not only the export's view of them.
    const sim::RegKey* device = sim::FindKey(sim::Hklm(), kDevice);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->values.size(), 8u);
    EXPECT_EQ(device->values[4].name, "Unterminated");
    EXPECT_EQ(device->values[4].data, (std::vector<uint8_t>{'a', 0, 'b', 0}));
}

TEST_F(RegistryCache, ASaveWritesTheCacheOfEveryPieceReadFromItsText) {
    sim::OpenImage(dir_.string());
    BuildAwkwardTree();
    const std::string built = Export();
    sim::SaveImage();
    const size_t pieces = std::distance(fs::directory_iterator(Gen() / "registry"), {});
    fs::remove_all(Gen() / "cache");
    Reload();
    sim::SetDwordValue(sim::CreateKey(sim::Hklm(), "SOFTWARE\\Touch"), "V", 1);  // in the spine
    sim::SaveImage();
    EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(Gen() / "cache"), {})),
              pieces);
    // The texts come out as they were: the save only added their caches.
    Reload();
    ASSERT_TRUE(sim::DeleteKeyTree(sim::Hklm(), "SOFTWARE\\Touch"));
    EXPECT_TRUE(Export() == built);
}

TEST_F(RegistryCache, ATextEditedByHandWinsOverItsCacheEvenAtTheSameSize) {
    sim::OpenImage(dir_.string());
    BuildAwkwardTree();
    sim::SaveImage();
    const fs::path piece = DevicePiece();
    ASSERT_FALSE(piece.empty());
    std::string text = ReadAll(piece);
    // dword:80000001 becomes dword:80000002: one character, the same size.
    const std::string from(
        "8\0"
        "0\0"
        "0\0"
        "0\0"
        "0\0"
        "0\0"
        "0\0"
        "1\0",
        16);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text[at + 14] = '2';
    WriteAll(piece, text);

    Reload();
    EXPECT_EQ(sim::GetDwordValue(*sim::FindKey(sim::Hklm(), kDevice), "Flags"), 0x80000002u);
    // The next save replaces the stale cache, and the edit survives it.
    sim::MarkDirty("registry");
    sim::SaveImage();
    fs::remove_all(Gen() / "registry");
    fs::remove(Gen() / "registry.reg");
    ASSERT_TRUE(fs::exists(CacheOf(piece)));
    // With the texts gone the caches load nothing: a cache alone is never the machine.
    Reload();
    EXPECT_EQ(sim::FindKey(sim::Hklm(), kDevice), nullptr);
}

TEST_F(RegistryCache, ADamagedCacheIsIgnoredAndTheTextRead) {
    sim::OpenImage(dir_.string());
    BuildAwkwardTree();
    const std::string built = Export();
    sim::SaveImage();
    const fs::path cache = CacheOf(DevicePiece());
    ASSERT_TRUE(fs::exists(cache));
    const std::string good = ReadAll(cache);

    struct Damage {
        const char* what;
        std::string bytes;
    };
    std::string flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x10);
    std::string otherVersion = good;
    otherVersion[7] = static_cast<char>(otherVersion[7] + 1);
    const Damage damages[] = {{"empty", ""},
                              {"header only", good.substr(0, 20)},
                              {"cut short", good.substr(0, good.size() - 3)},
                              {"a bit flipped in the records", flipped},
                              {"another format version", otherVersion},
                              {"longer", good + "x"}};
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        WriteAll(cache, damage.bytes);
        EXPECT_TRUE(Reload() == built);
    }
}

TEST(ContentHash, AFileReadInChunksHashesAsItsBytesInOne) {
    const fs::path path =
        fs::temp_directory_path() / ("bk-hash-" + std::to_string(::getpid()) + ".bin");
    // Sizes around the hash's 32-byte blocks and the reader's 64 KiB chunks.
    for (size_t size : {0u, 1u, 7u, 31u, 32u, 33u, 65535u, 65536u, 65537u, 200003u}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
        }
        WriteAll(path, bytes);
        uint64_t hash = 0, read = 0;
        ASSERT_TRUE(sim::FileContentHash(path.string(), hash, read));
        EXPECT_EQ(read, size);
        EXPECT_EQ(hash, sim::ContentHash(bytes));
        if (size > 0) {
            // Any one byte changed, wherever it lies, changes the hash.
            for (size_t at : {size_t{0}, size / 2, size - 1}) {
                std::string changed = bytes;
                changed[at] = static_cast<char>(changed[at] ^ 1);
                EXPECT_NE(sim::ContentHash(changed), hash) << "byte " << at;
            }
        }
    }
    // A trailing zero byte is a different file.
    EXPECT_NE(sim::ContentHash(std::string("ab", 2)), sim::ContentHash(std::string("ab\0", 3)));
    fs::remove(path);
    uint64_t hash = 0, read = 0;
    EXPECT_FALSE(sim::FileContentHash(path.string(), hash, read));
}

}  // namespace
