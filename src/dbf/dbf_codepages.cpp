#include "dbf/dbf_codepages.h"

#include "tk/tk_string.h"
#include "tk/tk_text.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

// The bytes of dBASE IV-7, FoxPro and Visual FoxPro, and of the tools that followed them.
// 0x57 is the "ANSI" driver that dBASE, ArcGIS and the shapefile libraries write for Windows
// Latin text.
constexpr std::array<dbf_codepage_entry, 68> table = {{
    {0x00, 0, u"None named"},
    {0x01, 437, u"U.S. MS-DOS"},
    {0x02, 850, u"International MS-DOS"},
    {0x03, 1252, u"Windows ANSI"},
    {0x04, 10000, u"Standard Macintosh"},
    {0x08, 865, u"Danish OEM"},
    {0x09, 437, u"Dutch OEM"},
    {0x0A, 850, u"Dutch OEM (850)"},
    {0x0B, 437, u"Finnish OEM"},
    {0x0D, 437, u"French OEM"},
    {0x0E, 850, u"French OEM (850)"},
    {0x0F, 437, u"German OEM"},
    {0x10, 850, u"German OEM (850)"},
    {0x11, 437, u"Italian OEM"},
    {0x12, 850, u"Italian OEM (850)"},
    {0x13, 932, u"Japanese Shift-JIS"},
    {0x14, 850, u"Spanish OEM (850)"},
    {0x15, 437, u"Swedish OEM"},
    {0x16, 850, u"Swedish OEM (850)"},
    {0x17, 865, u"Norwegian OEM"},
    {0x18, 437, u"Spanish OEM"},
    {0x19, 437, u"English OEM (Britain)"},
    {0x1A, 850, u"English OEM (Britain, 850)"},
    {0x1B, 437, u"English OEM (U.S.)"},
    {0x1C, 863, u"French OEM (Canada)"},
    {0x1D, 850, u"French OEM (850, 2)"},
    {0x1F, 852, u"Czech OEM"},
    {0x22, 852, u"Hungarian OEM"},
    {0x23, 852, u"Polish OEM"},
    {0x24, 860, u"Portuguese OEM"},
    {0x25, 850, u"Portuguese OEM (850)"},
    {0x26, 866, u"866 DOS Russian"},
    {0x37, 850, u"English OEM (U.S., 850)"},
    {0x40, 852, u"Romanian OEM"},
    {0x4D, 936, u"Chinese GBK (PRC)"},
    {0x4E, 949, u"Korean (ANSI/OEM)"},
    {0x4F, 950, u"Chinese Big5 (Taiwan)"},
    {0x50, 874, u"Thai (ANSI/OEM)"},
    {0x57, 1252, u"1252 Windows ANSI"},
    {0x58, 1252, u"Western European ANSI"},
    {0x59, 1252, u"Spanish ANSI"},
    {0x64, 852, u"Eastern European MS-DOS"},
    {0x65, 866, u"Russian MS-DOS"},
    {0x66, 865, u"Nordic MS-DOS"},
    {0x67, 861, u"Icelandic MS-DOS"},
    {0x68, 895, u"Kamenicky (Czech) MS-DOS"},
    {0x69, 620, u"Mazovia (Polish) MS-DOS"},
    {0x6A, 737, u"Greek MS-DOS (437G)"},
    {0x6B, 857, u"Turkish MS-DOS"},
    {0x6C, 863, u"French-Canadian MS-DOS"},
    {0x78, 950, u"Taiwan Big5"},
    {0x79, 949, u"Hangul (Wansung)"},
    {0x7A, 936, u"PRC GBK"},
    {0x7B, 932, u"Japanese Shift-JIS"},
    {0x7C, 874, u"Thai Windows/MS-DOS"},
    {0x7D, 1255, u"Hebrew Windows"},
    {0x7E, 1256, u"Arabic Windows"},
    {0x86, 737, u"Greek OEM"},
    {0x87, 852, u"Slovenian OEM"},
    {0x88, 857, u"Turkish OEM"},
    {0x96, 10007, u"Russian Macintosh"},
    {0x97, 10029, u"Eastern European Macintosh"},
    {0x98, 10006, u"Greek Macintosh"},
    {0xC8, 1250, u"Eastern European Windows"},
    {0xC9, 1251, u"Russian Windows"},
    {0xCA, 1254, u"Turkish Windows"},
    {0xCB, 1253, u"Greek Windows"},
    {0xCC, 1257, u"Baltic Windows"},
}};

const dbf_codepage_entry* find_entry(uint8_t language_driver) noexcept {
    auto it = std::lower_bound(
        table.begin(), table.end(), language_driver,
        [](const dbf_codepage_entry& e, uint8_t b) { return e.language_driver < b; });
    return it != table.end() && it->language_driver == language_driver ? &*it : nullptr;
}

bool parse_number(std::string_view text, uint32_t& value) noexcept {
    uint64_t wide = 0;
    if (!tk_string::parse_unsigned(text, wide) || wide > UINT32_MAX)
        return false;
    value = uint32_t(wide);
    return true;
}

// Names that are not a prefix and a number.
struct named_page {
    std::string_view name;
    uint32_t codepage;
};
constexpr named_page named_pages[] = {
    {"latin1", 28591},    {"utf-8", tk_cp_utf8}, {"utf8", tk_cp_utf8}, {"ascii", 20127},
    {"us-ascii", 20127},  {"gbk", 936},          {"big5", 950},        {"shift_jis", 932},
    {"shift-jis", 932},   {"sjis", 932},         {"euc-kr", 51949},    {"euc-jp", 20932},
    {"gb18030", 54936},   {"koi8-r", 20866},     {"koi8-u", 21866},    {"mac", 10000},
    {"macintosh", 10000},
};

// "cp1252", "windows-1252", "ibm866", "ibm-866", "dos866", "iso-8859-5", "iso8859-5".
std::optional<uint32_t> numbered_name(std::string_view name) {
    static constexpr std::string_view prefixes[] = {"windows-", "cp", "ibm-", "ibm", "dos", "ms"};
    if (name.starts_with("iso-8859-") || name.starts_with("iso8859-")) {
        uint32_t part = 0;
        if (!parse_number(name.substr(name.find('-', 4) + 1), part) || part == 0 || part > 16)
            return std::nullopt;
        return part == 13 ? 28603 : part == 15 ? 28605 : 28590 + part;
    }
    for (std::string_view prefix : prefixes) {
        uint32_t number = 0;
        if (name.starts_with(prefix) && name.size() > prefix.size() &&
            std::isdigit(static_cast<unsigned char>(name[prefix.size()])) &&
            parse_number(name.substr(prefix.size()), number))
            return number;
    }
    return std::nullopt;
}

} // namespace

std::span<const dbf_codepage_entry> dbf_codepage_table() noexcept {
    return table;
}

uint32_t dbf_codepage_of(uint8_t language_driver) noexcept {
    const dbf_codepage_entry* e = find_entry(language_driver);
    return e ? e->codepage : 0;
}

std::u16string_view dbf_codepage_name(uint8_t language_driver) noexcept {
    const dbf_codepage_entry* e = find_entry(language_driver);
    return e ? e->name : std::u16string_view();
}

uint32_t dbf_codepage_of_driver_name(std::string_view name) noexcept {
    // Level 7 names are "DB" followed by the DOS code page ("DB437US0", "DB866RU0") or by
    // "WIN" for the Windows Latin code page ("DBWINUS0", "DBWINWE0").
    if (name.size() < 5 || name.substr(0, 2) != "DB")
        return 0;
    if (name.substr(2, 3) == "WIN")
        return 1252;
    uint32_t codepage = 0;
    for (char c : name.substr(2, 3)) {
        if (c < '0' || c > '9')
            return 0;
        codepage = codepage * 10 + uint32_t(c - '0');
    }
    return tk_codepage::find(codepage) ? codepage : 0;
}

uint32_t dbf_codepage_of_setting(uint32_t encoding) noexcept {
    if (encoding <= 0xFF)
        return dbf_codepage_of(uint8_t(encoding));
    return tk_codepage::find(encoding) ? encoding : 0;
}

std::optional<uint32_t> dbf_parse_encoding(std::string_view text) {
    std::string name;
    for (char c : text)
        name.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    uint32_t value = 0;
    if (parse_number(name, value)) {
        if (value == 0 || dbf_codepage_of_setting(value) != 0)
            return value;
        return std::nullopt;
    }
    std::optional<uint32_t> codepage = numbered_name(name);
    for (const named_page& page : named_pages)
        if (page.name == name)
            codepage = page.codepage;
    // A code page is always taken by its number, so that "cp37" is not read as a byte.
    if (codepage && *codepage > 0xFF && tk_codepage::find(*codepage))
        return codepage;
    return std::nullopt;
}

std::string dbf_accepted_encodings() {
    std::string pages;
    std::array<uint32_t, table.size()> seen{};
    size_t count = 0;
    for (const dbf_codepage_entry& e : table) {
        if (e.codepage == 0 ||
            std::find(seen.begin(), seen.begin() + count, e.codepage) != seen.begin() + count)
            continue;
        seen[count++] = e.codepage;
    }
    std::sort(seen.begin(), seen.begin() + count);
    for (size_t i = 0; i < count; ++i)
        pages += (i ? ", " : "") + std::to_string(seen[i]);
    return "0 (each table's own), a language-driver byte listed by 'tabrix-cli encodings' (such "
           "as 3 or 0x65), a code page number (" +
           pages +
           ", 65001 or any other the system can decode) or a name (cp1252, windows-1252, "
           "ibm866, latin1, iso-8859-5, utf-8, gbk, big5, shift_jis, koi8-r)";
}

bool dbf_is_utf8(std::string_view bytes, bool& high) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        high = true;
        size_t extra = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (s[i + k] & 0x3F);
        }
        static constexpr uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}
