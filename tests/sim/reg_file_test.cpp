// .reg files and the machine's registry: Wine's own exports read and written back byte for
// byte, the reader's handling of the format's corners and of malformed input, and HKLM kept in
// the machine image as registry.reg.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "choke.h"
#include "machine.h"
#include "platform/win32.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path Fixture(const char* name) {
    return fs::path(BK_SOURCE_DIR) / "tests" / "fixtures" / "wine" / name;
}

// A standalone HKLM for the file tests, so they never touch the machine.
struct Tree {
    sim::RegKey hklm;
    sim::RegRootResolver roots() {
        return [this](const std::string& root) {
            return root == "HKEY_LOCAL_MACHINE" ? &hklm : nullptr;
        };
    }
    sim::RegFileResult Import(std::string_view text) { return sim::ImportRegFile(text, roots()); }
    sim::RegKey* Key(std::string_view path) { return sim::FindKey(hklm, path); }
};

// The UTF-16LE bytes regedit writes for `text` (ASCII), byte-order mark first.
std::string Utf16File(std::string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> out;
    for (int b : list) {
        out.push_back(static_cast<uint8_t>(b));
    }
    return out;
}

const char kEnumKey[] = "System\\CurrentControlSet\\Enum";

// ---- Wine's exports -----------------------------------------------------------------------

void ExpectRoundTrip(const char* file, const char* keyPath) {
    const std::string original = ReadFile(Fixture(file));
    ASSERT_FALSE(original.empty()) << file;
    Tree tree;
    sim::RegFileResult result = tree.Import(original);
    ASSERT_TRUE(result.ok) << file << ":" << result.line << ": " << result.message;
    sim::RegKey* key = tree.Key(keyPath);
    ASSERT_NE(key, nullptr);
    const std::string exported =
        sim::ExportRegFile(*key, std::string("HKEY_LOCAL_MACHINE\\") + keyPath);
    EXPECT_TRUE(exported == original) << file << " changed on its way through the tree";
}

TEST(WineExports, EnumTreeIsWrittenBackByteForByte) {
    ExpectRoundTrip("wine-enum.reg", kEnumKey);
}

TEST(WineExports, ClassTreeIsWrittenBackByteForByte) {
    ExpectRoundTrip("wine-control-class.reg", "System\\CurrentControlSet\\Control\\Class");
}

TEST(WineExports, BoardNodesReadAsTheProgramWroteThem) {
    Tree tree;
    ASSERT_TRUE(tree.Import(ReadFile(Fixture("wine-enum.reg"))).ok);
    sim::RegKey* pci = tree.Key("SYSTEM\\CurrentControlSet\\Enum\\ROOT\\SAMPLEPCI\\0000");
    ASSERT_NE(pci, nullptr);
    // Wine writes "HardwareId"; Windows programs ask for "HardwareID".
    EXPECT_EQ(sim::GetMultiStringValue(*pci, "HardwareID"),
              (std::vector<std::string>{"PCI\\VEN_FFF1&DEV_0101&SUBSYS_0001FFF1",
                                        "PCI\\VEN_FFF1&DEV_0101"}));
    EXPECT_EQ(sim::GetStringValue(*pci, "classguid"), "{3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}");
    sim::RegKey* usb = tree.Key("system\\currentcontrolset\\enum\\root\\sampleusb\\0000");
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(
        sim::GetMultiStringValue(*usb, "HardwareID"),
        (std::vector<std::string>{"USB\\VID_FFF2&PID_0001&REV_0100", "USB\\VID_FFF2&PID_0001"}));
}

TEST(WineExports, UnknownTypesAndEmptyDataKeepTheirBytes) {
    Tree tree;
    ASSERT_TRUE(tree.Import(ReadFile(Fixture("wine-enum.reg"))).ok);
    const std::string monitor =
        "System\\CurrentControlSet\\Enum\\DISPLAY\\Default_Monitor\\0000&0000";
    sim::RegKey* property =
        tree.Key(monitor + "\\Properties\\{233a9ef3-afc4-4abd-b564-c32f21f1535b}\\0002");
    ASSERT_NE(property, nullptr);
    const sim::RegValue* value = sim::FindValue(*property, "");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, 0xffff0007u);
    EXPECT_EQ(value->data, Bytes({0x03, 0x00, 0x00, 0x00}));
    sim::RegKey* parameters = tree.Key(monitor + "\\Device Parameters");
    ASSERT_NE(parameters, nullptr);
    const sim::RegValue* edid = sim::FindValue(*parameters, "BAD_EDID");
    ASSERT_NE(edid, nullptr);
    EXPECT_EQ(edid->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_TRUE(edid->data.empty());
}

TEST(WineExports, ClassKeysEnumerateInCaseInsensitiveOrder) {
    Tree tree;
    ASSERT_TRUE(tree.Import(ReadFile(Fixture("wine-control-class.reg"))).ok);
    sim::RegKey* classes = tree.Key("System\\CurrentControlSet\\Control\\Class");
    ASSERT_NE(classes, nullptr);
    std::vector<std::string> names;
    for (const auto& child : classes->subkeys) {
        names.push_back(child->name);
    }
    const std::vector<std::string> expected = {
        "{4d36e967-e325-11ce-bfc1-08002be10318}", "{4D36E968-E325-11CE-BFC1-08002BE10318}",
        "{4D36E96E-E325-11CE-BFC1-08002BE10318}", "{4d36e978-e325-11ce-bfc1-08002be10318}",
        "{4d36e97d-e325-11ce-bfc1-08002be10318}", "{6bdd1fc6-810f-11d0-bec7-08002be2092f}",
        "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}"};
    EXPECT_EQ(names, expected);
}

// ---- Reading ------------------------------------------------------------------------------

TEST(RegFileReader, AcceptsUtf8WithLfLineEndsAndComments) {
    Tree tree;
    sim::RegFileResult result = tree.Import(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n; a comment\n"
        "[HKEY_LOCAL_MACHINE\\Software\\T]\n  "
        "@=\"default\"\n\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\n");
    ASSERT_TRUE(result.ok) << result.message;
    sim::RegKey* key = tree.Key("Software\\T");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(sim::GetStringValue(*key, ""), "default");
    EXPECT_EQ(sim::GetStringValue(*key, "path"), "C:\\dir\\\"q\"");
}

TEST(RegFileReader, JoinsContinuedHexLines) {
    Tree tree;
    ASSERT_TRUE(tree.Import("Windows Registry Editor Version 5.00\r\n"
                            "[HKLM\\K]\r\n\"Data\"=hex(ffff1003):01, 02,\\\r\n  03 ,04,\\\r\n"
                            "  05\r\n\"N\"=dword:1f\r\n")
                    .ok);
    const sim::RegValue* value = sim::FindValue(*tree.Key("K"), "data");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, 0xffff1003u);
    EXPECT_EQ(value->data, Bytes({1, 2, 3, 4, 5}));
    EXPECT_EQ(sim::GetDwordValue(*tree.Key("K"), "N"), 0x1fu);
}

TEST(RegFileReader, DeletesKeysWithTheirSubtreeAndSingleValues) {
    Tree tree;
    ASSERT_TRUE(tree.Import("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B\\C]\n[HKEY_LOCAL_MACHINE\\A]\n"
                            "\"Keep\"=\"1\"\n\"Drop\"=\"2\"\n")
                    .ok);
    ASSERT_TRUE(tree.Import("Windows Registry Editor Version 5.00\n[-HKEY_LOCAL_MACHINE\\A\\B]\n"
                            "[-HKEY_LOCAL_MACHINE\\Missing]\n[HKEY_LOCAL_MACHINE\\A]\n\"Drop\"=-\n"
                            "\"NeverThere\"=-\n")
                    .ok);
    sim::RegKey* a = tree.Key("A");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->subkeys.empty());
    EXPECT_EQ(sim::GetStringValue(*a, "Keep"), "1");
    EXPECT_EQ(sim::FindValue(*a, "Drop"), nullptr);
}

TEST(RegFileReader, Regedit4StringsAreAnsiAndStoredAsUtf16) {
    Tree tree;
    ASSERT_TRUE(tree.Import("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Old]\r\n\"Name\"=\"caf\xE9\"\r\n"
                            "\"Path\"=hex(2):25,41,25,00\r\n")
                    .ok);
    sim::RegKey* key = tree.Key("Old");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(sim::FindValue(*key, "Name")->data, Bytes({'c', 0, 'a', 0, 'f', 0, 0xE9, 0, 0, 0}));
    EXPECT_EQ(sim::FindValue(*key, "Path")->data, Bytes({'%', 0, 'A', 0, '%', 0, 0, 0}));
}

struct Malformed {
    const char* text;
    size_t line;
};

TEST(RegFileReader, MalformedInputNamesTheLineAndChangesNothing) {
    const Malformed cases[] = {
        {"REGEDIT5\n[HKEY_LOCAL_MACHINE\\A]\n", 1},
        {"", 1},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", 2},
        {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", 2},
        {"REGEDIT4\n\"v\"=\"outside a key\"\n", 2},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:xyz\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,2g\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\\n  02,zz\n", 4},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"open\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\" trailing\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=str:\"x\"\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\" \"x\"\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\nv=\"x\"\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(123456789):00\n", 3},
    };
    for (const Malformed& c : cases) {
        Tree tree;
        sim::RegFileResult result = tree.Import(c.text);
        EXPECT_FALSE(result.ok) << c.text;
        EXPECT_EQ(result.line, c.line) << c.text;
        EXPECT_FALSE(result.message.empty()) << c.text;
        EXPECT_TRUE(tree.hklm.subkeys.empty()) << "a malformed file changed the tree: " << c.text;
    }
}

TEST(RegFileReader, RefusesOverlongKeyNamesAndBrokenUtf16) {
    Tree tree;
    std::string longName(256, 'k');
    EXPECT_FALSE(tree.Import("REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + longName + "]\n").ok);
    EXPECT_TRUE(tree.Import("REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + longName.substr(1) + "]\n").ok);
    std::string odd = ReadFile(Fixture("wine-enum.reg"));
    odd.resize(odd.size() - 1);
    EXPECT_FALSE(tree.Import(odd).ok);
}

TEST(RegFileReader, EveryTruncationOfAFixtureEndsCleanly) {
    const std::string full = ReadFile(Fixture("wine-control-class.reg"));
    for (size_t size = 2; size < full.size(); size += 2 * 37) {
        Tree tree;
        sim::RegFileResult result = tree.Import(std::string_view(full).substr(0, size));
        // A cut inside the header is not a registry file; anywhere else it may still be one.
        if (size < 2 + 2 * 36) {
            EXPECT_FALSE(result.ok) << size;
        } else {
            EXPECT_TRUE(result.ok || result.line > 0) << size;
        }
    }
}

// ---- Writing ------------------------------------------------------------------------------

TEST(RegFileWriter, WritesWhatWineRegExportWritesForTheSameValues) {
    // Wine's `reg export` of a key holding these values.
    sim::RegKey key;
    sim::SetStringValue(key, "A", "li\"q\\b");
    sim::SetStringValue(key, "e", "");
    sim::SetValue(key, std::string(80, 'N'), REG_BINARY, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    sim::SetValue(key, "q", REG_QWORD, Bytes({0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
    const std::string expected = Utf16File(
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\BkWrap]\r\n"
        "\"A\"=\"li\\\"q\\\\b\"\r\n\"e\"=\"\"\r\n\"" +
        std::string(80, 'N') +
        "\"=hex:01,\\\r\n  02,03,04,05,06,07,08\r\n"
        "\"q\"=hex(b):88,77,66,55,44,33,22,11\r\n\r\n");
    EXPECT_TRUE(sim::ExportRegFile(key, "HKEY_LOCAL_MACHINE\\Software\\BkWrap") == expected);
}

TEST(RegFileWriter, OddShapedValuesStillRoundTrip) {
    Tree tree;
    sim::RegKey& key = sim::CreateKey(tree.hklm, "Odd");
    sim::SetValue(key, "NoTerminator", REG_SZ, Bytes({'a', 0}));
    sim::SetValue(key, "Empty", REG_SZ, {});
    sim::SetValue(key, "Lines", REG_SZ, sim::StringData("one\r\ntwo"));
    sim::SetValue(key, "ShortDword", REG_DWORD, Bytes({1, 2, 3}));
    sim::SetValue(key, "With \"quotes\" and \\", REG_NONE, {});
    const std::string text = sim::ExportRegFile(tree.hklm, "HKEY_LOCAL_MACHINE");
    Tree copy;
    ASSERT_TRUE(copy.Import(text).ok);
    sim::RegKey* back = copy.Key("odd");
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->values.size(), key.values.size());
    for (size_t i = 0; i < key.values.size(); ++i) {
        EXPECT_EQ(back->values[i].name, key.values[i].name);
        EXPECT_EQ(back->values[i].type, key.values[i].type) << key.values[i].name;
        EXPECT_EQ(back->values[i].data, key.values[i].data) << key.values[i].name;
    }
    EXPECT_TRUE(sim::ExportRegFile(copy.hklm, "HKEY_LOCAL_MACHINE") == text);
}

// ---- The machine's registry ---------------------------------------------------------------

class MachineRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("bk-registry-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        sim::ResetToEmpty();
    }
    void TearDown() override {
        sim::ResetToEmpty();
        fs::remove_all(dir_);
    }
    fs::path RegistryFile() const { return dir_ / "current" / "registry.reg"; }
    fs::path dir_;
};

TEST_F(MachineRegistry, ChangesAreSavedAsARegeditFileAndReadBack) {
    sim::OpenImage(dir_.string());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\T", &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
              ERROR_SUCCESS);
    RegCloseKey(key);
    sim::SaveImage();
    const std::string saved = ReadFile(RegistryFile());
    EXPECT_EQ(saved.substr(0, 4), std::string("\xFF\xFEW\0", 4));
    sim::ResetToEmpty();
    EXPECT_EQ(sim::FindKey(sim::Hklm(), "SYSTEM"), nullptr);
    sim::OpenImage(dir_.string());
    sim::RegKey* services = sim::FindKey(sim::Hklm(), "system\\currentcontrolset\\services\\t");
    ASSERT_NE(services, nullptr);
    EXPECT_EQ(sim::GetStringValue(*services, "name"), "x");
}

TEST_F(MachineRegistry, SavingNeverWritesIntoThePreviousGenerationsFile) {
    sim::OpenImage(dir_.string());
    sim::SetDwordValue(sim::CreateKey(sim::Hklm(), "K"), "V", 1);
    sim::MarkDirty("registry");
    sim::SaveImage();
    const fs::path witness = dir_ / "witness.reg";
    fs::create_hard_link(RegistryFile(), witness);
    const std::string before = ReadFile(witness);
    sim::SetDwordValue(*sim::FindKey(sim::Hklm(), "K"), "V", 2);
    sim::MarkDirty("registry");
    sim::SaveImage();
    EXPECT_EQ(ReadFile(witness), before);
    EXPECT_NE(ReadFile(RegistryFile()), before);
}

TEST_F(MachineRegistry, ChangingCallsAreJournaled) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\J", &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Missing");
    RegCloseKey(key);
    const auto& lines = sim::JournalLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("RegCreateKeyA(HKLM\\Software\\J) = 0"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("RegDeleteValueA"), std::string::npos);
    EXPECT_NE(lines[1].find("= 2"), std::string::npos) << lines[1];
}

TEST_F(MachineRegistry, ANonElevatedProcessOnlyReadsHklm) {
    sim::SetDwordValue(sim::CreateKey(sim::Hklm(), "Software\\Existing"), "V", 1);
    sim::Settings().elevated = false;
    HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xdeadbeef));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Existing", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\New", &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Existing"), ERROR_ACCESS_DENIED);
    // RegCreateKey still opens an existing key, for reading only.
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Existing", &key), ERROR_SUCCESS);
    const BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(MachineRegistry, AnInjectedFaultFailsTheCallForItsArgumentOnly) {
    sim::CreateKey(sim::Hklm(), "Software\\A");
    sim::CreateKey(sim::Hklm(), "Software\\B");
    sim::Fault fault;
    fault.api = "RegOpenKeyExA";
    fault.arg = "software\\a";
    fault.error = ERROR_OUTOFMEMORY;
    sim::Faults().push_back(fault);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\A", 0, KEY_READ, &key),
              ERROR_OUTOFMEMORY);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\B", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(MachineRegistry, TenThousandDeviceKeysEnumerateAndRoundTrip) {
    sim::RegKey& enumKey = sim::CreateKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Enum\\PCI");
    for (int i = 0; i < 10000; ++i) {
        sim::RegKey& node = sim::AddSubkey(enumKey, "VEN_1234&DEV_" + std::to_string(i));
        sim::RegKey& instance = sim::AddSubkey(node, "0");
        sim::SetMultiStringValue(instance, "HardwareID",
                                 {"PCI\\VEN_1234&DEV_" + std::to_string(i)});
        sim::SetStringValue(instance, "ClassGUID", "{3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}");
        sim::SetDwordValue(instance, "ConfigFlags", 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\PCI", 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    char name[64];
    DWORD count = 0;
    while (RegEnumKeyA(key, count, name, sizeof name) == ERROR_SUCCESS) {
        ++count;
    }
    RegCloseKey(key);
    EXPECT_EQ(count, 10000u);
    const std::string text = sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE");
    Tree copy;
    ASSERT_TRUE(copy.Import(text).ok);
    EXPECT_TRUE(sim::ExportRegFile(copy.hklm, "HKEY_LOCAL_MACHINE") == text);
}

}  // namespace
