// Text held as the bytes of a single-byte code page is written straight to UTF-8; its literal
// must be the one the same text gives through UTF-16, for every byte of every code page a
// table can name.
#include "dbf/dbf_codepages.h"
#include "mss/mss_literal.h"
#include "tk/tk_text.h"
#include "tk/tk_utf8_table.h"
#include "udb/udb_ftd.h"

#include <gtest/gtest.h>
#include <set>

namespace {

std::set<uint32_t> single_byte_codepages() {
    std::set<uint32_t> pages{dbf_default_codepage};
    for (const dbf_codepage_entry& entry : dbf_codepage_table())
        if (entry.codepage != 0)
            pages.insert(entry.codepage);
    return pages;
}

// Texts around one byte: alone, between letters, within runs of ASCII long enough for the
// sixteen-byte steps, doubled before a line break (a backslash there is a line
// continuation), and after blanks that a GUID reference would have.
std::vector<std::string> texts_with(char b) {
    const std::string s(1, b);
    return {s,
            "a" + s + "z",
            "abcdefghijklmnopqrstu" + s + "vwxyz0123456789ABCDEFGHIJ",
            s + s + "\r\nnext line" + s,
            "  " + s + "  ",
            "0123456789abcdef" + s};
}

TEST(MssNarrowLiterals, SameAsThroughUtf16ForEveryByteOfEveryCodePage) {
    const t_ftd column(40, u"T", VT_BSTR);
    tk_utf8_tables tables;
    for (uint32_t number : single_byte_codepages()) {
        const tk_codepage* codepage = tk_codepage::find(number);
        ASSERT_NE(codepage, nullptr) << number;
        // Multi-byte pages (932, 936, 949, 950) keep the path through UTF-16.
        if (!codepage->byte_characters()) {
            EXPECT_EQ(tables.find(*codepage), nullptr) << number;
            continue;
        }
        ASSERT_NE(tables.find(*codepage), nullptr) << number;
        std::string every_byte;
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            std::u16string decoded;
            const bool mapped = codepage->decode_checked(std::string_view(&byte, 1), decoded);
            EXPECT_EQ(codepage->maps_all(std::string_view(&byte, 1)), mapped)
                << number << " byte " << b;
            every_byte.push_back(byte);
            std::vector<std::string> texts = texts_with(byte);
            if (b == 255) {
                texts.push_back(every_byte);
                texts.emplace_back(every_byte.rbegin(), every_byte.rend());
            }
            for (const std::string& text : texts) {
                for (bool unicode : {true, false}) {
                    ole_variant narrow;
                    narrow.attach_narrow(text, *codepage);
                    ole_variant wide;
                    wide.attach_string(text, *codepage);
                    std::string direct;
                    std::string through_utf16;
                    mss_append_value_literal(direct, narrow, column, unicode, nullptr, &tables);
                    mss_append_value_literal(through_utf16, wide, column, unicode);
                    EXPECT_EQ(direct, through_utf16) << number << " byte " << b;
                }
            }
            // Plain text takes the direct path: its value is never made UTF-16.
            ole_variant plain;
            plain.attach_narrow("a" + std::string(1, byte) + "z", *codepage);
            std::string out;
            mss_append_value_literal(out, plain, column, true, nullptr, &tables);
            EXPECT_NE(plain.narrow_text().codepage, nullptr) << number << " byte " << b;
        }
    }
}

} // namespace
