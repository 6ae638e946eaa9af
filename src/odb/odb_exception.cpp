#include "odb/odb_exception.h"

namespace {

std::string first_text(std::string_view operation, const std::vector<odb_diagnostic>& records,
                       size_t primary) {
    if (primary < records.size() && !records[primary].text.empty())
        return records[primary].text;
    for (const odb_diagnostic& record : records)
        if (!record.text.empty())
            return record.text;
    return std::string(operation) + " failed without a diagnostic";
}

size_t find_primary(const std::vector<odb_diagnostic>& records) {
    for (size_t i = 0; i < records.size(); ++i) {
        // Class 01 is a warning; 5701/5703 (database and language changed) come as such.
        if (records[i].native != 0 && !records[i].sqlstate.starts_with("01"))
            return i;
    }
    for (size_t i = 0; i < records.size(); ++i)
        if (!records[i].sqlstate.starts_with("01"))
            return i;
    return 0;
}

} // namespace

odb_exception::odb_exception(std::string_view operation, std::vector<odb_diagnostic> diagnostics,
                             int32_t level)
    : tk_exception(first_text(operation, diagnostics, find_primary(diagnostics)), level),
      diagnostics_(std::move(diagnostics)), primary_(find_primary(diagnostics_)) {}

const odb_diagnostic& odb_exception::primary() const noexcept {
    static const odb_diagnostic none;
    return primary_ < diagnostics_.size() ? diagnostics_[primary_] : none;
}

bool odb_exception::connection_lost() const noexcept {
    for (const odb_diagnostic& record : diagnostics_) {
        // 08S01 communication link failure, 08001 cannot connect, 08003 not open, 08007
        // link failed during a transaction.
        if (record.sqlstate.starts_with("08"))
            return true;
    }
    return false;
}

bool odb_exception::has_native(int32_t number) const noexcept {
    for (const odb_diagnostic& record : diagnostics_)
        if (record.native == number)
            return true;
    return false;
}

std::string odb_strip_vendor_prefix(std::string_view text) {
    while (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            break;
        text.remove_prefix(close + 1);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    return std::string(text);
}
