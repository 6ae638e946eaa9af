// Text literals come from one fast pass that also finds the zero ending the text: every
// character that needs care (apostrophe, backslash, zero, non-ASCII) must come out right
// wherever it falls, and the cases the pass leaves to the careful path must still reach it.
#include "mss/mss_literal.h"
#include "tk/tk_text.h"
#include "udb/udb_ftd.h"

#include <gtest/gtest.h>

namespace {

std::string literal(std::u16string_view text, bool unicode = true) {
    std::string out;
    mss_append_value_literal(out, ole_variant(text), t_ftd(60, u"T", VT_BSTR), unicode);
    return out;
}

// What the literal must be for text that is not empty, names no GUID and holds no backslash
// before a line break: its UTF-8 form up to the first zero, apostrophes doubled.
std::string expected(std::u16string_view text, bool unicode = true) {
    std::string body = tk_to_utf8(text.substr(0, text.find(u'\0')));
    std::string out = unicode ? "N'" : "'";
    for (char c : body) {
        out.push_back(c);
        if (c == '\'')
            out.push_back('\'');
    }
    return out + "'";
}

} // namespace

TEST(MssLiteralRuns, SpecialCharactersAtEveryPosition) {
    const std::u16string specials[] = {u"'", u"\\", u"ü",    u"\u00a0", u"ÿ", u"Ā",
                                       u"€", u"𝄞",  u"\r\n", u"\x7f",   u"~"};
    for (const std::u16string& special : specials) {
        for (size_t at = 0; at < 13; ++at) {
            std::u16string text = u"abcdefghijklmnop";
            text.insert(at, special);
            EXPECT_EQ(literal(text), expected(text)) << at;
            EXPECT_EQ(literal(text, false), expected(text, false)) << at;
        }
    }
    // The text ends at its first zero, wherever it lies; a zero first is the empty text.
    for (size_t at = 1; at < 13; ++at) {
        std::u16string text = u"abcdefghijklmnop";
        text[at] = u'\0';
        EXPECT_EQ(literal(text), expected(text)) << at;
    }
    EXPECT_EQ(literal(std::u16string_view(u"\0abcdefgh", 9)), "''");
}

TEST(MssLiteralRuns, TheZeroDecidesGuidsAndLineContinuations) {
    // What follows the zero does not count: neither its length nor its characters.
    const std::u16string guid = u"guid{12345678-1234-1234-1234-123456789012}";
    EXPECT_EQ(literal(guid + u'\0' + u"and more text after the end"),
              "'12345678-1234-1234-1234-123456789012}'");
    EXPECT_EQ(literal(u"short" + std::u16string(1, u'\0') + guid), "N'short'");
    EXPECT_EQ(literal(u"a\\" + std::u16string(1, u'\0') + u"\r\n"), "N'a\\'");
    EXPECT_EQ(literal(u"abcdef\\\r\nx"), "CONVERT(NVARCHAR(MAX), N'abcdef\\') + N'\r\nx'");
}
