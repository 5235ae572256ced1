// FormatMessageA: message tables of the process's modules and of the system, inserts with
// printf-style formats, and the escapes of the message-formatting syntax.
#include "simwin/messages.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "choke.h"
#include "sim/modules.h"
#include "sim/resources.h"
#include "text.h"

namespace sim {
namespace {

constexpr DWORD kErrorNoWorkDone = 235;  // ERROR_NO_WORK_DONE: the message came out empty
constexpr WORD kUsEnglish = 0x0409;
// The simulated user, thread and system all run in English (United States).
constexpr WORD kDefaultLanguage = kUsEnglish;
constexpr WORD kMessageResourceUnicode = 0x0001;
constexpr DWORD kKnownFlags = FORMAT_MESSAGE_MAX_WIDTH_MASK | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                              FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_STRING |
                              FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                              FORMAT_MESSAGE_ARGUMENT_ARRAY;

// ---- Code page 1252 -------------------------------------------------------------------------

// UTF-16 text up to its NUL (or `count` units) in code page 1252; a surrogate pair is one '?'.
std::string WideToAnsi(const char16_t* text, size_t count) {
    std::string out;
    for (size_t i = 0; i < count && text[i] != 0; ++i) {
        bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < count &&
                    text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        out += pair ? '?' : AnsiFromCodePoint(text[i]);
        i += pair ? 1 : 0;
    }
    return out;
}

// ---- Message tables ---------------------------------------------------------------------------

DWORD ReadDword(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}
WORD ReadWord(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

// Reads message `id` out of a MESSAGE_RESOURCE_DATA image: a count of blocks, each block a
// range of ids and the offset of its entries, each entry its length (header included), its
// flags and its text. A table whose offsets leave the resource counts as not holding the id.
bool ReadMessageTable(const ResourceBytes& table, DWORD id, std::string* text) {
    if (table.size < 4) {
        return false;
    }
    DWORD blocks = ReadDword(table.data);
    if (blocks > (table.size - 4) / 12) {
        return false;
    }
    for (DWORD b = 0; b < blocks; ++b) {
        const BYTE* block = table.data + 4 + 12 * b;
        DWORD low = ReadDword(block);
        DWORD high = ReadDword(block + 4);
        size_t offset = ReadDword(block + 8);
        if (id < low || id > high) {
            continue;
        }
        for (DWORD current = low;; ++current) {
            if (offset + 4 > table.size) {
                return false;
            }
            WORD length = ReadWord(table.data + offset);
            WORD flags = ReadWord(table.data + offset + 2);
            if (length < 4 || offset + length > table.size) {
                return false;
            }
            if (current == id) {
                const BYTE* body = table.data + offset + 4;
                size_t bytes = length - 4u;
                if ((flags & kMessageResourceUnicode) != 0) {
                    std::vector<char16_t> units(bytes / 2);
                    for (size_t i = 0; i < units.size(); ++i) {
                        units[i] = ReadWord(body + 2 * i);
                    }
                    *text = WideToAnsi(units.data(), units.size());
                } else {
                    const char* chars = reinterpret_cast<const char*>(body);
                    *text = std::string(chars, strnlen(chars, bytes));
                }
                return true;
            }
            offset += length;
        }
    }
    return false;
}

// The languages tried for a request: language 0 means neutral, then the thread's, user's and
// system's language, then US English, then whatever language the table has.
std::vector<WORD> CandidateLanguages(HMODULE module, DWORD language) {
    if (language == LANG_USER_DEFAULT || language == LANG_SYSTEM_DEFAULT) {
        return {kDefaultLanguage};
    }
    if (language != 0) {
        return {static_cast<WORD>(language)};
    }
    std::vector<WORD> order = {MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), kDefaultLanguage,
                               kUsEnglish};
    for (WORD present : ModuleResourceLanguages(module, kResourceTypeMessageTable, 1)) {
        order.push_back(present);
    }
    return order;
}

DWORD FindModuleMessage(HMODULE module, DWORD id, DWORD language, std::string* text) {
    DWORD error = ERROR_RESOURCE_LANG_NOT_FOUND;
    for (WORD candidate : CandidateLanguages(module, language)) {
        ResourceBytes table;
        DWORD found = FindModuleResource(module, kResourceTypeMessageTable, 1, candidate, &table);
        if (found == ERROR_SUCCESS) {
            return ReadMessageTable(table, id, text) ? ERROR_SUCCESS : ERROR_MR_MID_NOT_FOUND;
        }
        if (found != ERROR_RESOURCE_LANG_NOT_FOUND) {
            return found;
        }
        error = found;
    }
    return error;
}

// The system's own message table, for the error codes this machine reports.
struct SystemMessage {
    DWORD id;
    const char* text;
};
const SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, "Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY,
     "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_INVALID_DATA, "The data is invalid.\r\n"},
    {ERROR_NO_MORE_FILES, "There are no more files.\r\n"},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_FILE_EXISTS, "The file exists.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found.\r\n"},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found.\r\n"},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists.\r\n"},
    {ERROR_MORE_DATA, "More data is available.\r\n"},
    {ERROR_NO_MORE_ITEMS, "No more data is available.\r\n"},
    {ERROR_MR_MID_NOT_FOUND,
     "The system cannot find message text for message number 0x%1 in the message file for "
     "%2.\r\n"},
};

DWORD FindSystemMessage(DWORD id, std::string* text) {
    for (const SystemMessage& message : kSystemMessages) {
        if (message.id == id) {
            *text = message.text;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_MR_MID_NOT_FOUND;
}

// ---- Arguments --------------------------------------------------------------------------------

// The inserts' values, by insert number. A va_list holds one pointer-sized slot per argument
// (as on Windows x64), read in order up to the highest number used so far.
class Arguments {
  public:
    Arguments(va_list* list, const DWORD_PTR* array) : list_(list), array_(array) {}
    bool present() const { return list_ != nullptr || array_ != nullptr; }
    ULONG_PTR Get(unsigned number) {
        if (array_ != nullptr) {
            return array_[number - 1];
        }
        while (fetched_.size() < number) {
            fetched_.push_back(va_arg(*list_, ULONG_PTR));
        }
        return fetched_[number - 1];
    }

  private:
    va_list* list_;
    const DWORD_PTR* array_;
    std::vector<ULONG_PTR> fetched_;
};

// ---- Inserts ----------------------------------------------------------------------------------

// One insert's "!format!": printf flags, width and precision (either may be '*', taken from
// the following insert numbers), a size prefix and the conversion.
struct InsertFormat {
    std::string flags;
    long width = -1;
    bool widthFromArgument = false;
    long precision = -1;
    bool precisionFromArgument = false;
    std::string size;  // "", "h", "hh", "l", "ll", "w", "I", "I32", "I64"
    char conversion = 's';
};

bool ReadNumber(const char*& p, const char* end, long* value) {
    *value = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        *value = *value * 10 + (*p - '0');
        if (*value > 0xFFFF) {
            return false;
        }
        ++p;
    }
    return true;
}

// Parses the text between the two '!' of an insert.
bool ParseInsertFormat(const char* p, const char* end, InsertFormat* format) {
    while (p < end && std::strchr("-+ #0", *p) != nullptr) {
        format->flags += *p++;
    }
    if (p < end && *p == '*') {
        format->widthFromArgument = true;
        ++p;
    } else if (p < end && *p >= '0' && *p <= '9' && !ReadNumber(p, end, &format->width)) {
        return false;
    }
    if (p < end && *p == '.') {
        ++p;
        if (p < end && *p == '*') {
            format->precisionFromArgument = true;
            ++p;
        } else if (!ReadNumber(p, end, &format->precision)) {
            return false;
        }
    }
    static const char* const kSizes[] = {"I64", "I32", "hh", "ll", "h", "l", "w", "I"};
    for (const char* size : kSizes) {
        size_t n = std::strlen(size);
        if (static_cast<size_t>(end - p) > n && std::strncmp(p, size, n) == 0) {
            format->size = size;
            p += n;
            break;
        }
    }
    if (end - p != 1) {
        return false;
    }
    format->conversion = *p;
    return true;
}

// snprintf into a string of the size the conversion needs.
template <class T>
std::string Printf(const std::string& spec, T value) {
    int n = std::snprintf(nullptr, 0, spec.c_str(), value);
    if (n <= 0) {
        return std::string();
    }
    std::vector<char> out(static_cast<size_t>(n) + 1);
    std::snprintf(out.data(), out.size(), spec.c_str(), value);
    return std::string(out.data(), static_cast<size_t>(n));
}

// An integer argument cut to the width its size prefix names (a plain conversion is 32 bits).
long long IntegerValue(ULONG_PTR raw, const std::string& size, bool isSigned) {
    if (size == "ll" || size == "I64" || size == "I") {
        return static_cast<long long>(raw);
    }
    if (size == "h") {
        return isSigned ? static_cast<long long>(static_cast<int16_t>(raw))
                        : static_cast<long long>(static_cast<uint16_t>(raw));
    }
    if (size == "hh") {
        return isSigned ? static_cast<long long>(static_cast<int8_t>(raw))
                        : static_cast<long long>(static_cast<uint8_t>(raw));
    }
    return isSigned ? static_cast<long long>(static_cast<int32_t>(raw))
                    : static_cast<long long>(static_cast<uint32_t>(raw));
}

// Formats insert `number` into `out`; `number` is advanced past the values that '*' used.
DWORD FormatInsert(const InsertFormat& format, unsigned number, Arguments& args, std::string* out) {
    std::string spec = "%" + format.flags;
    if (format.widthFromArgument) {
        spec += std::to_string(static_cast<int32_t>(args.Get(number++)));
    } else if (format.width >= 0) {
        spec += std::to_string(format.width);
    }
    if (format.precisionFromArgument) {
        spec += "." + std::to_string(static_cast<int32_t>(args.Get(number++)));
    } else if (format.precision >= 0) {
        spec += "." + std::to_string(format.precision);
    }
    if (number > 99) {
        return ERROR_INVALID_PARAMETER;
    }
    ULONG_PTR raw = args.Get(number);
    bool wide = format.size == "l" || format.size == "w";
    switch (format.conversion) {
        case 'S':
            wide = format.size != "h";
            [[fallthrough]];
        case 's': {
            std::string text = "(null)";
            if (raw != 0 && wide) {
                const char16_t* units = reinterpret_cast<const char16_t*>(raw);
                text = WideToAnsi(units, std::char_traits<char16_t>::length(units));
            } else if (raw != 0) {
                text = reinterpret_cast<const char*>(raw);
            }
            *out += Printf(spec + "s", text.c_str());
            return ERROR_SUCCESS;
        }
        case 'C':
            wide = format.size != "h";
            [[fallthrough]];
        case 'c': {
            char ch = wide ? AnsiFromCodePoint(static_cast<char16_t>(raw)) : static_cast<char>(raw);
            *out += Printf(spec + "c", static_cast<int>(static_cast<unsigned char>(ch)));
            return ERROR_SUCCESS;
        }
        case 'd':
        case 'i':
            *out += Printf(spec + "lld", IntegerValue(raw, format.size, true));
            return ERROR_SUCCESS;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            *out += Printf(spec + "ll" + format.conversion, IntegerValue(raw, format.size, false));
            return ERROR_SUCCESS;
        case 'p':
            // Windows writes a pointer as all its hexadecimal digits, in capitals.
            *out += Printf("%016llX", static_cast<long long>(raw));
            return ERROR_SUCCESS;
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            // FormatMessage documents floating-point conversions as unsupported.
            NotModelled("FormatMessageA", "floating-point insert");
            return ERROR_CALL_NOT_IMPLEMENTED;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

// ---- Expansion --------------------------------------------------------------------------------

// Expands the message text: inserts, escapes and line breaks. A line break of the text (CR LF,
// or a lone CR or LF) comes out as CR LF, or as one blank under FORMAT_MESSAGE_MAX_WIDTH_MASK;
// %n is a hard CR LF either way. With FORMAT_MESSAGE_IGNORE_INSERTS only %n, %r, %t and %0 are
// interpreted and every other '%' sequence is copied unchanged.
DWORD Expand(const std::string& text, DWORD flags, Arguments& args, std::string* out) {
    const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    const bool joinLines = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        char ch = *p++;
        if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && p < end && *p == '\n') {
                ++p;
            }
            *out += joinLines ? " " : "\r\n";
            continue;
        }
        if (ch != '%') {
            *out += ch;
            continue;
        }
        if (p == end) {
            return ERROR_INVALID_PARAMETER;  // a lone '%' ends the text
        }
        char escape = *p++;
        if (escape == '0') {
            return ERROR_SUCCESS;  // %0 ends the message without a line break
        }
        if (escape == 'n' || escape == 'r' || escape == 't') {
            *out += escape == 'n' ? "\r\n" : escape == 'r' ? "\r" : "\t";
            continue;
        }
        if (ignoreInserts || escape < '1' || escape > '9') {
            if (ignoreInserts) {
                *out += '%';
            }
            *out += escape;
            continue;
        }
        unsigned number = static_cast<unsigned>(escape - '0');
        if (p < end && *p >= '0' && *p <= '9') {
            number = number * 10 + static_cast<unsigned>(*p++ - '0');
        }
        InsertFormat format;
        if (p < end && *p == '!') {
            const char* close = static_cast<const char*>(std::memchr(p + 1, '!', end - p - 1));
            if (close == nullptr || !ParseInsertFormat(p + 1, close, &format)) {
                return ERROR_INVALID_PARAMETER;
            }
            p = close + 1;
        }
        if (!args.present()) {
            return ERROR_INVALID_PARAMETER;
        }
        if (DWORD error = FormatInsert(format, number, args, out)) {
            return error;
        }
    }
    return ERROR_SUCCESS;
}

// ---- Delivery ---------------------------------------------------------------------------------

// Stores the result: into the caller's buffer of `size` characters, or into a LocalAlloc
// block of at least `size` characters whose address goes to *(LPSTR*)buffer.
DWORD Deliver(const std::string& text, DWORD flags, LPSTR buffer, DWORD size) {
    if (buffer == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (text.empty()) {
        return kErrorNoWorkDone;
    }
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        SIZE_T bytes = text.size() + 1 > size ? text.size() + 1 : size;
        HLOCAL block = LocalAlloc(LMEM_FIXED, bytes);
        if (block == nullptr) {
            return GetLastError();
        }
        std::memcpy(block, text.c_str(), text.size() + 1);
        *reinterpret_cast<LPSTR*>(buffer) = static_cast<LPSTR>(block);
        return ERROR_SUCCESS;
    }
    if (text.size() + 1 > size) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return ERROR_SUCCESS;
}

std::string HexId(DWORD id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(id));
    return text;
}

// Finds the message text the flags ask for.
DWORD SourceText(DWORD flags, LPCVOID source, DWORD id, DWORD language, std::string* text) {
    if ((flags & FORMAT_MESSAGE_FROM_STRING) != 0) {
        if (source == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        *text = static_cast<const char*>(source);
        return ERROR_SUCCESS;
    }
    DWORD error = ERROR_INVALID_PARAMETER;
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0) {
        HMODULE module = static_cast<HMODULE>(const_cast<void*>(source));
        error = FindModuleMessage(module, id, language, text);
        if (error == ERROR_SUCCESS) {
            return error;
        }
    }
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
        error = FindSystemMessage(id, text);
    }
    return error;
}

}  // namespace
}  // namespace sim

extern "C" DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId,
                                       DWORD languageId, LPSTR buffer, DWORD size,
                                       va_list* arguments) {
    const bool fromString = (flags & FORMAT_MESSAGE_FROM_STRING) != 0;
    sim::ApiCall call("FormatMessageA", fromString ? std::string() : sim::HexId(messageId));
    // A failed call leaves the caller's pointer null rather than dangling.
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0 && buffer != nullptr) {
        *reinterpret_cast<LPSTR*>(buffer) = nullptr;
    }
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((flags & ~sim::kKnownFlags) != 0 || (width != 0 && width != 0xFF)) {
        sim::NotModelled("FormatMessageA", (flags & ~sim::kKnownFlags) != 0
                                               ? "flags " + sim::HexId(flags)
                                               : "line width " + std::to_string(width));
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    std::string text;
    if (DWORD error = sim::SourceText(flags, source, messageId, languageId, &text)) {
        SetLastError(error);
        return 0;
    }
    const DWORD_PTR* array = (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0
                                 ? reinterpret_cast<const DWORD_PTR*>(arguments)
                                 : nullptr;
    sim::Arguments args(array != nullptr ? nullptr : arguments, array);
    std::string formatted;
    if (DWORD error = sim::Expand(text, flags, args, &formatted)) {
        SetLastError(error);
        return 0;
    }
    if (DWORD error = sim::Deliver(formatted, flags, buffer, size)) {
        SetLastError(error);
        return 0;
    }
    return static_cast<DWORD>(formatted.size());
}
