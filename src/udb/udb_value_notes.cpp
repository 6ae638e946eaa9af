#include "udb/udb_value_notes.h"

#include "tk/tk_text.h"

namespace {

std::string values(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " value" : " values");
}

} // namespace

void udb_value_notes::reset(size_t columns) {
    counts_.assign(columns * kind_count, 0);
    details_.assign(columns, std::string());
}

uint64_t udb_value_notes::count(size_t column, kind k) const noexcept {
    const size_t at = column * kind_count + k;
    return at < counts_.size() ? counts_[at] : 0;
}

void udb_value_notes::set_detail(size_t column, std::string text) {
    if (column < details_.size())
        details_[column] = std::move(text);
}

std::vector<std::string>
udb_value_notes::messages(std::u16string_view table,
                          const std::vector<std::u16string>& field_names) const {
    std::vector<std::string> out;
    const size_t columns = details_.size();
    for (size_t c = 0; c < columns; ++c) {
        for (uint8_t k = 0; k < kind_count; ++k) {
            const uint64_t n = count(c, kind(k));
            if (n == 0)
                continue;
            std::string text = "Table " + tk_to_utf8(table) + ", field " +
                               (c < field_names.size() ? tk_to_utf8(field_names[c]) : "?") + ": " +
                               values(n);
            const bool one = n == 1;
            switch (kind(k)) {
            case undecodable_text:
                text += " held bytes that " + text_source_ +
                        " cannot decode; they were replaced by U+FFFD";
                break;
            case unreadable_memo:
                text += std::string(one ? " refers" : " refer") +
                        " to memo data that cannot be read (past the end of the memo file or "
                        "damaged); " +
                        (one ? "it is" : "they are") + " NULL";
                break;
            case approximate_number:
                text += std::string(one ? " has" : " have") +
                        " more significant digits than FLOAT(53) keeps (about 15); " +
                        (one ? "it was" : "they were") + " rounded";
                break;
            case date_out_of_range:
                text += std::string(one ? " holds a date" : " hold dates") +
                        " that no column type can hold; " + (one ? "it is" : "they are") + " NULL";
                break;
            case number_out_of_range:
                text += std::string(one ? " has" : " have") +
                        " more integer digits than the column holds; " +
                        (one ? "it is" : "they are") + " NULL";
                break;
            case unknown_type:
                text += std::string(one ? " has" : " have") + " a type letter" +
                        (details_[c].empty() ? "" : " '" + details_[c] + "'") +
                        " that is not known; " + (one ? "its bytes were" : "their bytes were") +
                        " carried as VARBINARY";
                break;
            case binary_in_text_memo:
                text += std::string(one ? " holds" : " hold") +
                        " binary data (a picture, an OLE object or bytes that are no text) in "
                        "a text memo field; " +
                        (one ? "it is" : "they are") + " NULL";
                break;
            case kind_count:
                break;
            }
            out.push_back(std::move(text));
        }
    }
    return out;
}
