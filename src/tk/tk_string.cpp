#include "tk/tk_string.h"

#include "tk/tk_trace.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace {

// The same rules for narrow and wide strings.
template <class Char> struct string_rules {
    using view = std::basic_string_view<Char>;
    using string = std::basic_string<Char>;
    static constexpr Char blank = Char(' ');

    static string trim_left(view text) {
        size_t first = text.find_first_not_of(blank);
        if (first == view::npos) {
            if (!text.empty())
                TK_TRACE(1, "Special processing for all-spaces-string");
            return {};
        }
        return string(text.substr(first));
    }

    static string trim_right(view text) {
        size_t last = text.find_last_not_of(blank);
        if (last == view::npos) {
            if (!text.empty())
                TK_TRACE(1, "Special processing for all-spaces-string");
            return {};
        }
        return string(text.substr(0, last + 1));
    }

    static string trim(view text) {
        size_t first = text.find_first_not_of(blank);
        if (first == view::npos) {
            if (!text.empty())
                TK_TRACE(1, "Special processing for all-spaces-string");
            return {};
        }
        size_t last = text.find_last_not_of(blank);
        return string(text.substr(first, last - first + 1));
    }

    static string pad_right(view text, size_t width, Char fill) {
        string out(text);
        if (out.size() < width)
            out.append(width - out.size(), fill);
        return out;
    }

    static string pad_left(view text, size_t width, Char fill) {
        if (text.size() >= width)
            return string(text);
        string out(width - text.size(), fill);
        out.append(text);
        return out;
    }

    static string replace_all(view text, view from, view to) {
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
};

using narrow_rules = string_rules<char>;
using wide_rules = string_rules<char16_t>;

} // namespace

std::string tk_string::trim_left(std::string_view text) {
    TK_TRACE(1, "tk_string::trim_left");
    return narrow_rules::trim_left(text);
}

std::string tk_string::trim_right(std::string_view text) {
    TK_TRACE(1, "tk_string::trim_right");
    return narrow_rules::trim_right(text);
}

std::string tk_string::trim(std::string_view text) {
    TK_TRACE(1, "tk_string::trim");
    return narrow_rules::trim(text);
}

std::string tk_string::pad_right(std::string_view text, size_t width, char fill) {
    TK_TRACE(1, "tk_string::pad_right");
    return narrow_rules::pad_right(text, width, fill);
}

std::string tk_string::pad_left(std::string_view text, size_t width, char fill) {
    TK_TRACE(1, "tk_string::pad_left");
    return narrow_rules::pad_left(text, width, fill);
}

std::string tk_string::replace_all(std::string_view text, std::string_view from,
                                   std::string_view to) {
    TK_TRACE(1, "tk_string::replace_all");
    return narrow_rules::replace_all(text, from, to);
}

std::string tk_string::to_lower(std::string_view text) {
    TK_TRACE(1, "tk_string::to_lower");
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::u16string tk_wstring::trim_left(std::u16string_view text) {
    TK_TRACE(1, "tk_wstring::trim_left");
    return wide_rules::trim_left(text);
}

std::u16string tk_wstring::trim_right(std::u16string_view text) {
    TK_TRACE(1, "tk_wstring::trim_right");
    return wide_rules::trim_right(text);
}

std::u16string tk_wstring::trim(std::u16string_view text) {
    TK_TRACE(1, "tk_wstring::trim");
    return wide_rules::trim(text);
}

std::u16string tk_wstring::pad_right(std::u16string_view text, size_t width, char16_t fill) {
    TK_TRACE(1, "tk_wstring::pad_right");
    return wide_rules::pad_right(text, width, fill);
}

std::u16string tk_wstring::pad_left(std::u16string_view text, size_t width, char16_t fill) {
    TK_TRACE(1, "tk_wstring::pad_left");
    return wide_rules::pad_left(text, width, fill);
}

std::u16string tk_wstring::replace_all(std::u16string_view text, std::u16string_view from,
                                       std::u16string_view to) {
    TK_TRACE(1, "tk_wstring::replace_all");
    return wide_rules::replace_all(text, from, to);
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
