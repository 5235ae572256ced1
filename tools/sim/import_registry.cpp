// The registry side of an import: one `reg export` or regedit file, read strictly (a customer's
// file that was cut short or edited by hand must not become a machine that silently differs
// from theirs) and applied to HKLM.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <fstream>
#include <sstream>
#include <string_view>

#include "import.h"
#include "import_registry.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace tools {
namespace {

constexpr std::string_view kEnumPrefix = "SYSTEM\\CURRENTCONTROLSET\\ENUM\\";

bool ReadBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    bytes = text.str();
    return true;
}

bool IsUtf16(const std::string& bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

// The text with every character outside ASCII as '?': enough to check the shape of value data,
// which is ASCII in every export, at a fraction of the cost of a full decode.
std::string AsciiView(const std::string& bytes) {
    if (!IsUtf16(bytes)) {
        return bytes;
    }
    std::string text((bytes.size() - 2) / 2, '?');
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char low = static_cast<unsigned char>(bytes[2 + 2 * i]);
        if (bytes[3 + 2 * i] == 0 && low < 0x80) {
            text[i] = static_cast<char>(low);
        }
    }
    return text;
}

bool EndsWithLineEnd(const std::string& text) {
    return !text.empty() && text.back() == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// The hexadecimal part of a value line ("hex:..." or "hex(7):..."), or nothing.
bool HexData(std::string_view line, std::string_view& data) {
    size_t pos = 0;
    if (line.front() == '"') {
        for (pos = 1; pos < line.size() && line[pos] != '"'; ++pos) {
            if (line[pos] == '\\') {
                ++pos;
            }
        }
        ++pos;
    } else if (line.front() == '@') {
        pos = 1;
    } else {
        return false;
    }
    std::string_view rest = pos < line.size() ? Trim(line.substr(pos)) : std::string_view();
    if (rest.empty() || rest.front() != '=') {
        return false;
    }
    rest = Trim(rest.substr(1));
    const size_t colon = rest.find(':');
    if (rest.compare(0, 3, "hex") != 0 || colon == std::string_view::npos) {
        return false;
    }
    data = rest.substr(colon + 1);
    return true;
}

// Checks one line of bytes; `more` tells whether the value goes on on the next line.
bool CheckHexBytes(std::string_view data, bool& more, std::string& error) {
    data = Trim(data);
    more = !data.empty() && data.back() == '\\';
    if (more) {
        data.remove_suffix(1);
    }
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find(',', start);
        if (end == std::string_view::npos) {
            end = data.size();
        }
        const std::string_view byte = Trim(data.substr(start, end - start));
        if (byte.size() % 2 != 0) {
            error =
                "the hexadecimal byte \"" + std::string(byte) + "\" has an odd number of digits";
            return false;
        }
        start = end + 1;
    }
    return true;
}

// regedit writes every byte as two digits; a lone digit is a damaged file, though the reader
// of .reg files (as regedit itself) would take it as a byte.
bool CheckHexDigits(const std::string& text, size_t& badLine, std::string& error) {
    bool more = false;
    size_t number = 0;
    for (size_t start = 0; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string_view line = Trim(std::string_view(text).substr(start, end - start));
        start = end + 1;
        std::string_view data;
        if (more) {
            data = line;
        } else if (line.empty() || !HexData(line, data)) {
            continue;
        }
        if (!CheckHexBytes(data, more, error)) {
            badLine = number + 1;
            return false;
        }
    }
    return true;
}

// An instance key is Enum\<enumerator>\<device>\<instance>: exactly three names below Enum.
bool InstanceKeyId(const std::string& path, std::string& id) {
    const std::string folded = sim::FoldName(path);
    if (folded.size() <= kEnumPrefix.size() ||
        folded.compare(0, kEnumPrefix.size(), kEnumPrefix) != 0) {
        return false;
    }
    id = path.substr(kEnumPrefix.size());
    size_t separators = 0;
    for (char c : id) {
        separators += c == '\\' ? 1 : 0;
    }
    return separators == 2;
}

// Whether a key is Enum of the current control set or below it.
bool IsUnderEnum(const std::string& path) {
    const std::string folded = sim::FoldName(path);
    const std::string_view enumKey = kEnumPrefix.substr(0, kEnumPrefix.size() - 1);
    return folded.compare(0, kEnumPrefix.size(), kEnumPrefix) == 0 || folded == enumKey;
}

}  // namespace

std::string Describe(const SourceLine& where, const std::string& message) {
    if (where.line == 0) {
        return where.file + ": " + message;
    }
    return where.file + ":" + std::to_string(where.line) + ": " + message;
}

bool IsUtf16WithoutMark(const std::string& bytes) {
    return bytes.size() >= 4 && bytes[0] != 0 && bytes[1] == 0 && bytes[2] != 0 && bytes[3] == 0 &&
           static_cast<unsigned char>(bytes[0]) < 0x80 &&
           static_cast<unsigned char>(bytes[2]) < 0x80;
}

std::string ReadRegistryExport(const std::string& path, RegistryExport& out,
                               std::vector<std::string>& notes) {
    out.path = path;
    std::string bytes;
    if (!ReadBytes(path, bytes)) {
        return Describe({path, 0}, std::string("cannot be read: ") + std::strerror(errno));
    }
    // A file that went through a tool that dropped the byte-order mark is still regedit's
    // UTF-16LE, character for character.
    if (IsUtf16WithoutMark(bytes)) {
        bytes.insert(0, "\xFF\xFE");
        notes.push_back(
            Describe({path, 0}, "UTF-16LE without a byte-order mark, read as UTF-16LE"));
    }
    // The checks of a damaged file come first: the reader would report a cut line as, say, a
    // string without its closing quote, which hides what happened to the file.
    const std::string ascii = AsciiView(bytes);
    if (!ascii.empty() && !EndsWithLineEnd(ascii)) {
        size_t lines = 1;
        for (char c : ascii) {
            lines += c == '\n' ? 1 : 0;
        }
        return Describe({path, lines}, "truncated file: the last line has no line end");
    }
    size_t badLine = 0;
    std::string error;
    if (!CheckHexDigits(ascii, badLine, error)) {
        return Describe({path, badLine}, error);
    }
    sim::RegFileResult parsed = sim::ParseRegFile(bytes);
    if (!parsed.ok) {
        const bool cut =
            parsed.line == 0 || parsed.message.find("ends inside") != std::string::npos;
        return Describe({path, parsed.line}, (cut ? "truncated file: " : "") + parsed.message);
    }
    for (const sim::RegEdit& edit : parsed.edits) {
        if (!edit.root.empty() && edit.root != "HKEY_LOCAL_MACHINE") {
            return Describe({path, edit.line},
                            "only keys of HKEY_LOCAL_MACHINE make a machine; this is " + edit.root);
        }
    }
    out.edits = std::move(parsed.edits);
    return "";
}

namespace {

constexpr std::string_view kSystemPrefix = "SYSTEM\\";
constexpr std::string_view kCurrentSet = "CURRENTCONTROLSET";

bool IsKeyEdit(const sim::RegEdit& edit) {
    return edit.kind == sim::RegEdit::Kind::kOpenKey || edit.kind == sim::RegEdit::Kind::kDeleteKey;
}

// The name of the control set a folded key path lies in ("CURRENTCONTROLSET", "CONTROLSET001"),
// or "" when it lies in none.
std::string ControlSetOf(const std::string& folded) {
    if (folded.compare(0, kSystemPrefix.size(), kSystemPrefix) != 0) {
        return "";
    }
    const size_t end = folded.find('\\', kSystemPrefix.size());
    const std::string name = folded.substr(kSystemPrefix.size(), end - kSystemPrefix.size());
    if (name == kCurrentSet) {
        return name;
    }
    const bool numbered = name.size() == 13 && name.compare(0, 10, "CONTROLSET") == 0 &&
                          std::isdigit(static_cast<unsigned char>(name[10])) &&
                          std::isdigit(static_cast<unsigned char>(name[11])) &&
                          std::isdigit(static_cast<unsigned char>(name[12]));
    return numbered ? name : "";
}

std::string SetName(const std::string& folded) {
    return folded == kCurrentSet ? "CurrentControlSet" : "ControlSet" + folded.substr(10);
}

}  // namespace

std::string TakeCurrentControlSet(std::vector<RegistryExport>& exports,
                                  std::vector<std::string>& notes) {
    std::map<std::string, SourceLine> sets;  // numbered sets, where each first appears
    std::optional<DWORD> current;
    SourceLine currentLine;
    for (const RegistryExport& file : exports) {
        bool inSelect = false;
        for (const sim::RegEdit& edit : file.edits) {
            if (IsKeyEdit(edit)) {
                const std::string folded = sim::FoldName(edit.path);
                const std::string set = ControlSetOf(folded);
                if (set == kCurrentSet) {
                    return "";  // the export holds the current set itself
                }
                if (!set.empty()) {
                    sets.emplace(set, SourceLine{file.path, edit.line});
                }
                inSelect = edit.kind == sim::RegEdit::Kind::kOpenKey && folded == "SYSTEM\\SELECT";
            } else if (inSelect && edit.kind == sim::RegEdit::Kind::kSetValue &&
                       sim::FoldName(edit.name) == "CURRENT" && edit.type == REG_DWORD &&
                       edit.data.size() == 4) {
                current = static_cast<DWORD>(edit.data[0] | (edit.data[1] << 8) |
                                             (edit.data[2] << 16) | (edit.data[3] << 24));
                currentLine = {file.path, edit.line};
            }
        }
    }
    if (sets.empty()) {
        return "";
    }
    std::string held;
    for (const auto& [set, where] : sets) {
        held += (held.empty() ? "" : ", ") + SetName(set);
    }
    std::string chosen;
    std::string why;
    if (current) {
        char name[24];
        std::snprintf(name, sizeof name, "CONTROLSET%03u", static_cast<unsigned>(*current % 1000));
        if (*current > 999 || sets.count(name) == 0) {
            return Describe(currentLine, "SYSTEM\\Select\\Current names control set " +
                                             std::to_string(*current) +
                                             ", which the export does not hold (it holds " + held +
                                             ")");
        }
        chosen = name;
        why = "SYSTEM\\Select\\Current is " + std::to_string(*current);
    } else if (sets.size() == 1) {
        chosen = sets.begin()->first;
        why = "the only control set of the export";
    } else {
        return Describe(sets.begin()->second,
                        "the export holds no SYSTEM\\CurrentControlSet but " + held +
                            ", and no SYSTEM\\Select\\Current that tells which one is current; "
                            "export HKLM\\SYSTEM\\CurrentControlSet");
    }
    notes.push_back(Describe(sets[chosen], "SYSTEM\\" + SetName(chosen) +
                                               " taken as the current control set (" + why + ")"));
    // Windows shows the current set under both names; the simulated machine keeps it once,
    // under the name every program opens.
    for (RegistryExport& file : exports) {
        for (sim::RegEdit& edit : file.edits) {
            if (IsKeyEdit(edit) && ControlSetOf(sim::FoldName(edit.path)) == chosen) {
                edit.path = edit.path.substr(0, kSystemPrefix.size()) + "CurrentControlSet" +
                            edit.path.substr(kSystemPrefix.size() + chosen.size());
            }
        }
    }
    return "";
}

std::string ApplyRegistryExports(const std::vector<RegistryExport>& exports,
                                 InstanceLines& instances) {
    SourceLine enumLine;  // where the exports first show the Enum key, if they do
    for (const RegistryExport& file : exports) {
        for (const sim::RegEdit& edit : file.edits) {
            std::string id;
            if (edit.kind != sim::RegEdit::Kind::kOpenKey) {
                continue;
            }
            if (InstanceKeyId(edit.path, id)) {
                instances.emplace(sim::FoldName(id), SourceLine{file.path, edit.line});
            } else if (enumLine.file.empty() && IsUnderEnum(edit.path)) {
                enumLine = {file.path, edit.line};
            }
        }
        sim::RegFileResult applied = sim::ApplyRegEdits(file.edits);
        if (!applied.ok) {
            return Describe({file.path, applied.line}, applied.message);
        }
    }
    // An Enum without instances is no machine without devices: its instances were not
    // readable (an export without administrator rights) or are missing.
    if (instances.empty() && !enumLine.file.empty()) {
        return Describe(enumLine,
                        "the export holds the Enum key but no device instance below "
                        "it (Enum\\<enumerator>\\<device>\\<instance>)");
    }
    return "";
}

void WarnOfCutExports(const std::vector<RegistryExport>& exports,
                      std::vector<std::string>& warnings) {
    for (const RegistryExport& file : exports) {
        const sim::RegEdit* first = nullptr;
        const sim::RegEdit* last = nullptr;
        for (const sim::RegEdit& edit : file.edits) {
            if (edit.kind == sim::RegEdit::Kind::kOpenKey) {
                first = first == nullptr ? &edit : first;
                last = &edit;
            }
        }
        // regedit writes subkeys in order, so a whole export of the control set goes on with
        // "Hardware Profiles", "Policies" and "Services" after Enum.
        if (first != nullptr && !IsUnderEnum(first->path) && IsUnderEnum(last->path)) {
            warnings.push_back(Describe(
                {file.path, last->line},
                "the export ends inside Enum: it seems cut at a line end (a whole export goes on "
                "with Services)"));
        }
    }
}

}  // namespace tools
