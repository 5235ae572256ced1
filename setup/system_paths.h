// Paths of the system folders, built with their length checked: every path the setup code
// hands to the platform fits in MAX_PATH characters with its terminator, or is not built.
#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

// True when the text and its terminator fit in MAX_PATH characters, the size of the buffers
// that paths and IDs are copied into.
bool FitsMaxPath(std::string_view text);

// What an existence test accepts besides a file.
enum class Existence { FileOrFolder, FileOnly };

// True when GetFileAttributesA finds `path`; a folder counts only with FileOrFolder.
bool FileExists(const char* path, Existence accept);

// Joins `parts` into `out`; false (and `out` empty) when the result would not fit in MAX_PATH.
bool ComposePath(std::string& out, std::initializer_list<std::string_view> parts);

// The Windows folder, asked once; false when GetWindowsDirectoryA fails (its last error is
// kept) or reports a folder that does not fit in MAX_PATH (last error ERROR_BUFFER_OVERFLOW).
bool WindowsFolder(std::string& out);

// The part of a path after its last backslash (all of it when there is none).
std::string_view FileNamePart(std::string_view path);
