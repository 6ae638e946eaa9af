#include "tk/tk_utf8_table.h"

std::unique_ptr<tk_utf8_table> tk_utf8_table::make(const tk_codepage& codepage) {
    const std::array<char16_t, 256>* characters = codepage.byte_characters();
    if (!characters)
        return nullptr;
    return std::unique_ptr<tk_utf8_table>(new tk_utf8_table(codepage, *characters));
}

tk_utf8_table::tk_utf8_table(const tk_codepage& codepage,
                             const std::array<char16_t, 256>& characters)
    : codepage_(&codepage), characters_(characters) {
    for (unsigned b = 0; b < 256; ++b) {
        const char16_t c = characters[b];
        entry& e = entries_[b];
        if (c < 0x80)
            e = {{char(c), 0, 0}, 1};
        else if (c < 0x800)
            e = {{char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F)), 0}, 2};
        else
            e = {{char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))},
                 3};
        if (b < 0x80)
            ascii_as_is_ = ascii_as_is_ && c == b;
    }
}

const tk_utf8_table* tk_utf8_tables::find(const tk_codepage& codepage) {
    for (const std::unique_ptr<tk_utf8_table>& table : tables_)
        if (&table->codepage() == &codepage)
            return table.get();
    for (const tk_codepage* page : multi_byte_)
        if (page == &codepage)
            return nullptr;
    std::unique_ptr<tk_utf8_table> table = tk_utf8_table::make(codepage);
    if (!table) {
        multi_byte_.push_back(&codepage);
        return nullptr;
    }
    tables_.push_back(std::move(table));
    return tables_.back().get();
}
