// The registry side of an import: one `reg export` or regedit file, read strictly (a customer's
// file that was cut short or edited by hand must not become a machine that silently differs
// from theirs) and applied to HKLM.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "import.h"
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

}  // namespace

std::string Describe(const SourceLine& where, const std::string& message) {
    if (where.line == 0) {
        return where.file + ": " + message;
    }
    return where.file + ":" + std::to_string(where.line) + ": " + message;
}

std::string ApplyRegistryExport(const std::string& path, InstanceLines& instances) {
    std::string bytes;
    if (!ReadBytes(path, bytes)) {
        return Describe({path, 0}, std::string("cannot be read: ") + std::strerror(errno));
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
        std::string id;
        if (edit.kind == sim::RegEdit::Kind::kOpenKey && InstanceKeyId(edit.path, id)) {
            instances.emplace(sim::FoldName(id), SourceLine{path, edit.line});
        }
    }
    sim::RegFileResult applied = sim::ApplyRegEdits(parsed.edits);
    if (!applied.ok) {
        return Describe({path, applied.line}, applied.message);
    }
    return "";
}

}  // namespace tools
