// Character-set conversion: UTF-8 validation, conversion failures and their offsets.
#include "core/util/i18n.h"

#include <gtest/gtest.h>

#include <string>

TEST(I18n, Utf8ValidationFindsFirstBadByte) {
    struct Case {
        std::string text;
        bool ok;
        long offset;
    } cases[] = {
        {"plain", true, 0},
        {"caf\xc3\xa9", true, 0},
        {"\xf0\x9f\x98\x80 smile", true, 0},
        {"ab\xff", false, 2},
        {"ab\xc3", false, 2},            // truncated sequence
        {"x\xc0\xaf", false, 1},         // overlong slash
        {"xy\xed\xa0\x80", false, 2},    // surrogate
        {"\xf4\x90\x80\x80", false, 0},  // above U+10FFFF
        {"ok\xe2\x82", false, 2},
    };
    for (const auto& c : cases) {
        long off = -1;
        EXPECT_EQ(i18n_valid_utf8(c.text.data(), c.text.size(), &off), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(off, c.offset) << c.text;
        }
    }
}

TEST(I18n, ConvertsToLatin1AndReportsUnmappableCharacter) {
    const i18n_charset_t* latin1 = i18n_charset("ISO-8859-1");
    ASSERT_NE(latin1, nullptr);
    std::string out;
    long off = -1;
    ASSERT_EQ(i18n_convert(i18n_utf8(), latin1, "caf\xc3\xa9", 5, out, &off), 0);
    EXPECT_EQ(out, "caf\xe9");
    // U+20AC (euro) has no Latin-1 form; it starts at byte 2.
    std::string euro = "ab\xe2\x82\xac";
    EXPECT_NE(i18n_convert(i18n_utf8(), latin1, euro.data(), euro.size(), out, &off), 0);
    EXPECT_EQ(off, 2);
    // Invalid UTF-8 input fails before any conversion.
    EXPECT_NE(i18n_convert(i18n_utf8(), latin1, "a\xffz", 3, out, &off), 0);
    EXPECT_EQ(off, 1);
    // And back.
    ASSERT_EQ(i18n_convert(latin1, i18n_utf8(), "caf\xe9", 4, out, &off), 0);
    EXPECT_EQ(out, "caf\xc3\xa9");
}

TEST(I18n, Utf16RoundTrip) {
    std::u16string wide;
    long off = 0;
    std::string text = "x\xf0\x9f\x98\x80y";
    ASSERT_EQ(i18n_to_utf16(i18n_utf8(), text.data(), text.size(), wide, &off), 0);
    EXPECT_EQ(wide.size(), 4u);  // x, surrogate pair, y
    std::string back;
    ASSERT_EQ(i18n_from_utf16(i18n_utf8(), wide.data(), wide.size(), back, &off), 0);
    EXPECT_EQ(back, text);
    EXPECT_EQ(i18n_charset("no-such-charset-xyz"), nullptr);
}
