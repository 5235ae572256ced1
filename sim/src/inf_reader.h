// INF files as SetupAPI reads them: sections of lines, each line an optional key and a list of
// comma-separated fields, with comments, quoted strings, line continuations and %key%
// substitution from [Strings]. Also what the driver store and the device installer need to
// know about a driver package: its signature, DriverVer, and the models it serves on x64.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simwin/base.h"

namespace sim::inf {

struct Line {
    bool hasKey = false;
    std::string key;                  // substituted and unquoted; "" when the line has none
    std::vector<std::string> fields;  // the values after '=' (or the whole line without key)
};

struct Section {
    std::string name;  // as first written; lookups ignore case
    std::vector<Line> lines;
};

struct File {
    std::vector<Section> sections;  // in first-appearance order; repeats are merged
};

// Bounds that keep a hostile file from costing unbounded time or memory.
constexpr size_t kMaxFileBytes = 8u << 20;
constexpr size_t kMaxLineChars = 4096;  // after joining continuations and substitution
constexpr size_t kMaxSectionNameChars = 255;

// Parses INF text (ANSI/UTF-8, or UTF-16LE with its byte-order mark). 0, or the SetupAPI error
// SetupOpenInfFile reports: ERROR_EXPECTED_SECTION_NAME, ERROR_BAD_SECTION_NAME_LINE,
// ERROR_SECTION_NAME_TOO_LONG, ERROR_GENERAL_SYNTAX (over-long line, NUL byte, too large).
DWORD Parse(std::string_view bytes, File& out);

const Section* FindSection(const File& file, std::string_view name);
// The first line of the section with the key (ignoring case).
const Line* FindLine(const Section& section, std::string_view key);
// A field of a line, "" when it has fewer fields.
std::string Field(const Line& line, size_t index);
// The first field of `key` in `section`, if both exist.
std::optional<std::string> Value(const File& file, std::string_view section, std::string_view key);

// Whether [Version] Signature is "$Windows NT$" or "$Chicago$": SetupAPI rejects other files
// with ERROR_WRONG_INF_STYLE.
bool HasWindowsSignature(const File& file);

// DriverVer = mm/dd/yyyy[,w.x.y.z]: ordered by date first, then by version, as Windows ranks
// drivers of the same match.
struct DriverVersion {
    unsigned month = 0, day = 0, year = 0;
    uint16_t parts[4] = {0, 0, 0, 0};
    bool hasVersion = false;
};
std::optional<DriverVersion> ParseDriverVer(const std::string& date, const std::string& version);
std::optional<DriverVersion> DriverVerOf(const File& file);
int Compare(const DriverVersion& a, const DriverVersion& b);
std::string VersionText(const DriverVersion& v);  // "w.x.y.z"
std::string DateText(const DriverVersion& v);     // "m-d-yyyy", as the driver key stores it

// The running system the decorations are matched against: Windows 10 x64 workstation.
struct Platform {
    const char* architecture = "amd64";
    unsigned major = 10, minor = 0, productType = 1, build = 19045;
};

// The name of the models section Windows uses for a [Manufacturer] line: the base section with
// the most specific applicable NTamd64 decoration. x64 Windows ignores undecorated and other
// architectures' entries, so "" when none applies.
std::string ModelsSectionFor(const Line& manufacturerLine, const Platform& platform = {});
// The install section Windows picks for a model: DDInstall.NTamd64, then DDInstall.NT, then
// DDInstall, the first that exists; "" when none does.
std::string InstallSectionFor(const File& file, const std::string& ddInstall);

// One device a package serves: a line of a models section.
struct Model {
    std::string description;
    std::string installSection;    // as written in the models line (undecorated)
    std::vector<std::string> ids;  // the hardware ID first, then the compatible IDs
};
std::vector<Model> Models(const File& file, const Platform& platform = {});

}  // namespace sim::inf
