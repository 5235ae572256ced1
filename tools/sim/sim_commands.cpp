#include "sim_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "reg_image.h"

namespace tools {
namespace {

void PrintValue(const std::string& indent, const char* name, DWORD type, const BYTE* data,
                DWORD size) {
    std::printf("%s%s = ", indent.c_str(), *name ? name : "@");
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::printf("\"%.*s\"\n", static_cast<int>(size > 0 ? size - 1 : 0),
                    reinterpret_cast<const char*>(data));
    } else if (type == REG_DWORD && size == 4) {
        std::printf("dword:%08x\n", data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
    } else if (type == REG_MULTI_SZ) {
        std::printf("multi:");
        for (DWORD i = 0; i < size; ++i) {
            std::putchar(data[i] == 0 ? '|' : data[i]);
        }
        std::printf("\n");
    } else {
        std::printf("hex(%lx):", static_cast<unsigned long>(type));
        for (DWORD i = 0; i < size; ++i) {
            std::printf("%s%02x", i ? "," : "", data[i]);
        }
        std::printf("\n");
    }
}

// Walks a key through the same Win32 calls a program would make.
void PrintKey(HKEY key, const std::string& indent) {
    // Value names are at most 16,383 characters; data of the framework's keys is small, and a
    // larger value is shown by its size only.
    std::vector<char> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LSTATUS status =
            RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_MORE_DATA) {
            std::printf("%s%s = (%lu bytes)\n", indent.c_str(), name.data(),
                        static_cast<unsigned long>(dataSize));
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        PrintValue(indent, name.data(), type, data.data(), dataSize);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        if (RegEnumKeyA(key, i, name, sizeof name) != ERROR_SUCCESS) {
            break;
        }
        std::printf("%s[%s]\n", indent.c_str(), name);
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            PrintKey(sub, indent + "  ");
            RegCloseKey(sub);
        }
    }
}

void ShowRegistry() {
    std::printf("[HKEY_LOCAL_MACHINE]\n");
    PrintKey(HKEY_LOCAL_MACHINE, "  ");
}

void PrintFolder(const std::string& folder, const std::string& indent) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::printf("%s%s%s\n", indent.c_str(), name.c_str(), directory ? "\\" : "");
        if (directory) {
            PrintFolder(folder + "\\" + name, indent + "  ");
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

}  // namespace

int RegCommand(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "import") {
        std::string error;
        if (!ImportRegFile(args[1], error)) {
            std::fprintf(stderr, "boardkit-sim: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if ((args.size() == 2 || args.size() == 3) && args[0] == "export") {
        std::string error;
        const std::string key = args.size() == 3 ? args[2] : "HKEY_LOCAL_MACHINE";
        if (!ExportRegFile(args[1], key, error)) {
            std::fprintf(stderr, "boardkit-sim: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "usage: boardkit-sim reg import FILE | reg export FILE [KEY]\n");
    return 2;
}

bool ShowAreas(const std::string& what) {
    const bool all = what == "all";
    bool known = all || what == "settings" || what == "faults";
    if (all || what == "registry") {
        ShowRegistry();
        known = true;
    }
    if (all || what == "files") {
        std::printf("C:\\\n");
        PrintFolder("C:", "  ");
        known = true;
    }
    return known;
}

}  // namespace tools
