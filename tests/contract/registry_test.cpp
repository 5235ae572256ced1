// The registry functions' Win32 contract, checked the same way on the simulated machine and on
// Wine: result codes, buffer sizes, enumeration orders, outputs left alone on failure, and the
// last-error code never touched (the registry reports through its return value).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "shared/test_platform.h"

namespace {

using test_platform::OnWine;

const DWORD kSentinel = 0xdeadbeef;
const char kTestKey[] = "Software\\BoardkitContractTest";
HKEY const kSentinelKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xdeadbeef));

// WCHAR is wchar_t on Windows and char16_t on the simulated machine: spell ASCII either way.
std::basic_string<WCHAR> Wide(const char* text) {
    std::basic_string<WCHAR> wide;
    for (; *text != '\0'; ++text) {
        wide += static_cast<WCHAR>(*text);
    }
    return wide;
}

// Deletes `name` below `parent` with everything under it, leaves first (RegDeleteKeyA takes
// only keys without subkeys).
void DeleteTree(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    char child[256];
    while (RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS) {
        DeleteTree(key, child);
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name);
}

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        OnWine();
        DeleteTree(HKEY_LOCAL_MACHINE, kTestKey);
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &root_, nullptr),
                  ERROR_SUCCESS);
        SetLastError(kSentinel);
    }
    void TearDown() override {
        // No registry call may have set the last error (a failure report may have).
        if (!HasFailure()) {
            EXPECT_EQ(GetLastError(), kSentinel);
        }
        RegCloseKey(root_);
        DeleteTree(HKEY_LOCAL_MACHINE, kTestKey);
    }
    void AddKey(const char* path) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(root_, path, &key), ERROR_SUCCESS) << path;
        RegCloseKey(key);
    }
    void SetString(const char* name, const char* text) {
        ASSERT_EQ(RegSetValueExA(root_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(std::strlen(text) + 1)),
                  ERROR_SUCCESS);
    }
    std::vector<std::string> SubkeyNames() {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0; RegEnumKeyA(root_, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
            names.push_back(name);
        }
        return names;
    }
    HKEY root_ = nullptr;
};

TEST_F(Registry, AFailedOpenHandsBackANullKey) {
    HKEY key = kSentinelKey;
    EXPECT_EQ(RegOpenKeyExA(root_, "NoSuchKey", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    key = kSentinelKey;
    EXPECT_EQ(RegOpenKeyExA(root_, "NoSuchKey\\Deeper", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    key = kSentinelKey;
    EXPECT_EQ(RegOpenKeyExA(root_, "\\Leading", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(key, nullptr);
}

TEST_F(Registry, EmptyPathComponentsAreSkipped) {
    AddKey("A\\\\B");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root_, "A\\B\\", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, KeysAreFoundWhateverTheCaseOfTheirPath) {
    AddKey("Mixed\\Case");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\boardkitcontracttest\\MIXED\\case", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_NE(key, nullptr);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, WideOpenFindsTheSameKey) {
    AddKey("Wide");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root_, Wide("wide").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, CreatingAnExistingKeyOpensIt) {
    AddKey("Once");
    HKEY key = nullptr;
    DWORD disposition = kSentinel;
    ASSERT_EQ(RegCreateKeyExA(root_, "ONCE", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    EXPECT_EQ(SubkeyNames(), std::vector<std::string>{"Once"});
}

TEST_F(Registry, SubkeysEnumerateInCaseInsensitiveOrderKeepingTheirCase) {
    for (const char* name : {"beta", "_under", "Alpha", "gamma", "ALPHA2", "Beta1"}) {
        AddKey(name);
    }
    // Windows compares upper-cased names, so '_' (0x5F) sorts after every letter.
    const std::vector<std::string> windows = {"Alpha", "ALPHA2", "beta",
                                              "Beta1", "gamma",  "_under"};
    // Wine compares lower-cased names.
    const std::vector<std::string> wine = {"_under", "Alpha", "ALPHA2", "beta", "Beta1", "gamma"};
    EXPECT_EQ(SubkeyNames(), OnWine() ? wine : windows);
}

TEST_F(Registry, EnumeratingPastTheLastSubkeyGivesNoMoreItems) {
    AddKey("Only");
    char name[16] = "untouched";
    EXPECT_EQ(RegEnumKeyA(root_, 1, name, sizeof name), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, 259);
    EXPECT_STREQ(name, "untouched");
}

TEST_F(Registry, EnumKeyNeedsRoomForTheNameAndItsTerminator) {
    AddKey("Alpha");
    char name[16] = "untouched";
    EXPECT_EQ(RegEnumKeyA(root_, 0, name, 5), ERROR_MORE_DATA);
    ASSERT_EQ(RegEnumKeyA(root_, 0, name, 6), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Alpha");
    WCHAR wide[8] = {};
    EXPECT_EQ(RegEnumKeyW(root_, 0, wide, 5), ERROR_MORE_DATA);
    ASSERT_EQ(RegEnumKeyW(root_, 0, wide, 6), ERROR_SUCCESS);
    EXPECT_EQ(std::basic_string<WCHAR>(wide), Wide("Alpha"));
}

TEST_F(Registry, EnumKeyExReportsTheNameLength) {
    AddKey("Alpha");
    char name[16];
    DWORD length = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(name, "Alpha");
}

TEST_F(Registry, StringSizesIncludeTheTerminator) {
    SetString("Text", "abc");
    DWORD type = kSentinel, size = 0;
    ASSERT_EQ(RegQueryValueExA(root_, "text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 4u);
    char data[8] = {};
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(root_, "TEXT", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(data, "abc");
}

TEST_F(Registry, TooSmallABufferGivesMoreDataAndTheSizeNeeded) {
    SetString("Text", "abcdef");
    BYTE data[4];
    DWORD type = kSentinel, size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(root_, "Text", nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(Registry, QueryingAMissingValueLeavesTheOutputsAlone) {
    DWORD type = kSentinel, size = kSentinel;
    BYTE data[4] = {1, 2, 3, 4};
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(root_, "Missing", nullptr, &type, data, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));  // the type alone is cleared
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0], 1);
}

TEST_F(Registry, DwordAndBinaryValuesComeBackAsStored) {
    const DWORD number = 0x12345678;
    ASSERT_EQ(RegSetValueExA(root_, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              ERROR_SUCCESS);
    const BYTE raw[3] = {0x00, 0xff, 0x7f};
    ASSERT_EQ(RegSetValueExA(root_, "Raw", 0, REG_BINARY, raw, sizeof raw), ERROR_SUCCESS);
    DWORD read = 0, type = 0, size = sizeof read;
    ASSERT_EQ(
        RegQueryValueExA(root_, "Number", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(read, number);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    BYTE back[8] = {};
    size = sizeof back;
    ASSERT_EQ(RegQueryValueExA(root_, "Raw", nullptr, &type, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(back, raw, 3), 0);
}

TEST_F(Registry, MultiStringsKeepEveryTerminator) {
    const char list[] = "PCI\\VEN_1\0USB\\VID_2\0";  // two strings and the list's end
    ASSERT_EQ(RegSetValueExA(root_, "HardwareID", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(list), sizeof list),
              ERROR_SUCCESS);
    char back[32] = {};
    DWORD type = 0, size = sizeof back;
    ASSERT_EQ(
        RegQueryValueExA(root_, "HardwareId", nullptr, &type, reinterpret_cast<BYTE*>(back), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    ASSERT_EQ(size, sizeof list);
    EXPECT_EQ(std::memcmp(back, list, sizeof list), 0);
}

TEST_F(Registry, AStringWithoutTerminatorIsStoredWithOne) {
    ASSERT_EQ(RegSetValueExA(root_, "Short", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
              ERROR_SUCCESS);
    char data[8];
    std::memset(data, 'x', sizeof data);
    DWORD size = sizeof data;
    ASSERT_EQ(
        RegQueryValueExA(root_, "Short", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(data, "abc");
}

TEST_F(Registry, ValuesEnumerateInCreationOrder) {
    SetString("zeta", "1");
    SetString("Alpha", "2");
    SetString("mid", "3");
    std::vector<std::string> names;
    char name[16];
    DWORD length = sizeof name;
    for (DWORD i = 0; RegEnumValueA(root_, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
         ++i, length = sizeof name) {
        names.push_back(name);
    }
    const std::vector<std::string> windows = {"zeta", "Alpha", "mid"};
    const std::vector<std::string> wine = {"Alpha", "mid", "zeta"};  // Wine keeps values sorted
    EXPECT_EQ(names, OnWine() ? wine : windows);
}

TEST_F(Registry, AKeyCanDeleteItselfOnceItHasNoSubkeys) {
    AddKey("Self\\Child");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root_, "Self", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegDeleteKeyA(key, "Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(SubkeyNames().empty());
}

TEST_F(Registry, ReplacingAValueKeepsOneValue) {
    SetString("Name", "first");
    SetString("NAME", "second");
    char data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(
        RegQueryValueExA(root_, "name", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(data, "second");
    DWORD values = kSentinel;
    ASSERT_EQ(RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);
}

TEST_F(Registry, EnumValueNeedsRoomForNameAndData) {
    SetString("Name", "abcdef");
    char name[8] = "keep";
    BYTE data[16] = {};
    DWORD nameLength = 4, type = kSentinel, size = sizeof data;
    EXPECT_EQ(RegEnumValueA(root_, 0, name, &nameLength, nullptr, &type, data, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(nameLength, 4u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    std::strcpy(name, "keep");
    nameLength = sizeof name;
    type = kSentinel;
    size = 3;
    EXPECT_EQ(RegEnumValueA(root_, 0, name, &nameLength, nullptr, &type, data, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(name, "keep");
    EXPECT_EQ(nameLength, sizeof name);
    nameLength = sizeof name;
    size = sizeof data;
    ASSERT_EQ(RegEnumValueA(root_, 0, name, &nameLength, nullptr, &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Name");
    EXPECT_EQ(nameLength, 4u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 7u);
    nameLength = sizeof name;
    EXPECT_EQ(RegEnumValueA(root_, 1, name, &nameLength, nullptr, &type, data, &size),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, DeletingAValueRemovesItOnce) {
    SetString("Gone", "x");
    EXPECT_EQ(RegDeleteValueA(root_, "GONE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(root_, "Gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(root_, "Gone", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DeleteKeyRefusesAKeyWithSubkeys) {
    AddKey("Parent\\Child");
    EXPECT_EQ(RegDeleteKeyA(root_, "Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SubkeyNames(), std::vector<std::string>{"Parent"});
    EXPECT_EQ(RegDeleteKeyA(root_, "Parent\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(root_, "Parent"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(root_, "Parent"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, AHandleToADeletedKeyReportsKeyDeleted) {
    AddKey("Doomed");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root_, "Doomed", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(root_, "Doomed"), ERROR_SUCCESS);
    const BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, &one, 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    char name[8];
    EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof name), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, AKeyOpenedForReadingCannotBeWritten) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    const BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(RegQueryValueExA(root_, "v", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, AClosedHandleIsInvalid) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    char name[8];
    EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof name), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, QueryInfoCountsSubkeysAndValues) {
    AddKey("One");
    AddKey("Three");
    SetString("Longest", "abcdefgh");
    DWORD subkeys = kSentinel, maxSubkey = kSentinel, values = kSentinel, maxName = kSentinel;
    ASSERT_EQ(RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr,
                               &values, &maxName, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(maxSubkey, 5u);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(maxName, 7u);
}

}  // namespace
