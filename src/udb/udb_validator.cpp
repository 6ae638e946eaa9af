#include "udb/udb_validator.h"

#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <array>

namespace {

constexpr int number_digits = 5;
constexpr uint32_t candidate_count = 100000;

bool is_high_surrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// Cuts the name to `length` code units without leaving half a surrogate pair at its end.
void cut(std::u16string& name, size_t length) {
    if (name.size() <= length)
        return;
    name.resize(length);
    if (!name.empty() && is_high_surrogate(name.back()))
        name.pop_back();
}

// "%05d"
void append_number(std::u16string& text, uint32_t n) {
    std::array<char16_t, number_digits> digits;
    for (int i = number_digits - 1; i >= 0; --i) {
        digits[size_t(i)] = char16_t(u'0' + n % 10);
        n /= 10;
    }
    text.append(digits.data(), digits.size());
}

} // namespace

udb_validator::udb_validator(uint32_t max_length) : max_length_(max_length) {
    TK_TRACE(2, "udb_validator::ctor");
}

bool udb_validator::is_acceptable(std::u16string_view name) const {
    TK_TRACE(2, "udb_validator::is_acceptable(%s)", tk_trace_text(name).c_str());
    if (max_length_ != 0 && name.size() > max_length_) {
        TK_TRACE(1, "The name is too long");
        return false;
    }
    for (const std::u16string& restricted : restricted_names_) {
        if (tk_equal_nocase(restricted, name)) {
            TK_TRACE(2, "The name is restricted");
            return false;
        }
    }
    for (char16_t c : illegal_chars_) {
        if (name.find(c) != std::u16string_view::npos) {
            TK_TRACE(2, "The name contains illegal: %s",
                     tk_trace_text(std::u16string_view(&c, 1)).c_str());
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(std::u16string_view name) const {
    TK_TRACE(2, "udb_validator::is_duplicated(%s)", tk_trace_text(name).c_str());
    for (const std::u16string& existing : existing_names_) {
        TK_TRACE(1, "Processing %s", tk_trace_text(existing).c_str());
        if (tk_equal_nocase(existing, name)) {
            TK_TRACE(2, "Name is duplicated");
            return true;
        }
    }
    return false;
}

std::u16string udb_validator::get_safe_name(std::u16string_view name) const {
    TK_TRACE(2, "udb_validator::get_safe_name(%s)", tk_trace_text(name).c_str());
    std::u16string copy(name);
    if (max_length_ != 0 && copy.size() > max_length_)
        cut(copy, max_length_ - 1);
    for (char16_t c : illegal_chars_)
        std::replace(copy.begin(), copy.end(), c, u'_');
    if (is_acceptable(copy) && !is_duplicated(copy))
        return copy;

    // Room for the five digits within the limit.
    if (max_length_ != 0 && copy.size() + number_digits > max_length_)
        cut(copy, max_length_ > number_digits ? max_length_ - number_digits - 1 : 0);
    std::u16string candidate;
    for (uint32_t i = 0; i < candidate_count; ++i) {
        candidate = copy;
        append_number(candidate, i);
        if (is_acceptable(candidate) && !is_duplicated(candidate))
            return candidate;
    }
    TK_FAIL();
}

void udb_validator::add_existing_name(std::u16string name) {
    TK_TRACE(2, "udb_validator::add_existing_name(%s)", tk_trace_text(name).c_str());
    existing_names_.push_back(std::move(name));
}
