#include "tk/tk_string.h"

#include "tk/tk_trace.h"

#include <charconv>
#include <type_traits>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace {

// Traces name the class the caller used.
template <class Char>
constexpr const char* class_name = std::is_same_v<Char, char> ? "tk_string" : "tk_wstring";

} // namespace

template <class Char> auto tk_basic_string<Char>::trim_left(view text) -> string {
    TK_TRACE(1, "%s::trim_left", class_name<Char>);
    size_t first = text.find_first_not_of(Char(' '));
    if (first == view::npos) {
        if (!text.empty())
            TK_TRACE(1, "Special processing for all-spaces-string");
        return {};
    }
    return string(text.substr(first));
}

template <class Char> auto tk_basic_string<Char>::trim_right(view text) -> string {
    TK_TRACE(1, "%s::trim_right", class_name<Char>);
    size_t last = text.find_last_not_of(Char(' '));
    if (last == view::npos) {
        if (!text.empty())
            TK_TRACE(1, "Special processing for all-spaces-string");
        return {};
    }
    return string(text.substr(0, last + 1));
}

template <class Char> auto tk_basic_string<Char>::trim(view text) -> string {
    TK_TRACE(1, "%s::trim", class_name<Char>);
    size_t first = text.find_first_not_of(Char(' '));
    if (first == view::npos) {
        if (!text.empty())
            TK_TRACE(1, "Special processing for all-spaces-string");
        return {};
    }
    size_t last = text.find_last_not_of(Char(' '));
    return string(text.substr(first, last - first + 1));
}

template <class Char>
auto tk_basic_string<Char>::pad_right(view text, size_t width, Char fill) -> string {
    TK_TRACE(1, "%s::pad_right", class_name<Char>);
    string out(text);
    if (out.size() < width)
        out.append(width - out.size(), fill);
    return out;
}

template <class Char>
auto tk_basic_string<Char>::pad_left(view text, size_t width, Char fill) -> string {
    TK_TRACE(1, "%s::pad_left", class_name<Char>);
    if (text.size() >= width)
        return string(text);
    string out(width - text.size(), fill);
    out.append(text);
    return out;
}

template <class Char>
auto tk_basic_string<Char>::replace_all(view text, view from, view to) -> string {
    TK_TRACE(1, "%s::replace_all", class_name<Char>);
    if (from.empty())
        return string(text);
    string out;
    out.reserve(text.size());
    size_t start = 0;
    for (size_t hit; (hit = text.find(from, start)) != view::npos; start = hit + from.size()) {
        out.append(text.substr(start, hit - start));
        out.append(to);
    }
    out.append(text.substr(start));
    return out;
}

template struct tk_basic_string<char>;
template struct tk_basic_string<char16_t>;

std::string tk_string::to_lower(std::string_view text) {
    TK_TRACE(1, "tk_string::to_lower");
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::u16string tk_wstring::to_lower(std::u16string_view text) {
    TK_TRACE(1, "tk_wstring::to_lower");
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        UChar32 c;
        U16_NEXT(text.data(), i, text.size(), c);
        UChar32 lower = u_tolower(c);
        // The simple mapping never changes the plane of a character that has a lower case.
        if (U16_LENGTH(lower) != U16_LENGTH(c))
            lower = c;
        if (U_IS_BMP(lower)) {
            out += static_cast<char16_t>(lower);
        } else {
            out += static_cast<char16_t>(U16_LEAD(lower));
            out += static_cast<char16_t>(U16_TRAIL(lower));
        }
    }
    return out;
}

bool tk_string::parse_unsigned(std::string_view text, uint64_t& value) noexcept {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size();
}
