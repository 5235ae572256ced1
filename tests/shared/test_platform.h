// What the tests that run on both builds ask of the platform they run on: whether it is Wine,
// and where the machine keeps its INF folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace test_platform {

// True under Wine, false on the simulated machine (and on Windows). Wine departs from Windows
// in a few documented details; the checks that expect Wine's result ask this.
inline bool OnWine() {
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// The machine's INF folder, <Windows folder>\INF.
inline std::string InfFolder() {
    char windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, static_cast<UINT>(MAX_PATH));
    return std::string(windows) + "\\INF";
}

}  // namespace test_platform
