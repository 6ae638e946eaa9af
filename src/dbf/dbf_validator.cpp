#include "dbf/dbf_validator.h"

#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

namespace {

bool is_name_char(char16_t c) {
    return c == u'_' || c == u'-' || tk_is_alnum(c);
}

// A digit of any script: a letter-or-digit that is not a letter.
bool is_digit(char16_t c) {
    return tk_is_alnum(c) && !tk_is_alpha(c);
}

// "%s%03d"
std::u16string numbered(std::u16string_view stem, uint32_t n) {
    const char16_t digits[3] = {char16_t(u'0' + n / 100), char16_t(u'0' + n / 10 % 10),
                                char16_t(u'0' + n % 10)};
    std::u16string name;
    name.reserve(stem.size() + 3);
    name.append(stem);
    name.append(digits, 3);
    return name;
}

} // namespace

dbf_validator::dbf_validator() : udb_validator(max_name_length) {}

bool dbf_validator::has_acceptable_characters(std::u16string_view name) const {
    if (name.size() > max_name_length) {
        TK_TRACE(1, ">>> not acceptable (too long)!");
        return false;
    }
    for (char16_t c : name) {
        if (!is_name_char(c)) {
            TK_TRACE(1, ">>> not acceptable (illegal symbol)!");
            return false;
        }
    }
    return true;
}

bool dbf_validator::is_acceptable(std::u16string_view name) const {
    TK_TRACE(2, "dbf_validator::is_acceptable(%s)", tk_trace_text(name).c_str());
    if (!has_acceptable_characters(name))
        return false;
    TK_TRACE(1, ">>> acceptable!");
    return true;
}

std::u16string dbf_validator::get_safe_name(std::u16string_view name) const {
    TK_TRACE(2, "dbf_validator::get_safe_name(%s)", tk_trace_text(name).c_str());
    std::u16string safe;
    safe.reserve(name.size() + 1);
    if (name.empty() || !tk_is_alpha(name.front()))
        safe.push_back(u'A');
    safe.append(name);
    if (safe.size() > max_name_length)
        safe.resize(max_name_length);
    for (char16_t& c : safe)
        if (!is_name_char(c))
            c = u'_';
    if (is_acceptable(safe) && !is_duplicated(safe))
        return safe;

    if (safe.size() > 7)
        safe.resize(7);
    for (uint32_t n = 0; n < 1000; ++n) {
        std::u16string candidate = numbered(safe, n);
        if (is_acceptable(candidate) && !is_duplicated(candidate))
            return candidate;
    }
    TK_FAIL();
}

dbf_fn_validator::dbf_fn_validator(const udb_schema& schema) {
    for (const t_ftd& field : schema)
        add_existing_name(field.name);
}

bool dbf_fn_validator::is_acceptable(std::u16string_view name) const {
    TK_TRACE(2, "dbf_fn_validator::is_acceptable(%s)", tk_trace_text(name).c_str());
    if (name.empty() || is_digit(name.front()) || !has_acceptable_characters(name))
        return false;
    TK_TRACE(1, ">>> acceptable!");
    return true;
}
