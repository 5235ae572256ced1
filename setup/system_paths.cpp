#include "setup/system_paths.h"

#include "platform/win32.h"

bool FitsMaxPath(std::string_view text) {
    return text.size() < MAX_PATH;
}

bool FileExists(const char* path, Existence accept) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (accept == Existence::FileOrFolder || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
}

bool ComposePath(std::string& out, std::initializer_list<std::string_view> parts) {
    out.clear();
    std::size_t length = 0;
    for (std::string_view part : parts) {
        length += part.size();
    }
    if (length >= MAX_PATH) {
        return false;
    }
    out.reserve(length);
    for (std::string_view part : parts) {
        out.append(part.data(), part.size());
    }
    return true;
}

bool WindowsFolder(std::string& out) {
    out.clear();
    char folder[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0) {
        return false;
    }
    // A result of MAX_PATH or more is the size the folder would need: it was not copied.
    if (length >= MAX_PATH) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return false;
    }
    out.assign(folder, length);
    return true;
}

std::string_view FileNamePart(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
