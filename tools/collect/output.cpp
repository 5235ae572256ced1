#include "output.h"

#include <algorithm>

namespace collect {
namespace {

constexpr size_t kBufferBytes = 64 * 1024;

std::string Narrow(const std::wstring& text, UINT codePage) {
    if (text.empty()) {
        return "";
    }
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return "?";
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

bool IsDiskFull(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

}  // namespace

std::string Utf8(const std::wstring& text) {
    return Narrow(text, CP_UTF8);
}

std::string ForConsole(const std::wstring& text) {
    return Narrow(text, GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : CP_ACP);
}

std::string ErrorText(DWORD error) {
    std::string text = "error " + std::to_string(error);
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    if (length != 0 && message != nullptr) {
        std::string said(message, length);
        while (!said.empty() &&
               (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) {
            said.pop_back();
        }
        text += ": " + said;
    }
    LocalFree(message);
    return text;
}

void ThrowWriteError(const std::wstring& path, DWORD error) {
    if (IsDiskFull(error)) {
        throw CollectError("the disk is full: " + ForConsole(path) +
                               " could not be written; free some space or name a folder on "
                               "another disk",
                           kExitDiskFull);
    }
    if (error == ERROR_ACCESS_DENIED) {
        throw CollectError(ForConsole(path) +
                               " cannot be written (access denied); name a folder "
                               "you may write to",
                           kExitNoRights);
    }
    throw CollectError(ForConsole(path) + " cannot be written (" + ErrorText(error) + ")",
                       kExitFailed);
}

void MakeFolders(Output& out, const std::wstring& relative) {
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = relative.size();
        }
        const std::wstring path = out.root + L"\\" + relative.substr(0, end);
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            out.made.push_back(path);
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ThrowWriteError(path, GetLastError());
        }
        start = end + 1;
    }
}

FileWriter::FileWriter(Output& out, const std::wstring& relative)
    : out_(out), path_(out.root + L"\\" + relative) {
    file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        ThrowWriteError(path_, GetLastError());
    }
    out_.made.push_back(path_);
    buffer_.resize(kBufferBytes);
}

FileWriter::~FileWriter() {
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
    }
}

void FileWriter::Write(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const size_t part = size < buffer_.size() - used_ ? size : buffer_.size() - used_;
        std::copy(bytes, bytes + part, buffer_.data() + used_);
        used_ += part;
        bytes += part;
        size -= part;
        if (used_ == buffer_.size()) {
            Flush();
        }
    }
}

void FileWriter::Flush() {
    size_t done = 0;
    while (done < used_) {
        DWORD written = 0;
        if (!WriteFile(file_, buffer_.data() + done, static_cast<DWORD>(used_ - done), &written,
                       nullptr)) {
            ThrowWriteError(path_, GetLastError());
        }
        if (written == 0) {
            ThrowWriteError(path_, ERROR_WRITE_FAULT);
        }
        done += written;
    }
    used_ = 0;
}

void FileWriter::Close() {
    Flush();
    // A full disk can show only when the file system commits the data.
    if (!FlushFileBuffers(file_)) {
        ThrowWriteError(path_, GetLastError());
    }
    const HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) {
        ThrowWriteError(path_, GetLastError());
    }
}

void FileWriter::Abandon() {
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    DeleteFileW(path_.c_str());
    if (!out_.made.empty() && out_.made.back() == path_) {
        out_.made.pop_back();
    }
}

void RemoveMade(const Output& out) {
    for (auto it = out.made.rbegin(); it != out.made.rend(); ++it) {
        if (!DeleteFileW(it->c_str())) {
            RemoveDirectoryW(it->c_str());
        }
    }
}

}  // namespace collect
