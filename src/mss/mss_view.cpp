#include "mss/mss_view.h"

#include "mss/mss_names.h"
#include "tk/tk_string.h"
#include "tk/tk_trace.h"

#include <vector>

namespace {

bool is_word_char(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c > 0x7F;
}

bool is_word_start(std::u16string_view text, size_t i) {
    return i == 0 || text[i - 1] == u' ' || text[i - 1] == u',' || text[i - 1] == u'(';
}

// A call rewrite: the word, what replaces the word and its opening parenthesis, and what
// replaces the parenthesis that closes the call.
struct call_rewrite {
    std::u16string_view word;
    std::u16string_view opening;
    std::u16string_view closing;
};

constexpr call_rewrite call_rewrites[] = {
    {u"isnull", u"(", u") is null"},
    {u"from_unixtime", u"DateAdd(ss,(", u"),'01-01-1970')"},
    {u"curdate", u"cast(", u"getdate() as date)"},
    {u"curtime", u"convert(", u"time, getdate())"},
};

constexpr std::u16string_view charset_prefixes[] = {u"_cp", u"_utf", u"_latin"};

// The position of the "(" that follows the word ending at `end`, blanks allowed between;
// npos when something else follows.
size_t call_parenthesis(std::u16string_view text, size_t end) {
    while (end < text.size() && text[end] == u' ')
        ++end;
    return end < text.size() && text[end] == u'(' ? end : std::u16string_view::npos;
}

} // namespace

std::u16string refine_view(std::u16string_view text) {
    TK_TRACE(2, "mss_database::refine_view");
    struct pending_suffix {
        int depth;
        std::u16string_view text;
    };
    std::u16string out;
    out.reserve(text.size() + 16);
    std::vector<pending_suffix> pending;
    bool quoted = false;
    bool back_quote_open = false;
    int depth = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u'\'') {
            quoted = !quoted;
            out.push_back(c);
            ++i;
            continue;
        }
        if (quoted) {
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == u'`') {
            out.push_back(back_quote_open ? u']' : u'[');
            back_quote_open = !back_quote_open;
            ++i;
            continue;
        }
        if (c == u'(') {
            ++depth;
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == u')') {
            if (!pending.empty() && pending.back().depth == depth) {
                out.append(pending.back().text);
                pending.pop_back();
                TK_TRACE(1, "After adding suffix: '%s'", tk_trace_text(out).c_str());
            } else {
                out.push_back(c);
            }
            --depth;
            ++i;
            continue;
        }
        if (is_word_start(text, i) && is_word_char(c)) {
            size_t end = i;
            while (end < text.size() && is_word_char(text[end]))
                ++end;
            std::u16string_view word = text.substr(i, end - i);
            bool done = false;
            for (std::u16string_view prefix : charset_prefixes) {
                if (icomparer(prefix).compare(text, i) == 0) {
                    i = end;
                    done = true;
                    break;
                }
            }
            if (done)
                continue;
            if (word.size() == 3 && icomparer(u"now").compare(text, i) == 0) {
                out.append(u"getdate");
                i = end;
                continue;
            }
            for (const call_rewrite& rewrite : call_rewrites) {
                if (word.size() != rewrite.word.size() ||
                    icomparer(rewrite.word).compare(text, i) != 0)
                    continue;
                size_t open = call_parenthesis(text, end);
                if (open == std::u16string_view::npos)
                    break;
                out.append(rewrite.opening);
                ++depth;
                pending.push_back({depth, rewrite.closing});
                i = open + 1;
                done = true;
                break;
            }
            if (done)
                continue;
            out.append(word);
            i = end;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    out = tk_wstring::replace_all(out, u"IFNULL", u"ISNULL");
    return tk_wstring::replace_all(out, u"ifnull", u"isnull");
}
