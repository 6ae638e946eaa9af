#include "ole/ole_guid_extractor.h"

#include "tk/tk_trace.h"

namespace {

bool is_blank(char16_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text of a GUID with its hyphens: 32 hexadecimal digits and 4 hyphens.
constexpr size_t guid_text_length = 36;
constexpr size_t longest_text = 45;

} // namespace

ole_guid_extractor::ole_guid_extractor(std::u16string_view text) {
    TK_TRACE(2, "ole_guid_extractor::ctor(%s)", tk_trace_text(text).c_str());
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    text_.assign(text);

    if (text_.size() < guid_text_length) {
        TK_TRACE(1, "Text is too short for GUID");
        return;
    }
    if (text_.size() > longest_text) {
        TK_TRACE(1, "Text is too long for GUID");
        return;
    }
    size_t lower = text_.find(u"guid");
    size_t upper = text_.find(u"GUID");
    TK_TRACE(1, "Locating 'guid' (%d : %d)", lower == std::u16string::npos ? -1 : int(lower),
             upper == std::u16string::npos ? -1 : int(upper));
    size_t found = lower != std::u16string::npos ? lower : upper;
    if (found == std::u16string::npos)
        return;

    size_t position = found + 4;
    while (text_.size() - position >= guid_text_length && text_[position] == u'{')
        ++position;
    if (text_.size() < position || text_.size() - position < guid_text_length)
        return;
    TK_TRACE(1, "GUID is valid");
    position_ = static_cast<int32_t>(position);
    valid_ = true;
}

std::u16string ole_guid_extractor::get_guid() const {
    if (!valid_)
        return {};
    return text_.substr(static_cast<size_t>(position_), guid_text_length + 2);
}
