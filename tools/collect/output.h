// The collector's output: one folder, the files written into it and what a failure removes.
// Every write error ends the collection with a message for the person running it; a full disk
// and missing rights are told apart because each asks for a different remedy.
#pragma once
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace collect {

// Exit codes of boardkit-collect.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoRights = 3;
constexpr int kExitDiskFull = 4;

// Ends the collection: what happened, for standard error, and the exit code.
struct CollectError : std::runtime_error {
    CollectError(const std::string& message, int code)
        : std::runtime_error(message), exitCode(code) {}
    int exitCode;
};

// Something of the machine that could not be read and is missing from the folder.
struct Skipped {
    std::wstring what;
    std::string why;
};

struct Output {
    std::wstring root;               // the output folder, without a trailing backslash
    std::vector<std::wstring> made;  // files and folders made, in order, for a failed run
    std::vector<Skipped> skipped;
};

// UTF-8 of a UTF-16 text; unpaired surrogates become U+FFFD.
std::string Utf8(const std::wstring& text);
// The text in the console's code page, for messages on standard error.
std::string ForConsole(const std::wstring& text);
// "error N: <system text>" for a Win32 error code.
std::string ErrorText(DWORD error);

// Throws the CollectError for a failed write of `path`: disk full, no rights, or other.
[[noreturn]] void ThrowWriteError(const std::wstring& path, DWORD error);

// Makes the folder `relative` (with its parents) below the output folder.
void MakeFolders(Output& out, const std::wstring& relative);

// One new file in the output folder, written through a bounded buffer.
class FileWriter {
  public:
    FileWriter(Output& out, const std::wstring& relative);
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    ~FileWriter();
    void Write(const void* data, size_t size);
    void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
    // Flushes and closes; the file is complete only after this returns.
    void Close();
    // Closes and deletes an incomplete file (a source that could not be read to its end).
    void Abandon();

  private:
    void Flush();
    Output& out_;
    std::wstring path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::vector<char> buffer_;
    size_t used_ = 0;
};

// Removes what this run made, newest first (a failed run leaves no folder that looks complete).
void RemoveMade(const Output& out);

}  // namespace collect
