// Reading a compiled extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items,
// as Microsoft documents the binary layout) into plain data.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "simwin/base.h"

namespace sim {

// A class or title field: an ordinal (0xFFFF followed by a WORD) or a string.
struct TemplateName {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string text;  // UTF-8
};

struct DialogItemTemplate {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    TemplateName windowClass;
    TemplateName title;
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    WORD version = 0;
    WORD signature = 0;
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName windowClass;
    std::string title;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charSet = 0;
    std::string typeface;
    std::vector<DialogItemTemplate> items;
};

// Parses `size` bytes; false when they are not a complete extended template.
bool ParseDialogTemplate(const BYTE* data, size_t size, DialogTemplate* out);

// The predefined window classes' ordinals as templates carry them.
constexpr WORD kClassButton = 0x0080;
constexpr WORD kClassStatic = 0x0082;
constexpr WORD kClassComboBox = 0x0085;

}  // namespace sim
