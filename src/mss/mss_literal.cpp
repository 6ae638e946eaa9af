#include "mss/mss_literal.h"

#include "mss/mss_column_types.h"
#include "mss/mss_engine.h"
#include "ole/ole_date.h"
#include "ole/ole_guid_extractor.h"
#include "tk/tk_exception.h"
#include "tk/tk_string.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"
#include "tk/tk_utf8_table.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_field.h"
#include "udb/udb_ftd.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::string_view null_literal = "NULL";
constexpr std::string_view empty_literal = "''";

// A GUID reference ("guid{...}") is between 36 and 45 characters long once trimmed.
constexpr size_t min_guid_text = 36;
constexpr size_t max_guid_text = 45;

enum class utf8_result { ok, unpaired_surrogate, line_continuation };

// The UTF-8 bytes of a code unit below 0x100 (one or two), or length 0 for the units the
// encoding loop must look at itself: the zero that ends a text, and inside a literal the
// backslash (a line continuation before a line break). Inside a literal "'" is doubled.
struct latin1_utf8 {
    char bytes[2];
    uint8_t length;
};

constexpr std::array<latin1_utf8, 256> make_latin1_utf8(bool literal) {
    std::array<latin1_utf8, 256> table{};
    for (unsigned c = 0; c < 256; ++c) {
        latin1_utf8& e = table[c];
        if (c == 0 || (literal && c == '\\'))
            e = {{0, 0}, 0};
        else if (literal && c == '\'')
            e = {{'\'', '\''}, 2};
        else if (c < 0x80)
            e = {{char(c), 0}, 1};
        else
            e = {{char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))}, 2};
    }
    return table;
}

constexpr std::array<latin1_utf8, 256> latin1_in_literal = make_latin1_utf8(true);
constexpr std::array<latin1_utf8, 256> latin1_as_is = make_latin1_utf8(false);

// How far an encoding got: the unit it stopped at (the end, the zero that ends the text, or
// the unit in error) and the end of the bytes written.
struct utf8_progress {
    utf8_result result;
    const char16_t* read_to;
    char* written_to;
};

// UTF-16 to UTF-8 written to `p`, which has room for three bytes per unit (every code unit
// takes at most three bytes; a doubled apostrophe takes two, a surrogate pair four for its two
// units). The text ends at a zero character or at `end`. For the inside of a string literal
// (`literal`) every "'" is doubled, and a backslash before a line break, which MS SQL would
// read as a line continuation, is reported (what was written is then of no use).
// The positions go in and out by value: behind references they would be reloaded from memory
// after every byte stored through `p`, which may alias anything.
#if defined(__SSE2__)
// Writes the bytes of the leading plain ASCII units (not the zero, apostrophe or backslash the
// loop looks at) among the eight at `s`, and answers how many there are. `p` needs room for
// eight bytes: bytes after those of the plain units are of no use.
inline unsigned plain_ascii_prefix(const char16_t* s, char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i zero = _mm_setzero_si128();
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(int16_t(0xFF80))), zero);
    const __m128i special = _mm_or_si128(_mm_cmpeq_epi16(v, zero),
                                         _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('\'')),
                                                      _mm_cmpeq_epi16(v, _mm_set1_epi16('\\'))));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v));
    // Two mask bits a unit.
    const auto plain = unsigned(_mm_movemask_epi8(_mm_andnot_si128(special, ascii)));
    return unsigned(std::countr_one(plain)) / 2;
}
#endif

utf8_progress encode_utf8(const char16_t* s, const char16_t* end, char* p, bool literal) {
    // Western text is nearly all below 0x100: its units go through a table, without the
    // branches on ASCII, two-byte forms and apostrophes that mixed text mispredicts. Runs of
    // plain ASCII go up to eight units at a time, and the table takes the unit that ends one.
    const latin1_utf8* latin1 = literal ? latin1_in_literal.data() : latin1_as_is.data();
    while (s < end) {
        const char16_t* stop = end;
#if defined(__SSE2__)
        if (end - s >= 8) {
            const unsigned plain = plain_ascii_prefix(s, p);
            s += plain;
            p += plain;
            if (plain == 8)
                continue;
            stop = s + 1;
        }
#endif
        while (s < stop) {
            char16_t c = *s++;
            if (c < 0x100) {
                const latin1_utf8& e = latin1[c];
                p[0] = e.bytes[0];
                p[1] = e.bytes[1];
                p += e.length;
                if (e.length != 0)
                    continue;
                if (c == 0)
                    return {utf8_result::ok, s - 1, p};
                *p++ = char(c);
                if (s < end && (*s == u'\r' || *s == u'\n'))
                    return {utf8_result::line_continuation, s, p};
            } else if (c < 0x800) {
                *p++ = char(0xC0 | (c >> 6));
                *p++ = char(0x80 | (c & 0x3F));
            } else if (c < 0xD800 || c > 0xDFFF) {
                *p++ = char(0xE0 | (c >> 12));
                *p++ = char(0x80 | ((c >> 6) & 0x3F));
                *p++ = char(0x80 | (c & 0x3F));
            } else {
                if (c > 0xDBFF || s == end || *s < 0xDC00 || *s > 0xDFFF)
                    return {utf8_result::unpaired_surrogate, s, p};
                char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(*s++) - 0xDC00);
                *p++ = char(0xF0 | (cp >> 18));
                *p++ = char(0x80 | ((cp >> 12) & 0x3F));
                *p++ = char(0x80 | ((cp >> 6) & 0x3F));
                *p++ = char(0x80 | (cp & 0x3F));
            }
        }
    }
    return {utf8_result::ok, s, p};
}

// UTF-16 to UTF-8 appended to `out` as encode_utf8 writes it; `length` (when given) gets the
// number of units before the zero that ends the text. Nothing is appended on failure.
utf8_result append_utf8(std::string& out, std::u16string_view text, bool literal,
                        size_t* length = nullptr) {
    const size_t old_size = out.size();
    out.resize(old_size + text.size() * 3);
    const utf8_progress done =
        encode_utf8(text.data(), text.data() + text.size(), out.data() + old_size, literal);
    if (done.result != utf8_result::ok) {
        out.resize(old_size);
        return done.result;
    }
    out.resize(size_t(done.written_to - out.data()));
    if (length)
        *length = size_t(done.read_to - text.data());
    return utf8_result::ok;
}

// The text as it is (a rule's literal, binary text); raises for text that is not UTF-16.
void append_utf8_or_fail(std::string& out, std::u16string_view text) {
    if (append_utf8(out, text, false) != utf8_result::ok)
        throw tk_exception("Cannot create string representation", tk_exception::stop_run);
}

std::u16string_view up_to_zero(std::u16string_view text) {
    size_t zero = text.find(u'\0');
    return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

bool is_hex_literal(std::string_view text) {
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    for (size_t i = 2; i < text.size(); ++i) {
        if (tk_string::hex_digit(text[i]) < 0)
            return false;
    }
    return true;
}

bool is_all_digits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The position just after a backslash that ends a line, at or after `from`; npos when there
// is none. Inside a string literal MS SQL reads a backslash before a line break as a line
// continuation and drops both.
size_t find_line_continuation(std::u16string_view text, size_t from) {
    for (size_t i = text.find(u'\\', from); i != std::u16string_view::npos;
         i = text.find(u'\\', i + 1)) {
        if (i + 1 < text.size() && (text[i + 1] == u'\r' || text[i + 1] == u'\n'))
            return i + 1;
    }
    return std::u16string_view::npos;
}

// One literal; false (nothing written) when the text holds a line continuation.
bool append_one_literal(std::string& out, std::u16string_view text, bool n_prefix) {
    const size_t start = out.size();
    if (n_prefix)
        out.push_back('N');
    out.push_back('\'');
    switch (append_utf8(out, text, true)) {
    case utf8_result::ok:
        out.push_back('\'');
        return true;
    case utf8_result::line_continuation:
        out.resize(start);
        return false;
    default:
        out.resize(start);
        throw tk_exception("Cannot create string representation", tk_exception::stop_run);
    }
}

// Text in apostrophes with every inner apostrophe doubled, N in front for Unicode text. A text
// with a backslash at the end of a line is written in pieces that end at such backslashes,
// joined with "+"; the first piece is made a MAX type so that the joined text is not cut at
// 4000 characters.
void append_quoted(std::string& out, std::u16string_view text, bool n_prefix) {
    if (append_one_literal(out, text, n_prefix))
        return;
    size_t cut = find_line_continuation(text, 0);
    out.append(n_prefix ? "CONVERT(NVARCHAR(MAX), " : "CONVERT(VARCHAR(MAX), ");
    append_one_literal(out, text.substr(0, cut), n_prefix);
    out.push_back(')');
    while (cut != std::u16string_view::npos) {
        const size_t start = cut;
        cut = find_line_continuation(text, start);
        out.append(" + ");
        append_one_literal(out, text.substr(start, cut - start), n_prefix);
    }
}

bool is_outer_blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Whether the text holds "guid" or "GUID".
bool names_guid(std::u16string_view text) {
    for (size_t i = 0; i + 4 <= text.size(); ++i) {
        if (text[i] == u'g' && text[i + 1] == u'u' && text[i + 2] == u'i' && text[i + 3] == u'd')
            return true;
        if (text[i] == u'G' && text[i + 1] == u'U' && text[i + 2] == u'I' && text[i + 3] == u'D')
            return true;
    }
    return false;
}

// Whether the text can name a GUID: without its outer blanks (space, tab, line breaks) 36 to
// 45 characters holding "guid" or "GUID". Most texts fail the length test at once.
bool may_name_guid(std::u16string_view text) {
    if (text.size() < min_guid_text)
        return false;
    size_t first = 0;
    size_t end = text.size();
    while (first < end && is_outer_blank(text[first]))
        ++first;
    while (end > first && is_outer_blank(text[end - 1]))
        --end;
    return end - first >= min_guid_text && end - first <= max_guid_text &&
           names_guid(text.substr(first, end - first));
}

// The GUID of a text that names one ("guid{...}"), as a plain literal; false when the text
// names none.
bool append_guid_reference(std::string& out, std::u16string_view text) {
    if (!may_name_guid(text))
        return false;
    ole_guid_extractor extractor(text);
    if (!extractor.is_valid())
        return false;
    TK_TRACE(1, "BSTR IS AN GUID");
    append_quoted(out, extractor.get_guid(), false);
    return true;
}

// The literal of a text value in the common case, in one pass that also finds the zero
// character ending the text: not empty, not naming a GUID, without line continuations and
// well-formed UTF-16. False, with nothing written, for the other cases.
bool append_plain_text(std::string& out, std::u16string_view text, bool n_prefix) {
    // One resize for the whole literal: N, two apostrophes and three bytes per unit.
    const size_t start = out.size();
    out.resize(start + 3 + text.size() * 3);
    char* p = out.data() + start;
    if (n_prefix)
        *p++ = 'N';
    *p++ = '\'';
    const utf8_progress done = encode_utf8(text.data(), text.data() + text.size(), p, true);
    const size_t length = size_t(done.read_to - text.data());
    if (done.result == utf8_result::ok && length > 0 && !may_name_guid(text.substr(0, length))) {
        p = done.written_to;
        *p++ = '\'';
        out.resize(size_t(p - out.data()));
        return true;
    }
    out.resize(start);
    return false;
}

// may_name_guid for text held as bytes of a single-byte code page.
bool may_name_guid(std::string_view bytes, const tk_utf8_table& table) {
    if (bytes.size() < min_guid_text)
        return false;
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t first = 0;
    size_t end = bytes.size();
    while (first < end && is_outer_blank(table.character(s[first])))
        ++first;
    while (end > first && is_outer_blank(table.character(s[end - 1])))
        --end;
    if (end - first < min_guid_text || end - first > max_guid_text)
        return false;
    std::u16string text;
    table.codepage().decode(bytes.substr(first, end - first), text);
    return names_guid(text);
}

// append_plain_text for text held as bytes of a single-byte code page, straight from the bytes
// to UTF-8 through the code page's table: the same literal as for the text in UTF-16, and
// false, with nothing written, in the same cases (and at a line continuation, which the
// UTF-16 path writes).
bool append_plain_narrow(std::string& out, std::string_view bytes, const tk_utf8_table& table,
                         bool n_prefix) {
    // N, two apostrophes, three bytes per byte, and room for a last 16-byte store.
    const size_t start = out.size();
    out.resize(start + 3 + bytes.size() * 3 + 16);
    char* p = out.data() + start;
    if (n_prefix)
        *p++ = 'N';
    *p++ = '\'';
    const auto* const begin = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* const end = begin + bytes.size();
    const uint8_t* s = begin;
    bool continuation = false;
#if defined(__SSE2__)
    const bool ascii = table.ascii_as_is();
#endif
    while (s < end) {
#if defined(__SSE2__)
        // Runs of ASCII other than the zero, apostrophe and backslash are their own UTF-8:
        // sixteen bytes are stored at once, and the table takes the byte that ends a run.
        if (ascii && end - s >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
            const __m128i special =
                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()),
                             _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\'')),
                                          _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
            const auto stop = unsigned(_mm_movemask_epi8(v) | _mm_movemask_epi8(special));
            if (stop == 0) {
                s += 16;
                p += 16;
                continue;
            }
            const auto plain = unsigned(std::countr_zero(stop));
            s += plain;
            p += plain;
        }
#endif
        const uint8_t b = *s++;
        const char16_t c = table.character(b);
        if (c == u'\'') {
            *p++ = '\'';
            *p++ = '\'';
        } else if (c == 0) {
            // The text ends at a zero character.
            --s;
            break;
        } else if (c == u'\\') {
            *p++ = '\\';
            if (s < end && (table.character(*s) == u'\r' || table.character(*s) == u'\n')) {
                continuation = true;
                break;
            }
        } else {
            const tk_utf8_table::entry& e = table[b];
            std::memcpy(p, e.bytes, sizeof e.bytes);
            p += e.length;
        }
    }
    const std::string_view text = bytes.substr(0, size_t(s - begin));
    if (!continuation && !text.empty() && !may_name_guid(text, table)) {
        *p++ = '\'';
        out.resize(size_t(p - out.data()));
        return true;
    }
    out.resize(start);
    return false;
}

void append_two(char*& p, unsigned v) {
    *p++ = char('0' + v / 10 % 10);
    *p++ = char('0' + v % 10);
}

// A date in apostrophes: 'YYYY-MM-DD', 'YYYY-MM-DD hh:mm:ss[.mmm]' or 'hh:mm:ss[.mmm]' (a
// time without a date). A two-digit year is widened as dates print everywhere.
void append_date(std::string& out, const SYSTEMTIME& st) {
    const bool has_date = st.wYear != 0 || st.wMonth != 0 || st.wDay != 0;
    const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
    unsigned year = st.wYear;
    if (year < 100 && st.wMonth != 0 && st.wDay != 0)
        year += year < 50 ? 2000 : 1900;
    char buffer[40];
    char* p = buffer;
    *p++ = '\'';
    if (has_date) {
        append_two(p, year / 100);
        append_two(p, year);
        *p++ = '-';
        append_two(p, st.wMonth);
        *p++ = '-';
        append_two(p, st.wDay);
    }
    const bool show_time = !has_date || !midnight;
    if (show_time) {
        if (has_date)
            *p++ = ' ';
        append_two(p, st.wHour);
        *p++ = ':';
        append_two(p, st.wMinute);
        *p++ = ':';
        append_two(p, st.wSecond);
        if (st.wMilliseconds != 0) {
            *p++ = '.';
            *p++ = char('0' + st.wMilliseconds / 100 % 10);
            append_two(p, st.wMilliseconds);
        }
    }
    *p++ = '\'';
    out.append(buffer, size_t(p - buffer));
}

bool is_time_only(const SYSTEMTIME& st) {
    return st.wYear == 0 && st.wMonth == 0 && st.wDay == 0;
}

// DATETIME holds the years 1753 to 9999.
bool needs_datetime_range(uint32_t date_kind) {
    return date_kind != t_ftd::date_only && date_kind != t_ftd::time_only;
}

SYSTEMTIME out_of_range_date() {
    SYSTEMTIME st{};
    st.wYear = 9999;
    st.wMonth = 12;
    st.wDay = 30;
    return st;
}

double clamp_double(double v) {
    constexpr double max_float = 1.79e308;
    constexpr double min_float = 2.23e-308;
    if (v > 0) {
        if (v >= max_float)
            return max_float;
        if (v <= min_float)
            return min_float;
    } else if (v < 0) {
        if (v <= -max_float)
            return -max_float;
        if (v >= -min_float)
            return -min_float;
    }
    return v;
}

// NULL, or for a not-null column the literal of its default.
void append_missing(std::string& out, const t_ftd& column, bool unicode) {
    TK_TRACE(1, "Put NULL-field");
    if (!column.b_not_null) {
        out.append(null_literal);
        return;
    }
    const size_t start = out.size();
    mss_append_text_literal(out, column.default_value.to_wstring(), column.vartype, unicode);
    if (out.size() == start)
        out.append(null_literal);
}

// Digits of the integer part of a number's text: the sign and leading zeros do not count.
int text_integer_digits(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    size_t end = i;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    return int(end - i);
}

// Digits of the integer part once MS SQL has rounded the value to the column's scale;
// rounding can carry into a new digit (999.996 in NUMERIC(5,2) is 1000.00).
int rounded_integer_digits(DECIMAL dec, int scale) {
    if (dec.scale > scale)
        dec = ole_decimal_round(dec, uint8_t(scale));
    if (ole_decimal_is_zero(dec))
        return 0;
    return std::max(0, ole_decimal_digits(dec) - int(dec.scale));
}

// False, with NULL written, when the value has more integer digits than the column holds:
// no other number stands in for it.
bool append_decimal(std::string& out, const ole_variant& value, const t_ftd& column, bool unicode) {
    const size_t start = out.size();
    value.append_string(out);
    if (out.size() == start) {
        append_missing(out, column, unicode);
        return true;
    }
    const mss_numeric_shape shape = mss_numeric_of(column);
    if (!shape.known)
        return true;
    const DECIMAL& dec = value.get_decimal();
    // The printed text gives the digits unless the value has more decimals than the column.
    const int digits = dec.scale > shape.scale
                           ? rounded_integer_digits(dec, shape.scale)
                           : text_integer_digits(std::string_view(out).substr(start));
    if (digits <= shape.precision - shape.scale)
        return true;
    TK_TRACE(1, "Decimal is out of range");
    out.resize(start);
    out.append(null_literal);
    return false;
}

void append_whole(std::string& out, int64_t v) {
    char buffer[24];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, size_t(r.ptr - buffer));
}

} // namespace

void mss_append_text_literal(std::string& out, std::u16string_view text, VARTYPE vt, bool unicode) {
    TK_TRACE(1, "to_mssql_str(%s), unicode=%d", tk_trace_text(text).c_str(), unicode ? 1 : 0);
    if (text.empty()) {
        out.append(empty_literal);
        return;
    }
    if (vt == VT_DATE) {
        ole_date date(text);
        std::u16string printed = date.to_wstring(true);
        size_t null_date = printed.find(u"0000-00-00");
        if (null_date != std::u16string::npos) {
            TK_TRACE(2, "Null date has been found");
            printed.replace(null_date, 10, u"1899-12-30");
        }
        append_quoted(out, printed, false);
        return;
    }
    if (ole_variant::is_binary(vt)) {
        TK_TRACE(1, "GOT BLOB!!!");
        if (text.size() < 2)
            return;
        const size_t start = out.size();
        append_utf8_or_fail(out, text);
        std::string_view written = std::string_view(out).substr(start);
        if (is_hex_literal(written) || is_all_digits(written))
            return;
        out.resize(start);
        append_quoted(out, text, false);
        return;
    }
    if (vt == VT_BSTR) {
        if (append_guid_reference(out, text))
            return;
        append_quoted(out, text, unicode);
        return;
    }
    if (append_utf8(out, text, true) != utf8_result::ok)
        throw tk_exception("Cannot create string representation", tk_exception::stop_run);
}

bool mss_append_value_literal(std::string& out, const ole_variant& value, const t_ftd& column,
                              bool unicode, const udb_custom_conversion* rules,
                              tk_utf8_tables* tables) {
    if (const udb_conversion_rule* rule = rules ? rules->rule_for(value) : nullptr) {
        append_utf8_or_fail(out, rule->handle2(value));
        return true;
    }
    const VARTYPE vt = value.get_type();
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        append_missing(out, column, unicode);
        return true;
    case VT_BSTR: {
        if (const ole_variant::narrow_view narrow = value.narrow_text();
            narrow.codepage && tables) {
            const tk_utf8_table* table = tables->find(*narrow.codepage);
            if (table && append_plain_narrow(out, narrow.bytes, *table, unicode))
                return true;
        }
        if (append_plain_text(out, value.bstr_view(), unicode))
            return true;
        std::u16string_view text = up_to_zero(value.bstr_view());
        if (text.empty()) {
            out.append(empty_literal);
            return true;
        }
        if (append_guid_reference(out, text))
            return true;
        append_quoted(out, text, unicode);
        return true;
    }
    case VT_DATE: {
        // The script's date columns (DATE, TIME, DATETIME2) hold every date a value holds.
        SYSTEMTIME st;
        value.get_system_time(st);
        append_date(out, st);
        return true;
    }
    case VT_R8: {
        const double v = value.variant().dblVal;
        if (std::isnan(v)) {
            append_missing(out, column, unicode);
            return true;
        }
        const double safe = clamp_double(v);
        if (safe == v)
            value.append_string(out);
        else
            ole_variant(safe).append_string(out);
        return true;
    }
    case VT_R4: {
        const float v = value.variant().fltVal;
        if (std::isnan(v)) {
            append_missing(out, column, unicode);
            return true;
        }
        if (std::isinf(v))
            ole_variant(v > 0 ? std::numeric_limits<float>::max()
                              : -std::numeric_limits<float>::max())
                .append_string(out);
        else
            value.append_string(out);
        return true;
    }
    case VT_DECIMAL:
        return append_decimal(out, value, column, unicode);
    case VT_INT:
        append_whole(out, value.variant().intVal);
        return true;
    case VT_UINT:
        append_whole(out, value.variant().uintVal);
        return true;
    default:
        break;
    }
    // Whole numbers, currency, logical values and binary print as they are.
    const size_t start = out.size();
    value.append_string(out);
    std::string_view written = std::string_view(out).substr(start);
    if (written.empty() || (ole_variant::is_binary(vt) && written.size() < 2)) {
        out.resize(start);
        append_missing(out, column, unicode);
        return true;
    }
    if (ole_variant::is_binary(vt) && !is_hex_literal(written) && !is_all_digits(written)) {
        std::string text(written);
        out.resize(start);
        out.push_back('\'');
        for (char c : text) {
            out.push_back(c);
            if (c == '\'')
                out.push_back('\'');
        }
        out.push_back('\'');
    }
    return true;
}

std::u16string mss_get_fld_append_str(const udb_field* field, const t_ftd* column, bool unicode,
                                      const udb_custom_conversion* rules) {
    TK_TRACE(2, "mss_get_fld_append_str");
    TK_ASSERT(field != nullptr && column != nullptr);
    std::string out;
    mss_append_value_literal(out, *field, *column, unicode, rules);
    return tk_from_utf8(out);
}

std::u16string to_mssql_str(std::u16string_view text, VARTYPE vt, bool unicode) {
    std::string out;
    mss_append_text_literal(out, text, vt, unicode);
    return tk_from_utf8(out);
}

ole_variant mssql_get_safe_variant(const ole_variant& value, uint32_t date_kind) {
    TK_TRACE(1, "mssql_get_safe_variant");
    if (value.get_type() == VT_DATE) {
        SYSTEMTIME st;
        value.get_system_time(st);
        if (needs_datetime_range(date_kind) && !is_time_only(st) &&
            (st.wYear < 1753 || st.wYear > 9999)) {
            TK_TRACE(1, "Skip date-out-of-range");
            return ole_variant(out_of_range_date());
        }
    } else if (value.get_type() == VT_R8) {
        const double v = value.variant().dblVal;
        if (!std::isnan(v) && clamp_double(v) != v)
            return ole_variant(clamp_double(v));
    }
    return value;
}

bool dec_is_out_of_range(const ole_variant& value, const t_ftd& column) {
    TK_TRACE(1, "dec_is_out_of_range");
    TK_ASSERT(value.get_type() == VT_DECIMAL);
    const mss_numeric_shape shape = mss_numeric_of(column);
    TK_TRACE(2, "Got decimal: %s, scale=%d, prec=%d", value.to_string().c_str(), shape.scale,
             shape.precision);
    if (!shape.known)
        return false;
    return rounded_integer_digits(value.get_decimal(), shape.scale) > shape.precision - shape.scale;
}

bool check_dec_str_prec_scale(std::string_view text, int precision, int scale) {
    TK_TRACE(1, "check_dec_str_prec_scale(%.*s,%d,%d)", int(text.size()), text.data(),
             precision - scale, scale);
    const int integer_digits = text_integer_digits(text);
    TK_TRACE(1, "this_prec=%d", integer_digits);
    if (integer_digits <= precision - scale)
        return true;
    TK_TRACE(1, "Precision is out of range");
    return false;
}

std::string gen_dec_value(const t_ftd& column, bool negative) {
    TK_TRACE(1, "gen_dec_value");
    mss_numeric_shape shape = mss_numeric_of(column);
    std::string text;
    if (negative)
        text.push_back('-');
    text.append(size_t(std::max(0, shape.precision - shape.scale)), '9');
    text.push_back('.');
    text.append(size_t(shape.scale), '9');
    return text;
}
