// boardkit-sim's record commands: add, show and delete the maker's framework records and
// MapEntry values, so that a person can prepare a machine as the framework leaves it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "machine_builder.h"
#include "platform/win32.h"
#include "sim_commands.h"

namespace tools {

namespace {

const char* const kRecordUsage =
    "usage: boardkit-sim record add N [--value NAME=dword:HEX|NAME=sz:TEXT|NAME=hex:AA,BB]...\n"
    "       boardkit-sim record show | record delete N\n"
    "       boardkit-sim map add N HEX | map delete N | map show\n";

int RecordUsage() {
    std::fputs(kRecordUsage, stderr);
    return 2;
}

bool ParseUnsigned(const std::string& text, int base, unsigned long& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, base);
    return end != nullptr && *end == '\0' && out <= 0xFFFFFFFFul;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t comma = text.find(',', at);
        const std::string part = text.substr(at, comma == std::string::npos ? comma : comma - at);
        unsigned long byte = 0;
        if (!ParseUnsigned(part, 16, byte) || byte > 0xFF) {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(byte));
        at = comma == std::string::npos ? text.size() : comma + 1;
    }
    return true;
}

// NAME=dword:HEX, NAME=sz:TEXT or NAME=hex:AA,BB (REG_BINARY).
bool ParseValue(const std::string& text, RecordValue& value) {
    const std::size_t equals = text.find('=');
    const std::size_t colon = text.find(':', equals == std::string::npos ? 0 : equals);
    if (equals == std::string::npos || equals == 0 || colon == std::string::npos) {
        return false;
    }
    const std::string name = text.substr(0, equals);
    const std::string type = text.substr(equals + 1, colon - equals - 1);
    const std::string data = text.substr(colon + 1);
    unsigned long number = 0;
    if (type == "dword" && ParseUnsigned(data, 16, number)) {
        value = DwordValue(name, static_cast<uint32_t>(number));
        return true;
    }
    if (type == "sz") {
        value = StringValue(name, data);
        return true;
    }
    value = RecordValue{name, REG_BINARY, {}};
    return type == "hex" && ParseHexBytes(data, value.bytes);
}

std::string Describe(HKEY key, DWORD index, std::string& name) {
    char valueName[MAX_PATH] = {};
    BYTE data[1024] = {};
    DWORD nameLength = MAX_PATH;
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegEnumValueA(key, index, valueName, &nameLength, nullptr, &type, data, &size) !=
        ERROR_SUCCESS) {
        return "";
    }
    name = valueName;
    char text[32];
    if (type == REG_DWORD && size == 4) {
        std::snprintf(text, sizeof text, "dword:%08lx",
                      static_cast<unsigned long>(data[0] | data[1] << 8 | data[2] << 16 |
                                                 static_cast<DWORD>(data[3]) << 24));
        return text;
    }
    if (type == REG_SZ) {
        return "sz:" + std::string(reinterpret_cast<char*>(data), size > 0 ? size - 1 : 0);
    }
    std::string hex = "hex:";
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(text, sizeof text, i == 0 ? "%02x" : ",%02x", data[i]);
        hex += text;
    }
    return hex;
}

void ShowValues(const std::string& path, const char* indent) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    std::string name;
    for (DWORD i = 0;; ++i) {
        const std::string data = Describe(key, i, name);
        if (data.empty()) {
            break;
        }
        std::printf("%s%s=%s\n", indent, name.c_str(), data.c_str());
    }
    RegCloseKey(key);
}

int ShowRecords(bool mapOnly) {
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFrameworkServiceKey, 0, KEY_READ, &root) !=
        ERROR_SUCCESS) {
        std::printf("(no framework records)\n");
        return 0;
    }
    char name[MAX_PATH];
    for (DWORD i = 0; RegEnumKeyA(root, i, name, MAX_PATH) == ERROR_SUCCESS; ++i) {
        const bool isMap = std::string(name) == "MapEntry";
        if (isMap != mapOnly) {
            continue;
        }
        std::printf("%s\n", name);
        ShowValues(std::string(kFrameworkServiceKey) + "\\" + name, "  ");
    }
    RegCloseKey(root);
    return 0;
}

int DeleteIn(const std::string& path, const std::string& name, bool isValue) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_SUCCESS) {
        status = isValue ? RegDeleteValueA(key, name.c_str()) : RegDeleteKeyA(key, name.c_str());
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "boardkit-sim: %s cannot be deleted (error %ld)\n", name.c_str(),
                     static_cast<long>(status));
        return 1;
    }
    return 0;
}

int AddRecord(const std::vector<std::string>& args) {
    unsigned long number = 0;
    if (args.size() < 2 || !ParseUnsigned(args[1], 10, number)) {
        return RecordUsage();
    }
    std::vector<RecordValue> values;
    for (std::size_t i = 2; i < args.size(); i += 2) {
        RecordValue value;
        if (args[i] != "--value" || i + 1 >= args.size() || !ParseValue(args[i + 1], value)) {
            return RecordUsage();
        }
        values.push_back(value);
    }
    return AddConfigurationRecord(static_cast<unsigned>(number), values) ? 0 : 1;
}

}  // namespace

int RecordCommand(const std::vector<std::string>& args) {
    unsigned long number = 0;
    if (!args.empty() && args[0] == "add") {
        return AddRecord(args);
    }
    if (args.size() == 1 && args[0] == "show") {
        return ShowRecords(false);
    }
    if (args.size() == 2 && args[0] == "delete" && ParseUnsigned(args[1], 10, number)) {
        char name[32];
        std::snprintf(name, sizeof name, "Device%03lu", number);
        return DeleteIn(kFrameworkServiceKey, name, false);
    }
    return RecordUsage();
}

int MapCommand(const std::vector<std::string>& args) {
    unsigned long number = 0;
    unsigned long data = 0;
    if (args.size() == 1 && args[0] == "show") {
        return ShowRecords(true);
    }
    if (args.size() == 3 && args[0] == "add" && ParseUnsigned(args[1], 10, number) &&
        ParseUnsigned(args[2], 16, data)) {
        return AddMapEntry(static_cast<unsigned>(number), static_cast<uint32_t>(data)) ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == "delete" && ParseUnsigned(args[1], 10, number)) {
        return DeleteIn(std::string(kFrameworkServiceKey) + "\\MapEntry", std::to_string(number),
                        true);
    }
    return RecordUsage();
}

}  // namespace tools
