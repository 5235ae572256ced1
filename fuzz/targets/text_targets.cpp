// Fuzz targets over the simulated platform's readers of text: FormatMessageA's inserts, .reg
// files and INF files.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/targets/fuzz_targets.h"
#include "inf_reader.h"
#include "platform/win32.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace fuzz {
namespace {

// Every insert is a pointer to a short string, so any format a text asks for reads memory
// that exists: %s and %S read the text, %d and %x print the pointer's bits.
// Even-length and doubly terminated, it also reads as a terminated UTF-16 text for !S!.
alignas(2) const char kInsertText[] = "insert\0\0";
const DWORD_PTR* InsertArguments() {
    static DWORD_PTR args[100];
    for (DWORD_PTR& arg : args) {
        arg = reinterpret_cast<DWORD_PTR>(kInsertText);
    }
    return args;
}

}  // namespace

int FormatInserts(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    // A width or precision taken from an argument would be a pointer's value: gigabytes of
    // padding that Windows would produce as well. The engine's parsing is what is under test.
    if (text.find('*') != std::string::npos) {
        return 0;
    }
    const DWORD maxWidth = data[0] & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | maxWidth |
                        ((data[1] & 1) != 0 ? FORMAT_MESSAGE_IGNORE_INSERTS : 0);
    auto* args = reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(InsertArguments()));
    // A caller's buffer of the size the second byte gives, guarded on both sides.
    const DWORD bufferSize = data[1] >> 1;
    std::vector<char> guarded(bufferSize + 2, '#');
    const DWORD n = FormatMessageA(flags, text.c_str(), 0, 0, guarded.data() + 1, bufferSize, args);
    if (guarded.front() != '#' || guarded.back() != '#' || (n != 0 && n >= bufferSize)) {
        std::abort();
    }
    if (n != 0 && guarded[1 + n] != '\0') {
        std::abort();
    }
    LPSTR allocated = nullptr;
    const DWORD m = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, text.c_str(), 0, 0,
                                   reinterpret_cast<LPSTR>(&allocated), 0, args);
    if (m != 0 && (allocated == nullptr || std::string_view(allocated).size() != m)) {
        std::abort();
    }
    if (n != 0 && (m != n || std::string_view(allocated, m) != std::string_view(&guarded[1], n))) {
        std::abort();  // the same text formats the same into both kinds of buffer
    }
    LocalFree(allocated);
    return 0;
}

int RegFile(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    sim::RegKey scratch;
    scratch.name = "HKEY_LOCAL_MACHINE";
    auto resolver = [&scratch](const std::string& root) {
        return root == "HKEY_LOCAL_MACHINE" ? &scratch : nullptr;
    };
    sim::RegFileResult first = sim::ImportRegFile(bytes, resolver);
    if (!first.ok) {
        return 0;
    }
    // What the machine exports it must read back as the same tree.
    const std::string exported = sim::ExportRegFile(scratch, "HKEY_LOCAL_MACHINE");
    sim::RegKey again;
    again.name = "HKEY_LOCAL_MACHINE";
    sim::RegFileResult second = sim::ImportRegFile(exported, [&again](const std::string& root) {
        return root == "HKEY_LOCAL_MACHINE" ? &again : nullptr;
    });
    if (!second.ok || sim::ExportRegFile(again, "HKEY_LOCAL_MACHINE") != exported) {
        std::abort();
    }
    return 0;
}

int InfFile(const uint8_t* data, size_t size) {
    sim::inf::File file;
    const DWORD error =
        sim::inf::Parse(std::string_view(reinterpret_cast<const char*>(data), size), file);
    if (error != 0) {
        return 0;
    }
    for (const sim::inf::Section& section : file.sections) {
        if (section.name.size() > sim::inf::kMaxSectionNameChars) {
            std::abort();
        }
        for (const sim::inf::Line& line : section.lines) {
            size_t chars = line.key.size();
            for (const std::string& field : line.fields) {
                chars += field.size();
            }
            if (chars > sim::inf::kMaxLineChars) {
                std::abort();
            }
        }
    }
    // What the device installer asks of a package must hold for any file that parses.
    sim::inf::HasWindowsSignature(file);
    if (auto version = sim::inf::DriverVerOf(file)) {
        sim::inf::VersionText(*version);
        sim::inf::DateText(*version);
    }
    for (const sim::inf::Model& model : sim::inf::Models(file)) {
        sim::inf::InstallSectionFor(file, model.installSection);
    }
    return 0;
}

}  // namespace fuzz
