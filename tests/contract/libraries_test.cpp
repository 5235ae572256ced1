// Loading system libraries: the search flags of LoadLibraryExA and SetDefaultDllDirectories,
// checked the same way on the simulated machine and on Wine.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace {

const DWORD kSentinel = 0xdeadbeef;

std::string SystemFolder() {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? folder : "";
}

TEST(LoadLibraryExA, TheSystemFolderServesASystemLibraryByNameAndByFullPath) {
    HMODULE byName = LoadLibraryExA("newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(byName, nullptr);
    const std::string path = SystemFolder() + "\\NEWDEV.DLL";
    HMODULE byPath = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(byPath, byName);
    EXPECT_TRUE(FreeLibrary(byPath));
    EXPECT_TRUE(FreeLibrary(byName));
}

TEST(LoadLibraryExA, AFolderWithoutTheLibraryDoesNotServeIt) {
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryExA("C:\\boardkit-contract-test\\newdev.dll", nullptr,
                             LOAD_LIBRARY_SEARCH_SYSTEM32),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LoadLibraryExA, TheAlteredSearchDoesNotCombineWithSearchFlags) {
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryExA("newdev.dll", nullptr,
                             LOAD_WITH_ALTERED_SEARCH_PATH | LOAD_LIBRARY_SEARCH_SYSTEM32),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SetDefaultDllDirectories, TakesOnlySearchFlagsAndReachesTheSystemFolder) {
    using Proc = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    const auto setDefaults = reinterpret_cast<Proc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    ASSERT_NE(setDefaults, nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(setDefaults(0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kSentinel);
    EXPECT_FALSE(setDefaults(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_WITH_ALTERED_SEARCH_PATH));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(setDefaults(LOAD_LIBRARY_SEARCH_SYSTEM32));
    HMODULE library = LoadLibraryA("newdev.dll");
    EXPECT_NE(library, nullptr);
    if (library != nullptr) {
        FreeLibrary(library);
    }
}

}  // namespace
