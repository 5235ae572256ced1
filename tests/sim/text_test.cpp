// UTF-8 decoding of the machine's text: every ill-formed sequence becomes U+FFFD for each byte
// it skips, and a surrogate's three-byte form is kept only where the rule asks for it.
#include <gtest/gtest.h>

#include "text.h"

namespace {

using sim::Utf16FromUtf8;
using sim::Utf8Rule;

TEST(Utf8Decoding, ReplacesEachByteOfAnIllFormedSequence) {
    const struct {
        const char* text;
        std::u16string expected;
    } cases[] = {
        {"\x80x", u"\xFFFDx"},                                        // a stray continuation byte
        {"\xC0\xAF", u"\xFFFD\xFFFD"},                                // '/' in two bytes
        {"\xE0\x80\xAF", u"\xFFFD\xFFFD\xFFFD"},                      // '/' in three bytes
        {"\xF0\x82\x82\xAC", u"\xFFFD\xFFFD\xFFFD\xFFFD"},            // the euro sign in four bytes
        {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},            // U+110000, beyond Unicode
        {"\xF8\x88\x80\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD"},  // a five-byte form
        {"\xE2\x82x", u"\xFFFD\xFFFDx"},                              // a sequence cut short
    };
    for (const auto& c : cases) {
        for (Utf8Rule rule : {Utf8Rule::kStrict, Utf8Rule::kKeepSurrogates}) {
            EXPECT_EQ(Utf16FromUtf8(c.text, rule), c.expected)
                << c.text << " rule " << static_cast<int>(rule);
        }
    }
}

TEST(Utf8Decoding, KeepsALoneSurrogateOnlyUnderItsRule) {
    const std::string lone = "\xED\xA0\x80";  // U+D800 in three bytes
    EXPECT_EQ(Utf16FromUtf8(lone, Utf8Rule::kStrict), u"\xFFFD\xFFFD\xFFFD");
    EXPECT_EQ(Utf16FromUtf8(lone, Utf8Rule::kKeepSurrogates), u"\xD800");
    // The machine writes a lone surrogate of a UTF-16 name in that form and reads it back.
    EXPECT_EQ(sim::Utf8FromUtf16(u"\xD800"), lone);
}

}  // namespace
