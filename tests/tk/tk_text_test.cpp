#include "support/test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_text.h"

#include <cerrno>

namespace {

struct known_letter {
    uint8_t byte;
    char16_t letter;
};

struct codepage_case {
    uint32_t codepage;
    std::vector<known_letter> letters;
};

// Every code page a DBF language driver can name, with letters whose places are published.
const std::vector<codepage_case> dbf_codepages = {
    {437, {{0x82, u'é'}, {0x81, u'ü'}, {0xE1, u'ß'}, {0xE6, u'µ'}}},
    {850, {{0x9D, u'Ø'}, {0xE1, u'ß'}}},
    {1252, {{0xE9, u'é'}, {0x80, u'€'}}},
    {10000, {{0x8E, u'é'}, {0x80, u'Ä'}}},
    {866, {{0x80, u'А'}, {0xA0, u'а'}, {0xF0, u'Ё'}}},
    {1251, {{0xC0, u'А'}, {0xE0, u'а'}, {0xA8, u'Ё'}}},
    {852, {{0xA4, u'Ą'}, {0xA5, u'ą'}, {0x9D, u'Ł'}, {0xAA, u'¬'}}},
    {865, {{0x9B, u'ø'}, {0x9D, u'Ø'}}},
    {861, {{0x8B, u'Ð'}, {0x8C, u'ð'}, {0x8D, u'Þ'}}},
    {895, {{0x80, u'Č'}, {0x87, u'č'}, {0x9B, u'Š'}, {0xA9, u'ř'}, {0xAD, u'§'}}},
    {620, {{0x86, u'ą'}, {0x98, u'Ś'}, {0x9E, u'ś'}, {0x92, u'ł'}, {0xA1, u'Ż'}}},
    {737, {{0x80, u'Α'}, {0x98, u'α'}}},
    {857, {{0x98, u'İ'}, {0x8D, u'ı'}}},
    {1256, {{0xC7, u'ا'}}},
    {10007, {{0x80, u'А'}}},
    {10029, {{0x81, u'Ā'}, {0x84, u'Ą'}}},
    {10006, {{0xE1, u'α'}}},
    {1250, {{0xA3, u'Ł'}, {0x8A, u'Š'}}},
    {1254, {{0xDD, u'İ'}, {0xFD, u'ı'}}},
    {1253, {{0xC1, u'Α'}, {0xE1, u'α'}}},
};

std::string bytes_of(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

template <class F> void expect_conversion_error(F&& f, const std::string& prefix) {
    try {
        f();
        ADD_FAILURE() << "no exception for " << prefix;
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.message().rfind(prefix, 0), 0u) << e.message();
        EXPECT_GT(e.message().size(), prefix.size()) << "the system's text is missing";
        EXPECT_EQ(e.level(), 0);
        EXPECT_EQ(e.code(), EILSEQ);
    }
}

} // namespace

TEST(tk_text, every_dbf_codepage_converts_its_letters_both_ways) {
    for (const codepage_case& c : dbf_codepages) {
        SCOPED_TRACE("code page " + std::to_string(c.codepage));
        const tk_codepage* page = tk_codepage::find(c.codepage);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->number(), c.codepage);

        for (const known_letter& k : c.letters) {
            std::string byte(1, static_cast<char>(k.byte));
            EXPECT_EQ(tk_from_codepage(byte, c.codepage), std::u16string(1, k.letter))
                << "byte " << int(k.byte);
            EXPECT_EQ(tk_to_codepage(std::u16string(1, k.letter), c.codepage), byte);
        }

        // Every non-ASCII letter of the page comes back as the byte it came from, and the
        // ASCII half is ASCII.
        int letters = 0;
        for (int b = 0; b < 256; ++b) {
            std::string byte(1, static_cast<char>(b));
            std::u16string text;
            page->decode(byte, text);
            ASSERT_EQ(text.size(), 1u);
            if (b < 0x80) {
                EXPECT_EQ(text[0], char16_t(b));
                continue;
            }
            if (!tk_is_alpha(text[0]))
                continue;
            ++letters;
            std::string back;
            EXPECT_TRUE(page->encode(text, back));
            EXPECT_EQ(back, byte) << "byte " << b;
        }
        EXPECT_GE(letters, 20);
    }
}

TEST(tk_text, double_byte_pages_go_through_icu) {
    struct dbcs {
        uint32_t codepage;
        std::u16string text;
        std::string bytes;
    };
    const dbcs cases[] = {
        {932, u"日本", bytes_of({0x93, 0xFA, 0x96, 0x7B})},
        {936, u"中文", bytes_of({0xD6, 0xD0, 0xCE, 0xC4})},
        {949, u"한국", bytes_of({0xC7, 0xD1, 0xB1, 0xB9})},
        {950, u"中文", bytes_of({0xA4, 0xA4, 0xA4, 0xE5})},
    };
    for (const dbcs& c : cases) {
        SCOPED_TRACE("code page " + std::to_string(c.codepage));
        EXPECT_EQ(tk_from_codepage("A" + c.bytes + "z", c.codepage), u"A" + c.text + u"z");
        EXPECT_EQ(tk_to_codepage(c.text, c.codepage), c.bytes);
        // Control characters keep their ASCII values as they do in single-byte pages.
        EXPECT_EQ(tk_from_codepage(bytes_of({0x1A, 0x1C, 0x7F}), c.codepage), u"\x1A\x1C\x7F");
        EXPECT_EQ(tk_to_codepage(u"\x1A\x1C\x7F", c.codepage), bytes_of({0x1A, 0x1C, 0x7F}));
        // A lead byte at the end of a field is not a character.
        std::u16string out;
        EXPECT_FALSE(tk_codepage::get(c.codepage).decode_checked(c.bytes.substr(0, 3), out));
        EXPECT_EQ(out.substr(0, 1), c.text.substr(0, 1));
    }
}

TEST(tk_text, utf8_conversions_are_strict_and_lossy_ones_never_fail) {
    EXPECT_EQ(tk_to_utf8(u"Zürich ∑ 😀"), "Z\xC3\xBCrich \xE2\x88\x91 \xF0\x9F\x98\x80");
    EXPECT_EQ(tk_from_utf8("Z\xC3\xBCrich \xF0\x9F\x98\x80"), u"Zürich 😀");
    EXPECT_EQ(tk_from_utf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(tk_to_utf8(u""), "");

    expect_conversion_error([] { tk_from_utf8("abc\xFF"); }, "Cannot convert to UNICODE string: ");
    expect_conversion_error([] { tk_from_utf8("\xC3"); }, "Cannot convert to UNICODE string: ");
    expect_conversion_error([] { tk_from_utf8("\xC0\xAF"); }, "Cannot convert to UNICODE string: ");
    expect_conversion_error([] { tk_to_utf8(u"a\xD800z"); }, "Cannot convert to UTF8 string: ");
    expect_conversion_error([] { tk_to_ansi(u"Ж", 1252); }, "Cannot convert to ANSI string: ");

    EXPECT_EQ(tk_to_utf8_lossy(u"a\xD800z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(tk_to_utf8_lossy(u"\xDC00"), "\xEF\xBF\xBD");
    EXPECT_EQ(tk_to_ansi_nothrow(u"ok"), "ok");
}

TEST(tk_text, ansi_codepage_is_decided_in_one_place) {
    // The test program runs in the C locale, whose charset is plain ASCII: UTF-8 stands in.
    EXPECT_EQ(tk_ansi_codepage(), tk_cp_utf8);
    EXPECT_EQ(tk_codepage::find(0), tk_codepage::find(tk_ansi_codepage()));
    EXPECT_EQ(tk_from_ansi("\xD0\x96"), u"Ж");
    EXPECT_EQ(tk_to_ansi(u"Ж"), "\xD0\x96");
}

TEST(tk_text, unknown_codepages_are_refused) {
    EXPECT_EQ(tk_codepage::find(12345), nullptr);
    try {
        tk_codepage::get(12345);
        ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::stop_run);
    }
    EXPECT_THROW(tk_from_codepage("x", 12345), tk_exception);
    EXPECT_THROW(tk_to_codepage(u"x", 12345), tk_exception);
}

TEST(tk_text, bytes_without_a_character_decode_to_the_replacement_character) {
    // 0xD2 has no character in 1253; decode() keeps going, the checked forms say so.
    const tk_codepage& cp1253 = tk_codepage::get(1253);
    std::u16string out;
    cp1253.decode("a\xD2z", out);
    EXPECT_EQ(out, u"a\xFFFDz");
    EXPECT_FALSE(cp1253.decode_checked("a\xD2z", out));
    EXPECT_THROW(tk_from_codepage("a\xD2z", 1253), tk_exception);
    // As on Windows, the unused places of 1252 carry the C1 control of the same number.
    EXPECT_EQ(tk_from_codepage("\x81", 1252), u"\x81");

    std::string bytes;
    EXPECT_FALSE(tk_codepage::get(1252).encode(u"aЖz", bytes));
    EXPECT_EQ(bytes, "a?z");
}

TEST(tk_locale, case_insensitive_comparison_and_letter_tests) {
    EXPECT_TRUE(tk_equal_nocase(u"ORDERS", u"orders"));
    EXPECT_TRUE(tk_equal_nocase(u"Ёлка", u"ёЛКА"));
    EXPECT_FALSE(tk_equal_nocase(u"resume", u"résumé")); // accents count
    EXPECT_FALSE(tk_equal_nocase(u"order", u"orders"));

    EXPECT_TRUE(tk_equal_nocase(std::string_view("True"), std::string_view("TRUE")));
    EXPECT_TRUE(tk_equal_nocase(std::string_view("\xC3\x89t\xC3\xA9"),
                                std::string_view("\xC3\xA9T\xC3\x89")));
    EXPECT_FALSE(tk_equal_nocase(std::string_view("true"), std::string_view("truth")));

    EXPECT_TRUE(tk_is_alpha(u'Ж'));
    EXPECT_TRUE(tk_is_alpha(u'日'));
    EXPECT_FALSE(tk_is_alpha(u'5'));
    EXPECT_FALSE(tk_is_alpha(u'_'));
    EXPECT_FALSE(tk_is_alpha(char16_t(0xD800)));
    EXPECT_TRUE(tk_is_alnum(u'5'));
    EXPECT_TRUE(tk_is_alnum(u'ß'));
    EXPECT_FALSE(tk_is_alnum(u' '));
}

// Runs of ASCII bytes are decoded many at a time: a byte beyond ASCII, or one without a
// character, in any place of a text as long as a few runs decodes as alone.
TEST(tk_text, every_byte_in_every_place_of_a_long_text) {
    const tk_codepage& cp1253 = tk_codepage::get(1253);
    for (size_t length = 1; length <= 50; ++length) {
        for (size_t at = 0; at < length; ++at) {
            for (const auto& [byte, character] :
                 {std::pair{'\xE1', u'α'}, {'\x80', u'€'}, {'\xD2', char16_t(0xFFFD)}}) {
                std::string bytes(length, 'a');
                bytes[at] = byte;
                std::u16string expected(length, u'a');
                expected[at] = character;
                std::u16string out;
                EXPECT_EQ(cp1253.decode_checked(bytes, out), character != 0xFFFD);
                EXPECT_EQ(out, expected) << length << " " << at;
            }
        }
    }
}
