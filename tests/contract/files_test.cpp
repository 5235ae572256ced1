// The file functions' Win32 contract, checked the same way on the simulated machine and on
// Wine: return values, exact last-error codes, outputs left alone on failure, creation
// dispositions, sharing, the order and wildcards of a search, and bytes kept exactly as
// written.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "shared/test_platform.h"

namespace {

using test_platform::OnWine;

const DWORD kSentinel = 0xdeadbeef;
const std::string kFolder = "C:\\boardkit-contract-test";

bool SameText(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
        char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
        if (x != y) {
            return false;
        }
    }
    return *a == *b;
}

std::vector<std::string> FindAll(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

void RemoveTree(const std::string& folder) {
    for (const std::string& name : FindAll(folder + "\\*")) {
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = folder + "\\" + name;
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveTree(path);
        } else {
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        OnWine();
        RemoveTree(kFolder);
        ASSERT_TRUE(CreateDirectoryA(kFolder.c_str(), nullptr)) << GetLastError();
        SetLastError(kSentinel);
    }
    void TearDown() override { RemoveTree(kFolder); }

    static std::string At(const std::string& name) { return kFolder + "\\" + name; }

    static void Write(const std::string& name, const std::string& bytes) {
        HANDLE file = CreateFileA(At(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name << " " << GetLastError();
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
        CloseHandle(file);
    }

    static std::string Read(const std::string& name) {
        HANDLE file = CreateFileA(At(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return "<missing>";
        }
        std::string bytes;
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0) {
            bytes.append(buffer, got);
        }
        CloseHandle(file);
        return bytes;
    }

    static HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD disposition) {
        return CreateFileA(At(name).c_str(), access, share, nullptr, disposition, 0, nullptr);
    }

    static bool Exists(const std::string& name) {
        return GetFileAttributesA(At(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

// ---- The Windows and system folders.

TEST(FolderQueries, WindowsFolderComesWithItsLength) {
    char buffer[MAX_PATH];
    SetLastError(kSentinel);
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    EXPECT_EQ(length, std::strlen(buffer));
    EXPECT_TRUE(SameText(buffer, "C:\\Windows")) << buffer;
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST(FolderQueries, TooSmallBufferGetsTheSizeWithTerminatorAndStaysUntouched) {
    char buffer[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    ASSERT_GT(length, 0u);
    char small[MAX_PATH];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetWindowsDirectoryA(small, length), length + 1);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(small, length + 1), length);
    EXPECT_STREQ(small, buffer);
}

TEST(FolderQueries, SystemFolderIsSystem32BelowTheWindowsFolder) {
    char windows[MAX_PATH], system[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
    const UINT length = GetSystemDirectoryA(system, sizeof system);
    EXPECT_EQ(length, std::strlen(system));
    EXPECT_TRUE(SameText(system, (std::string(windows) + "\\system32").c_str())) << system;
    char small[4] = "xyz";
    EXPECT_EQ(GetSystemDirectoryA(small, sizeof small), length + 1);
    EXPECT_STREQ(small, "xyz");
}

// ---- CreateFileA: what each disposition does and reports.

// What each disposition does to an existing and to a missing file, and the last error it
// leaves on success, as CreateFileA's documentation lists them.
// Drive Z: is the host's root (as Wine maps it), and a rooted path without a drive names the
// same host file while the process runs in a host folder.
TEST(DriveZ, NamesTheHostsFilesFromItsRoot) {
    const std::string name = "boardkit-contract-z-" + std::to_string(GetCurrentProcessId());
    const std::string windowsForm = "Z:\\tmp\\" + name;
    HANDLE file = CreateFileA(windowsForm.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "z", 1, &written, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    const std::string hostForm = "/tmp/" + name;
    EXPECT_NE(GetFileAttributesA(hostForm.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileA(hostForm.c_str()));
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesA(windowsForm.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, EachDispositionTreatsExistingAndMissingFilesAsDocumented) {
    struct Case {
        DWORD disposition;
        bool exists;
        bool opens;
        DWORD error;
        const char* after;
    } cases[] = {
        {CREATE_NEW, false, true, 0, ""},
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "keep"},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {CREATE_ALWAYS, false, true, 0, ""},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "keep"},
        {OPEN_ALWAYS, false, true, 0, ""},
        {OPEN_EXISTING, true, true, 0, "keep"},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {TRUNCATE_EXISTING, true, true, 0, ""},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<missing>"},
    };
    for (const Case& c : cases) {
        DeleteFileA(At("subject.txt").c_str());
        if (c.exists) {
            Write("subject.txt", "keep");
        }
        SetLastError(kSentinel);
        HANDLE file = Open("subject.txt", GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
        const DWORD error = GetLastError();
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens) << c.disposition << " " << c.exists;
        EXPECT_EQ(error, c.error) << c.disposition << " " << c.exists;
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        EXPECT_EQ(Read("subject.txt"), c.after) << c.disposition << " " << c.exists;
    }
}

TEST_F(Files, AMissingFolderIsPathNotFoundWhateverTheDisposition) {
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_ALWAYS, OPEN_EXISTING}) {
        SetLastError(kSentinel);
        EXPECT_EQ(Open("no-folder\\x.txt", GENERIC_WRITE, 0, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << disposition;
    }
}

TEST_F(Files, BadDispositionsAndNamesAreRefused) {
    for (DWORD disposition : {0u, 6u}) {
        SetLastError(kSentinel);
        EXPECT_EQ(Open("x.txt", GENERIC_WRITE, 0, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << disposition;
    }
    SetLastError(kSentinel);
    EXPECT_EQ(Open("a<b.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    Write("file.txt", "x");
    SetLastError(kSentinel);
    EXPECT_EQ(Open("file.txt\\", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    SetLastError(kSentinel);
    EXPECT_EQ(Open("file.txt\\inner", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(Exists("x.txt"));
}

TEST_F(Files, PathsOfMaxPathCharactersOrMoreAreTooLong) {
    const std::string name(MAX_PATH - kFolder.size(), 'a');  // the whole path: MAX_PATH + 1
    SetLastError(kSentinel);
    EXPECT_EQ(Open(name, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesA(At(name).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(Files, AFolderOpensOnlyWithBackupSemantics) {
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA(kFolder.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA(kFolder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE folder = CreateFileA(kFolder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_NE(folder, INVALID_HANDLE_VALUE);
    CloseHandle(folder);
}

// ---- Reading and writing.

TEST_F(Files, BytesComeBackExactlyAsWritten) {
    const std::string text("line one\r\nline two\n\0tail\r\n", 26);
    Write("list.txt", text);
    EXPECT_EQ(Read("list.txt"), text);

    HANDLE file = Open("list.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = -1;
    EXPECT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 26);
    CloseHandle(file);
}

TEST_F(Files, ReadingAtTheEndSucceedsWithNothing) {
    Write("short.txt", "abc");
    HANDLE file = Open("short.txt", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[16];
    DWORD got = kSentinel;
    SetLastError(kSentinel);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 3u);
    got = kSentinel;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(GetLastError(), kSentinel);
    CloseHandle(file);
}

TEST_F(Files, AHandleReadsAndWritesOnlyWhatItWasOpenedFor) {
    Write("data.bin", "abc");
    HANDLE reader =
        Open("data.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD count = kSentinel;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(count, 0u);

    HANDLE writer =
        Open("data.bin", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    char buffer[4];
    count = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(count, 0u);
    CloseHandle(writer);
    CloseHandle(reader);
    EXPECT_EQ(Read("data.bin"), "abc");
}

TEST_F(Files, CallsOnAHandleThatIsNotOpenFailWithInvalidHandle) {
    HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1234));
    char buffer[4];
    DWORD count = kSentinel;
    EXPECT_FALSE(ReadFile(bogus, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(CloseHandle(bogus));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, TheFilePointerMovesWithinTheFileAndNotBeforeItsStart) {
    Write("seek.bin", "0123456789");
    HANDLE file = Open("seek.bin", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 10u);
    EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_CURRENT), 6u);
    char buffer[8] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer, 2, &got, nullptr));
    EXPECT_STREQ(buffer, "67");
    SetLastError(kSentinel);
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 8u);  // unmoved by the failure
    SetLastError(kSentinel);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    LARGE_INTEGER distance, position;
    distance.QuadPart = 2;
    position.QuadPart = -1;
    EXPECT_TRUE(SetFilePointerEx(file, distance, &position, FILE_BEGIN));
    EXPECT_EQ(position.QuadPart, 2);
    CloseHandle(file);
}

TEST_F(Files, WritingPastTheEndFillsTheGapWithZeros) {
    HANDLE file = Open("gap.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "ab", 2, &count, nullptr));
    EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_BEGIN), 5u);
    ASSERT_TRUE(WriteFile(file, "Z", 1, &count, nullptr));
    CloseHandle(file);
    EXPECT_EQ(Read("gap.bin"), std::string("ab\0\0\0Z", 6));
}

// ---- Sharing.

TEST_F(Files, AnOpenHandleDecidesWhoElseMayOpenTheFile) {
    Write("shared.txt", "x");
    HANDLE first = Open("shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_EQ(Open("shared.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    SetLastError(kSentinel);
    EXPECT_EQ(Open("shared.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE second = Open("shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(second);
    CloseHandle(first);
    HANDLE writer = Open("shared.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "closing must end the first handle's claim";
    CloseHandle(writer);
}

TEST_F(Files, DeletingAFileOpenWithoutDeleteSharingIsASharingViolation) {
    Write("busy.txt", "x");
    HANDLE file = Open("busy.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(At("busy.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(Exists("busy.txt"));
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileA(At("busy.txt").c_str()));
}

TEST_F(Files, AFileOpenWithDeleteSharingIsGoneOnceClosed) {
    Write("temp.txt", "x");
    HANDLE file =
        Open("temp.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileA(At("temp.txt").c_str()));
    CloseHandle(file);
    EXPECT_FALSE(Exists("temp.txt"));
}

TEST_F(Files, CopyingOntoAFileOpenWithoutWriteSharingIsASharingViolation) {
    Write("source.txt", "new");
    Write("target.txt", "old");
    HANDLE file = Open("target.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileA(At("source.txt").c_str(), At("target.txt").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(file);
    EXPECT_EQ(Read("target.txt"), "old");
}

// ---- CopyFileA.

TEST_F(Files, CopyMakesAnIdenticalFileAndCanOverwrite) {
    Write("lib.dll", "MZ\r\n\x01\x02");
    EXPECT_TRUE(CopyFileA(At("lib.dll").c_str(), At("libs.dll").c_str(), TRUE));
    EXPECT_EQ(Read("libs.dll"), "MZ\r\n\x01\x02");
    Write("other.dll", "other");
    EXPECT_TRUE(CopyFileA(At("other.dll").c_str(), At("libs.dll").c_str(), FALSE));
    EXPECT_EQ(Read("libs.dll"), "other");
    EXPECT_EQ(Read("lib.dll"), "MZ\r\n\x01\x02");
}

TEST_F(Files, CopyWithFailIfExistsLeavesTheTargetAlone) {
    Write("a.txt", "a");
    Write("b.txt", "b");
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileA(At("a.txt").c_str(), At("b.txt").c_str(), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Read("b.txt"), "b");
}

TEST_F(Files, CopyReportsWhatIsMissingOrInTheWay) {
    Write("a.txt", "a");
    CreateDirectoryA(At("sub").c_str(), nullptr);
    struct Case {
        std::string from, to;
        DWORD error;
    } cases[] = {
        {"missing.txt", "b.txt", ERROR_FILE_NOT_FOUND},
        {"no-folder\\a.txt", "b.txt", ERROR_PATH_NOT_FOUND},
        {"a.txt", "no-folder\\b.txt", ERROR_PATH_NOT_FOUND},
        {"a.txt", "sub", ERROR_ACCESS_DENIED},
        {"sub", "b.txt", ERROR_ACCESS_DENIED},
        {"a.txt", "a.txt", ERROR_SHARING_VIOLATION},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_FALSE(CopyFileA(At(c.from).c_str(), At(c.to).c_str(), FALSE))
            << c.from << " " << c.to;
        EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
    }
    EXPECT_FALSE(Exists("b.txt"));
    EXPECT_EQ(Read("a.txt"), "a");
}

// ---- DeleteFileA, attributes and folders.

TEST_F(Files, DeleteRemovesTheFileAndReportsWhatIsNotThere) {
    Write("gone.txt", "x");
    EXPECT_TRUE(DeleteFileA(At("gone.txt").c_str()));
    EXPECT_EQ(GetFileAttributesA(At("gone.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(At("gone.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(At("no-folder\\gone.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(kFolder.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Files, AttributesTellFilesFromFoldersAndNamesMatchWithoutCase) {
    Write("Mixed.Txt", "x");
    SetLastError(kSentinel);
    const DWORD file = GetFileAttributesA(At("MIXED.TXT").c_str());
    ASSERT_NE(file, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(file & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(file & FILE_ATTRIBUTE_ARCHIVE, 0u);
    const DWORD folder = GetFileAttributesA(kFolder.c_str());
    ASSERT_NE(folder, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(folder & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_EQ(FindAll(At("mixed.txt")), std::vector<std::string>{"Mixed.Txt"});
    EXPECT_EQ(GetFileAttributesA(At("no-folder\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Files, FoldersAreCreatedOnceAndRemovedOnlyWhenEmpty) {
    EXPECT_TRUE(CreateDirectoryA(At("sub").c_str(), nullptr));
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(At("SUB").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    Write("file.txt", "x");
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(At("file.txt").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(At("x\\y").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    Write("sub\\inner.txt", "x");
    SetLastError(kSentinel);
    EXPECT_FALSE(RemoveDirectoryA(At("sub").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    ASSERT_TRUE(DeleteFileA(At("sub\\inner.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(At("sub").c_str()));
    EXPECT_FALSE(Exists("sub"));
}

// ---- FindFirstFileA / FindNextFileA.

TEST_F(Files, SearchReturnsNamesSortedWithoutCaseKeepingTheirStoredCase) {
    for (const char* name :
         {"oem10.inf", "oem2.inf", "Oem8.INF", "OEM1.inf", "oem_7.inf", "zoem.inf"}) {
        Write(name, "x");
    }
    const std::vector<std::string> expected = {"OEM1.inf", "oem10.inf", "oem2.inf", "Oem8.INF",
                                               "oem_7.inf"};
    EXPECT_EQ(FindAll(At("oem*.inf")), expected);
}

TEST_F(Files, SearchWithStarListsDotEntriesFirst) {
    CreateDirectoryA(At("sub").c_str(), nullptr);
    Write("sub\\b.txt", "x");
    Write("sub\\A.txt", "x");
    const std::vector<std::string> expected = {".", "..", "A.txt", "b.txt"};
    EXPECT_EQ(FindAll(At("sub\\*")), expected);
    EXPECT_EQ(FindAll(At("sub\\*.*")), expected);
}

TEST_F(Files, WildcardsMatchAsDosPatterns) {
    for (const char* name :
         {"oem1.inf", "oem12.inf", "oem3.infx", "oem4.inf.bak", "a", "a.b.inf", "ab"}) {
        Write(name, "x");
    }
    EXPECT_EQ(FindAll(At("oem?.inf")), std::vector<std::string>{"oem1.inf"});
    // The generated short name of "oem3.infx" ends in ".INF", so the pattern finds it too.
    const std::vector<std::string> infs = {"a.b.inf", "oem1.inf", "oem12.inf", "oem3.infx"};
    EXPECT_EQ(FindAll(At("*.inf")), infs);
    EXPECT_EQ(FindAll(At("a.*")), (std::vector<std::string>{"a", "a.b.inf"}));
    EXPECT_EQ(FindAll(At("?b")), std::vector<std::string>{"ab"});
}

TEST_F(Files, AQuestionMarkAlsoMatchesNothingBeforeTheDot) {
    Write("oem.inf", "x");
    Write("oem5.inf", "x");
    const std::vector<std::string> found = FindAll(At("oem?.inf"));
    const bool foundShort = !found.empty() && found[0] == "oem.inf";
    // Wine matches '?' to exactly one character.
    EXPECT_EQ(foundShort, !OnWine());
}

TEST_F(Files, SearchWalksToTheEndAndStaysThere) {
    Write("only.inf", "12345");
    WIN32_FIND_DATAA data;
    SetLastError(kSentinel);
    HANDLE find = FindFirstFileA(At("*.inf").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "only.inf");
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(GetLastError(), kSentinel);
    SetLastError(kSentinel);
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    SetLastError(kSentinel);
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
}

TEST_F(Files, AFailedSearchLeavesTheFindDataAlone) {
    Write("only.inf", "x");
    struct Case {
        std::string pattern;
        DWORD error;
    } cases[] = {
        {At("nothing*"), ERROR_FILE_NOT_FOUND},
        {At("no-folder\\*"), ERROR_PATH_NOT_FOUND},
        {kFolder + "\\", ERROR_FILE_NOT_FOUND},
        {At("missing.inf"), ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        WIN32_FIND_DATAA data;
        std::memset(&data, 0x55, sizeof data);
        SetLastError(kSentinel);
        EXPECT_EQ(FindFirstFileA(c.pattern.c_str(), &data), INVALID_HANDLE_VALUE) << c.pattern;
        EXPECT_EQ(GetLastError(), c.error) << c.pattern;
        EXPECT_EQ(static_cast<unsigned char>(data.cFileName[0]), 0x55u) << c.pattern;
    }
}

TEST_F(Files, ASearchForOneNameFindsThatFileOrFolder) {
    Write("one.inf", "abc");
    CreateDirectoryA(At("sub").c_str(), nullptr);
    EXPECT_EQ(FindAll(At("ONE.INF")), std::vector<std::string>{"one.inf"});
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(At("sub").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "sub");
    EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FindClose(find);
}

}  // namespace
