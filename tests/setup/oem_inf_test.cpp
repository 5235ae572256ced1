// The OEM INF copies found by their text, the kernel key of an INF path, and the pre-install
// records under TOLVANPRE.
#include <cstring>
#include <map>
#include <string>

#include "setup/oem_inf.h"
#include "setup_machine.h"

namespace {

const char* const kInfFolder = "C:\\Windows\\inf\\";
const char* const kRecordsKey = "SYSTEM\\CurrentControlSet\\Services\\TOLVANPRE";

std::string KernelKeyOf(std::string path) {
    char key[MAX_PATH] = "unchanged";
    KernelKeyOfInf(&path[0], key);
    return key;
}

// The file name found, or "" when the search says no.
std::string FindByKey(std::string key) {
    char oem[MAX_PATH] = {};
    return FindOemInfForKernelKey(&key[0], oem) ? std::string(oem) : std::string();
}
std::string FindById(std::string id) {
    char oem[MAX_PATH] = {};
    return FindOemInfByHardwareId(oem, &id[0]) ? std::string(oem) : std::string();
}

void Copy(const std::string& name, const std::string& text) {
    EXPECT_TRUE(tools::WriteMachineFile(kInfFolder + name, text));
}

class KernelKeys : public setup_test::MachineTest {};

TEST_F(KernelKeys, TheDemoPackagesPathInAnyCaseGivesTheDemoKey) {
    EXPECT_EQ(KernelKeyOf("C:\\Drivers\\Demo\\TolDemos.inf"), "TolDemoS");
    EXPECT_EQ(KernelKeyOf("c:\\drivers\\TOLDEMOS.INF"), "TolDemoS");
}

TEST_F(KernelKeys, AnUnknownFileNameLeavesTheBufferAsItWas) {
    EXPECT_EQ(KernelKeyOf("C:\\Drivers\\other.inf"), "unchanged");
}

class OemSearch : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_EQ(sim::files::CreateDirectories("C:\\Windows\\inf"), 0u);
    }
};

TEST_F(OemSearch, AKernelKeyFindsTheCopyCarryingItsBoardsHardwareId) {
    Copy("oem3.inf", "[Models]\r\n%Board%=Install,PCI\\VEN_1234&DEV_0001\r\n");
    Copy("oem7.inf", "[Models]\r\n%Demo%=Install,DEMO\r\n");
    EXPECT_EQ(FindByKey("toldemos"), "oem7.inf");
}

TEST_F(OemSearch, AnEmptyKernelKeySearchesNothing) {
    Copy("oem1.inf", "DEMO");
    const unsigned before = sim::CallCount("FindFirstFileA");
    EXPECT_EQ(FindByKey(""), "");
    EXPECT_EQ(sim::CallCount("FindFirstFileA"), before);
}

TEST_F(OemSearch, AKernelKeyNoRowContainsFindsNothing) {
    Copy("oem1.inf", "DEMO");
    EXPECT_EQ(FindByKey("NoSuchFamilyS"), "");
}

TEST_F(OemSearch, TheTextIsComparedCaseSensitively) {
    Copy("oem1.inf", "%Demo%=Install,demo\r\n");
    EXPECT_EQ(FindById("DEMO"), "");
    EXPECT_EQ(FindById("demo"), "oem1.inf");
}

TEST_F(OemSearch, ACopyOfAnotherPackageThatMentionsTheIdIsFoundToo) {
    Copy("oem2.inf", "; replaces the driver of PCI\\VEN_5AE3&DEV_0001\r\n[Models]\r\n");
    EXPECT_EQ(FindById("PCI\\VEN_5AE3&DEV_0001"), "oem2.inf");
}

TEST_F(OemSearch, OnlyOemCopiesAreSearchedInTheOrderTheFolderListsThem) {
    Copy("toldemos.inf", "DEMO");
    EXPECT_EQ(FindById("DEMO"), "");
    Copy("oem12.inf", "DEMO");
    Copy("oem4.inf", "DEMO");
    EXPECT_EQ(FindById("DEMO"), "oem12.inf");
}

TEST_F(OemSearch, ACopyThatCannotBeOpenedIsSkipped) {
    Copy("oem1.inf", "DEMO");
    Copy("oem2.inf", "DEMO");
    tools::FailCall("CreateFileA", "C:\\Windows\\inf\\oem1.inf", ERROR_SHARING_VIOLATION);
    EXPECT_EQ(FindById("DEMO"), "oem2.inf");
}

TEST_F(OemSearch, TextAfterAnEndOfFileMarkIsNotRead) {
    Copy("oem1.inf", std::string("[Version]\r\n\x1A") + "DEMO");
    EXPECT_EQ(FindById("DEMO"), "");
}

TEST_F(OemSearch, TheWindowsFolderIsAskedTwice) {
    Copy("oem1.inf", "DEMO");
    tools::FailCall("GetWindowsDirectoryA", "", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(FindById("DEMO"), "oem1.inf");
    sim::Faults().clear();
    tools::FailCall("GetWindowsDirectoryA", "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(FindById("DEMO"), "");
}

TEST_F(OemSearch, AnEmptyInfFolderFindsNothing) {
    EXPECT_EQ(FindById("DEMO"), "");
}

class NoInfFolder : public setup_test::MachineTest {};

TEST_F(NoInfFolder, AMissingInfFolderFindsNothing) {
    EXPECT_EQ(FindById("DEMO"), "");
    EXPECT_EQ(FindByKey("TolDemoS"), "");
}

// ---- pre-install records ----

std::map<std::string, std::string> Records() {
    std::map<std::string, std::string> records;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRecordsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return records;
    }
    for (DWORD i = 0;; ++i) {
        char name[MAX_PATH] = {};
        char data[MAX_PATH] = {};
        DWORD nameLength = sizeof name;
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &dataSize) != ERROR_SUCCESS) {
            break;
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(dataSize, std::strlen(data) + 1) << name;
        records[name] = data;
    }
    RegCloseKey(key);
    return records;
}

void Record(std::string path, PreinstallMode mode) {
    UpdatePreinstallRecord(&path[0], mode);
}

void AddRawValue(const char* name, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kRecordsKey, &key), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

using RecordMap = std::map<std::string, std::string>;

class PreinstallRecords : public setup_test::MachineTest {};

TEST_F(PreinstallRecords, NoDeviceTwiceAddsOneRecordNamedWithoutTheLastFiveCharacters) {
    Record("C:\\Drivers\\Demo\\TolDemos.inf", PreinstallMode::NoDevice);
    Record("C:\\Drivers\\Demo\\TolDemos.inf", PreinstallMode::NoDevice);
    EXPECT_EQ(Records(), (RecordMap{{"TolDemo", "TolDemos.inf"}}));
}

TEST_F(PreinstallRecords, ARecordMatchesWithoutRegardToCase) {
    AddRawValue("TolDemo", "toldemos.inf");
    Record("C:\\Drivers\\TOLDEMOS.INF", PreinstallMode::NoDevice);
    EXPECT_EQ(Records(), (RecordMap{{"TolDemo", "toldemos.inf"}}));
}

TEST_F(PreinstallRecords, PresentDeviceRemovesTheMatchingRecordOnly) {
    AddRawValue("TolPx10", "TolPx10s.inf");
    Record("D:\\Demo\\TolDemos.inf", PreinstallMode::NoDevice);
    Record("D:\\Demo\\TolDemos.inf", PreinstallMode::PresentDevice);
    EXPECT_EQ(Records(), (RecordMap{{"TolPx10", "TolPx10s.inf"}}));
}

TEST_F(PreinstallRecords, PresentDeviceWithoutARecordAddsNone) {
    Record("D:\\Demo\\TolDemos.inf", PreinstallMode::PresentDevice);
    EXPECT_TRUE(Records().empty());
}

TEST_F(PreinstallRecords, AValueWithEmptyDataIsNoRecord) {
    AddRawValue("Stray", "");
    Record("D:\\Demo\\TolDemos.inf", PreinstallMode::NoDevice);
    EXPECT_EQ(Records(), (RecordMap{{"Stray", ""}, {"TolDemo", "TolDemos.inf"}}));
}

TEST_F(PreinstallRecords, AFileNameOfFiveCharactersOrFewerGetsNoRecord) {
    Record("C:\\Drivers\\a.inf", PreinstallMode::NoDevice);
    Record("C:\\Drivers\\.inf", PreinstallMode::NoDevice);
    EXPECT_TRUE(Records().empty());
    Record("C:\\Drivers\\ab.inf", PreinstallMode::NoDevice);
    EXPECT_EQ(Records(), (RecordMap{{"a", "ab.inf"}}));
}

TEST_F(PreinstallRecords, APathWithoutFolderIsItsOwnFileName) {
    Record("TolDemos.inf", PreinstallMode::NoDevice);
    EXPECT_EQ(Records(), (RecordMap{{"TolDemo", "TolDemos.inf"}}));
}

TEST_F(PreinstallRecords, AFileNameTooLongForARecordChangesNothing) {
    Record("C:\\" + std::string(300, 'x') + ".inf", PreinstallMode::NoDevice);
    EXPECT_TRUE(Records().empty());
}

TEST_F(PreinstallRecords, AKeyThatCanNeitherBeOpenedNorCreatedIsLeftAlone) {
    tools::FailCall("RegOpenKeyExA", kRecordsKey, ERROR_ACCESS_DENIED);
    tools::FailCall("RegCreateKeyA", kRecordsKey, ERROR_ACCESS_DENIED);
    Record("D:\\Demo\\TolDemos.inf", PreinstallMode::NoDevice);
    sim::Faults().clear();
    EXPECT_TRUE(Records().empty());
}

TEST_F(PreinstallRecords, AFailedLookAtTheRecordsAddsNoSecondOne) {
    AddRawValue("Earlier", "TolDemos.inf");
    tools::FailCall("RegEnumValueA", "", ERROR_GEN_FAILURE);
    Record("E:\\TolDemos.inf", PreinstallMode::NoDevice);
    sim::Faults().clear();
    EXPECT_EQ(Records(), (RecordMap{{"Earlier", "TolDemos.inf"}}));
}

}  // namespace
