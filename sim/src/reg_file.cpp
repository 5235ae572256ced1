#include "reg_file.h"
#include "text.h"

#include <cstdio>
#include <cstring>

namespace sim {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
// Limits of the registry itself, and one of our own for the size of a file we accept.
constexpr size_t kMaxFileBytes = size_t{1} << 30;
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr size_t kMaxKeyDepth = 512;

struct RootName {
    const char* full;
    const char* shortName;
};
constexpr RootName kRoots[] = {{"HKEY_LOCAL_MACHINE", "HKLM"},
                               {"HKEY_CURRENT_USER", "HKCU"},
                               {"HKEY_CLASSES_ROOT", "HKCR"},
                               {"HKEY_USERS", "HKU"},
                               {"HKEY_CURRENT_CONFIG", "HKCC"}};

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > text.size()) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += len;
    }
    return true;
}

enum class Encoding { kUtf16, kUtf8, kAnsi };

// How the file is encoded, and its text without the byte-order mark.
bool DetectEncoding(std::string_view bytes, Encoding& encoding, std::string_view& body,
                    std::string& error) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0) {
            error = "UTF-16 text with an odd number of bytes";
            return false;
        }
        encoding = Encoding::kUtf16;
        body = bytes.substr(2);
        return true;
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
        static_cast<unsigned char>(bytes[1]) == 0xFF) {
        error = "big-endian UTF-16 is not a registry file encoding";
        return false;
    }
    if (bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0) {
        bytes.remove_prefix(3);
    }
    encoding = IsValidUtf8(bytes) ? Encoding::kUtf8 : Encoding::kAnsi;
    body = bytes;
    return true;
}

// Hands out the file's lines one at a time, as UTF-8 and without their line ends, so that the
// text of a large file is never held decoded in whole.
class LineReader {
  public:
    LineReader(std::string_view body, Encoding encoding) : body_(body), encoding_(encoding) {}

    // False at the end; what follows the last line end is no line of its own.
    bool Next(std::string_view& line) {
        const size_t unit = encoding_ == Encoding::kUtf16 ? 2 : 1;
        if (start_ > body_.size() || (start_ == body_.size() && start_ != 0)) {
            return false;
        }
        size_t end = start_;
        while (end < body_.size() && !(body_[end] == '\n' && (unit == 1 || body_[end + 1] == 0))) {
            end += unit;
        }
        const std::string_view piece = body_.substr(start_, end - start_);
        start_ = end + unit;
        ++number_;
        line = Decode(piece);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return true;
    }

    // The 1-based number of the line read last.
    size_t Number() const { return number_; }

  private:
    std::string_view Decode(std::string_view piece) {
        if (encoding_ == Encoding::kUtf8) {
            return piece;
        }
        if (encoding_ == Encoding::kAnsi) {
            buffer_ = Utf8FromAnsi(piece);
            return buffer_;
        }
        const size_t count = piece.size() / 2;
        buffer_.resize(count);
        size_t i = 0;
        // Registry exports are almost all ASCII: take that part byte by byte.
        for (; i < count && piece[2 * i + 1] == 0 && static_cast<signed char>(piece[2 * i]) >= 0;
             ++i) {
            buffer_[i] = piece[2 * i];
        }
        buffer_.resize(i);
        if (i < count) {
            std::u16string rest(count - i, u'\0');
            for (size_t k = 0; k < rest.size(); ++k) {
                const size_t at = 2 * (i + k);
                rest[k] = static_cast<char16_t>(static_cast<unsigned char>(piece[at]) |
                                                (static_cast<unsigned char>(piece[at + 1]) << 8));
            }
            buffer_ += Utf8FromUtf16(rest);
        }
        return buffer_;
    }

    std::string_view body_;
    Encoding encoding_;
    size_t start_ = 0;
    size_t number_ = 0;
    std::string buffer_;
};

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    return s;
}
std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads 1..8 hex digits as a 32-bit number; the whole of `s` must be digits.
bool ParseHex32(std::string_view s, DWORD& out) {
    if (s.empty() || s.size() > 8) {
        return false;
    }
    out = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0) {
            return false;
        }
        out = (out << 4) | static_cast<DWORD>(d);
    }
    return true;
}

// Receives what the parser reads, in the file's order. A sink may refuse an edit (a root it
// cannot reach), which ends the parse with its message.
class EditSink {
  public:
    virtual ~EditSink() = default;
    virtual bool Key(RegEdit::Kind kind, const char* root, std::string_view path, size_t line,
                     std::string& error) = 0;
    virtual void Value(RegEdit&& edit) = 0;  // kSetValue or kDeleteValue
    virtual void Clear() {}
    virtual void Finish() {}  // the file has been read to its end
};

// Collects the edits, so that a malformed file can be refused before anything changes.
class EditList : public EditSink {
  public:
    explicit EditList(std::vector<RegEdit>& edits) : edits_(edits) {}
    bool Key(RegEdit::Kind kind, const char* root, std::string_view path, size_t line,
             std::string&) override {
        RegEdit edit;
        edit.kind = kind;
        edit.root = root;
        edit.path = std::string(path);
        edit.line = line;
        edits_.push_back(std::move(edit));
        return true;
    }
    void Value(RegEdit&& edit) override { edits_.push_back(std::move(edit)); }
    void Clear() override { edits_.clear(); }

  private:
    std::vector<RegEdit>& edits_;
};

class Parser {
  public:
    Parser(LineReader& lines, EditSink& sink) : lines_(lines), sink_(sink) {}

    RegFileResult Run() {
        std::string_view first;
        lines_.Next(first);
        std::string_view header = TrimRight(first);
        if (header == kHeader5) {
            unicode_ = true;
        } else if (header == kHeader4) {
            unicode_ = false;
        } else {
            Error(1, "not a registry file: the first line must be \"" + std::string(kHeader5) +
                         "\" or \"" + std::string(kHeader4) + "\"");
            return std::move(result_);
        }
        for (std::string_view raw; lines_.Next(raw);) {
            const size_t number = lines_.Number();
            std::string_view line = TrimLeft(raw);
            if (line.empty() || line.front() == ';') {
                continue;
            }
            bool ok = line.front() == '[' ? KeyLine(number, line) : ValueLine(number, line);
            if (!ok) {
                return std::move(result_);
            }
        }
        sink_.Finish();
        result_.ok = true;
        return std::move(result_);
    }

  private:
    bool Error(size_t line, std::string message) {
        result_.ok = false;
        result_.line = line;
        result_.message = std::move(message);
        sink_.Clear();
        return false;
    }

    bool KeyLine(size_t number, std::string_view line) {
        line = TrimRight(line);
        if (line.size() < 2 || line.back() != ']') {
            return Error(number, "a key line must end with ']'");
        }
        std::string_view path = line.substr(1, line.size() - 2);
        RegEdit::Kind kind = RegEdit::Kind::kOpenKey;
        if (!path.empty() && path.front() == '-') {
            kind = RegEdit::Kind::kDeleteKey;
            path.remove_prefix(1);
        }
        size_t slash = path.find('\\');
        std::string_view root = path.substr(0, slash);
        const char* rootName = nullptr;
        for (const RootName& r : kRoots) {
            if (sim::EqualNoCase(root, r.full, sim::CaseRule::kLatin1) ||
                sim::EqualNoCase(root, r.shortName, sim::CaseRule::kLatin1)) {
                rootName = r.full;
            }
        }
        if (rootName == nullptr) {
            return Error(number, "unknown root key \"" + std::string(root) + "\"");
        }
        std::string_view below = slash == std::string_view::npos ? "" : path.substr(slash + 1);
        size_t depth = 0;
        for (size_t start = 0; start <= below.size(); ++depth) {
            size_t end = below.find('\\', start);
            if (end == std::string_view::npos)
                end = below.size();
            if (end - start > kMaxKeyName) {
                return Error(number, "a key name is longer than 255 characters");
            }
            start = end + 1;
        }
        if (depth > kMaxKeyDepth) {
            return Error(number, "the key is nested more than 512 levels deep");
        }
        std::string refused;
        if (!sink_.Key(kind, rootName, below, number, refused)) {
            return Error(number, refused);
        }
        haveKey_ = kind == RegEdit::Kind::kOpenKey;
        return true;
    }

    // A quoted string starting at line[pos] == '"'; leaves pos after the closing quote.
    bool QuotedString(size_t number, std::string_view line, size_t& pos, std::string& out) {
        ++pos;
        while (pos < line.size()) {
            char c = line[pos++];
            if (c == '"') {
                return true;
            }
            if (c == '\\' && pos < line.size()) {
                char e = line[pos++];
                if (e == '\\' || e == '"') {
                    out += e;
                } else if (unicode_ && e == 'n') {
                    out += '\n';
                } else if (unicode_ && e == 'r') {
                    out += '\r';
                } else if (unicode_ && e == '0') {
                    out += '\0';
                } else {
                    return Error(number, std::string("unknown escape \\") + e + " in a string");
                }
                continue;
            }
            out += c;
        }
        return Error(number, "a string has no closing quote");
    }

    bool ValueLine(size_t number, std::string_view line) {
        RegEdit edit;
        edit.line = number;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            if (!QuotedString(number, line, pos, edit.name)) {
                return false;
            }
            if (Utf16FromUtf8(edit.name, Utf8Rule::kKeepSurrogates).size() > kMaxValueName) {
                return Error(number, "a value name is longer than 16383 characters");
            }
        } else {
            return Error(number, "expected a key in brackets, a value or a comment");
        }
        if (!haveKey_) {
            return Error(number, "a value outside a key");
        }
        std::string_view rest = TrimLeft(line.substr(pos));
        if (rest.empty() || rest.front() != '=') {
            return Error(number, "expected '=' after the value name");
        }
        rest = TrimRight(TrimLeft(rest.substr(1)));
        if (!ValueData(number, rest, edit)) {
            return false;
        }
        sink_.Value(std::move(edit));
        return true;
    }

    bool ValueData(size_t number, std::string_view data, RegEdit& edit) {
        if (data == "-") {
            edit.kind = RegEdit::Kind::kDeleteValue;
            return true;
        }
        edit.kind = RegEdit::Kind::kSetValue;
        if (!data.empty() && data.front() == '"') {
            size_t pos = 0;
            std::string text;
            if (!QuotedString(number, data, pos, text)) {
                return false;
            }
            if (!TrimLeft(data.substr(pos)).empty()) {
                return Error(number, "unexpected text after the closing quote");
            }
            edit.type = REG_SZ;
            edit.data = StringData(text);
            return true;
        }
        if (data.compare(0, 6, "dword:") == 0) {
            DWORD number32 = 0;
            if (!ParseHex32(data.substr(6), number32)) {
                return Error(number, "dword: needs 1 to 8 hexadecimal digits");
            }
            edit.type = REG_DWORD;
            for (int i = 0; i < 4; ++i) {
                edit.data.push_back(static_cast<uint8_t>(number32 >> (8 * i)));
            }
            return true;
        }
        size_t colon = data.find(':');
        std::string_view kind = data.substr(0, colon);
        if (colon == std::string_view::npos) {
            return Error(number, "unknown value data (expected \"text\", dword:, hex: or -)");
        }
        if (kind == "hex") {
            edit.type = REG_BINARY;
        } else if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
            if (!ParseHex32(kind.substr(4, kind.size() - 5), edit.type)) {
                return Error(number, "hex(type) needs a type of 1 to 8 hexadecimal digits");
            }
        } else {
            return Error(number, "unknown data type \"" + std::string(kind) + ":\"");
        }
        if (!HexBytes(number, data.substr(colon + 1), edit.data)) {
            return false;
        }
        if (!unicode_ &&
            (edit.type == REG_SZ || edit.type == REG_EXPAND_SZ || edit.type == REG_MULTI_SZ)) {
            // REGEDIT4 wrote string types as ANSI bytes; the registry holds them as UTF-16.
            std::u16string wide = Utf16FromAnsi(std::string_view(
                reinterpret_cast<const char*>(edit.data.data()), edit.data.size()));
            edit.data = StringData(Utf8FromUtf16(wide));
            edit.data.resize(edit.data.size() - 2);
        }
        return true;
    }

    // Comma-separated bytes; a line ending in '\' continues on the next one.
    bool HexBytes(size_t number, std::string_view text, std::vector<uint8_t>& out) {
        while (true) {
            text = TrimRight(TrimLeft(text));
            bool more = !text.empty() && text.back() == '\\';
            if (more) {
                text.remove_suffix(1);
            }
            size_t pos = 0;
            while (pos < text.size()) {
                while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
                    ++pos;
                unsigned byte = 0;  // a run of many digits is refused below, never overflows
                size_t digits = 0;
                for (int d; pos < text.size() && (d = HexDigit(text[pos])) >= 0; ++pos, ++digits) {
                    byte = (byte << 4) | d;
                }
                if (digits == 0 || digits > 2) {
                    return Error(number, "bad hexadecimal byte in value data");
                }
                out.push_back(static_cast<uint8_t>(byte));
                while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
                    ++pos;
                if (pos < text.size()) {
                    if (text[pos] != ',') {
                        return Error(number, "expected ',' between bytes of value data");
                    }
                    ++pos;
                }
            }
            if (!more) {
                return true;
            }
            // The next line replaces the text read so far, which is no longer needed.
            if (!lines_.Next(text)) {
                return Error(number, "the file ends inside a continued value");
            }
            number = lines_.Number();
        }
    }

    LineReader& lines_;
    EditSink& sink_;
    bool unicode_ = true;
    bool haveKey_ = false;
    RegFileResult result_;
};

// Builds the edits straight into a tree, with no list in between: loading a machine's registry
// reads one export of it, keys in depth-first order, so each key is found from the one before.
class TreeBuilder : public EditSink {
  public:
    TreeBuilder(const char* rootName, RegKey& root,
                const std::function<void(std::string_view)>& keyRead)
        : rootName_(rootName), root_(root), keyRead_(keyRead) {}

    bool Key(RegEdit::Kind kind, const char* root, std::string_view path, size_t,
             std::string& error) override {
        if (std::strcmp(root, rootName_) != 0) {
            error = std::string(root) + " is not available here";
            return false;
        }
        if (keyRead_) {
            keyRead_(path);
        }
        StoreValues();
        if (kind == RegEdit::Kind::kDeleteKey) {
            DeleteKeyTree(root_, path);
            open_.clear();  // the keys held open may be gone with it
            current_ = nullptr;
            return true;
        }
        current_ = &OpenPath(path);
        return true;
    }

    void Value(RegEdit&& edit) override {
        if (current_ == nullptr) {
            return;
        }
        if (edit.kind == RegEdit::Kind::kSetValue) {
            values_.push_back(RegValue{std::move(edit.name), edit.type, std::move(edit.data)});
        } else {
            StoreValues();
            RemoveValue(*current_, edit.name);
        }
    }

    void Finish() override { StoreValues(); }

  private:
    // A key's values are gathered first and stored in one step, so its list is sized once.
    void StoreValues() {
        if (current_ == nullptr || values_.empty()) {
            return;
        }
        current_->values.reserve(current_->values.size() + values_.size());
        for (RegValue& value : values_) {
            SetValue(*current_, value.name, value.type, std::move(value.data));
        }
        values_.clear();
    }

    // Reuses the leading components the path shares with the previous key's path.
    RegKey& OpenPath(std::string_view path) {
        size_t depth = 0;
        RegKey* key = &root_;
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string_view::npos) {
                end = path.size();
            }
            const std::string_view part = path.substr(start, end - start);
            start = end + 1;
            if (part.empty()) {
                continue;
            }
            if (depth < open_.size() &&
                sim::EqualNoCase(open_[depth].first, part, sim::CaseRule::kLatin1)) {
                key = open_[depth].second;
            } else {
                open_.resize(depth);
                key = &AddSubkey(*key, part);
                open_.emplace_back(key->name, key);
            }
            ++depth;
        }
        open_.resize(depth);
        return *key;
    }

    const char* rootName_;
    RegKey& root_;
    const std::function<void(std::string_view)>& keyRead_;
    RegKey* current_ = nullptr;
    std::vector<RegValue> values_;                            // of current_, not yet stored
    std::vector<std::pair<std::string_view, RegKey*>> open_;  // the path of the last key
};

RegFileResult ParseInto(std::string_view bytes, EditSink& sink) {
    RegFileResult result;
    if (bytes.size() > kMaxFileBytes) {
        result.message = "the file is larger than 1 GiB";
        return result;
    }
    Encoding encoding = Encoding::kUtf8;
    std::string_view body;
    if (!DetectEncoding(bytes, encoding, body, result.message)) {
        return result;
    }
    LineReader lines(body, encoding);
    Parser parser(lines, sink);
    return parser.Run();
}

void AppendAscii(std::u16string& out, std::string_view text) {
    for (char c : text) {
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
}

void AppendQuoted(std::u16string& out, std::u16string_view text) {
    out += u'"';
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\0') {
            out += u"\\0";
        } else {
            out += c;
        }
    }
    out += u'"';
}

// REG_SZ data that reads back to the same bytes from the "text" form: one terminator, at
// the end, and no line break inside.
bool PlainString(const RegValue& value, std::u16string& text) {
    if (value.data.size() < 2 || value.data.size() % 2 != 0) {
        return false;
    }
    text = Utf16FromBytes(value.data);
    if (text.back() != u'\0') {
        return false;
    }
    text.pop_back();
    return text.find_first_of(u"\0\r\n", 0, 3) == std::u16string::npos;
}

void AppendValue(std::u16string& out, const RegValue& value) {
    const size_t lineStart = out.size();
    if (value.name.empty()) {
        out += u'@';
    } else {
        AppendQuoted(out, Utf16FromUtf8(value.name, Utf8Rule::kKeepSurrogates));
    }
    out += u'=';
    std::u16string text;
    if (value.type == REG_SZ && PlainString(value, text)) {
        AppendQuoted(out, text);
        out += u"\r\n";
        return;
    }
    char head[32];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD n = static_cast<DWORD>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                     (static_cast<DWORD>(value.data[3]) << 24));
        std::snprintf(head, sizeof head, "dword:%08x\r\n", static_cast<unsigned>(n));
        AppendAscii(out, head);
        return;
    }
    if (value.type == REG_BINARY) {
        std::snprintf(head, sizeof head, "hex:");
    } else {
        std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(value.type));
    }
    AppendAscii(out, head);
    // regedit wraps after the comma that brings a line to column 77 or beyond, and indents
    // each continuation by two spaces.
    static const char16_t kDigits[] = u"0123456789abcdef";
    size_t column = out.size() - lineStart;
    const size_t count = value.data.size();
    for (size_t i = 0; i < count; ++i) {
        const char16_t hex[3] = {kDigits[value.data[i] >> 4], kDigits[value.data[i] & 0xF], u','};
        if (i + 1 == count) {
            out.append(hex, 2);
            break;
        }
        out.append(hex, 3);
        column += 3;
        if (column >= 77) {
            out.append(u"\\\r\n  ", 5);
            column = 2;
        }
    }
    out.append(u"\r\n", 2);
}

// About the length of the export in characters, so the text is built without regrowing.
size_t EstimateExport(const RegKey& top, size_t nameLength) {
    size_t total = 64;
    std::vector<std::pair<const RegKey*, size_t>> stack{{&top, nameLength}};
    while (!stack.empty()) {
        auto [key, length] = stack.back();
        stack.pop_back();
        total += length + 6;
        for (const RegValue& value : key->values) {
            total += value.name.size() + 20 + value.data.size() * 3 + value.data.size() / 8;
        }
        for (const auto& child : key->subkeys) {
            stack.push_back({child.get(), length + 1 + child->name.size()});
        }
    }
    return total;
}

}  // namespace

RegFileResult ParseRegFile(std::string_view bytes) {
    std::vector<RegEdit> edits;
    EditList list(edits);
    RegFileResult result = ParseInto(bytes, list);
    result.edits = std::move(edits);
    return result;
}

RegFileResult LoadRegFileInto(std::string_view bytes, const char* rootName, RegKey& root,
                              const std::function<void(std::string_view path)>& keyRead) {
    TreeBuilder builder(rootName, root, keyRead);
    return ParseInto(bytes, builder);
}

RegKey* MachineRoot(const std::string& root) {
    if (root == "HKEY_LOCAL_MACHINE") {
        return &Hklm();
    }
    if (root == "HKEY_CURRENT_USER") {
        return &Hkcu();
    }
    if (root == "HKEY_CLASSES_ROOT") {
        return &CreateKey(Hklm(), "Software\\Classes");
    }
    return nullptr;
}

RegFileResult ApplyRegEdits(const std::vector<RegEdit>& edits, const RegRootResolver& roots) {
    RegFileResult result;
    for (const RegEdit& edit : edits) {
        if (!edit.root.empty() && roots(edit.root) == nullptr) {
            result.line = edit.line;
            result.message = edit.root + " is not available here";
            return result;
        }
    }
    RegKey* current = nullptr;
    for (const RegEdit& edit : edits) {
        switch (edit.kind) {
            case RegEdit::Kind::kOpenKey:
                current = &CreateKey(*roots(edit.root), edit.path);
                break;
            case RegEdit::Kind::kDeleteKey:
                DeleteKeyTree(*roots(edit.root), edit.path);
                current = nullptr;
                break;
            case RegEdit::Kind::kSetValue:
            case RegEdit::Kind::kDeleteValue:
                if (current == nullptr) {
                    break;  // the reader puts every value after the key it belongs to
                }
                if (edit.kind == RegEdit::Kind::kSetValue) {
                    SetValue(*current, edit.name, edit.type, edit.data);
                } else {
                    RemoveValue(*current, edit.name);
                }
                break;
        }
    }
    result.ok = true;
    return result;
}

RegFileResult ImportRegFile(std::string_view bytes, const RegRootResolver& roots) {
    RegFileResult parsed = ParseRegFile(bytes);
    if (!parsed.ok) {
        return parsed;
    }
    return ApplyRegEdits(parsed.edits, roots);
}

std::string ExportRegFile(const RegKey& key, std::string_view fullName) {
    return ExportRegTrees({{&key, std::string(fullName)}});
}

std::string ExportRegTrees(const std::vector<ExportTop>& tops, size_t depthLimit) {
    std::u16string out;
    size_t estimate = 0;
    for (const ExportTop& top : tops) {
        estimate += EstimateExport(*top.key, top.fullName.size());
    }
    out.reserve(estimate);
    out += u'\xFEFF';
    AppendAscii(out, kHeader5);
    out += u"\r\n\r\n";
    // Depth first, subkeys in their (sorted) order, as regedit walks the tree.
    struct Pending {
        const RegKey* key;
        std::u16string name;
        size_t depth;
    };
    std::vector<Pending> stack;
    for (auto top = tops.rbegin(); top != tops.rend(); ++top) {
        stack.push_back({top->key, Utf16FromUtf8(top->fullName, Utf8Rule::kKeepSurrogates), 0});
    }
    while (!stack.empty()) {
        Pending item = std::move(stack.back());
        stack.pop_back();
        out += u'[';
        out += item.name;
        out += u"]\r\n";
        for (const RegValue& value : item.key->values) {
            AppendValue(out, value);
        }
        out += u"\r\n";
        if (item.depth == depthLimit) {
            continue;
        }
        for (auto it = item.key->subkeys.rbegin(); it != item.key->subkeys.rend(); ++it) {
            stack.push_back(
                {it->get(),
                 item.name + u'\\' + Utf16FromUtf8((*it)->name, Utf8Rule::kKeepSurrogates),
                 item.depth + 1});
        }
    }
    std::string bytes(out.size() * 2, '\0');
    const char16_t probe = 1;
    if (*reinterpret_cast<const unsigned char*>(&probe) == 1) {
        std::memcpy(&bytes[0], out.data(), bytes.size());  // the host is little-endian too
    } else {
        for (size_t i = 0; i < out.size(); ++i) {
            bytes[2 * i] = static_cast<char>(out[i] & 0xFF);
            bytes[2 * i + 1] = static_cast<char>(out[i] >> 8);
        }
    }
    return bytes;
}

}  // namespace sim
