// The simulated machine's files beyond what Wine can judge: the current generation stays
// intact until a save, host files, names matched without case but stored with it, the
// non-elevated process, libraries held by running processes, fault injection, and a large
// INF folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "choke.h"
#include "file_system.h"
#include "machine.h"
#include "platform/win32.h"

namespace fs = std::filesystem;

namespace {

const DWORD kSentinel = 0xdeadbeef;

std::string DiskText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "<missing>";
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void DiskWrite(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

bool WriteWin32(const char* path, const std::string& bytes) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string Content(const char* path) {
    std::string bytes;
    return sim::files::ReadWholeFile(path, bytes) ? bytes : "<missing>";
}

std::vector<std::string> FindNames(const std::string& pattern, bool shortNames = false) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.push_back(shortNames ? data.cAlternateFileName : data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("bk-files-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        sim::ResetToEmpty();
    }
    void TearDown() override {
        sim::files::ReleaseAllFiles();
        sim::ResetToEmpty();
        fs::remove_all(dir_);
    }
    fs::path Generation() const {
        return dir_ / "image" / fs::read_symlink(dir_ / "image" / "current");
    }
    fs::path DriveC() const { return Generation() / "drive_c"; }
    void OpenImage() { sim::OpenImage((dir_ / "image").string()); }
    fs::path dir_;
};

// ---- The image: changes reach the disk only through a save, into a new generation.

using ImageFiles = TempFolder;

TEST_F(ImageFiles, ChangesStayOutOfTheCurrentGenerationUntilTheSave) {
    OpenImage();
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem1.inf", "v1"), 0u);
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem2.inf", "kept"), 0u);
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem3.inf", "doomed"), 0u);
    sim::SaveImage();
    const fs::path first = DriveC();
    ASSERT_EQ(DiskText(first / "Windows/INF/oem1.inf"), "v1");

    ASSERT_TRUE(WriteWin32("C:\\Windows\\INF\\oem1.inf", "v2"));
    ASSERT_TRUE(DeleteFileA("C:\\Windows\\INF\\oem3.inf"));
    ASSERT_TRUE(CreateDirectoryA("C:\\Data", nullptr));
    ASSERT_TRUE(WriteWin32("C:\\Data\\new.txt", "new\r\n"));
    EXPECT_EQ(DiskText(first / "Windows/INF/oem1.inf"), "v1");
    EXPECT_EQ(DiskText(first / "Windows/INF/oem3.inf"), "doomed");
    EXPECT_FALSE(fs::exists(first / "Data"));

    sim::SaveImage();
    EXPECT_NE(DriveC(), first);
    EXPECT_EQ(DiskText(DriveC() / "Windows/INF/oem1.inf"), "v2");
    EXPECT_EQ(DiskText(DriveC() / "Windows/INF/oem2.inf"), "kept");
    EXPECT_FALSE(fs::exists(DriveC() / "Windows/INF/oem3.inf"));
    EXPECT_EQ(DiskText(DriveC() / "Data/new.txt"), "new\r\n");
}

TEST_F(ImageFiles, NamesOfEveryLengthTheDriveTakesAreSaved) {
    OpenImage();
    // C:\ and 255 characters is the longest name of a file in the root folder; the save's
    // temporary files must not lengthen it.
    std::vector<std::string> names;
    for (size_t length : {249u, 252u, 255u}) {
        names.push_back(std::string(length - 4, 'n') + ".txt");
        ASSERT_TRUE(WriteWin32(("C:\\" + names.back()).c_str(), "kept")) << length;
    }
    sim::SaveImage();
    for (const std::string& name : names) {
        EXPECT_EQ(DiskText(DriveC() / name), "kept") << name.size();
    }
}

uint64_t FolderRevisionOf(const char* path) {
    sim::files::Location location;
    EXPECT_EQ(sim::files::ResolvePath(path, location), 0u) << path;
    return sim::files::FolderRevision(location);
}

TEST_F(ImageFiles, AFolderRevisionMovesWithItsEntriesAndAcrossAReload) {
    OpenImage();
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem1.inf", "v1"), 0u);
    sim::SaveImage();
    OpenImage();
    const uint64_t loaded = FolderRevisionOf("C:\\Windows\\INF");
    EXPECT_NE(loaded, 0u);
    std::string bytes;
    ASSERT_TRUE(sim::files::ReadWholeFile("C:\\Windows\\INF\\oem1.inf", bytes));
    EXPECT_EQ(FolderRevisionOf("C:\\Windows\\INF"), loaded) << "a read changes nothing";

    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem2.inf", "new"), 0u);
    const uint64_t added = FolderRevisionOf("C:\\Windows\\INF");
    EXPECT_NE(added, loaded);
    ASSERT_EQ(sim::files::RemoveFile("C:\\Windows\\INF\\oem2.inf"), 0u);
    const uint64_t removed = FolderRevisionOf("C:\\Windows\\INF");
    EXPECT_NE(removed, added);
    EXPECT_NE(removed, loaded) << "the same entries again are still a new revision";

    // A rewrite keeps the folder's list but gives the file a new revision.
    sim::files::Location location;
    ASSERT_EQ(sim::files::ResolvePath("C:\\Windows\\INF\\oem1.inf", location), 0u);
    std::shared_ptr<sim::files::File> file = sim::files::Lookup(location).file;
    ASSERT_NE(file, nullptr);
    const uint64_t content = file->revision;
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem1.inf", "v2"), 0u);
    EXPECT_NE(file->revision, content);
    EXPECT_EQ(FolderRevisionOf("C:\\Windows\\INF"), removed);

    OpenImage();  // the same folder read again is a state never numbered before
    const uint64_t reloaded = FolderRevisionOf("C:\\Windows\\INF");
    EXPECT_NE(reloaded, loaded);
    EXPECT_NE(reloaded, removed);
    EXPECT_EQ(FolderRevisionOf("C:\\NoSuchFolder"), 0u);
}

TEST_F(ImageFiles, ARunThatEndsWithoutSavingLeavesTheFilesAsTheyWere) {
    OpenImage();
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem1.inf", "saved"), 0u);
    sim::SaveImage();
    ASSERT_TRUE(WriteWin32("C:\\Windows\\INF\\oem1.inf", "unsaved"));
    ASSERT_TRUE(CopyFileA("C:\\Windows\\INF\\oem1.inf", "C:\\Windows\\INF\\oem2.inf", FALSE));

    OpenImage();  // as the next run would, without this run's save
    EXPECT_EQ(Content("C:\\Windows\\INF\\oem1.inf"), "saved");
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem2.inf"));
}

TEST_F(ImageFiles, FilesPutIntoTheImageByHandAreFoundWithTheirStoredCase) {
    OpenImage();
    sim::SaveImage();
    DiskWrite(DriveC() / "Windows/INF/OEM7.INF", "Quorvatek\r\n");
    DiskWrite(DriveC() / "Windows/INF/oem10.inf", "other\r\n");
    OpenImage();

    EXPECT_EQ(FindNames("c:\\windows\\inf\\oem*.inf"),
              (std::vector<std::string>{"oem10.inf", "OEM7.INF"}));
    EXPECT_EQ(Content("C:\\WINDOWS\\inf\\oem7.inf"), "Quorvatek\r\n");

    // Rewritten under another case, the file keeps the name it has on disk.
    ASSERT_TRUE(WriteWin32("C:\\Windows\\INF\\oem7.inf", "rewritten"));
    sim::SaveImage();
    EXPECT_EQ(DiskText(DriveC() / "Windows/INF/OEM7.INF"), "rewritten");
    EXPECT_FALSE(fs::exists(DriveC() / "Windows/INF/oem7.inf"));
}

TEST_F(ImageFiles, AHandleLeftOpenStillHasItsWritesSaved) {
    OpenImage();
    HANDLE file = CreateFileA("C:\\Windows\\Temp\\log.txt", GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "line\r\n", 6, &written, nullptr));
    sim::SaveImage();
    EXPECT_EQ(DiskText(DriveC() / "Windows/Temp/log.txt"), "line\r\n");
    CloseHandle(file);
}

TEST_F(ImageFiles, ARemovedFolderIsMissingFromTheNextGeneration) {
    OpenImage();
    ASSERT_EQ(sim::files::CreateDirectories("C:\\Old\\Inner"), 0u);
    sim::SaveImage();
    ASSERT_TRUE(fs::is_directory(DriveC() / "Old/Inner"));
    ASSERT_TRUE(RemoveDirectoryA("C:\\old\\inner"));
    ASSERT_TRUE(RemoveDirectoryA("C:\\OLD"));
    sim::SaveImage();
    EXPECT_FALSE(fs::exists(DriveC() / "Old"));
}

// ---- Host files: absolute host paths are read and written directly.

using HostFiles = TempFolder;

TEST_F(HostFiles, AListFileOnTheHostHoldsExactlyTheBytesWritten) {
    const std::string path = (dir_ / "list.txt").string();
    ASSERT_TRUE(WriteWin32(path.c_str(), "1,a,b\r\n2,c,d\r\n"));
    EXPECT_EQ(DiskText(path), "1,a,b\r\n2,c,d\r\n");
    SetLastError(kSentinel);
    HANDLE again = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(again);
    EXPECT_EQ(DiskText(path), "");
}

TEST_F(HostFiles, APackageOnTheHostCanBeCopiedOntoTheMachine) {
    DiskWrite(dir_ / "pkg/board.inf", "[Version]\r\n");
    const std::string source = (dir_ / "pkg/board.inf").string();
    ASSERT_TRUE(CopyFileA(source.c_str(), "C:\\Windows\\INF\\oem0.inf", TRUE));
    EXPECT_EQ(Content("C:\\Windows\\INF\\oem0.inf"), "[Version]\r\n");
    EXPECT_EQ(DiskText(source), "[Version]\r\n");
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileA((dir_ / "pkg/none.inf").string().c_str(), "C:\\x.inf", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesA((dir_ / "nope/none.inf").string().c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(HostFiles, AHostSearchIsSortedAndHasNoShortNames) {
    for (const char* name : {"b.inf", "A.inf", "c.infx"}) {
        DiskWrite(dir_ / name, "x");
    }
    EXPECT_EQ(FindNames((dir_ / "*.inf").string()), (std::vector<std::string>{"A.inf", "b.inf"}));
    EXPECT_TRUE(DeleteFileA((dir_ / "b.inf").string().c_str()));
    EXPECT_FALSE(fs::exists(dir_ / "b.inf"));
}

TEST_F(HostFiles, ARelativePathIsInTheHostsCurrentFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    const bool written = WriteWin32("relative.txt", "here");
    fs::current_path(before);
    ASSERT_TRUE(written);
    EXPECT_EQ(DiskText(dir_ / "relative.txt"), "here");
}

TEST_F(HostFiles, AReadOnlyHostRefusesEveryChangeAndStillReads) {
    const std::string list = (dir_ / "list.txt").string();
    const std::string fresh = (dir_ / "new.txt").string();
    DiskWrite(list, "old");
    fs::create_directories(dir_ / "empty");
    OpenImage();
    sim::files::SetHostFilesReadOnly(true);
    sim::SaveImage();
    sim::ResetToEmpty();
    OpenImage();  // the setting is the machine's: it survives the save
    ASSERT_TRUE(sim::files::HostFilesReadOnly());
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\drive.txt", "c"), 0u);

    const auto expectDenied = [](bool ok, const char* what) {
        EXPECT_FALSE(ok) << what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << what;
        SetLastError(kSentinel);
    };
    SetLastError(kSentinel);
    expectDenied(WriteWin32(list.c_str(), "new"), "overwrite");
    expectDenied(CreateFileA(list.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr) !=
                     INVALID_HANDLE_VALUE,
                 "open for writing");
    expectDenied(CreateFileA(fresh.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr) !=
                     INVALID_HANDLE_VALUE,
                 "create");
    expectDenied(DeleteFileA(list.c_str()), "delete");
    expectDenied(CopyFileA("C:\\drive.txt", fresh.c_str(), FALSE), "copy onto the host");
    expectDenied(CreateDirectoryA((dir_ / "made").string().c_str(), nullptr), "make a folder");
    expectDenied(RemoveDirectoryA((dir_ / "empty").string().c_str()), "remove a folder");
    EXPECT_EQ(sim::files::WriteWholeFile(fresh, "x"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(DiskText(list), "old");
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_FALSE(fs::exists(dir_ / "made"));
    EXPECT_TRUE(fs::is_directory(dir_ / "empty"));

    // Reading is as before, and a missing file is still missing rather than refused.
    HANDLE file = CreateFileA(list.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(CopyFileA(list.c_str(), "C:\\copy.txt", FALSE));
    EXPECT_EQ(Content("C:\\copy.txt"), "old");
}

// ---- Names on drive C:.

class DriveNames : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        SetLastError(kSentinel);
    }
    void TearDown() override { sim::ResetToEmpty(); }
};

TEST_F(DriveNames, TheSystemFoldersExistOnAnEmptyMachine) {
    for (const char* folder :
         {"C:\\Windows", "C:\\Windows\\INF", "C:\\Windows\\system32", "C:\\Windows\\SysWOW64"}) {
        const DWORD attributes = GetFileAttributesA(folder);
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << folder;
        EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << folder;
    }
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA("C:\\Windows\\inf\\oem*.inf", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(DriveNames, EveryWin32SpellingOfAPathNamesTheSameFile) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Work", nullptr));
    ASSERT_TRUE(WriteWin32("C:\\Work\\Data.TXT", "x"));
    for (const char* spelling :
         {"c:/work/data.txt", "C:work\\DATA.txt", "\\\\?\\C:\\Work\\Data.TXT",
          "C:\\Other\\..\\Work\\.\\data.txt", "C:\\Work\\\\Data.TXT.", "C:\\Work\\Data.TXT  "}) {
        EXPECT_NE(GetFileAttributesA(spelling), INVALID_FILE_ATTRIBUTES) << spelling;
    }
    EXPECT_EQ(FindNames("C:\\WORK\\*.txt"), std::vector<std::string>{"Data.TXT"});
}

TEST_F(DriveNames, NamesAreRefusedBeyondTheComponentAndPathLimits) {
    // A name has at most 255 characters; a path at most MAX_PATH with its terminator, 259.
    auto create = [](const std::string& path) {
        SetLastError(kSentinel);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        return error;
    };
    EXPECT_EQ(create("C:\\" + std::string(253, 'a')), 0u);    // path of 256
    EXPECT_EQ(create("C:\\" + std::string(255, 'b')), 0u);    // path of 258
    EXPECT_EQ(create("C:\\" + std::string(256, 'c')), 123u);  // path of 259
    EXPECT_EQ(create("C:\\" + std::string(257, 'd')), 206u);  // path of 260
    EXPECT_EQ(GetFileAttributesA(("C:\\" + std::string(256, 'c')).c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST_F(DriveNames, OtherDrivesAndNetworkPathsAreNotThere) {
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesA("D:\\file.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("\\\\server\\share\\file.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
}

TEST_F(DriveNames, QuestionMarksAndShortNamesFollowWindows) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Pkg", nullptr));
    for (const char* name : {"oem.inf", "oem5.inf", "oem3.infx", "oem3.inf_old", "readme.txt"}) {
        ASSERT_TRUE(WriteWin32((std::string("C:\\Pkg\\") + name).c_str(), "x"));
    }
    EXPECT_EQ(FindNames("C:\\Pkg\\oem?.inf"), (std::vector<std::string>{"oem.inf", "oem5.inf"}));
    EXPECT_EQ(FindNames("C:\\Pkg\\oem3.inf*"),
              (std::vector<std::string>{"oem3.infx", "oem3.inf_old"}));
    // Two long names that shorten alike are numbered in the folder's order.
    EXPECT_EQ(FindNames("C:\\Pkg\\oem3.inf*", true),
              (std::vector<std::string>{"OEM3~1.INF", "OEM3~2.INF"}));
    EXPECT_EQ(FindNames("C:\\Pkg\\readme.txt", true), std::vector<std::string>{""});
}

TEST_F(DriveNames, ACopyKeepsItsSourcesTimeOfLastChange) {
    ASSERT_TRUE(WriteWin32("C:\\a.dll", "MZ"));
    WIN32_FIND_DATAA source, copy;
    HANDLE find = FindFirstFileA("C:\\a.dll", &source);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    usleep(2000);
    ASSERT_TRUE(CopyFileA("C:\\a.dll", "C:\\as.dll", FALSE));
    find = FindFirstFileA("C:\\as.dll", &copy);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    EXPECT_EQ(copy.ftLastWriteTime.dwLowDateTime, source.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(copy.ftLastWriteTime.dwHighDateTime, source.ftLastWriteTime.dwHighDateTime);
}

TEST_F(DriveNames, ADeletedFileStaysReadableThroughAHandleOpenWithDeleteSharing) {
    ASSERT_TRUE(WriteWin32("C:\\temp.bin", "payload"));
    HANDLE file = CreateFileA("C:\\temp.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(DeleteFileA("C:\\temp.bin"));
    EXPECT_FALSE(sim::files::Exists("C:\\temp.bin"));
    char buffer[16] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "payload");
    CloseHandle(file);
}

// ---- A process without administrator rights.

class NotElevated : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem1.inf", "[Version]"), 0u);
        ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\System32\\tol.dll", "MZ"), 0u);
        sim::Settings().elevated = false;
        SetLastError(kSentinel);
    }
    void TearDown() override { sim::ResetToEmpty(); }
};

TEST_F(NotElevated, CannotChangeTheWindowsFolder) {
    EXPECT_EQ(CreateFileA("C:\\Windows\\INF\\oem2.inf", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA("C:\\Windows\\INF\\oem1.inf", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileA("C:\\Windows\\INF\\oem1.inf", "C:\\Windows\\System32\\x.inf", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA("C:\\Windows\\System32\\tol.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA("C:\\Windows\\Mine", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::files::Exists("C:\\Windows\\System32\\tol.dll"));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\System32\\x.inf"));
}

TEST_F(NotElevated, CanReadTheWindowsFolderAndWriteElsewhere) {
    HANDLE file = CreateFileA("C:\\Windows\\INF\\oem1.inf", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(CopyFileA("C:\\Windows\\INF\\oem1.inf", "C:\\copy.inf", FALSE));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA("C:\\Windows\\INF\\missing.inf"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// ---- Libraries loaded by running processes.

class HeldFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        ASSERT_EQ(sim::files::WriteWholeFile(kLibrary, "MZ-library"), 0u);
        sim::files::HoldFile("c:/windows/system32/TOLDEMO.DLL", 4242);
        SetLastError(kSentinel);
    }
    void TearDown() override {
        sim::files::ReleaseAllFiles();
        sim::ResetToEmpty();
    }
    static constexpr const char* kLibrary = "C:\\Windows\\System32\\tolDemo.dll";
};

TEST_F(HeldFiles, ALoadedLibraryCannotBeDeletedOrOverwrittenButCanBeCopied) {
    EXPECT_FALSE(DeleteFileA(kLibrary));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CreateFileA(kLibrary, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(CopyFileA(kLibrary, "C:\\Windows\\System32\\tolDemos.dll", FALSE));
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileA("C:\\Windows\\System32\\tolDemos.dll", kLibrary, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Content(kLibrary), "MZ-library");
}

TEST_F(HeldFiles, TheLibraryIsFreeOnceEveryProcessHasLetGo) {
    sim::files::HoldFile(kLibrary, 77);
    sim::files::ReleaseProcessFiles(4242);
    EXPECT_TRUE(sim::files::IsHeld(kLibrary));
    EXPECT_FALSE(DeleteFileA(kLibrary));
    sim::files::ReleaseFile("C:\\WINDOWS\\SYSTEM32\\toldemo.dll", 77);
    EXPECT_FALSE(sim::files::IsHeld(kLibrary));
    EXPECT_TRUE(DeleteFileA(kLibrary));
}

// ---- Fault injection and the journal.

class FileFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem1.inf", "x"), 0u);
        SetLastError(kSentinel);
    }
    void TearDown() override { sim::ResetToEmpty(); }
    static void Fail(const char* api, const char* arg, unsigned nth, DWORD error) {
        sim::Faults().push_back({api, arg, nth, 0, error, 0});
    }
};

TEST_F(FileFaults, AnInjectedErrorFailsTheCallAndChangesNothing) {
    Fail("CopyFileA", "", 0, ERROR_DISK_FULL);
    EXPECT_FALSE(CopyFileA("C:\\Windows\\INF\\oem1.inf", "C:\\copy.inf", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(sim::files::Exists("C:\\copy.inf"));

    Fail("CreateFileA", "", 0, ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateFileA("C:\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(sim::files::Exists("C:\\new.txt"));

    Fail("GetWindowsDirectoryA", "", 0, ERROR_NOT_ENOUGH_MEMORY);
    char buffer[MAX_PATH] = "untouched";
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_STREQ(buffer, "untouched");
}

TEST_F(FileFaults, AFaultForOnePathLeavesOtherPathsAlone) {
    Fail("FindFirstFileA", "c:\\windows\\inf\\oem*.inf", 0, ERROR_NOT_READY);
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA("C:\\Windows\\INF\\oem*.inf", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(FindNames("C:\\Windows\\INF\\*.inf"), std::vector<std::string>{"oem1.inf"});
}

TEST_F(FileFaults, TheNthReadFailsWhileTheOthersRead) {
    Fail("ReadFile", "", 2, ERROR_READ_FAULT);
    HANDLE file = CreateFileA("C:\\Windows\\INF\\oem1.inf", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[4];
    DWORD got = kSentinel;
    EXPECT_TRUE(ReadFile(file, buffer, 0, &got, nullptr));
    EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_READ_FAULT));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 1u);
    CloseHandle(file);
}

TEST_F(FileFaults, ChangingCallsAreJournaledInOrderWithTheirResults) {
    ASSERT_TRUE(CopyFileA("C:\\Windows\\INF\\oem1.inf", "C:\\Windows\\INF\\oem1s.inf", FALSE));
    EXPECT_FALSE(DeleteFileA("C:\\Windows\\INF\\none.inf"));
    ASSERT_TRUE(DeleteFileA("C:\\Windows\\INF\\oem1s.inf"));
    std::vector<std::string> lines;
    for (const std::string& line : sim::JournalLines()) {
        if (line.rfind("CopyFileA", 0) == 0 || line.rfind("DeleteFileA", 0) == 0) {
            lines.push_back(line);
        }
    }
    const std::vector<std::string> expected = {
        "CopyFileA(C:\\Windows\\INF\\oem1.inf, C:\\Windows\\INF\\oem1s.inf, 0) = 1",
        "DeleteFileA(C:\\Windows\\INF\\none.inf) = 0",
        "DeleteFileA(C:\\Windows\\INF\\oem1s.inf) = 1",
    };
    EXPECT_EQ(lines, expected);
}

// ---- A machine with a large INF folder.

TEST_F(ImageFiles, SearchingTwoThousandInfCopiesReadsThemAllQuickly) {
    OpenImage();
    sim::SaveImage();
    const std::string filler(8 * 1024 - 32, ';');
    for (int i = 0; i < 2000; ++i) {
        const std::string id = i == 1999 ? "PCI\\VEN_5AE3&DEV_0042" : "PCI\\VEN_1234&DEV_0001";
        DiskWrite(DriveC() / "Windows/INF" / ("oem" + std::to_string(i) + ".inf"),
                  filler + id + "\r\n");
    }
    OpenImage();
    std::string found;
    for (const std::string& name : FindNames("C:\\Windows\\INF\\oem*.inf")) {
        if (Content(("C:\\Windows\\INF\\" + name).c_str()).find("VEN_5AE3") != std::string::npos) {
            found = name;
        }
    }
    EXPECT_EQ(found, "oem1999.inf");
}

}  // namespace
