#include "app/progress_line.h"

#include "tk/tk_text.h"
#include "udb/udb_converter.h"

#include <algorithm>

progress_snapshot take_progress_snapshot(const udb_converter& converter) {
    progress_snapshot s;
    s.finished = converter.is_finished();
    s.percent = converter.get_progress_percent();
    s.tables_finished = converter.get_tables_finished();
    s.table_count = converter.get_table_count();
    s.current_record = converter.get_current_record();
    s.records_in_table = converter.get_records_in_table();
    s.table = converter.get_current_table();
    return s;
}

std::string format_count(uint64_t value) {
    std::string digits = std::to_string(value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

namespace {

// Columns a UTF-16 text takes on a terminal, counting each character as one.
size_t columns(std::u16string_view text) {
    size_t n = 0;
    for (char16_t c : text)
        n += (c & 0xFC00) != 0xDC00; // a low surrogate belongs to the character before it
    return n;
}

std::u16string cut_to_columns(std::u16string_view text, size_t width) {
    if (columns(text) <= width)
        return std::u16string(text);
    if (width <= 3)
        return std::u16string(width, u'.');
    std::u16string out;
    size_t used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool starts_character = (text[i] & 0xFC00) != 0xDC00;
        if (starts_character && used == width - 3)
            break;
        out += text[i];
        used += starts_character;
    }
    return out + u"...";
}

} // namespace

std::string format_progress_line(const progress_snapshot& progress, size_t width) {
    constexpr size_t bar_width = 20;
    const uint32_t percent = std::min<uint32_t>(progress.percent, 100);
    const size_t filled = bar_width * percent / 100;

    std::string line = "[" + std::string(filled, '#') + std::string(bar_width - filled, '.') + "] ";
    const std::string number = std::to_string(percent);
    line += std::string(3 - std::min<size_t>(3, number.size()), ' ') + number + "%";
    if (progress.table_count != 0) {
        const uint32_t table = std::min(progress.tables_finished + 1, progress.table_count);
        line += "  table " + std::to_string(table) + "/" + std::to_string(progress.table_count);
    }
    if (line.size() >= width)
        return line.substr(0, width);

    // Everything so far is ASCII: bytes are columns. The records go before the name when the
    // line is too narrow for both; the name takes what is left, at least four columns.
    std::string records;
    if (progress.records_in_table != 0)
        records = "  " + format_count(progress.current_record) + "/" +
                  format_count(progress.records_in_table) + " records";
    if (line.size() + records.size() > width)
        records.clear();
    const size_t room = width - line.size() - records.size();
    if (!progress.table.empty() && room >= 5)
        line += " " + tk_to_utf8_lossy(cut_to_columns(progress.table, room - 1));
    return line + records;
}
