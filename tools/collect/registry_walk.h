// The registry part of a collection: HKLM\SYSTEM\CurrentControlSet's Enum, Control\Class and
// Services, written by our own walk in regedit's export format (UTF-16LE with a byte-order
// mark, CR LF), so that a key we may not read is skipped and listed instead of failing all.
#pragma once
#include <cstddef>
#include <string>

#include "output.h"

namespace collect {

struct RegistryCounts {
    size_t keys = 0;
    size_t values = 0;
};

// Writes `fileName` into the output folder. Throws CollectError when a whole subtree cannot be
// opened for want of rights, or when the file cannot be written.
RegistryCounts WriteRegistry(Output& out, const std::wstring& fileName);

// One value as regedit writes it: the name (or @), '=', the data, CR LF; hex data wrapped
// after the comma that reaches column 77, continued with "\" and two spaces.
void AppendRegValue(std::wstring& text, const std::wstring& name, DWORD type, const BYTE* data,
                    size_t size);

}  // namespace collect
