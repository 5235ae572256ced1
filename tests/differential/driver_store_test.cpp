// The driver store on both platforms: staging a package with SetupCopyOEMInfA, its repeat,
// removing the copy with SetupUninstallOEMInfA, and the device installer's answer for a
// hardware ID that no device has. Wine departs from Windows in the copy's name, the removal
// without SUOI_FORCEDELETE and the installer's answers; those lines carry the mark.
#include <cstring>
#include <string>
#include <vector>

#include "differential.h"

namespace {

using differential::FileExists;
using differential::InfFolder;
using differential::kSentinel;
using differential::Lower;
using differential::OnWine;

const char kWidgetInf[] = "tests/fixtures/inf/widget/widget.inf";

typedef BOOL(WINAPI* UpdateDriverFunction)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

struct Staged {
    BOOL ok = FALSE;
    DWORD error = 0;
    std::string path;
    std::string name;
    DWORD required = 0;
};

Staged Stage(const std::string& source, DWORD style) {
    Staged staged;
    char destination[MAX_PATH] = {};
    PSTR name = nullptr;
    SetLastError(kSentinel);
    staged.ok = SetupCopyOEMInfA(source.c_str(), nullptr, SPOST_PATH, style, destination,
                                 sizeof destination, &staged.required, &name);
    staged.error = GetLastError();
    staged.path = destination;
    staged.name = name != nullptr ? name : "";
    return staged;
}

class DriverStore : public ::testing::Test {
  protected:
    void SetUp() override { source_ = differential::SourceFile(kWidgetInf); }
    void TearDown() override {
        for (const std::string& name : staged_) {
            SetupUninstallOEMInfA(name.c_str(), SUOI_FORCEDELETE, nullptr);
        }
    }
    Staged StageAndRemember(DWORD style) {
        Staged staged = Stage(source_, style);
        if (staged.ok && !staged.name.empty()) {
            staged_.push_back(staged.name);
        }
        return staged;
    }
    std::string source_;
    std::vector<std::string> staged_;
};

TEST_F(DriverStore, StagedCopyLandsInTheInfFolderUnderAnOemName) {
    const Staged staged = StageAndRemember(0);
    ASSERT_TRUE(staged.ok) << staged.error;
    EXPECT_EQ(staged.required, staged.path.size() + 1);
    EXPECT_EQ(Lower(staged.path), Lower(InfFolder() + "\\" + staged.name));
    EXPECT_TRUE(FileExists(staged.path));
    const bool oem_name = Lower(staged.name).compare(0, 3, "oem") == 0;
    EXPECT_WINE_DIFFERS(oem_name, true, false, "Wine keeps the package's own file name");
}

TEST_F(DriverStore, RepeatWithoutOverwriteReportsTheCopyThatExists) {
    const Staged first = StageAndRemember(0);
    ASSERT_TRUE(first.ok) << first.error;
    const Staged again = Stage(source_, SP_COPY_NOOVERWRITE);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.error, static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Lower(again.name), Lower(first.name));
}

TEST_F(DriverStore, UninstallOfTheStagedCopyRemovesIt) {
    const Staged staged = StageAndRemember(0);
    ASSERT_TRUE(staged.ok) << staged.error;
    SetLastError(kSentinel);
    EXPECT_TRUE(SetupUninstallOEMInfA(staged.name.c_str(), 0, nullptr)) << GetLastError();
    // No device uses the package, so even without SUOI_FORCEDELETE the copy goes.
    EXPECT_WINE_DIFFERS(FileExists(staged.path), false, true,
                        "Wine keeps the copy unless SUOI_FORCEDELETE is given");
}

TEST_F(DriverStore, UninstallRefusesAnInfThatIsNoOemCopy) {
    const std::string plain = InfFolder() + "\\bkdiffplain.inf";
    ASSERT_TRUE(CopyFileA(source_.c_str(), plain.c_str(), FALSE)) << GetLastError();
    SetLastError(kSentinel);
    const BOOL removed = SetupUninstallOEMInfA("bkdiffplain.inf", 0, nullptr);
    const DWORD error = GetLastError();
    EXPECT_WINE_DIFFERS(removed, FALSE, TRUE, "Wine removes any INF of the folder");
    if (!OnWine()) {
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_AN_INSTALLED_OEM_INF));
        EXPECT_TRUE(FileExists(plain));
    }
    DeleteFileA(plain.c_str());
}

class DeviceInstaller : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = LoadLibraryA("newdev.dll");
        ASSERT_NE(library_, nullptr) << GetLastError();
        update_ = reinterpret_cast<UpdateDriverFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(library_, "UpdateDriverForPlugAndPlayDevicesA")));
        ASSERT_NE(update_, nullptr);
    }
    void TearDown() override { FreeLibrary(library_); }
    HMODULE library_ = nullptr;
    UpdateDriverFunction update_ = nullptr;
};

TEST_F(DeviceInstaller, NoDeviceWithTheHardwareIdIsReported) {
    const std::string inf = differential::SourceFile(kWidgetInf);
    BOOL reboot = kSentinel;
    SetLastError(kSentinel);
    const BOOL ok =
        update_(nullptr, "PCI\\VEN_1234&DEV_5678", inf.c_str(), INSTALLFLAG_FORCE, &reboot);
    const DWORD error = GetLastError();
    EXPECT_WINE_DIFFERS(ok, FALSE, TRUE, "Wine's installer succeeds without a device");
    if (!OnWine()) {
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
    }
}

TEST_F(DeviceInstaller, MissingInfIsReported) {
    const std::string inf = differential::SourceFile("tests/fixtures/inf/widget/absent.inf");
    SetLastError(kSentinel);
    const BOOL ok =
        update_(nullptr, "PCI\\VEN_1234&DEV_5678", inf.c_str(), INSTALLFLAG_FORCE, nullptr);
    const DWORD error = GetLastError();
    EXPECT_WINE_DIFFERS(ok, FALSE, TRUE, "Wine's installer does not open the INF first");
    if (!OnWine()) {
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

}  // namespace
