// The INF reader: logical lines (comments cut, continuations joined), then sections, then each
// line's key and fields with quotes and %key% substitution. [Strings] is read first, literally,
// because every other section may refer to it.
#include "inf_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "file_system.h"
#include "registry_tree.h"
#include "text.h"
#include "simwin/setupapi_store.h"

namespace sim::inf {
namespace {

struct RawLine {
    std::string text;  // one logical line without its comment
    size_t section = 0;
};

constexpr std::string_view kBlanks = " \t\v\f";
// The characters that end or change a field, or fail the line.
bool IsSpecial(char c) {
    return c == '\0' || c == '"' || c == '%' || c == ',' || c == '=';
}

bool IsBlank(char c) {
    return kBlanks.find(c) != std::string_view::npos;
}

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

// UTF-16LE files (with their byte-order mark) are read as Unicode INFs; a UTF-8 mark is skipped.
std::string Decode(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string wide;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return Utf8FromUtf16(wide);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    return std::string(bytes);
}

// Cuts a physical line at its comment (a ';' outside quotes) and tells whether it ends in the
// continuation mark '\', which is then removed.
bool StripLine(std::string_view physical, std::string& out) {
    bool quoted = false;
    size_t end = physical.size();
    for (size_t i = 0; i < physical.size(); ++i) {
        if (physical[i] == '"') {
            quoted = !quoted;
        } else if (physical[i] == ';' && !quoted) {
            end = i;
            break;
        }
    }
    out = Trim(physical.substr(0, end));
    if (!out.empty() && out.back() == '\\') {
        out.pop_back();
        return true;
    }
    return false;
}

DWORD SplitLines(const std::string& text, std::vector<std::string>& logical) {
    std::string pending;
    bool continuing = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string part;
        const bool more = StripLine(std::string_view(text).substr(pos, end - pos), part);
        pending += part;
        if (pending.size() > kMaxLineChars) {
            return ERROR_GENERAL_SYNTAX;
        }
        continuing = more;
        if (!continuing) {
            logical.push_back(std::move(pending));
            pending.clear();
        }
        if (end == text.size())
            break;
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    if (!pending.empty()) {
        logical.push_back(std::move(pending));
    }
    return 0;
}

using Strings = std::map<std::string, std::string>;  // upper-cased key -> value

// Tokenizes one logical line. With `strings`, %key% is replaced (atomically: a substituted
// value never splits into fields) and %% gives '%'.
DWORD Tokenize(const std::string& text, const Strings* strings, Line& line) {
    std::string field;
    size_t keep = 0;       // field length up to its last character that is not trailing blank
    bool started = false;  // leading blanks are skipped until a character or a quote
    bool quoted = false;
    size_t total = 0;
    // Unquoted blanks before a field's first character are dropped and those after its last
    // are cut by `finish`; quoted and substituted text is kept whole.
    auto append = [&](std::string_view piece, bool literal) {
        total += piece.size();
        if (!started && !literal) {
            const size_t first = piece.find_first_not_of(kBlanks);
            if (first == std::string_view::npos)
                return;
            piece.remove_prefix(first);
        }
        started = true;
        field.append(piece);
        if (literal) {
            keep = field.size();
            return;
        }
        const size_t last = piece.find_last_not_of(kBlanks);
        if (last != std::string_view::npos)
            keep = field.size() - piece.size() + last + 1;
    };
    auto finish = [&]() {
        field.resize(keep);
        line.fields.push_back(std::move(field));
        field.clear();
        keep = 0;
        started = false;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') {
            return ERROR_GENERAL_SYNTAX;
        }
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                append("\"", true);
                ++i;
            } else {
                quoted = !quoted;
                started = true;
                keep = field.size();
            }
        } else if (c == '%' && strings != nullptr) {
            size_t close = text.find('%', i + 1);
            std::string name = close == std::string::npos ? "" : text.substr(i + 1, close - i - 1);
            if (close == std::string::npos || name.find_first_of("\",=") != std::string::npos) {
                append("%", quoted);
            } else if (name.empty()) {
                append("%", true);
                i = close;
            } else {
                auto it = strings->find(files::Upper(name));
                append(it != strings->end() ? it->second : "%" + name + "%", true);
                i = close;
            }
        } else if (!quoted && c == '=' && !line.hasKey && line.fields.empty()) {
            finish();
            line.hasKey = true;
            line.key = std::move(line.fields.back());
            line.fields.clear();
        } else if (!quoted && c == ',') {
            finish();
        } else {
            // A run of ordinary characters goes in at once; the characters that may end it
            // are left to the branches above.
            size_t end = i + 1;
            while (end < text.size() && !IsSpecial(text[end]))
                ++end;
            append(std::string_view(text).substr(i, end - i), quoted);
            i = end - 1;
        }
        if (total > kMaxLineChars) {
            return ERROR_GENERAL_SYNTAX;
        }
    }
    finish();
    if (line.hasKey && line.fields.empty()) {
        line.fields.emplace_back();
    }
    return 0;
}

}  // namespace

DWORD Parse(std::string_view bytes, File& out) {
    out.sections.clear();
    if (bytes.size() > kMaxFileBytes) {
        return ERROR_GENERAL_SYNTAX;
    }
    std::vector<std::string> logical;
    if (DWORD e = SplitLines(Decode(bytes), logical)) {
        return e;
    }
    std::vector<RawLine> raw;
    std::map<std::string, size_t> index;  // upper-cased section name -> position
    for (std::string& text : logical) {
        if (text.empty())
            continue;
        if (text[0] == '[') {
            const size_t close = text.find(']');
            if (close == std::string::npos) {
                return ERROR_BAD_SECTION_NAME_LINE;
            }
            std::string name = Trim(std::string_view(text).substr(1, close - 1));
            if (name.size() > kMaxSectionNameChars) {
                return ERROR_SECTION_NAME_TOO_LONG;
            }
            // A section written twice is one section, as SetupAPI merges them.
            auto [it, added] = index.emplace(files::Upper(name), out.sections.size());
            if (added) {
                out.sections.push_back(Section{name, {}});
            }
            raw.push_back(RawLine{"", it->second + 1});
            continue;
        }
        if (raw.empty()) {
            return ERROR_EXPECTED_SECTION_NAME;
        }
        raw.push_back(RawLine{std::move(text), raw.back().section});
    }
    std::vector<size_t> lineCounts(out.sections.size(), 0);
    for (const RawLine& r : raw) {
        if (!r.text.empty())
            ++lineCounts[r.section - 1];
    }
    for (size_t i = 0; i < out.sections.size(); ++i)
        out.sections[i].lines.reserve(lineCounts[i]);
    // [Strings] is read first, without substitution, since every other line may use it.
    Strings strings;
    auto stringsAt = index.find("STRINGS");
    const size_t stringsSection = stringsAt == index.end() ? 0 : stringsAt->second + 1;
    for (const RawLine& r : raw) {
        if (r.text.empty() || r.section != stringsSection)
            continue;
        Line line;
        if (DWORD e = Tokenize(r.text, nullptr, line))
            return e;
        if (line.hasKey)
            strings.emplace(files::Upper(line.key), line.fields.empty() ? "" : line.fields[0]);
        out.sections[r.section - 1].lines.push_back(std::move(line));
    }
    for (const RawLine& r : raw) {
        if (r.text.empty() || r.section == stringsSection)
            continue;
        Line line;
        if (DWORD e = Tokenize(r.text, &strings, line))
            return e;
        out.sections[r.section - 1].lines.push_back(std::move(line));
    }
    return 0;
}

const Section* FindSection(const File& file, std::string_view name) {
    for (const Section& s : file.sections) {
        if (sim::EqualNoCase(s.name, name, sim::CaseRule::kAscii))
            return &s;
    }
    return nullptr;
}

const Line* FindLine(const Section& section, std::string_view key) {
    for (const Line& l : section.lines) {
        if (l.hasKey && sim::EqualNoCase(l.key, key, sim::CaseRule::kAscii))
            return &l;
    }
    return nullptr;
}

std::string Field(const Line& line, size_t index) {
    return index < line.fields.size() ? line.fields[index] : std::string();
}

std::optional<std::string> Value(const File& file, std::string_view section, std::string_view key) {
    const Section* s = FindSection(file, section);
    const Line* l = s != nullptr ? FindLine(*s, key) : nullptr;
    if (l == nullptr)
        return std::nullopt;
    return Field(*l, 0);
}

bool HasWindowsSignature(const File& file) {
    std::optional<std::string> signature = Value(file, "Version", "Signature");
    return signature && (sim::EqualNoCase(*signature, "$Windows NT$", sim::CaseRule::kAscii) ||
                         sim::EqualNoCase(*signature, "$Chicago$", sim::CaseRule::kAscii));
}

std::optional<DriverVersion> ParseDriverVer(const std::string& date, const std::string& version) {
    DriverVersion v;
    char tail = 0;
    if (std::sscanf(date.c_str(), "%u/%u/%u%c", &v.month, &v.day, &v.year, &tail) != 3 ||
        v.month < 1 || v.month > 12 || v.day < 1 || v.day > 31 || v.year < 1980 || v.year > 9999) {
        return std::nullopt;
    }
    if (version.empty()) {
        return v;
    }
    unsigned parts[4] = {0, 0, 0, 0};
    int n = 0;
    const int read = std::sscanf(version.c_str(), "%u.%u.%u.%u%n", &parts[0], &parts[1], &parts[2],
                                 &parts[3], &n);
    if (read < 1) {
        return std::nullopt;
    }
    for (unsigned& part : parts) {
        if (part > 65535)
            return std::nullopt;
    }
    for (int i = 0; i < 4; ++i)
        v.parts[i] = static_cast<uint16_t>(parts[i]);
    v.hasVersion = true;
    return v;
}

std::optional<DriverVersion> DriverVerOf(const File& file) {
    const Section* version = FindSection(file, "Version");
    const Line* line = version != nullptr ? FindLine(*version, "DriverVer") : nullptr;
    if (line == nullptr)
        return std::nullopt;
    return ParseDriverVer(Field(*line, 0), Field(*line, 1));
}

int Compare(const DriverVersion& a, const DriverVersion& b) {
    const unsigned left[7] = {a.year,     a.month,    a.day,     a.parts[0],
                              a.parts[1], a.parts[2], a.parts[3]};
    const unsigned right[7] = {b.year,     b.month,    b.day,     b.parts[0],
                               b.parts[1], b.parts[2], b.parts[3]};
    for (int i = 0; i < 7; ++i) {
        if (left[i] != right[i])
            return left[i] < right[i] ? -1 : 1;
    }
    return 0;
}

std::string VersionText(const DriverVersion& v) {
    return std::to_string(v.parts[0]) + "." + std::to_string(v.parts[1]) + "." +
           std::to_string(v.parts[2]) + "." + std::to_string(v.parts[3]);
}

std::string DateText(const DriverVersion& v) {
    return std::to_string(v.month) + "-" + std::to_string(v.day) + "-" + std::to_string(v.year);
}

namespace {

// A TargetOSVersion decoration: NT[arch][.major[.minor[.productType[.suiteMask[.build]]]]].
struct Decoration {
    bool applies = false;
    unsigned major = 0, minor = 0, build = 0;
    int specificity = 0;  // how many version fields it names
};

Decoration ReadDecoration(const std::string& text, const Platform& platform) {
    Decoration d;
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        size_t dot = text.find('.', pos);
        parts.push_back(text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos));
        if (dot == std::string::npos)
            break;
        pos = dot + 1;
    }
    if (!sim::EqualNoCase(parts[0], std::string("NT") + platform.architecture,
                          sim::CaseRule::kAscii)) {
        return d;  // another architecture, or none: x64 Windows passes it over
    }
    auto number = [&](size_t i, unsigned& out) {
        if (i >= parts.size() || parts[i].empty())
            return true;
        char* end = nullptr;
        unsigned long value = std::strtoul(parts[i].c_str(), &end, 0);
        if (*end != '\0' || value > 0xFFFFFFFFul)
            return false;
        out = static_cast<unsigned>(value);
        d.specificity = static_cast<int>(i);
        return true;
    };
    unsigned productType = 0, suite = 0;
    if (!number(1, d.major) || !number(2, d.minor) || !number(3, productType) ||
        !number(4, suite) || !number(5, d.build) || parts.size() > 6) {
        return d;
    }
    const bool versionFits =
        d.major < platform.major ||
        (d.major == platform.major &&
         (d.minor < platform.minor || (d.minor == platform.minor && d.build <= platform.build)));
    d.applies = versionFits && (productType == 0 || productType == platform.productType);
    return d;
}

bool MoreSpecific(const Decoration& a, const Decoration& b) {
    if (a.major != b.major)
        return a.major > b.major;
    if (a.minor != b.minor)
        return a.minor > b.minor;
    if (a.build != b.build)
        return a.build > b.build;
    return a.specificity > b.specificity;
}

}  // namespace

std::string ModelsSectionFor(const Line& manufacturerLine, const Platform& platform) {
    const std::string base = Field(manufacturerLine, 0);
    std::string best;
    Decoration bestDecoration;
    for (size_t i = 1; i < manufacturerLine.fields.size(); ++i) {
        const std::string& text = manufacturerLine.fields[i];
        Decoration d = ReadDecoration(text, platform);
        if (d.applies && (best.empty() || MoreSpecific(d, bestDecoration))) {
            best = base + "." + text;
            bestDecoration = d;
        }
    }
    return base.empty() ? std::string() : best;
}

std::string InstallSectionFor(const File& file, const std::string& ddInstall) {
    const std::string candidates[] = {ddInstall + ".NT" + Platform().architecture,
                                      ddInstall + ".NT", ddInstall};
    for (const std::string& name : candidates) {
        if (const Section* s = FindSection(file, name))
            return s->name;
    }
    return "";
}

std::vector<Model> Models(const File& file, const Platform& platform) {
    std::vector<Model> models;
    const Section* manufacturers = FindSection(file, "Manufacturer");
    if (manufacturers == nullptr)
        return models;
    for (const Line& m : manufacturers->lines) {
        const Section* section = FindSection(file, ModelsSectionFor(m, platform));
        if (section == nullptr)
            continue;
        for (const Line& line : section->lines) {
            if (!line.hasKey || line.fields.size() < 2 || line.fields[0].empty())
                continue;
            Model model{line.key, line.fields[0], {}};
            for (size_t i = 1; i < line.fields.size(); ++i) {
                if (!line.fields[i].empty())
                    model.ids.push_back(line.fields[i]);
            }
            if (!model.ids.empty())
                models.push_back(std::move(model));
        }
    }
    return models;
}

}  // namespace sim::inf
