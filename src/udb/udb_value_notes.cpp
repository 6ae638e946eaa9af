#include "udb/udb_value_notes.h"

#include "tk/tk_text.h"

namespace {

// What became of the values of one kind, for one value and for several; "{}" stands for the
// detail (the table's code page, a type letter).
struct wording {
    const char* one;
    const char* many;
};

constexpr wording wordings[udb_value_notes::kind_count] = {
    {" held bytes that {} cannot decode; they were replaced by U+FFFD",
     " held bytes that {} cannot decode; they were replaced by U+FFFD"},
    {" refers to memo data that cannot be read (past the end of the memo file or damaged); it "
     "is NULL",
     " refer to memo data that cannot be read (past the end of the memo file or damaged); they "
     "are NULL"},
    {" has more significant digits than FLOAT(53) keeps (about 15); it was rounded",
     " have more significant digits than FLOAT(53) keeps (about 15); they were rounded"},
    {" holds a date that no column type can hold; it is NULL",
     " hold dates that no column type can hold; they are NULL"},
    {" has more integer digits than the column holds; it is NULL",
     " have more integer digits than the column holds; they are NULL"},
    {" has a type letter{} that is not known; its bytes were carried as VARBINARY",
     " have a type letter{} that is not known; their bytes were carried as VARBINARY"},
    {" holds binary data (a picture, an OLE object or bytes that are no text) in a text memo "
     "field; it is NULL",
     " hold binary data (a picture, an OLE object or bytes that are no text) in a text memo "
     "field; they are NULL"},
    {" holds text that is not a number its field can hold (such as the \"*****\" of an "
     "overflowed field); it is NULL",
     " hold text that is not a number their field can hold (such as the \"*****\" of an "
     "overflowed field); they are NULL"},
    {" has a fraction, but its field has no decimals; only the whole part was carried",
     " have a fraction, but their field has no decimals; only the whole part was carried"},
};

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
    for (size_t c = 0; c < details_.size(); ++c) {
        for (uint8_t k = 0; k < kind_count; ++k) {
            const uint64_t n = count(c, kind(k));
            if (n == 0)
                continue;
            std::string detail;
            if (k == undecodable_text)
                detail = text_source_;
            else if (!details_[c].empty())
                detail = " '" + details_[c] + "'";
            std::string tail = n == 1 ? wordings[k].one : wordings[k].many;
            if (const size_t at = tail.find("{}"); at != std::string::npos)
                tail.replace(at, 2, detail);
            out.push_back("Table " + tk_to_utf8(table) + ", field " +
                          (c < field_names.size() ? tk_to_utf8(field_names[c]) : "?") + ": " +
                          std::to_string(n) + (n == 1 ? " value" : " values") + tail);
        }
    }
    return out;
}
