// Exports that are not the usual CurrentControlSet export, and machines that will not be what
// the user thinks: the import takes what it can (and says what it took), refuses what it
// cannot, and warns where the image differs from what the user expects.
#include <string>

#include "devices.h"
#include "file_system.h"
#include "import_helpers.h"
#include "machine.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace import_test {
namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kCurrentSet = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet";

bool AnyContains(const std::vector<std::string>& texts, const std::string& part) {
    for (const std::string& text : texts) {
        if (text.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class ImportChecksTest : public ScratchTest {
  protected:
    void TearDown() override {
        sim::ResetToEmpty();
        ScratchTest::TearDown();
    }
    std::string Customer() const { return FromUtf16(ReadBytes(Fixture("customer.reg"))); }
    // The customer's export as an export of HKLM\SYSTEM shows it: below ControlSetNNN.
    std::string InControlSet(const std::string& set) const {
        return ReplaceAll(Customer(), kCurrentSet, "HKEY_LOCAL_MACHINE\\SYSTEM\\" + set);
    }
    tools::ImportResult Import(const std::vector<std::string>& regBytes,
                               const std::string& presence = "",
                               const std::string& infFolder = "") {
        tools::ImportRequest request;
        request.imageDir = Path("image");
        for (size_t i = 0; i < regBytes.size(); ++i) {
            request.regFiles.push_back(Path("export" + std::to_string(i) + ".reg"));
            WriteBytes(request.regFiles.back(), regBytes[i]);
        }
        request.presenceFile = presence;
        request.infFolder = infFolder;
        return tools::ImportMachine(request);
    }
    void ExpectCustomerRegistry() {
        sim::OpenImage(Path("image"));
        EXPECT_EQ(sim::AllDevices().size(), 8u);
        EXPECT_NE(
            sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\Device001"),
            nullptr);
        EXPECT_EQ(sim::FindKey(sim::Hklm(), "SYSTEM\\ControlSet001"), nullptr);
    }
};

// ---- Exports without CurrentControlSet.

TEST_F(ImportChecksTest, SelectCurrentNamesTheControlSetTaken) {
    const std::string other = ReplaceAll(InControlSet("ControlSet002"), kHeader, "");
    const std::string whole =
        InControlSet("ControlSet001") + other +
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n"
        "\"Default\"=dword:00000001\r\n\r\n";
    const tools::ImportResult result = Import({Utf16(whole)});
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_NE(result.notes[0].find("SYSTEM\\ControlSet001 taken as the current control set "
                                   "(SYSTEM\\Select\\Current is 1)"),
              std::string::npos)
        << result.notes[0];
    ExpectCustomerRegistry();
    EXPECT_NE(sim::FindKey(sim::Hklm(), "SYSTEM\\ControlSet002\\Services\\TOLVAN"), nullptr);
}

TEST_F(ImportChecksTest, TheOnlyControlSetIsTakenAndTwoWithoutSelectAreRefused) {
    const tools::ImportResult one = Import({Utf16(InControlSet("ControlSet001"))});
    ASSERT_TRUE(one.ok) << one.error;
    ASSERT_EQ(one.notes.size(), 1u);
    EXPECT_NE(one.notes[0].find("(the only control set of the export)"), std::string::npos);
    ExpectCustomerRegistry();
    sim::ResetToEmpty();
    fs::remove_all(Path("image"));

    const tools::ImportResult two =
        Import({Utf16(InControlSet("ControlSet001")), Utf16(InControlSet("ControlSet003"))});
    EXPECT_FALSE(two.ok);
    EXPECT_EQ(two.error.rfind(Path("export0.reg") + ":3: ", 0), 0u) << two.error;
    EXPECT_NE(two.error.find("ControlSet001, ControlSet003"), std::string::npos) << two.error;
    EXPECT_NE(two.error.find("SYSTEM\\Select\\Current"), std::string::npos) << two.error;
    EXPECT_FALSE(fs::exists(Path("image")));
}

TEST_F(ImportChecksTest, ExportsWithoutDevicesMakeAMachineWithoutDevices) {
    const std::string software =
        kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tolvan]\r\n\"Version\"=\"3.1\"\r\n\r\n";
    for (const std::string& text : {software, kHeader, std::string(kHeader, 0, 38)}) {
        const tools::ImportResult result = Import({Utf16(text)});
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.devices, 0u);
        fs::remove_all(Path("image"));
    }
    // With a presence list, the list names devices the export does not hold.
    const tools::ImportResult listed = Import({Utf16(software)}, Fixture("present.txt"));
    EXPECT_FALSE(listed.ok);
    EXPECT_EQ(listed.error.rfind(Fixture("present.txt") + ":1: ", 0), 0u) << listed.error;
    EXPECT_NE(listed.error.find("which holds no device instance at all"), std::string::npos)
        << listed.error;
}

TEST_F(ImportChecksTest, EnumWithoutAnyDeviceInstanceIsRefused) {
    const std::string text = kHeader + "[" + kCurrentSet + "\\Enum]\r\n\r\n[" + kCurrentSet +
                             "\\Enum\\PCI]\r\n\r\n[" + kCurrentSet + "\\Services\\TOLVAN]\r\n\r\n";
    const tools::ImportResult result = Import({Utf16(text)});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error.rfind(Path("export0.reg") + ":3: ", 0), 0u) << result.error;
    EXPECT_NE(result.error.find("no device instance"), std::string::npos) << result.error;
    EXPECT_FALSE(fs::exists(Path("image")));
}

// ---- Warnings: the image is written, and the user is told how it differs.

TEST_F(ImportChecksTest, MachineWithoutTheFrameworkOrWithEveryDeviceAbsentIsWarnedOf) {
    const tools::ImportResult whole = ImportCustomer("whole", "present.txt");
    ASSERT_TRUE(whole.ok) << whole.error;
    // The copies come without the store's package folders; nothing else is amiss.
    for (const std::string& warning : whole.warnings) {
        EXPECT_NE(warning.find("the driver store lacks its package's files"), std::string::npos)
            << warning;
    }
    EXPECT_TRUE(whole.notes.empty()) << ::testing::PrintToString(whole.notes);

    const std::string text = Customer();
    const size_t from = text.find("[" + kCurrentSet + "\\Services\\TOLVAN]");
    const size_t to = text.find("[" + kCurrentSet + "\\Services\\TOLVANPRE]");
    ASSERT_LT(from, to);
    WriteBytes(Path("root.txt"), "HTREE\\ROOT\\0\r\n");
    const tools::ImportResult result =
        Import({Utf16(text.substr(0, from) + text.substr(to))}, Path("root.txt"));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.warnings.size(), 2u) << ::testing::PrintToString(result.warnings);
    EXPECT_TRUE(AnyContains(result.warnings,
                            "Services\\TOLVAN: the framework is not installed "
                            "on this machine"));
    EXPECT_TRUE(AnyContains(result.warnings, Path("root.txt") + ": marks every device absent"));
}

TEST_F(ImportChecksTest, ExportCutAtALineEndIsWarnedOf) {
    // A whole export of the control set: the set's own key, then its subkeys in order, with
    // Services after Enum. This one stops after the last line of Enum.
    const std::string text = Customer();
    const std::string enumPart =
        text.substr(kHeader.size(), text.find("[" + kCurrentSet + "\\Control\\") - kHeader.size());
    const std::string cut = kHeader + "[" + kCurrentSet + "]\r\n\r\n" + enumPart;
    const tools::ImportResult result = Import({Utf16(cut)});
    ASSERT_TRUE(result.ok) << result.error;
    const size_t lastKey = LineOf(cut, "[" + kCurrentSet + "\\Enum\\ROOT\\DAQBOARD\\0000]");
    EXPECT_TRUE(AnyContains(result.warnings, Path("export0.reg") + ":" + std::to_string(lastKey) +
                                                 ": the export ends inside Enum"))
        << ::testing::PrintToString(result.warnings);
    fs::remove_all(Path("image"));

    // An export of Enum alone is whole, but the machine then lacks Services.
    tools::ImportRequest request;
    request.imageDir = Path("image");
    request.regFiles = {Fixture("customer_enum.reg")};
    const tools::ImportResult alone = tools::ImportMachine(request);
    ASSERT_TRUE(alone.ok) << alone.error;
    EXPECT_FALSE(AnyContains(alone.warnings, "ends inside Enum"));
    EXPECT_TRUE(AnyContains(alone.warnings, "hold no SYSTEM\\CurrentControlSet\\Services:"))
        << ::testing::PrintToString(alone.warnings);
}

TEST_F(ImportChecksTest, InfCopyThatDoesNotParseIsWarnedOfAndImportedAsItIs) {
    fs::create_directories(Path("inf"));
    fs::copy(Fixture("inf/oem3.inf"), Path("inf/oem3.inf"));
    const std::string broken =
        "; damaged\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n[Models\r\n";
    WriteBytes(Path("inf/oem4.inf"), broken);
    const tools::ImportResult result =
        Import({ReadBytes(Fixture("customer.reg"))}, "", Path("inf"));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.infCopies, 2u);
    ASSERT_TRUE(AnyContains(result.warnings, Path("inf/oem4.inf") + ":4: does not parse"))
        << ::testing::PrintToString(result.warnings);
    EXPECT_FALSE(AnyContains(result.warnings, Path("inf/oem3.inf")));
    sim::OpenImage(Path("image"));
    std::string bytes;
    ASSERT_TRUE(sim::files::ReadWholeFile("C:\\Windows\\INF\\oem4.inf", bytes));
    EXPECT_EQ(bytes, broken);
}

// ---- Encodings.

TEST_F(ImportChecksTest, Utf16WithoutItsByteOrderMarkIsRead) {
    const std::string marked = ReadBytes(Fixture("customer.reg"));
    const std::string list = ReadBytes(Fixture("present.txt"));
    WriteBytes(Path("present.txt"), list.substr(2));
    const tools::ImportResult result = Import({marked.substr(2)}, Path("present.txt"));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.phantoms, 2u);
    EXPECT_TRUE(AnyContains(result.notes, "without a byte-order mark"));
    sim::OpenImage(Path("image"));
    const std::string imported = sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE");
    sim::ResetToEmpty();
    fs::remove_all(Path("image"));
    ASSERT_TRUE(Import({marked}, Path("present.txt")).ok);
    sim::OpenImage(Path("image"));
    EXPECT_EQ(sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE"), imported);
}

}  // namespace
}  // namespace import_test
