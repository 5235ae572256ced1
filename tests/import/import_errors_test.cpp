// Malformed customer files: each gives an error naming the file and the line, and no image
// (whole or partial) is left behind.
#include <string>

#include "import_helpers.h"
#include "machine.h"

namespace import_test {
namespace {

class ImportErrorTest : public ScratchTest {
  protected:
    void TearDown() override {
        sim::ResetToEmpty();
        ScratchTest::TearDown();
    }
    std::string Customer() const { return FromUtf16(ReadBytes(Fixture("customer.reg"))); }

    // Imports the edited export (and the presence file, if any) and expects `where` at the
    // start of the error, a text saying what is wrong, and nothing written.
    void ExpectRefused(const std::string& regBytes, const std::string& where,
                       const std::string& what, const std::string& presence = "") {
        WriteBytes(Path("customer.reg"), regBytes);
        const std::vector<std::string> before = Entries();
        tools::ImportRequest request;
        request.imageDir = Path("image");
        request.regFiles = {Path("customer.reg")};
        request.presenceFile = presence;
        request.infFolder = Fixture("inf");
        const tools::ImportResult result = tools::ImportMachine(request);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error.rfind(where, 0), 0u) << result.error;
        EXPECT_NE(result.error.find(what), std::string::npos) << result.error;
        EXPECT_EQ(Entries(), before);
    }
    std::string At(size_t line) const {
        return Path("customer.reg") + ":" + std::to_string(line) + ": ";
    }
};

TEST_F(ImportErrorTest, WrongHeaderNamesTheFirstLine) {
    std::string text = Customer();
    text.replace(0, text.find('\r'), "Windows Registry Editor Version 4.00");
    ExpectRefused(Utf16(text), At(1), "first line");
}

TEST_F(ImportErrorTest, FileCutInsideAUtf16CharacterIsTruncated) {
    const std::string bytes = ReadBytes(Fixture("customer.reg"));
    ExpectRefused(bytes.substr(0, bytes.size() - 1), Path("customer.reg") + ":", "truncated file");
}

TEST_F(ImportErrorTest, FileCutAfterAContinuationIsTruncated) {
    const std::string text = Customer();
    const size_t cut = text.find("\\\r\n") + 3;  // the first continued value loses its rest
    const size_t valueLine = LineOf(text, "\"HardwareID\"=hex(7):");
    ExpectRefused(Utf16(text.substr(0, cut)), At(valueLine),
                  "truncated file: the file ends inside");
}

TEST_F(ImportErrorTest, FileCutInTheMiddleOfALineIsTruncated) {
    const std::string text = Customer();
    const size_t cut = text.find("\"Service\"=\"TolPx10S\"") + 12;
    const std::string head = text.substr(0, cut);
    ExpectRefused(Utf16(head), At(LineOf(text, "\"Service\"=\"TolPx10S\"")), "no line end");
}

TEST_F(ImportErrorTest, HexByteWithOneDigitNamesItsLine) {
    std::string text = Customer();
    const std::string line =
        "  00,30,00,38,00,00,00,2a,00,50,00,4e,00,50,00,30,00,41,00,30,00,38,00,00,00,";
    const size_t at = text.find(line);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 4, "  0");
    ExpectRefused(Utf16(text), At(LineOf(text, "  0,30,00,38")), "odd number of digits");
}

TEST_F(ImportErrorTest, HexValueWithThreeDigitsNamesItsLine) {
    std::string text = Customer();
    const size_t at = text.find("hex(2):5c,00");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 12, "hex(2):5c0,0");
    ExpectRefused(Utf16(text), At(LineOf(text, "hex(2):5c0,0")), "odd number of digits");
}

TEST_F(ImportErrorTest, InstanceWithoutHardwareIdNamesItsKeyLine) {
    std::string text = Customer();
    const std::string key =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\DAQBOARD\\0000]";
    const std::string ids = "\"HardwareID\"=hex(7):44,00,45,00,4d,00,4f,00,00,00,00,00\r\n";
    const size_t at = text.find(ids, text.find(key));
    ASSERT_NE(at, std::string::npos);
    text.erase(at, ids.size());
    ExpectRefused(Utf16(text), At(LineOf(text, key)), "ROOT\\DAQBOARD\\0000 has no HardwareID");
}

TEST_F(ImportErrorTest, KeyOfAnotherRootIsRefused) {
    const std::string text =
        Customer() + "[HKEY_CURRENT_USER\\Software\\Tolvan]\r\n\"a\"=\"b\"\r\n\r\n";
    ExpectRefused(Utf16(text), At(LineOf(text, "[HKEY_CURRENT_USER")), "HKEY_CURRENT_USER");
}

TEST_F(ImportErrorTest, PresentListEntryMissingFromTheExportNamesItsLine) {
    std::string list = FromUtf16(ReadBytes(Fixture("present.txt")));
    list += "PCI\\VEN_5AE3&DEV_1002\\4&99999999&0&0030\r\n";
    WriteBytes(Path("present.txt"), Utf16(list));
    ExpectRefused(ReadBytes(Fixture("customer.reg")), Path("present.txt") + ":8: ",
                  "PCI\\VEN_5AE3&DEV_1002\\4&99999999&0&0030 is not a device instance",
                  Path("present.txt"));
}

TEST_F(ImportErrorTest, JsonEntryMissingFromTheExportNamesItsLine) {
    WriteBytes(
        Path("devices.json"),
        "[\n  {\n    \"InstanceId\": \"ROOT\\\\DAQBOARD\\\\0000\",\n    \"Present\": true\n  },\n"
        "  {\n    \"InstanceId\": \"ROOT\\\\DAQBOARD\\\\0001\",\n    \"Present\": true\n  }\n]\n");
    ExpectRefused(ReadBytes(Fixture("customer.reg")),
                  Path("devices.json") + ":7: ", "ROOT\\DAQBOARD\\0001 is not a device instance",
                  Path("devices.json"));
}

TEST_F(ImportErrorTest, JsonProblemOfUnknownNameIsRefused) {
    WriteBytes(Path("devices.json"),
               "{\n  \"InstanceId\": \"ROOT\\\\DAQBOARD\\\\0000\",\n  \"Problem\": "
               "\"CM_PROB_BROKEN\"\n}\n");
    ExpectRefused(ReadBytes(Fixture("customer.reg")),
                  Path("devices.json") + ":2: ", "CM_PROB_ name", Path("devices.json"));
}

TEST_F(ImportErrorTest, BrokenJsonIsRefused) {
    WriteBytes(Path("devices.json"), "[\n  {\n    \"InstanceId\": \"ROOT\\\\DAQBOARD\\\\0000\",\n");
    ExpectRefused(ReadBytes(Fixture("customer.reg")), Path("devices.json") + ": ", "not valid JSON",
                  Path("devices.json"));
}

TEST_F(ImportErrorTest, FolderHoldingSomethingIsNotReplaced) {
    fs::create_directories(Path("image"));
    WriteBytes(Path("image/notes.txt"), "keep me");
    tools::ImportRequest request;
    request.imageDir = Path("image");
    request.regFiles = {Fixture("customer.reg")};
    const tools::ImportResult result = tools::ImportMachine(request);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("not an empty folder"), std::string::npos) << result.error;
    EXPECT_EQ(ReadBytes(Path("image/notes.txt")), "keep me");
    EXPECT_EQ(Entries(), std::vector<std::string>{"image"});
}

TEST(ProblemNames, CarryTheNumbersOfCfgH) {
    EXPECT_EQ(tools::ProblemNumberOfName("CM_PROB_NONE"), 0u);
    EXPECT_EQ(tools::ProblemNumberOfName("CM_PROB_NOT_CONFIGURED"), 1u);
    EXPECT_EQ(tools::ProblemNumberOfName("CM_PROB_DISABLED"), 22u);
    EXPECT_EQ(tools::ProblemNumberOfName("CM_PROB_FAILED_INSTALL"), 28u);
    EXPECT_EQ(tools::ProblemNumberOfName("CM_PROB_PHANTOM"), 45u);
    EXPECT_EQ(tools::ProblemNumberOfName("CM_PROB_GUEST_ASSIGNMENT_FAILED"), 57u);
    EXPECT_FALSE(tools::ProblemNumberOfName("cm_prob_disabled"));
}

}  // namespace
}  // namespace import_test
