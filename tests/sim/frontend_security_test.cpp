// Tokens, privileges and the shutdown request against the Win32 contract: results, exact
// error codes, and out-values left alone by a failed call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "machine.h"
#include "platform/win32.h"

namespace fs = std::filesystem;

namespace {

const DWORD kSentinel = 0xDEADBEEF;

class Security : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }

    HANDLE OpenToken(DWORD access) {
        HANDLE token = nullptr;
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), access, &token));
        return token;
    }
    // Enables or disables one privilege; returns the call's result, last error in `error`.
    BOOL Adjust(HANDLE token, const char* name, DWORD attributes, DWORD& error) {
        TOKEN_PRIVILEGES privileges = {};
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid));
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = attributes;
        SetLastError(kSentinel);
        BOOL ok = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        error = GetLastError();
        return ok;
    }
    BOOL RequestRestart() {
        return InitiateSystemShutdownExA(nullptr, nullptr, 0, FALSE, TRUE,
                                         SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_HARDWARE |
                                             SHTDN_REASON_MINOR_INSTALLATION);
    }
};

TEST_F(Security, WellKnownPrivilegesHaveTheirSystemLuids) {
    LUID luid = {kSentinel, -1};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid));
    EXPECT_EQ(luid.LowPart, 19u);
    EXPECT_EQ(luid.HighPart, 0);
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "sedebugprivilege", &luid));
    EXPECT_EQ(luid.LowPart, 20u);
}

TEST_F(Security, UnknownPrivilegeFailsAndLeavesTheLuidAlone) {
    LUID luid = {kSentinel, 7};
    SetLastError(kSentinel);
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
    EXPECT_EQ(luid.LowPart, kSentinel);
    EXPECT_EQ(luid.HighPart, 7);
}

TEST_F(Security, OnlyTheCurrentProcessHasAToken) {
    HANDLE token = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(kSentinel));
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x1234), TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(token, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(kSentinel)));
}

TEST_F(Security, TokenHandleClosesOnce) {
    HANDLE token = OpenToken(TOKEN_ADJUST_PRIVILEGES);
    EXPECT_TRUE(CloseHandle(token));
    SetLastError(kSentinel);
    EXPECT_FALSE(CloseHandle(token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Security, AdjustingNeedsTheAdjustRight) {
    HANDLE token = OpenToken(TOKEN_QUERY);
    DWORD error = 0;
    EXPECT_FALSE(Adjust(token, "SeShutdownPrivilege", SE_PRIVILEGE_ENABLED, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(sim::ProcessPrivilegeEnabled("SeShutdownPrivilege"));
    CloseHandle(token);
}

TEST_F(Security, EnablingAHeldPrivilegeSucceedsWithErrorCleared) {
    HANDLE token = OpenToken(TOKEN_ADJUST_PRIVILEGES);
    EXPECT_FALSE(sim::ProcessPrivilegeEnabled("SeShutdownPrivilege"));
    DWORD error = 0;
    EXPECT_TRUE(Adjust(token, "SeShutdownPrivilege", SE_PRIVILEGE_ENABLED, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(sim::ProcessPrivilegeEnabled("SeShutdownPrivilege"));
    EXPECT_TRUE(Adjust(token, "SeShutdownPrivilege", 0, error));
    EXPECT_FALSE(sim::ProcessPrivilegeEnabled("SeShutdownPrivilege"));
    CloseHandle(token);
}

TEST_F(Security, PrivilegeNotHeldStillSucceedsButReportsNotAllAssigned) {
    sim::Settings().elevated = false;
    HANDLE token = OpenToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    DWORD error = 0;
    EXPECT_TRUE(Adjust(token, "SeDebugPrivilege", SE_PRIVILEGE_ENABLED, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
    EXPECT_FALSE(sim::ProcessPrivilegeEnabled("SeDebugPrivilege"));
    CloseHandle(token);
}

TEST_F(Security, ElevatedTokenHoldsTheDebugPrivilege) {
    HANDLE token = OpenToken(TOKEN_ADJUST_PRIVILEGES);
    DWORD error = 0;
    EXPECT_TRUE(Adjust(token, "SeDebugPrivilege", SE_PRIVILEGE_ENABLED, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(sim::ProcessPrivilegeEnabled("SeDebugPrivilege"));
    CloseHandle(token);
}

TEST_F(Security, RestartNeedsTheEnabledShutdownPrivilege) {
    SetLastError(kSentinel);
    EXPECT_FALSE(RequestRestart());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
    EXPECT_FALSE(sim::CurrentShutdownRequest().pending);
}

TEST_F(Security, SecondRequestFindsTheFirstInProgress) {
    HANDLE token = OpenToken(TOKEN_ADJUST_PRIVILEGES);
    DWORD error = 0;
    Adjust(token, "SeShutdownPrivilege", SE_PRIVILEGE_ENABLED, error);
    CloseHandle(token);
    EXPECT_TRUE(RequestRestart());
    SetLastError(kSentinel);
    EXPECT_FALSE(RequestRestart());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHUTDOWN_IN_PROGRESS));
    sim::ClearShutdownRequest();
    EXPECT_FALSE(sim::CurrentShutdownRequest().pending);
    EXPECT_TRUE(RequestRestart());
}

TEST_F(Security, PendingRestartIsKeptInTheMachineImage) {
    fs::path dir = fs::temp_directory_path() / ("bk-security-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    sim::OpenImage(dir.string());
    HANDLE token = OpenToken(TOKEN_ADJUST_PRIVILEGES);
    DWORD error = 0;
    Adjust(token, "SeShutdownPrivilege", SE_PRIVILEGE_ENABLED, error);
    CloseHandle(token);
    ASSERT_TRUE(RequestRestart());
    sim::SaveImage();

    std::ifstream in(dir / "current" / "machine.json");
    std::stringstream json;
    json << in.rdbuf();
    EXPECT_NE(json.str().find("\"shutdown\""), std::string::npos);
    EXPECT_NE(json.str().find("2147549186"), std::string::npos);  // 0x80010002

    sim::OpenImage(dir.string());
    EXPECT_TRUE(sim::CurrentShutdownRequest().pending);
    EXPECT_EQ(sim::CurrentShutdownRequest().reason, 0x80010002u);
    // The enabled privilege belonged to the process, not to the machine.
    EXPECT_FALSE(sim::ProcessPrivilegeEnabled("SeShutdownPrivilege"));
    sim::ResetToEmpty();
    fs::remove_all(dir);
}

}  // namespace
