// Finding a package's OEM INF copy by its text, and keeping the pre-install records.
#include "setup/oem_inf.h"

#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "catalog/catalog.h"
#include "catalog/results.h"
#include "catalog/text.h"
#include "platform/unique.h"
#include "setup/system_paths.h"

const char* const kServicesKeyPath = "SYSTEM\\CurrentControlSet\\Services";
const char* const kPreinstallKeyName = "TOLVANPRE";

namespace {

// Names and data of records are at most this long (260-character buffers with terminator).
constexpr DWORD kRecordTextSize = MAX_PATH;
// A copy this large is no INF file; it is skipped rather than read into memory.
constexpr LONGLONG kLargestInf = 64LL * 1024 * 1024;

void CopyText(std::string_view text, char* out) {
    const std::size_t length = text.size() < MAX_PATH ? text.size() : MAX_PATH - 1;
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

// The text of a file as a text-mode C stream reads it: the content ends at the first NUL the
// search would stop at, and at a Ctrl-Z, which text mode reads as the end of the file.
bool ReadInfText(const std::string& path, std::string& text) {
    platform::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        size.QuadPart > kLargestInf) {
        return false;
    }
    text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() &&
        !ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) {
        return false;
    }
    text.resize(read);
    const std::size_t end = text.find_first_of(std::string_view("\0\x1A", 2));
    if (end != std::string::npos) {
        text.resize(end);
    }
    return true;
}

bool InfFolder(std::string& folder) {
    std::string windows;
    // The Windows folder is asked twice before the search gives up.
    if (!WindowsFolder(windows) && !WindowsFolder(windows)) {
        return false;
    }
    return ComposePath(folder, {windows, "\\inf"});
}

std::string PreinstallKeyPath() {
    return std::string(kServicesKeyPath) + "\\" + kPreinstallKeyName;
}

// Opens the pre-install key, creating it when it does not exist.
bool OpenOrCreatePreinstallKey(platform::UniqueHKey& key) {
    return OpenPreinstallKey(key) || RegCreateKeyA(HKEY_LOCAL_MACHINE, PreinstallKeyPath().c_str(),
                                                   key.put()) == ERROR_SUCCESS;
}

enum class RecordSearch { Found, NotFound, Failed };

// The first record whose data, upper-cased, the upper-cased INF file name contains; its name
// goes to `name`. A value that is empty or no string is no record (an empty text would be
// contained in every name), and one too long for a record is passed over.
RecordSearch FindRecord(HKEY key, const std::string& upperInfName, std::string& name) {
    const PreinstallWalkEnd end =
        ForEachPreinstallRecord(key, [&](std::string_view valueName, DWORD type, const char* data) {
            if (type != REG_SZ || data[0] == '\0' || !Contains(upperInfName, UpperCase(data))) {
                return false;
            }
            name.assign(valueName);
            return true;
        });
    switch (end) {
        case PreinstallWalkEnd::Stopped:
            return RecordSearch::Found;
        case PreinstallWalkEnd::Exhausted:
            return RecordSearch::NotFound;
        case PreinstallWalkEnd::Failed:
            break;
    }
    return RecordSearch::Failed;
}

}  // namespace

void KernelKeyOfInf(char* infPath, char* kernelKey) {
    if (infPath == nullptr || kernelKey == nullptr) {
        return;
    }
    const CatalogEntry* row = CatalogFindByInfFileNameInPath(infPath);
    if (row != nullptr) {
        CopyText(row->kernelKey, kernelKey);
    }
}

bool FindOemInfForKernelKey(char* kernelKey, char* oemFile) {
    // An empty key is contained in every row's key; it names no package.
    if (kernelKey == nullptr || *kernelKey == '\0' || oemFile == nullptr) {
        return false;
    }
    const CatalogEntry* row = CatalogFindByKernelKey(kernelKey);
    if (row == nullptr) {
        return false;
    }
    char hardwareId[MAX_PATH];
    CopyText(row->hardwareId, hardwareId);
    return FindOemInfByHardwareId(oemFile, hardwareId);
}

void RemoveOemInfCopies(char* kernelKey) {
    char oemFile[MAX_PATH] = {};
    while (FindOemInfForKernelKey(kernelKey, oemFile)) {
        if (DeleteOemInfFile(oemFile) != 0) {
            return;
        }
        std::memset(oemFile, 0, sizeof oemFile);
    }
}

bool FindOemInfByHardwareId(char* oemFile, char* hardwareId) {
    std::string folder;
    std::string pattern;
    if (oemFile == nullptr || hardwareId == nullptr || !InfFolder(folder) ||
        !ComposePath(pattern, {folder, "\\oem*.inf"})) {
        return false;
    }
    WIN32_FIND_DATAA found;
    platform::UniqueFindFile find(FindFirstFileA(pattern.c_str(), &found));
    if (!find) {
        return false;
    }
    do {
        std::string path;
        std::string text;
        if (ComposePath(path, {folder, "\\", found.cFileName}) && ReadInfText(path, text) &&
            Contains(text, hardwareId)) {
            CopyText(found.cFileName, oemFile);
            return true;
        }
    } while (FindNextFileA(find.get(), &found));
    return false;
}

void UpdatePreinstallRecord(char* infPath, PreinstallMode mode) {
    if (infPath == nullptr) {
        return;
    }
    const std::string_view infName = FileNamePart(infPath);
    if (infName.size() >= kRecordTextSize) {
        return;
    }
    platform::UniqueHKey key;
    if (!OpenOrCreatePreinstallKey(key)) {
        return;
    }
    std::string recordName;
    switch (FindRecord(key.get(), UpperCase(infName), recordName)) {
        case RecordSearch::Found:
            if (mode == PreinstallMode::PresentDevice) {
                RegDeleteValueA(key.get(), recordName.c_str());
            }
            return;
        case RecordSearch::Failed:
            // Without a complete look at the records, adding one could make a second.
            return;
        case RecordSearch::NotFound:
            break;
    }
    // A package whose board has a device entry is not pre-installed: no record for it.
    const std::string name = PreinstallRecordName(infName);
    if (mode == PreinstallMode::PresentDevice || name.empty()) {
        return;
    }
    const std::string data(infName);
    RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
}

int32_t RemovePreinstallRecord(const char* kernelKey) {
    platform::UniqueHKey services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKeyPath, 0, KEY_ALL_ACCESS, services.put()) !=
        ERROR_SUCCESS) {
        return static_cast<int32_t>(kResultNotFound);
    }
    platform::UniqueHKey records;
    const LSTATUS opened =
        RegOpenKeyExA(services.get(), kPreinstallKeyName, 0, KEY_ALL_ACCESS, records.put());
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    const CatalogEntry* row = (kernelKey == nullptr || *kernelKey == '\0')
                                  ? nullptr
                                  : CatalogFindByKernelKeyUnconverted(kernelKey);
    if (row == nullptr) {
        return static_cast<int32_t>(kResultFailed);
    }
    return RegDeleteValueA(records.get(),
                           PreinstallRecordName(FileNamePart(row->infRelativePath)).c_str());
}

bool OpenPreinstallKey(platform::UniqueHKey& key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, PreinstallKeyPath().c_str(), 0, KEY_ALL_ACCESS,
                         key.put()) == ERROR_SUCCESS;
}

std::string PreinstallRecordName(std::string_view infFileName) {
    return infFileName.size() <= 5 ? std::string()
                                   : std::string(infFileName.substr(0, infFileName.size() - 5));
}

PreinstallWalkEnd ForEachPreinstallRecord(
    HKEY key,
    const std::function<bool(std::string_view name, DWORD type, const char* data)>& visit) {
    for (DWORD index = 0;; ++index) {
        char name[kRecordTextSize] = {};
        // One byte past the capacity stays zero, so data without a terminator ends inside.
        char data[kRecordTextSize + 1] = {};
        DWORD nameLength = kRecordTextSize;
        DWORD dataSize = kRecordTextSize;
        DWORD type = 0;
        const LSTATUS status = RegEnumValueA(key, index, name, &nameLength, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status == ERROR_NO_MORE_ITEMS ? PreinstallWalkEnd::Exhausted
                                                 : PreinstallWalkEnd::Failed;
        }
        if (visit(std::string_view(name, nameLength), type, data)) {
            return PreinstallWalkEnd::Stopped;
        }
    }
}

// Removes one OEM INF copy with its package from the driver store.
int32_t DeleteOemInfFile(char* oemFile) BOARDKIT_NOEXCEPT {
    if (oemFile == nullptr) {
        return static_cast<int32_t>(kResultFailed);
    }
    // SUOI_FORCEDELETE: the package goes even while a device still uses it.
    if (SetupUninstallOEMInfA(oemFile, SUOI_FORCEDELETE, nullptr)) {
        return 0;
    }
    return static_cast<int32_t>(GetLastError());
}
