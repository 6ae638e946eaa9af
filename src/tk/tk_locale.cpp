#include "tk/tk_locale.h"

#include "tk/tk_text.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

namespace {

struct collator_closer {
    void operator()(UCollator* c) const noexcept { ucol_close(c); }
};
using collator_ptr = std::unique_ptr<UCollator, collator_closer>;

// The user's locale with a strength that tells letters and accents apart but not case.
// The POSIX locale ("en_US_POSIX") orders by code point, which would tell case apart too:
// it, and any locale ICU cannot open, compares by the root order instead.
collator_ptr open_user_collator() {
    const char* locale = uloc_getDefault();
    if (!locale || std::strstr(locale, "POSIX") || std::strcmp(locale, "c") == 0)
        locale = "";
    UErrorCode status = U_ZERO_ERROR;
    collator_ptr c(ucol_open(locale, &status));
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        c.reset(ucol_open("", &status));
        if (U_FAILURE(status))
            return nullptr;
    }
    ucol_setStrength(c.get(), UCOL_SECONDARY);
    return c;
}

// Collators are cheap to clone and each thread compares with its own.
UCollator* thread_collator() {
    static std::once_flag once;
    static collator_ptr master;
    std::call_once(once, [] { master = open_user_collator(); });
    if (!master)
        return nullptr;
    thread_local collator_ptr own;
    if (!own) {
        UErrorCode status = U_ZERO_ERROR;
        own.reset(ucol_clone(master.get(), &status));
        if (U_FAILURE(status))
            return nullptr;
    }
    return own.get();
}

bool is_ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

int tk_compare_nocase(std::u16string_view a, std::u16string_view b) {
    if (UCollator* c = thread_collator()) {
        UCollationResult r = ucol_strcoll(
            c, reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
            reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()));
        return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
    }
    // Without collation data: full case folding, ordered by code point.
    UErrorCode status = U_ZERO_ERROR;
    int r =
        u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                         reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()),
                         U_FOLD_CASE_DEFAULT, &status);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool tk_equal_nocase(std::u16string_view a, std::u16string_view b) {
    return tk_compare_nocase(a, b) == 0;
}

bool tk_equal_nocase(std::string_view a, std::string_view b) {
    if (is_ascii(a) && is_ascii(b)) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (ascii_lower(a[i]) != ascii_lower(b[i]))
                return false;
        return true;
    }
    std::u16string wa, wb;
    const tk_codepage& utf8 = tk_codepage::get(tk_cp_utf8);
    utf8.decode(a, wa);
    utf8.decode(b, wb);
    UErrorCode status = U_ZERO_ERROR;
    return u_strCaseCompare(reinterpret_cast<const UChar*>(wa.data()),
                            static_cast<int32_t>(wa.size()),
                            reinterpret_cast<const UChar*>(wb.data()),
                            static_cast<int32_t>(wb.size()), U_FOLD_CASE_DEFAULT, &status) == 0;
}

bool tk_is_alpha(char16_t c) {
    return u_isalpha(c) != 0;
}

bool tk_is_alnum(char16_t c) {
    return u_isalnum(c) != 0;
}
