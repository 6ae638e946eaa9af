// The values of a table that could not be carried as they stand, counted per field.
//
// A source or destination recordset owns one tally. Reading or writing a value that had to be
// changed only bumps a counter (no allocation on the per-value path); the conversion driver
// turns every non-zero count into one level-0 report per field and kind when the table is
// done, so that a table with a million such values says so once, with the count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class udb_value_notes {
public:
    enum kind : uint8_t {
        undecodable_text,    // bytes the code page has no character for became U+FFFD
        unreadable_memo,     // the memo block is outside the file or damaged: NULL
        approximate_number,  // more significant digits than FLOAT(53) keeps
        date_out_of_range,   // a date no column type holds: NULL
        number_out_of_range, // more integer digits than the column holds: NULL
        unknown_type,        // a type letter without a rule: the bytes carried as binary
        binary_in_text_memo, // a text memo field's block holds no text: NULL
        not_a_number,        // number text that is no number ("*****") or too large: NULL
        fraction_dropped,    // a fraction in a field without decimals: the whole part kept
        kind_count
    };

    // Forgets every count and sizes the tally for `columns` fields.
    void reset(size_t columns);
    // One more value of `column` changed as `k` says; a column past the tally is ignored.
    void add(size_t column, kind k) noexcept {
        const size_t at = column * kind_count + k;
        if (at < counts_.size())
            ++counts_[at];
    }
    uint64_t count(size_t column, kind k) const noexcept;
    // What the messages say about the table's text and its code page ("code page 1252").
    void set_text_source(std::string text) { text_source_ = std::move(text); }
    // The detail of one column's note, such as the type letter of an unknown type.
    void set_detail(size_t column, std::string text);

    // One sentence per field and kind with a count: "Table T, field F: 12 values ...".
    // `field_names` are the names of the columns, in column order.
    std::vector<std::string> messages(std::u16string_view table,
                                      const std::vector<std::u16string>& field_names) const;

private:
    std::vector<uint64_t> counts_;
    std::vector<std::string> details_;
    std::string text_source_ = "the code page";
};
