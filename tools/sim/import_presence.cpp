// The presence side of an import: which device instances are attached and with what problem,
// as PowerShell's Get-PnpDevice tells it, either as a plain list of the present instances or as
// the JSON of InstanceId, Present and Problem.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "import.h"
#include "registry_tree.h"

namespace tools {
namespace {

struct ProblemName {
    const char* name;
    ULONG number;
};

// The CM_PROB_ names of cfg.h; PowerShell writes the problem enum by these names.
constexpr ProblemName kProblemNames[] = {
    {"CM_PROB_NONE", 0x00},
    {"CM_PROB_NOT_CONFIGURED", 0x01},
    {"CM_PROB_DEVLOADER_FAILED", 0x02},
    {"CM_PROB_OUT_OF_MEMORY", 0x03},
    {"CM_PROB_ENTRY_IS_WRONG_TYPE", 0x04},
    {"CM_PROB_LACKED_ARBITRATOR", 0x05},
    {"CM_PROB_BOOT_CONFIG_CONFLICT", 0x06},
    {"CM_PROB_FAILED_FILTER", 0x07},
    {"CM_PROB_DEVLOADER_NOT_FOUND", 0x08},
    {"CM_PROB_INVALID_DATA", 0x09},
    {"CM_PROB_FAILED_START", 0x0A},
    {"CM_PROB_LIAR", 0x0B},
    {"CM_PROB_NORMAL_CONFLICT", 0x0C},
    {"CM_PROB_NOT_VERIFIED", 0x0D},
    {"CM_PROB_NEED_RESTART", 0x0E},
    {"CM_PROB_REENUMERATION", 0x0F},
    {"CM_PROB_PARTIAL_LOG_CONF", 0x10},
    {"CM_PROB_UNKNOWN_RESOURCE", 0x11},
    {"CM_PROB_REINSTALL", 0x12},
    {"CM_PROB_REGISTRY", 0x13},
    {"CM_PROB_VXDLDR", 0x14},
    {"CM_PROB_WILL_BE_REMOVED", 0x15},
    {"CM_PROB_DISABLED", 0x16},
    {"CM_PROB_DEVLOADER_NOT_READY", 0x17},
    {"CM_PROB_DEVICE_NOT_THERE", 0x18},
    {"CM_PROB_MOVED", 0x19},
    {"CM_PROB_TOO_EARLY", 0x1A},
    {"CM_PROB_NO_VALID_LOG_CONF", 0x1B},
    {"CM_PROB_FAILED_INSTALL", 0x1C},
    {"CM_PROB_HARDWARE_DISABLED", 0x1D},
    {"CM_PROB_CANT_SHARE_IRQ", 0x1E},
    {"CM_PROB_FAILED_ADD", 0x1F},
    {"CM_PROB_DISABLED_SERVICE", 0x20},
    {"CM_PROB_TRANSLATION_FAILED", 0x21},
    {"CM_PROB_NO_SOFTCONFIG", 0x22},
    {"CM_PROB_BIOS_TABLE", 0x23},
    {"CM_PROB_IRQ_TRANSLATION_FAILED", 0x24},
    {"CM_PROB_FAILED_DRIVER_ENTRY", 0x25},
    {"CM_PROB_DRIVER_FAILED_PRIOR_UNLOAD", 0x26},
    {"CM_PROB_DRIVER_FAILED_LOAD", 0x27},
    {"CM_PROB_DRIVER_SERVICE_KEY_INVALID", 0x28},
    {"CM_PROB_LEGACY_SERVICE_NO_DEVICES", 0x29},
    {"CM_PROB_DUPLICATE_DEVICE", 0x2A},
    {"CM_PROB_FAILED_POST_START", 0x2B},
    {"CM_PROB_HALTED", 0x2C},
    {"CM_PROB_PHANTOM", 0x2D},
    {"CM_PROB_SYSTEM_SHUTDOWN", 0x2E},
    {"CM_PROB_HELD_FOR_EJECT", 0x2F},
    {"CM_PROB_DRIVER_BLOCKED", 0x30},
    {"CM_PROB_REGISTRY_TOO_LARGE", 0x31},
    {"CM_PROB_SETPROPERTIES_FAILED", 0x32},
    {"CM_PROB_WAITING_ON_DEPENDENCY", 0x33},
    {"CM_PROB_UNSIGNED_DRIVER", 0x34},
    {"CM_PROB_USED_BY_DEBUGGER", 0x35},
    {"CM_PROB_DEVICE_RESET", 0x36},
    {"CM_PROB_CONSOLE_LOCKED", 0x37},
    {"CM_PROB_NEED_CLASS_CONFIG", 0x38},
    {"CM_PROB_GUEST_ASSIGNMENT_FAILED", 0x39},
};

// Windows PowerShell 5.1 writes UTF-16LE with a byte-order mark when output goes through
// `>`; PowerShell 7 and Out-File -Encoding utf8 write UTF-8, with or without one.
bool DecodeText(const std::string& bytes, std::string& text, std::string& error) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool marked = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
    // A tool on the way may have dropped the mark: the characters are still UTF-16LE.
    if (marked || IsUtf16WithoutMark(bytes)) {
        const size_t start = marked ? 2 : 0;
        if (bytes.size() % 2 != 0) {
            error = "truncated file: UTF-16 text with an odd number of bytes";
            return false;
        }
        std::u16string wide((bytes.size() - start) / 2, u'\0');
        for (size_t i = 0; i < wide.size(); ++i) {
            wide[i] = static_cast<char16_t>(byte(start + 2 * i) | (byte(start + 1 + 2 * i) << 8));
        }
        text = sim::Utf8FromUtf16(wide);
        return true;
    }
    if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        error = "big-endian UTF-16 is not supported; write the file as UTF-16LE or UTF-8";
        return false;
    }
    const bool bom = bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF;
    text = bom ? bytes.substr(3) : bytes;
    return true;
}

std::string Trim(const std::string& s) {
    size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The line of each "InstanceId" key in the text, in order: the lines of the objects, since
// the JSON library keeps no positions.
std::vector<size_t> InstanceIdLines(const std::string& text) {
    std::vector<size_t> lines;
    size_t line = 1;
    const std::string key = "\"InstanceId\"";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
        } else if (text.compare(i, key.size(), key) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool ReadJsonEntry(const nlohmann::json& item, size_t line, PresenceEntry& entry,
                   std::string& error) {
    entry.line = line;
    if (!item.is_object() || !item.contains("InstanceId") || !item["InstanceId"].is_string()) {
        error = "an entry without an InstanceId text";
        return false;
    }
    entry.instanceId = item["InstanceId"].get<std::string>();
    if (item.contains("Present") && !item["Present"].is_null()) {
        if (!item["Present"].is_boolean()) {
            error = "Present of " + entry.instanceId + " is not true or false";
            return false;
        }
        entry.present = item["Present"].get<bool>();
    }
    if (!item.contains("Problem") || item["Problem"].is_null()) {
        return true;
    }
    const nlohmann::json& problem = item["Problem"];
    if (problem.is_number_unsigned()) {
        entry.problem = problem.get<ULONG>();
        return true;
    }
    if (problem.is_string()) {
        entry.problem = ProblemNumberOfName(problem.get<std::string>());
        if (entry.problem) {
            return true;
        }
    }
    error = "Problem of " + entry.instanceId + " is neither a number nor a CM_PROB_ name";
    return false;
}

PresenceFile ReadJson(const std::string& path, const std::string& text) {
    PresenceFile result;
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        result.error = Describe({path, 0}, std::string("not valid JSON: ") + e.what());
        return result;
    }
    if (doc.is_object()) {
        doc = nlohmann::json::array({doc});  // ConvertTo-Json writes one device as an object
    }
    const std::vector<size_t> lines = InstanceIdLines(text);
    for (size_t i = 0; i < doc.size(); ++i) {
        PresenceEntry entry;
        std::string error;
        const size_t line = i < lines.size() ? lines[i] : 0;
        if (!ReadJsonEntry(doc[i], line, entry, error)) {
            result.error = Describe({path, line}, error);
            return result;
        }
        result.entries.push_back(entry);
    }
    result.ok = true;
    return result;
}

PresenceFile ReadList(const std::string& text) {
    PresenceFile result;
    std::istringstream in(text);
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        line = Trim(line);
        if (!line.empty()) {
            result.entries.push_back({line, true, std::nullopt, number});
        }
    }
    result.ok = true;
    return result;
}

}  // namespace

std::optional<ULONG> ProblemNumberOfName(const std::string& name) {
    for (const ProblemName& entry : kProblemNames) {
        if (name == entry.name) {
            return entry.number;
        }
    }
    return std::nullopt;
}

PresenceFile ReadPresenceFile(const std::string& path) {
    PresenceFile result;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = Describe({path, 0}, std::string("cannot be read: ") + std::strerror(errno));
        return result;
    }
    std::ostringstream raw;
    raw << in.rdbuf();
    std::string text;
    std::string error;
    if (!DecodeText(raw.str(), text, error)) {
        result.error = Describe({path, 0}, error);
        return result;
    }
    const std::string start = Trim(text).substr(0, 1);
    if (start == "[" || start == "{") {
        return ReadJson(path, text);
    }
    return ReadList(text);
}

}  // namespace tools
