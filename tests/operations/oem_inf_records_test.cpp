// The OEM INF and pre-install record routines on a real registry and INF folder: the same
// checks run on the simulated machine and under Wine, through the product's own operations.
// Everything a test adds to the machine it takes away again, since a Wine prefix is shared.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "boardkit/operations.h"
#include "platform/win32.h"
#include "setup/oem_inf.h"
#include "shared/test_platform.h"

namespace {

const char kPreinstallKey[] = "SYSTEM\\CurrentControlSet\\Services\\TOLVANPRE";

using test_platform::InfFolder;
using test_platform::OnWine;

void WriteInf(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    EXPECT_EQ(written, text.size());
    CloseHandle(file);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The string values of the pre-install key by name; empty when the key does not exist.
std::map<std::string, std::string> PreinstallRecords() {
    std::map<std::string, std::string> records;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPreinstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return records;
    }
    for (DWORD index = 0;; ++index) {
        char name[MAX_PATH] = {};
        char data[MAX_PATH + 1] = {};
        DWORD nameLength = MAX_PATH;
        DWORD dataSize = MAX_PATH;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type,
                          reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS) {
            break;
        }
        records[name] = type == REG_SZ ? data : "(not a string)";
    }
    RegCloseKey(key);
    return records;
}

// Leaves the pre-install key as the test found it: the test's values go, and a key the test
// made goes with them.
class PreinstallRecordsOnTheMachine : public ::testing::Test {
  protected:
    void SetUp() override { before_ = PreinstallRecords(); }
    void TearDown() override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPreinstallKey, 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            if (before_.count("BkOpsTest") == 0) {
                RegDeleteValueA(key, "BkOpsTest");
            }
            RegCloseKey(key);
        }
        if (before_.empty() && PreinstallRecords().empty()) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPreinstallKey);
        }
    }
    std::map<std::string, std::string> before_;
};

TEST_F(PreinstallRecordsOnTheMachine, NoDeviceTwiceAddsOneRecordAndPresentDeviceRemovesIt) {
    ASSERT_EQ(before_.count("BkOpsTest"), 0u) << "a record of an earlier run is left over";
    char inf[] = "C:\\Drivers\\Ops\\BkOpsTests.inf";
    char again[] = "D:\\OPS\\BKOPSTESTS.INF";
    UpdatePreinstallRecord(inf, PreinstallMode::NoDevice);
    // The second time the record is found (in any case) and left as it is; a second add
    // would rewrite it with this spelling.
    UpdatePreinstallRecord(again, PreinstallMode::NoDevice);
    std::map<std::string, std::string> expected = before_;
    expected["BkOpsTest"] = "BkOpsTests.inf";
    EXPECT_EQ(PreinstallRecords(), expected);

    UpdatePreinstallRecord(inf, PreinstallMode::PresentDevice);
    EXPECT_EQ(PreinstallRecords(), before_);
}

TEST_F(PreinstallRecordsOnTheMachine, AnInfNameWithoutFolderIsTheFileName) {
    char inf[] = "bkopstests.INF";
    UpdatePreinstallRecord(inf, PreinstallMode::NoDevice);
    EXPECT_EQ(PreinstallRecords()["bkopstest"], "bkopstests.INF");
    // A record is matched without regard to case: the upper-case path finds it.
    char upper[] = "D:\\BKOPSTESTS.INF";
    UpdatePreinstallRecord(upper, PreinstallMode::PresentDevice);
    EXPECT_EQ(PreinstallRecords(), before_);
}

// Copies written into the INF folder for one test and removed after it.
class OemCopiesOnTheMachine : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = InfFolder();
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::string& path : written_) {
            DeleteFileA(path.c_str());
        }
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = folder_ + "\\" + name;
        WriteInf(path, text);
        written_.push_back(path);
        return path;
    }
    std::string folder_;
    std::vector<std::string> written_;
};

TEST_F(OemCopiesOnTheMachine, TheCopyCarryingTheHardwareIdIsFoundCaseSensitively) {
    Write("oem9871.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n; PCI\\VEN_5AE3&DEV_7E01\r\n");
    Write("oem9872.inf", "[Models]\r\nBoard = Install, PCI\\VEN_5AE3&DEV_7F01\r\n");
    char id[] = "PCI\\VEN_5AE3&DEV_7F01";
    char found[MAX_PATH] = {};
    ASSERT_TRUE(FindOemInfByHardwareId(found, id));
    EXPECT_STREQ(found, "oem9872.inf");

    char lower[] = "pci\\ven_5ae3&dev_7f01";
    char none[MAX_PATH] = "unchanged";
    EXPECT_FALSE(FindOemInfByHardwareId(none, lower));
    EXPECT_STREQ(none, "unchanged");
}

TEST_F(OemCopiesOnTheMachine, ACopyWithoutTheOemPrefixIsNotSearched) {
    Write("bkopstest9873.inf", "PCI\\VEN_5AE3&DEV_7D01\r\n");
    char id[] = "PCI\\VEN_5AE3&DEV_7D01";
    char found[MAX_PATH] = {};
    EXPECT_FALSE(FindOemInfByHardwareId(found, id));
}

TEST_F(OemCopiesOnTheMachine, TheDemoKernelKeyLeadsToTheCopyOfTheDemoPackage) {
    char path[] = "C:\\Drivers\\demo\\toldemos.INF";
    char kernelKey[MAX_PATH] = {};
    KernelKeyOfInf(path, kernelKey);
    ASSERT_STREQ(kernelKey, "TolDemoS");
    Write("oem9874.inf", "[Models]\r\nDemo = Demo_Install, ROOT\\DEMO\r\n");
    char found[MAX_PATH] = {};
    ASSERT_TRUE(FindOemInfForKernelKey(kernelKey, found));
    EXPECT_STREQ(found, "oem9874.inf");
}

TEST_F(OemCopiesOnTheMachine, DeletingANameThatIsNoOemCopyFailsAndChangesNothing) {
    const std::string path = Write("bkopstest9875.inf", "[Version]\r\n");
    char name[] = "bkopstest9875.inf";
    const int32_t result = DeleteOemInfFile(name);
    if (OnWine()) {
        // Measured: Wine 8 removes any INF of the folder that it is given by name and reports
        // success. These lines fail once Wine refuses it as Windows does.
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(FileExists(path));
    } else {
        // ERROR_NOT_AN_INSTALLED_OEM_INF: only the store's own oem<N> copies can go.
        EXPECT_EQ(static_cast<uint32_t>(result), 0xE000023Cu);
        EXPECT_TRUE(FileExists(path));
    }
}

}  // namespace
