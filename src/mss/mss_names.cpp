#include "mss/mss_names.h"

#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

namespace {

// Reads one bracketed identifier starting at `pos` (which holds "["). On success returns the
// position just past its closing "]" and fills `out` with the identifier, doubled "]" read as
// one; on failure returns npos.
size_t read_bracketed(std::u16string_view text, size_t pos, std::u16string* out) {
    if (pos >= text.size() || text[pos] != u'[')
        return std::u16string_view::npos;
    if (out)
        out->clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] != u']') {
            if (out)
                out->push_back(text[i]);
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == u']') {
            if (out)
                out->push_back(u']');
            ++i;
            continue;
        }
        return i + 1;
    }
    return std::u16string_view::npos;
}

} // namespace

bool mss_is_bracketed(std::u16string_view name) noexcept {
    return name.size() >= 2 && read_bracketed(name, 0, nullptr) == name.size();
}

void mss_append_delimited(std::u16string& out, std::u16string_view text, char16_t open,
                          char16_t close) {
    out.push_back(open);
    for (char16_t c : text) {
        out.push_back(c);
        if (c == close)
            out.push_back(close);
    }
    out.push_back(close);
}

void mss_append_bracketed(std::u16string& out, std::u16string_view name) {
    if (mss_is_bracketed(name))
        out.append(name);
    else
        mss_append_delimited(out, name, u'[', u']');
}

std::u16string mss_bracketed(std::u16string_view name) {
    std::u16string out;
    out.reserve(name.size() + 2);
    mss_append_bracketed(out, name);
    return out;
}

bool mss_split_tab_name(std::u16string_view name, std::u16string& table, std::u16string& owner) {
    TK_TRACE(2, "mss_split_tab_name(%s)", tk_trace_text(name).c_str());
    owner.clear();
    if (name.size() < 3) {
        table.assign(name);
    } else if (name.front() == u'[' && name.back() == u']') {
        TK_TRACE(1, "Name is enclosed in [...]");
        std::u16string first;
        size_t end = read_bracketed(name, 0, &first);
        if (end == name.size()) {
            TK_TRACE(1, "Prepare blank owner for simple name (table only)");
            table = std::move(first);
        } else if (end != std::u16string_view::npos && end < name.size() && name[end] == u'.' &&
                   read_bracketed(name, end + 1, &table) == name.size()) {
            TK_TRACE(1, "Getting owner for composed name");
            owner = std::move(first);
        } else {
            // Not one or two well-formed parts: cut at the first "].[" of the inner text.
            std::u16string_view inner = name.substr(1, name.size() - 2);
            size_t dot = inner.find(u"].[");
            if (dot != std::u16string_view::npos) {
                TK_TRACE(1, "Getting owner for composed name");
                owner.assign(inner.substr(0, dot));
                table.assign(inner.substr(dot + 3));
            } else {
                TK_TRACE(1, "Prepare blank owner for simple name (table only)");
                table.assign(inner);
            }
        }
    } else {
        TK_TRACE(1, "Name is NOT enclosed in [...]");
        table.assign(name);
    }
    TK_TRACE(1, "tab_name=%s, owner=%s", tk_trace_text(table).c_str(),
             tk_trace_text(owner).c_str());
    return true;
}

icomparer::icomparer(std::u16string_view word) : word_(word) {
    TK_TRACE(1, "icomparer::ctor(%s)", tk_trace_text(word).c_str());
}

int32_t icomparer::compare(std::u16string_view text, size_t position) const {
    TK_TRACE(1, "icomparer::compare('%s',%d)", tk_trace_text(text).c_str(),
             static_cast<int>(position));
    if (position >= text.size() || text.size() - position <= word_.size())
        return -1;
    std::u16string_view part = text.substr(position, word_.size());
    TK_TRACE(1, "Got substring: '%s'", tk_trace_text(part).c_str());
    int r = tk_compare_nocase(part, word_);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
