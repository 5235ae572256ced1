#include "files.h"

#include <cstdio>
#include <set>
#include <vector>

#include "catalog/catalog.h"
#include "platform/unique.h"

namespace collect {
namespace {

constexpr size_t kCopyBytes = 64 * 1024;
constexpr wchar_t kDriveFolder[] = L"drive_c";

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

std::wstring Widen(const char* ascii) {
    std::wstring text;
    for (; *ascii != '\0'; ++ascii) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(*ascii));
    }
    return text;
}

// `oem<digits>.inf`, the names Windows gives the copies it stages.
bool IsOemInfName(const std::wstring& name) {
    const std::wstring lower = Lower(name);
    if (lower.size() < 8 || lower.compare(0, 3, L"oem") != 0 ||
        lower.compare(lower.size() - 4, 4, L".inf") != 0) {
        return false;
    }
    for (size_t i = 3; i + 4 < lower.size(); ++i) {
        if (lower[i] < L'0' || lower[i] > L'9') {
            return false;
        }
    }
    return true;
}

// The path of a folder below the root of its drive ("C:\Windows" gives "Windows").
std::wstring BelowDriveRoot(const std::wstring& path) {
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') {
        throw CollectError("the system folder " + ForConsole(path) + " is not on a drive letter",
                           kExitFailed);
    }
    return path.substr(3);
}

std::wstring FolderOf(UINT(WINAPI* call)(LPWSTR, UINT), const char* what) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    }
    if (length == 0 || length >= buffer.size()) {
        throw CollectError(
            std::string("the ") + what + " cannot be found (" + ErrorText(GetLastError()) + ")",
            kExitFailed);
    }
    std::wstring folder(buffer.data(), length);
    while (!folder.empty() && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

struct Entry {
    std::wstring name;
    bool folder = false;
};

std::vector<Entry> ListFolder(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found{};
    platform::UniqueFindFile find(FindFirstFileExW((folder + L"\\" + pattern).c_str(),
                                                   FindExInfoBasic, &found, FindExSearchNameMatch,
                                                   nullptr, 0));
    if (!find) {
        return entries;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
        }
    } while (FindNextFileW(find.get(), &found));
    return entries;
}

// Copies one file of the machine into the output; a file that cannot be read is skipped and
// listed, a file that cannot be written ends the collection.
bool CopyOne(Output& out, const std::wstring& source, const std::wstring& relative,
             FileCounts& counts) {
    platform::UniqueFile in(CreateFileW(
        source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) {
        out.skipped.push_back({source, "cannot be read (" + ErrorText(GetLastError()) + ")"});
        return false;
    }
    FileWriter file(out, relative);
    std::vector<char> buffer(kCopyBytes);
    unsigned long long total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            const DWORD error = GetLastError();
            file.Abandon();
            out.skipped.push_back({source, "cannot be read to its end (" + ErrorText(error) + ")"});
            return false;
        }
        if (read == 0) {
            break;
        }
        file.Write(buffer.data(), read);
        total += read;
    }
    file.Close();
    counts.bytes += total;
    return true;
}

// A whole folder with its subfolders.
void CopyTree(Output& out, const std::wstring& source, const std::wstring& relative,
              FileCounts& counts) {
    MakeFolders(out, relative);
    for (const Entry& entry : ListFolder(source, L"*")) {
        const std::wstring from = source + L"\\" + entry.name;
        const std::wstring to = relative + L"\\" + entry.name;
        if (entry.folder) {
            CopyTree(out, from, to, counts);
        } else if (CopyOne(out, from, to, counts)) {
            ++counts.files;
        }
    }
}

void CopyInfCopies(Output& out, FileCounts& counts) {
    const std::wstring folder = WindowsFolder() + L"\\INF";
    bool made = false;
    for (const Entry& entry : ListFolder(folder, L"oem*.inf")) {
        if (entry.folder || !IsOemInfName(entry.name)) {
            continue;
        }
        if (!made) {
            MakeFolders(out, L"inf");
            made = true;
        }
        if (CopyOne(out, folder + L"\\" + entry.name, L"inf\\" + entry.name, counts)) {
            ++counts.infCopies;
        }
    }
}

// The driver store names a package's folder after its INF: "<inf name>_<architecture>_<hash>".
void CopyDriverPackages(Output& out, FileCounts& counts) {
    std::set<std::wstring> prefixes;
    for (const CatalogEntry* row = kDeviceCatalog; !CatalogIsEndRow(*row); ++row) {
        prefixes.insert(Lower(Widen(std::string(CatalogInfFileName(*row)).c_str())) + L"_");
    }
    const std::wstring store = SystemFolder() + L"\\DriverStore\\FileRepository";
    const std::wstring target = std::wstring(kDriveFolder) + L"\\" + BelowDriveRoot(store);
    for (const Entry& entry : ListFolder(store, L"*")) {
        const std::wstring lower = Lower(entry.name);
        bool maker = false;
        for (const std::wstring& prefix : prefixes) {
            maker = maker || lower.compare(0, prefix.size(), prefix) == 0;
        }
        if (entry.folder && maker) {
            CopyTree(out, store + L"\\" + entry.name, target + L"\\" + entry.name, counts);
            ++counts.packages;
        }
    }
}

// The maker's user-mode libraries and kernel drivers, wherever of the two folders they are.
void CopyMakerFiles(Output& out, FileCounts& counts) {
    std::set<std::wstring> names;
    for (const CatalogEntry* row = kDeviceCatalog; !CatalogIsEndRow(*row); ++row) {
        for (const char* name : {row->userDll, row->kernelDriver}) {
            if (name != nullptr && *name != '\0') {
                names.insert(Lower(Widen(name)));
            }
        }
    }
    const std::wstring system = SystemFolder();
    for (const std::wstring& folder : {system, system + L"\\drivers"}) {
        const std::wstring target = std::wstring(kDriveFolder) + L"\\" + BelowDriveRoot(folder);
        bool made = false;
        for (const Entry& entry : ListFolder(folder, L"*")) {
            if (entry.folder || names.count(Lower(entry.name)) == 0) {
                continue;
            }
            if (!made) {
                MakeFolders(out, target);
                made = true;
            }
            if (CopyOne(out, folder + L"\\" + entry.name, target + L"\\" + entry.name, counts)) {
                ++counts.files;
            }
        }
    }
}

}  // namespace

std::wstring WindowsFolder() {
    return FolderOf(GetWindowsDirectoryW, "Windows folder");
}

std::wstring SystemFolder() {
    return FolderOf(GetSystemDirectoryW, "system folder");
}

FileCounts CopyFiles(Output& out) {
    FileCounts counts;
    CopyInfCopies(out, counts);
    std::fprintf(stderr, "boardkit-collect: INF copies: %zu\n", counts.infCopies);
    CopyDriverPackages(out, counts);
    CopyMakerFiles(out, counts);
    std::fprintf(stderr, "boardkit-collect: files: %zu driver packages, %zu files, %llu bytes\n",
                 counts.packages, counts.files, counts.bytes);
    return counts;
}

}  // namespace collect
