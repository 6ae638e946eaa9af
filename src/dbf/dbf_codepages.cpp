#include "dbf/dbf_codepages.h"

#include "tk/tk_text.h"

#include <algorithm>
#include <array>

namespace {

// 0x57 is the "ANSI" driver that dBASE, ArcGIS and the shapefile libraries write for Windows
// Latin text: its bytes are code page 1252.
constexpr std::array<dbf_codepage_entry, 23> table = {{
    {0x00, 0, u"Default"},
    {0x01, 437, u"U.S. MS-DOS"},
    {0x02, 850, u"International MS-DOS"},
    {0x03, 1252, u"Windows ANSI"},
    {0x04, 10000, u"Standard Macintosh"},
    {0x26, 866, u"866 DOS Russian"},
    {0x57, 1252, u"1252 Windows ANSI"},
    {0x64, 852, u"Eastern European MS-DOS"},
    {0x65, 866, u"Russian MS-DOS"},
    {0x66, 865, u"Nordic MS-DOS"},
    {0x67, 861, u"Icelandic MS-DOS"},
    {0x68, 895, u"Kamenicky (Czech) MS-DOS"},
    {0x69, 620, u"Mazovia (Polish) MS-DOS"},
    {0x6A, 737, u"Greek MS-DOS (437G)"},
    {0x6B, 857, u"Turkish MS-DOS"},
    {0x7E, 1256, u"Arabic Windows"},
    {0x96, 10007, u"Russian Macintosh"},
    {0x97, 10029, u"Eastern European Macintosh"},
    {0x98, 10006, u"Greek Macintosh"},
    {0xC8, 1250, u"Eastern European Windows"},
    {0xC9, 1251, u"Russian Windows"},
    {0xCA, 1254, u"Turkish Windows"},
    {0xCB, 1253, u"Greek Windows"},
}};

const dbf_codepage_entry* find_entry(uint8_t language_driver) noexcept {
    auto it = std::lower_bound(
        table.begin(), table.end(), language_driver,
        [](const dbf_codepage_entry& e, uint8_t b) { return e.language_driver < b; });
    return it != table.end() && it->language_driver == language_driver ? &*it : nullptr;
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

uint32_t dbf_effective_codepage(uint32_t codepage) {
    return codepage != 0 ? codepage : tk_ansi_codepage();
}
