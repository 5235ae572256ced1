#include "registry_walk.h"

#include <cstdio>
#include <vector>

#include "platform/unique.h"

namespace collect {
namespace {

constexpr wchar_t kRootName[] = L"HKEY_LOCAL_MACHINE";
constexpr const wchar_t* kTrees[] = {L"SYSTEM\\CurrentControlSet\\Enum",
                                     L"SYSTEM\\CurrentControlSet\\Control\\Class",
                                     L"SYSTEM\\CurrentControlSet\\Services"};
// Reading only: a collection must never change the machine.
constexpr REGSAM kReadAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr DWORD kMaxValueName = 16383;  // the registry's own limit, in characters
// A value that keeps growing while we read it is given up after this many attempts.
constexpr int kMaxAttempts = 16;
constexpr ULONGLONG kProgressMilliseconds = 2000;

void AppendQuoted(std::wstring& text, const wchar_t* chars, size_t count) {
    text += L'"';
    for (size_t i = 0; i < count; ++i) {
        const wchar_t c = chars[i];
        if (c == L'\\' || c == L'"') {
            text += L'\\';
            text += c;
        } else if (c == L'\n') {
            text += L"\\n";
        } else if (c == L'\r') {
            text += L"\\r";
        } else if (c == L'\0') {
            text += L"\\0";
        } else {
            text += c;
        }
    }
    text += L'"';
}

// REG_SZ data that reads back to the same bytes from the "text" form: whole UTF-16 units, one
// terminator at the end, no line break or terminator inside, and no lone surrogate (which the
// text form cannot carry through UTF-8).
bool PlainString(const BYTE* data, size_t size, size_t& length) {
    if (size < 2 || size % 2 != 0) {
        return false;
    }
    const size_t units = size / 2;
    auto unit = [&](size_t i) {
        return static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    };
    if (unit(units - 1) != L'\0') {
        return false;
    }
    for (size_t i = 0; i + 1 < units; ++i) {
        const wchar_t c = unit(i);
        if (c == L'\0' || c == L'\r' || c == L'\n') {
            return false;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 2 >= units || unit(i + 1) < 0xDC00 || unit(i + 1) > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    length = units - 1;
    return true;
}

void AppendAscii(std::wstring& text, const char* ascii) {
    for (; *ascii != '\0'; ++ascii) {
        text += static_cast<wchar_t>(*ascii);
    }
}

struct Walk {
    Output& out;
    FileWriter& file;
    RegistryCounts counts;
    std::wstring text;  // the current key's lines, written out key by key
    std::vector<wchar_t> name;
    std::vector<BYTE> data;
    ULONGLONG lastReport = GetTickCount64();
};

void Skip(Walk& walk, const std::wstring& path, const std::string& why) {
    walk.out.skipped.push_back({std::wstring(kRootName) + L"\\" + path, why});
}

std::string OpenFailure(LONG status) {
    if (status == ERROR_ACCESS_DENIED) {
        return "access denied (readable by the system account only)";
    }
    if (status == ERROR_FILE_NOT_FOUND) {
        return "removed while the registry was read";
    }
    return ErrorText(static_cast<DWORD>(status));
}

void Emit(Walk& walk) {
    walk.file.Write(walk.text.data(), walk.text.size() * sizeof(wchar_t));
    walk.text.clear();
}

void Report(Walk& walk, bool always) {
    const ULONGLONG now = GetTickCount64();
    if (always || now - walk.lastReport >= kProgressMilliseconds) {
        std::fprintf(stderr, "boardkit-collect: registry: %zu keys, %zu values\n", walk.counts.keys,
                     walk.counts.values);
        walk.lastReport = now;
    }
}

// The key's values in their order; a value that cannot be read ends the key's values, listed.
void WriteValues(Walk& walk, HKEY key, const std::wstring& path) {
    for (DWORD index = 0;; ++index) {
        LONG status = ERROR_MORE_DATA;
        DWORD nameLength = 0;
        DWORD type = 0;
        DWORD size = 0;
        for (int attempt = 0; attempt < kMaxAttempts && status == ERROR_MORE_DATA; ++attempt) {
            nameLength = static_cast<DWORD>(walk.name.size());
            size = static_cast<DWORD>(walk.data.size());
            status = RegEnumValueW(key, index, walk.name.data(), &nameLength, nullptr, &type,
                                   walk.data.data(), &size);
            if (status == ERROR_MORE_DATA) {
                // Either the name or the data did not fit: the name buffer goes to the
                // registry's limit, the data to the size reported (or twice, if none was).
                walk.name.resize(kMaxValueName + 1);
                walk.data.resize(size > walk.data.size() ? size : walk.data.size() * 2);
            }
        }
        if (status == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (status != ERROR_SUCCESS) {
            Skip(walk, path,
                 "values from the " + std::to_string(index + 1) + ". on: " +
                     (status == ERROR_MORE_DATA ? std::string("kept growing while read")
                                                : ErrorText(status)));
            return;
        }
        AppendRegValue(walk.text, std::wstring(walk.name.data(), nameLength), type,
                       walk.data.data(), size);
        ++walk.counts.values;
    }
}

// The names of the key's subkeys, in the order the registry gives them (sorted).
bool SubkeyNames(Walk& walk, HKEY key, const std::wstring& path, std::vector<std::wstring>& names) {
    std::vector<wchar_t> buffer(256);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG status =
            RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return true;
        }
        if (status == ERROR_MORE_DATA && buffer.size() < 65536) {
            buffer.resize(buffer.size() * 2);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) {
            Skip(walk, path,
                 "subkeys from the " + std::to_string(index + 1) + ". on: " + ErrorText(status));
            return false;
        }
        names.emplace_back(buffer.data(), length);
    }
}

void WriteKey(Walk& walk, HKEY key, std::wstring& path) {
    walk.text += L'[';
    walk.text += kRootName;
    walk.text += L'\\';
    walk.text += path;
    walk.text += L"]\r\n";
    WriteValues(walk, key, path);
    walk.text += L"\r\n";
    Emit(walk);
    ++walk.counts.keys;
    Report(walk, false);
    std::vector<std::wstring> names;
    SubkeyNames(walk, key, path, names);
    for (const std::wstring& name : names) {
        const size_t length = path.size();
        path += L'\\';
        path += name;
        if (name.find_first_of(L"\r\n") != std::wstring::npos) {
            // A key line is one line; such a key cannot be written.
            Skip(walk, path, "its name holds a line break, which the export format cannot carry");
        } else {
            platform::UniqueHKey child;
            const LONG status = RegOpenKeyExW(key, name.c_str(), 0, kReadAccess, child.put());
            if (status == ERROR_SUCCESS) {
                WriteKey(walk, child.get(), path);
            } else {
                Skip(walk, path, OpenFailure(status));
            }
        }
        path.resize(length);
    }
}

}  // namespace

void AppendRegValue(std::wstring& text, const std::wstring& name, DWORD type, const BYTE* data,
                    size_t size) {
    const size_t lineStart = text.size();
    if (name.empty()) {
        text += L'@';
    } else {
        AppendQuoted(text, name.data(), name.size());
    }
    text += L'=';
    size_t length = 0;
    if (type == REG_SZ && PlainString(data, size, length)) {
        std::wstring chars(length, L'\0');
        for (size_t i = 0; i < length; ++i) {
            chars[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        }
        AppendQuoted(text, chars.data(), chars.size());
        text += L"\r\n";
        return;
    }
    char head[32];
    if (type == REG_DWORD && size == 4) {
        const DWORD number = static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
                             (static_cast<DWORD>(data[2]) << 16) |
                             (static_cast<DWORD>(data[3]) << 24);
        std::snprintf(head, sizeof head, "dword:%08lx\r\n", static_cast<unsigned long>(number));
        AppendAscii(text, head);
        return;
    }
    if (type == REG_BINARY) {
        std::snprintf(head, sizeof head, "hex:");
    } else {
        std::snprintf(head, sizeof head, "hex(%lx):", static_cast<unsigned long>(type));
    }
    AppendAscii(text, head);
    static const wchar_t kDigits[] = L"0123456789abcdef";
    size_t column = text.size() - lineStart;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0xF];
        if (i + 1 == size) {
            break;
        }
        text += L',';
        column += 3;
        if (column >= 77) {
            text += L"\\\r\n  ";
            column = 2;
        }
    }
    text += L"\r\n";
}

RegistryCounts WriteRegistry(Output& out, const std::wstring& fileName) {
    FileWriter file(out, fileName);
    Walk walk{
        out, file, {}, {}, std::vector<wchar_t>(256), std::vector<BYTE>(4096), GetTickCount64()};
    walk.text = L"\xFEFF";
    walk.text += L"Windows Registry Editor Version 5.00\r\n\r\n";
    for (const wchar_t* tree : kTrees) {
        platform::UniqueHKey key;
        const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, tree, 0, kReadAccess, key.put());
        std::wstring path = tree;
        if (status == ERROR_ACCESS_DENIED) {
            throw CollectError("HKEY_LOCAL_MACHINE\\" + ForConsole(path) +
                                   " cannot be read (access denied): run boardkit-collect "
                                   "as administrator",
                               kExitNoRights);
        }
        if (status != ERROR_SUCCESS) {
            Skip(walk, path, OpenFailure(status));
            continue;
        }
        WriteKey(walk, key.get(), path);
    }
    Emit(walk);
    file.Close();
    Report(walk, true);
    return walk.counts;
}

}  // namespace collect
