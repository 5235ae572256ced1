// The compiled "ISA Device Configure" template as the program's image carries it, read back
// through the resource calls and checked field by field against the dialog's documented layout.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

// A little reader of the extended template's fields, kept apart from the product's code.
struct Reader {
    const unsigned char* at;
    const unsigned char* end;
    template <class T>
    T Get() {
        T value{};
        if (end - at >= static_cast<long>(sizeof(T))) {
            std::memcpy(&value, at, sizeof(T));
        }
        at += sizeof(T);
        return value;
    }
    std::string Text() {
        std::string text;
        for (uint16_t unit = Get<uint16_t>(); unit != 0 && at < end; unit = Get<uint16_t>()) {
            text.push_back(static_cast<char>(unit));
        }
        return text;
    }
    // An ordinal reads as "#<n>"; a class name is compared in upper case.
    std::string NameOrOrdinal(bool upper = false) {
        uint16_t first = 0;
        std::memcpy(&first, at, sizeof first);
        if (first == 0xFFFF) {
            at += 2;
            return "#" + std::to_string(Get<uint16_t>());
        }
        std::string name = Text();
        for (char& c : name) {
            if (!upper) {
                break;
            }
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return name;
    }
    void Align(const unsigned char* base) {
        while ((at - base) % 4 != 0) {
            ++at;
        }
    }
};

struct Item {
    uint32_t helpId, exStyle, style;
    int16_t x, y, cx, cy;
    int32_t id;
    std::string cls, text;
    uint16_t extra;
};

bool IsClass(const std::string& cls, const char* name, int ordinal) {
    return cls == name || cls == "#" + std::to_string(ordinal);
}

class DialogTemplateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(102), RT_DIALOG);
        ASSERT_NE(found, nullptr) << GetLastError();
        HGLOBAL loaded = LoadResource(nullptr, found);
        ASSERT_NE(loaded, nullptr);
        base_ = static_cast<const unsigned char*>(LockResource(loaded));
        size_ = SizeofResource(nullptr, found);
        ASSERT_NE(base_, nullptr);
        ASSERT_GT(size_, 26u);
    }
    const unsigned char* base_ = nullptr;
    DWORD size_ = 0;
};

TEST_F(DialogTemplateTest, HeaderCarriesTheDocumentedStylesTitleAndFont) {
    Reader in{base_, base_ + size_};
    EXPECT_EQ(in.Get<uint16_t>(), 1);       // dlgVer
    EXPECT_EQ(in.Get<uint16_t>(), 0xFFFF);  // signature of the extended form
    EXPECT_EQ(in.Get<uint32_t>(), 0u);      // help id
    EXPECT_EQ(in.Get<uint32_t>(), 0x00040000u);
    EXPECT_EQ(in.Get<uint32_t>(), 0x90C800C8u);
    EXPECT_EQ(in.Get<uint16_t>(), 12);
    EXPECT_EQ(in.Get<int16_t>(), 0);
    EXPECT_EQ(in.Get<int16_t>(), 0);
    EXPECT_EQ(in.Get<int16_t>(), 175);
    EXPECT_EQ(in.Get<int16_t>(), 105);
    EXPECT_EQ(in.NameOrOrdinal(), "");  // no menu
    EXPECT_EQ(in.NameOrOrdinal(), "");  // the standard dialog class
    EXPECT_EQ(in.Text(), "ISA Device Configure");
    EXPECT_EQ(in.Get<uint16_t>(), 8);  // points
    EXPECT_EQ(in.Get<uint16_t>(), 0);  // weight
    EXPECT_EQ(in.Get<uint8_t>(), 0);   // italic
    EXPECT_EQ(in.Get<uint8_t>(), 1);   // character set
    EXPECT_EQ(in.Text(), "MS Shell Dlg");
    EXPECT_LE(in.at, in.end);
}

TEST_F(DialogTemplateTest, ControlsComeInTemplateOrderWithTheirStylesAndRectangles) {
    Reader in{base_, base_ + size_};
    in.at += 26;
    in.NameOrOrdinal();
    in.NameOrOrdinal();
    in.Text();
    in.at += 6;
    in.Text();
    struct Expected {
        int32_t id;
        const char* cls;
        int ordinal;
        const char* text;
        uint32_t style;
        int16_t x, y, cx, cy;
    };
    const Expected expected[] = {
        {1, "BUTTON", 0x80, "OK", 0x50010001, 62, 74, 50, 16},
        {2, "BUTTON", 0x80, "Cancel", 0x50010000, 117, 74, 50, 16},
        {1000, "COMBOBOX", 0x85, "", 0x50210003, 7, 18, 65, 151},
        {-1, "STATIC", 0x82, "I/O Range", 0x50020000, 7, 7, 62, 8},
        {-1, "STATIC", 0x82, "IRQ", 0x50020000, 94, 7, 14, 8},
        {1002, "COMBOBOX", 0x85, "", 0x50210003, 94, 18, 65, 91},
        {-1, "STATIC", 0x82, "DMA", 0x50020000, 7, 36, 16, 8},
        {1003, "COMBOBOX", 0x85, "", 0x50210003, 7, 45, 65, 63},
        {-1, "STATIC", 0x82, "Second IRQ", 0x50020000, 94, 36, 39, 8},
        {1004, "COMBOBOX", 0x85, "", 0x50210003, 92, 45, 67, 85},
        {1020, "BUTTON", 0x80, "TEST", 0x40010000, 7, 59, 39, 14},
        {3, "BUTTON", 0x80, "Check Conflict", 0x50010001, 7, 74, 50, 16},
    };
    for (const Expected& want : expected) {
        in.Align(base_);
        Item item{};
        item.helpId = in.Get<uint32_t>();
        item.exStyle = in.Get<uint32_t>();
        item.style = in.Get<uint32_t>();
        item.x = in.Get<int16_t>();
        item.y = in.Get<int16_t>();
        item.cx = in.Get<int16_t>();
        item.cy = in.Get<int16_t>();
        item.id = in.Get<int32_t>();
        item.cls = in.NameOrOrdinal(true);
        item.text = in.NameOrOrdinal();
        item.extra = in.Get<uint16_t>();
        SCOPED_TRACE(want.text);
        EXPECT_EQ(item.id, want.id);
        EXPECT_TRUE(IsClass(item.cls, want.cls, want.ordinal)) << item.cls;
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_EQ(item.extra, 0);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
    }
    EXPECT_LE(in.at, in.end);
}

}  // namespace
