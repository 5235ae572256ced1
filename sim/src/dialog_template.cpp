// The extended dialog template reader. Every field is read through a bounds-checked cursor, so
// a truncated or corrupt template is refused instead of read past its end.
#include "dialog_template.h"

#include <cstring>

#include "text.h"

namespace sim {
namespace {

constexpr DWORD kDialogSetFont = 0x40L;    // DS_SETFONT
constexpr DWORD kDialogShellFont = 0x48L;  // DS_SHELLFONT: DS_SETFONT | DS_FIXEDSYS

class Cursor {
  public:
    Cursor(const BYTE* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    size_t offset() const { return at_; }

    template <class T>
    T Read() {
        T value{};
        if (!Need(sizeof(T))) {
            return value;
        }
        std::memcpy(&value, data_ + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }

    // UTF-16 text up to its terminator, turned into UTF-8.
    std::string ReadText() {
        std::string text;
        for (;;) {
            const WORD unit = Read<WORD>();
            if (!ok_ || unit == 0) {
                return text;
            }
            AppendUtf8(text, unit);  // each unit alone, a surrogate too
        }
    }

    TemplateName ReadName() {
        TemplateName name;
        if (!Need(sizeof(WORD))) {
            return name;
        }
        WORD first = 0;
        std::memcpy(&first, data_ + at_, sizeof first);
        if (first == 0xFFFF) {
            at_ += sizeof first;
            name.isOrdinal = true;
            name.ordinal = Read<WORD>();
        } else {
            name.text = ReadText();
        }
        return name;
    }

    void AlignTo(size_t boundary) {
        const size_t padded = (at_ + boundary - 1) / boundary * boundary;
        // The last item may end the resource without its padding.
        at_ = padded <= size_ ? padded : size_;
    }

    std::vector<BYTE> ReadBytes(size_t count) {
        std::vector<BYTE> bytes;
        if (Need(count)) {
            bytes.assign(data_ + at_, data_ + at_ + count);
            at_ += count;
        }
        return bytes;
    }

  private:
    bool Need(size_t count) {
        if (!ok_ || size_ - at_ < count) {
            ok_ = false;
            return false;
        }
        return true;
    }

    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

void ReadRectangle(Cursor& in, short* x, short* y, short* cx, short* cy) {
    *x = in.Read<short>();
    *y = in.Read<short>();
    *cx = in.Read<short>();
    *cy = in.Read<short>();
}

DialogItemTemplate ReadItem(Cursor& in) {
    DialogItemTemplate item;
    in.AlignTo(4);
    item.helpId = in.Read<DWORD>();
    item.exStyle = in.Read<DWORD>();
    item.style = in.Read<DWORD>();
    ReadRectangle(in, &item.x, &item.y, &item.cx, &item.cy);
    item.id = in.Read<DWORD>();
    item.windowClass = in.ReadName();
    item.title = in.ReadName();
    const WORD extra = in.Read<WORD>();
    if (extra != 0) {
        in.AlignTo(2);
        item.creationData = in.ReadBytes(extra);
    }
    return item;
}

}  // namespace

bool ParseDialogTemplate(const BYTE* data, size_t size, DialogTemplate* out) {
    Cursor in(data, size);
    DialogTemplate dialog;
    dialog.version = in.Read<WORD>();
    dialog.signature = in.Read<WORD>();
    if (!in.ok() || dialog.version != 1 || dialog.signature != 0xFFFF) {
        return false;
    }
    dialog.helpId = in.Read<DWORD>();
    dialog.exStyle = in.Read<DWORD>();
    dialog.style = in.Read<DWORD>();
    const WORD count = in.Read<WORD>();
    ReadRectangle(in, &dialog.x, &dialog.y, &dialog.cx, &dialog.cy);
    dialog.menu = in.ReadName();
    dialog.windowClass = in.ReadName();
    dialog.title = in.ReadText();
    if ((dialog.style & kDialogSetFont) != 0 ||
        (dialog.style & kDialogShellFont) == kDialogShellFont) {
        dialog.hasFont = true;
        dialog.pointSize = in.Read<WORD>();
        dialog.weight = in.Read<WORD>();
        dialog.italic = in.Read<BYTE>();
        dialog.charSet = in.Read<BYTE>();
        dialog.typeface = in.ReadText();
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        dialog.items.push_back(ReadItem(in));
    }
    if (!in.ok()) {
        return false;
    }
    *out = std::move(dialog);
    return true;
}

}  // namespace sim
