// The program takes system libraries from the system folder only.
#include <gtest/gtest.h>

#include "frontend/entry.h"
#include "machine.h"
#include "platform/system_library.h"
#include "sim/modules.h"
#include "tools/machine_builder.h"

namespace {

class SystemLibraries : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }
};

TEST_F(SystemLibraries, TheProgramRestrictsItsSearchToTheSystemFolderAtItsStart) {
    char program[] = "boardkit";
    char command[] = "IsDemoDeviceInstalled";
    char* argv[] = {program, command, nullptr};
    BoardkitMain(2, argv);
    EXPECT_EQ(sim::DefaultDllDirectories(), static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
}

TEST_F(SystemLibraries, ANameWithAFolderIsRefusedBeforeAnyLoad) {
    for (const char* name :
         {"..\\newdev.dll", "C:\\Temp\\newdev.dll", "x/newdev.dll", "c:newdev.dll"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(platform::LoadSystemLibrary(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << name;
    }
    EXPECT_EQ(sim::CallCount("LoadLibraryExA"), 0u);
}

// Windows 7 without its update refuses the search flags as an invalid parameter: the library is
// then named by its full path in the system folder.
TEST_F(SystemLibraries, WithoutTheSearchFlagsTheSystemPathIsNamed) {
    tools::FailCall("LoadLibraryExA", "newdev.dll", ERROR_INVALID_PARAMETER);
    HMODULE library = platform::LoadSystemLibrary("newdev.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(sim::CallCount("LoadLibraryExA"), 2u);
    EXPECT_EQ(sim::CallCount("GetSystemDirectoryA"), 1u);
    EXPECT_TRUE(FreeLibrary(library));
}

TEST_F(SystemLibraries, AnyOtherFailureIsTheAnswerWithoutASecondSearch) {
    tools::FailCall("LoadLibraryExA", "", ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(platform::LoadSystemLibrary("newdev.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sim::CallCount("LoadLibraryExA"), 1u);
}

}  // namespace
