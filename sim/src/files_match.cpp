// File-name patterns as FindFirstFileA applies them, and the 8.3 names NTFS generates.
//
// FindFirstFileA hands its pattern to the file system after turning the DOS wildcards into
// the file system's own: every '?' becomes DOS_QM (one character, or none at a dot or at the
// end of the name), a '*' before a '.' becomes DOS_STAR (anything up to the name's last dot),
// and a '.' before '?' or '*' becomes DOS_DOT (a dot, or nothing at the end of the name). So
// "a.*" also finds "a", "oem?.inf" also finds "oem.inf", and "*.*" finds every name. Trailing
// dots of the pattern are dropped with the path's own (so "*." is "*" here, as under Wine).
//
// A name that is not a valid 8.3 name also has a generated short name ("oem3.infx" has
// "OEM3~1.INF"), and the pattern is tried against both: that is why "*.inf" also finds names
// whose extension only starts with "inf". Drive C: is the system volume, which keeps short
// names; host folders have none.
#include <cstring>

#include "file_system.h"

namespace sim::files {
namespace {

enum class Token { Literal, Star, DosStar, DosQm, DosDot };

struct Item {
    Token token;
    char ch;
};

char UpperChar(char ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

std::vector<Item> Compile(std::string_view pattern) {
    std::vector<Item> items;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char ch = pattern[i];
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (ch == '?') {
            items.push_back({Token::DosQm, 0});
        } else if (ch == '*') {
            items.push_back({next == '.' ? Token::DosStar : Token::Star, 0});
        } else if (ch == '.' && (next == '?' || next == '*')) {
            items.push_back({Token::DosDot, 0});
        } else {
            items.push_back({Token::Literal, UpperChar(ch)});
        }
    }
    return items;
}

class Matcher {
  public:
    Matcher(std::vector<Item> items, std::string_view name)
        : items_(std::move(items)),
          name_(name),
          lastDot_(name.rfind('.')),
          memo_((items_.size() + 1) * (name.size() + 1), -1) {}

    bool Match(size_t ti, size_t ni) {
        int8_t& seen = memo_[ti * (name_.size() + 1) + ni];
        if (seen < 0) {
            seen = Step(ti, ni) ? 1 : 0;
        }
        return seen == 1;
    }

  private:
    bool Step(size_t ti, size_t ni) {
        const size_t n = name_.size();
        if (ti == items_.size()) {
            return ni == n;
        }
        const Item& item = items_[ti];
        switch (item.token) {
            case Token::Literal:
                return ni < n && UpperChar(name_[ni]) == item.ch && Match(ti + 1, ni + 1);
            case Token::Star:
                for (size_t k = ni; k <= n; ++k) {
                    if (Match(ti + 1, k))
                        return true;
                }
                return false;
            case Token::DosStar: {
                const size_t limit =
                    lastDot_ != std::string_view::npos && lastDot_ >= ni ? lastDot_ : n;
                for (size_t k = ni; k <= limit; ++k) {
                    if (Match(ti + 1, k))
                        return true;
                }
                return false;
            }
            case Token::DosQm: {
                if (ni < n && name_[ni] != '.') {
                    return Match(ti + 1, ni + 1);
                }
                size_t tj = ti;
                while (tj < items_.size() && items_[tj].token == Token::DosQm) {
                    ++tj;
                }
                return Match(tj, ni);
            }
            case Token::DosDot:
                if (ni < n && name_[ni] == '.') {
                    return Match(ti + 1, ni + 1);
                }
                return ni == n && Match(ti + 1, ni);
        }
        return false;
    }

    std::vector<Item> items_;
    std::string_view name_;
    size_t lastDot_;
    std::vector<int8_t> memo_;
};

bool IsShortNameChar(char ch) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (u >= 128 || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
        (ch >= '0' && ch <= '9')) {
        return true;
    }
    return std::strchr("!#$%&'()-@^_`{}~", ch) != nullptr;
}

bool IsValidShortName(std::string_view name) {
    const size_t dot = name.find('.');
    if (dot != std::string_view::npos && name.find('.', dot + 1) != std::string_view::npos) {
        return false;
    }
    const std::string_view base = name.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 ||
        (dot != std::string_view::npos && ext.empty())) {
        return false;
    }
    for (char ch : name) {
        if (ch != '.' && !IsShortNameChar(ch)) {
            return false;
        }
    }
    return true;
}

// Upper-cases, drops spaces and dots, and turns characters a short name cannot hold into '_'.
std::string ShortPart(std::string_view part, size_t limit) {
    std::string out;
    for (char ch : part) {
        if (out.size() == limit) {
            break;
        }
        if (ch == ' ' || ch == '.') {
            continue;
        }
        out += IsShortNameChar(ch) ? UpperChar(ch) : '_';
    }
    return out;
}

}  // namespace

bool HasWildcards(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

bool MatchesPattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*" || pattern == "*.*") {
        return true;
    }
    Matcher matcher(Compile(pattern), name);
    return matcher.Match(0, 0);
}

std::string ShortName(std::string_view name, int number) {
    if (name == "." || name == ".." || IsValidShortName(name)) {
        return "";
    }
    const size_t dot = name.rfind('.');
    std::string base =
        ShortPart(name.substr(0, dot == std::string_view::npos ? name.size() : dot), 255);
    std::string ext = dot == std::string_view::npos ? "" : ShortPart(name.substr(dot + 1), 3);
    if (base.empty()) {
        base.swap(ext);
    }
    const std::string tail = "~" + std::to_string(number);
    const size_t keep = tail.size() < 8 ? 8 - tail.size() : 0;
    if (base.size() > keep) {
        base.resize(keep);
    }
    return base + tail + (ext.empty() ? "" : "." + ext);
}

}  // namespace sim::files
