#include "tk/tk_text.h"

#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <langinfo.h>
#include <map>
#include <memory>
#include <mutex>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char16_t replacement = 0xFFFD;

const char to_utf8_failed[] = "Cannot convert to UTF8 string: ";
const char to_ansi_failed[] = "Cannot convert to ANSI string: ";
const char to_unicode_failed[] = "Cannot convert to UNICODE string: ";

[[noreturn]] void conversion_failed(const char* prefix, int error_number) {
    throw tk_exception_ex(prefix, tk_exception::recoverable, error_number);
}

// ICU measures text in int32_t; a text beyond that (2 GB) cannot be a DBF field or a name.
int32_t icu_length(size_t length, const char* prefix) {
    if (length > static_cast<size_t>(INT32_MAX) / 4)
        conversion_failed(prefix, EOVERFLOW);
    return static_cast<int32_t>(length);
}

const UChar* as_uchar(const char16_t* p) {
    return reinterpret_cast<const UChar*>(p);
}
UChar* as_uchar(char16_t* p) {
    return reinterpret_cast<UChar*>(p);
}

// ---------------------------------------------------------------------------------------------
// Single-byte code pages: one table lookup per byte in each direction.

class sbcs_codepage final : public tk_codepage {
public:
    using table = std::array<char16_t, 256>; // replacement marks a byte without a character

    sbcs_codepage(uint32_t codepage, const table& to_unicode)
        : tk_codepage(codepage), to_unicode_(to_unicode) {
        for (char16_t b = 0; b < 0x80; ++b)
            ascii_as_is_ = ascii_as_is_ && to_unicode_[b] == b;
        for (char16_t c : to_unicode_)
            all_mapped_ = all_mapped_ && c != replacement;
        page_of_.fill(0);
        // Walk backwards so that, where two bytes carry the same character, the lower byte
        // is the one written.
        for (int b = 255; b >= 0; --b) {
            char16_t c = to_unicode_[static_cast<size_t>(b)];
            if (c == replacement)
                continue;
            uint16_t& page = page_of_[c >> 8];
            if (page == 0) {
                pages_.emplace_back();
                pages_.back().fill(-1);
                page = static_cast<uint16_t>(pages_.size());
            }
            pages_[page - 1u][c & 0xFF] = static_cast<int16_t>(b);
        }
    }

    void decode(std::string_view bytes, std::u16string& out) const override {
        out.resize(bytes.size());
        char16_t* d = out.data();
        const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
        for (size_t i = 0, n = bytes.size(); i < n; ++i)
            d[i] = to_unicode_[s[i]];
    }

    bool decode_checked(std::string_view bytes, std::u16string& out) const override {
        // The check rides along the one pass: it is on the path of every text value.
        out.resize(bytes.size());
        char16_t* d = out.data();
        const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
        bool unmapped = false;
        const size_t n = bytes.size();
        for (size_t i = 0; i < n;) {
            size_t stop = n;
#if defined(__SSE2__)
            // Most text is ASCII, which nearly every page keeps as it is: up to 16 such bytes
            // are widened at once, and the table takes the byte that ends a run.
            if (ascii_as_is_ && n - i >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(v, zero));
                // The units after the run are written again below.
                const auto high = unsigned(_mm_movemask_epi8(v));
                if (high == 0) {
                    i += 16;
                    continue;
                }
                i += size_t(std::countr_zero(high));
                stop = i + 1;
            }
#endif
            for (; i < stop; ++i) {
                const char16_t c = to_unicode_[s[i]];
                d[i] = c;
                unmapped |= c == replacement;
            }
        }
        return !unmapped;
    }

    const std::array<char16_t, 256>* byte_characters() const noexcept override {
        return &to_unicode_;
    }

    bool maps_all(std::string_view bytes) const override {
        if (all_mapped_)
            return true;
        const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
        unsigned char unmapped = 0;
        for (size_t i = 0, n = bytes.size(); i < n; ++i)
            unmapped |= uint8_t(to_unicode_[s[i]] == replacement);
        return unmapped == 0;
    }

    bool encode(std::u16string_view text, std::string& out) const override {
        out.resize(text.size());
        bool all = true;
        for (size_t i = 0, n = text.size(); i < n; ++i) {
            char16_t c = text[i];
            uint16_t page = page_of_[c >> 8];
            int16_t b = page ? pages_[page - 1u][c & 0xFF] : int16_t{-1};
            if (b < 0) {
                all = false;
                b = '?';
            }
            out[i] = static_cast<char>(b);
        }
        return all;
    }

private:
    table to_unicode_;
    bool ascii_as_is_ = true;           // the bytes below 0x80 are the same characters
    bool all_mapped_ = true;            // every byte has a character
    std::array<uint16_t, 256> page_of_; // high byte of a character -> pages_ index + 1
    std::vector<std::array<int16_t, 256>> pages_;
};

// Mazovia (Polish MS-DOS, 620) and Kamenicky (Czech and Slovak MS-DOS, 895) are code page 437
// with national letters in some of the places of its accented Latin letters.
struct patch {
    uint8_t byte;
    char16_t character;
};

constexpr patch mazovia_patch[] = {
    {0x86, 0x0105}, {0x8D, 0x0107}, {0x8F, 0x0104}, {0x90, 0x0118}, {0x91, 0x0119}, {0x92, 0x0142},
    {0x95, 0x0106}, {0x98, 0x015A}, {0x9C, 0x0141}, {0x9E, 0x015B}, {0xA0, 0x0179}, {0xA1, 0x017B},
    {0xA3, 0x00D3}, {0xA4, 0x0144}, {0xA5, 0x0143}, {0xA6, 0x017A}, {0xA7, 0x017C},
};

// Where ICU's tables of the MS-DOS pages differ from what Windows gives for them: the micro
// sign rather than the Greek mu, and the not sign that ICU's 852 lacks.
struct codepage_patch {
    uint32_t codepage;
    patch change;
};

constexpr codepage_patch windows_patches[] = {
    {437, {0xE6, 0x00B5}},
    {861, {0xE6, 0x00B5}},
    {865, {0xE6, 0x00B5}},
    {852, {0xAA, 0x00AC}},
};

// Kamenicky replaces the whole range 0x80-0xAD.
constexpr char16_t kamenicky_upper[] = {
    0x010C, 0x00FC, 0x00E9, 0x010F, 0x00E4, 0x010E, 0x0164, 0x010D, // 0x80
    0x011B, 0x011A, 0x0139, 0x00CD, 0x013E, 0x013A, 0x00C4, 0x00C1, // 0x88
    0x00C9, 0x017E, 0x017D, 0x00F4, 0x00F6, 0x00D3, 0x016F, 0x00DA, // 0x90
    0x00FD, 0x00D6, 0x00DC, 0x0160, 0x013D, 0x00DD, 0x0158, 0x0165, // 0x98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0148, 0x0147, 0x016E, 0x00D4, // 0xA0
    0x0161, 0x0159, 0x0155, 0x0154, 0x00BC, 0x00A7,                 // 0xA8
};

// ---------------------------------------------------------------------------------------------
// UTF-8.

class utf8_codepage final : public tk_codepage {
public:
    utf8_codepage() : tk_codepage(tk_cp_utf8) {}

    void decode(std::string_view bytes, std::u16string& out) const override {
        decode_checked(bytes, out);
    }

    bool decode_checked(std::string_view bytes, std::u16string& out) const override {
        // A UTF-8 text never needs more UTF-16 units than it has bytes.
        int32_t length = icu_length(bytes.size(), to_unicode_failed);
        out.resize(bytes.size());
        int32_t written = 0;
        int32_t substituted = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(as_uchar(out.data()), length, &written, bytes.data(), length,
                             replacement, &substituted, &status);
        if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
            out.clear();
            return false;
        }
        out.resize(static_cast<size_t>(written));
        return substituted == 0;
    }

    bool encode(std::u16string_view text, std::string& out) const override {
        int32_t length = icu_length(text.size(), to_utf8_failed);
        out.resize(text.size() * 3);
        int32_t written = 0;
        int32_t substituted = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &written,
                           as_uchar(text.data()), length, '?', &substituted, &status);
        if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
            out.clear();
            return false;
        }
        out.resize(static_cast<size_t>(written));
        return substituted == 0;
    }
};

// ---------------------------------------------------------------------------------------------
// Multi-byte code pages (932, 936, 949, 950, 54936 ...) through ICU converters. A converter
// keeps state and must not be shared between threads: each thread opens its own.

struct converter_closer {
    void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};
using converter_ptr = std::unique_ptr<UConverter, converter_closer>;

converter_ptr open_converter(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    converter_ptr c(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status))
        return nullptr;
    return c;
}

// IBM's tables rotate three control codes (0x1A, 0x1C, 0x7F) against Windows; Windows keeps
// every byte below 0x80 as its ASCII character, and so do we.
constexpr char16_t ibm_1a = 0x001C, ibm_1c = 0x007F, ibm_7f = 0x001A;

char16_t from_ibm_control(char16_t c) {
    switch (c) {
    case ibm_1a:
        return 0x1A;
    case ibm_1c:
        return 0x1C;
    case ibm_7f:
        return 0x7F;
    default:
        return c;
    }
}

char16_t to_ibm_control(char16_t c) {
    switch (c) {
    case 0x1A:
        return ibm_1a;
    case 0x1C:
        return ibm_1c;
    case 0x7F:
        return ibm_7f;
    default:
        return c;
    }
}

class icu_codepage final : public tk_codepage {
public:
    icu_codepage(uint32_t codepage, std::string icu_name, bool rotated_controls)
        : tk_codepage(codepage), icu_name_(std::move(icu_name)), rotated_(rotated_controls) {}

    void decode(std::string_view bytes, std::u16string& out) const override {
        decode_checked(bytes, out);
    }

    bool decode_checked(std::string_view bytes, std::u16string& out) const override {
        UConverter* c = converter();
        int32_t length = icu_length(bytes.size(), to_unicode_failed);
        bool exact = to_unicode(c, UCNV_TO_U_CALLBACK_STOP, bytes, length, out);
        if (!exact)
            to_unicode(c, UCNV_TO_U_CALLBACK_SUBSTITUTE, bytes, length, out);
        if (rotated_)
            for (char16_t& ch : out)
                if (ch < 0x80)
                    ch = from_ibm_control(ch);
        return exact;
    }

    bool encode(std::u16string_view text, std::string& out) const override {
        UConverter* c = converter();
        icu_length(text.size(), to_ansi_failed);
        std::u16string rotated;
        if (rotated_) {
            rotated.assign(text);
            for (char16_t& ch : rotated)
                if (ch < 0x80)
                    ch = to_ibm_control(ch);
            text = rotated;
        }
        if (from_unicode(c, UCNV_FROM_U_CALLBACK_STOP, text, out))
            return true;
        from_unicode(c, UCNV_FROM_U_CALLBACK_SUBSTITUTE, text, out);
        return false;
    }

private:
    UConverter* converter() const {
        thread_local std::unordered_map<const icu_codepage*, converter_ptr> converters;
        converter_ptr& slot = converters[this];
        if (!slot) {
            slot = open_converter(icu_name_);
            if (!slot)
                throw tk_exception("Cannot open the converter of code page " +
                                       std::to_string(number()),
                                   tk_exception::stop_run);
            UErrorCode status = U_ZERO_ERROR;
            ucnv_setSubstChars(slot.get(), "?", 1, &status);
        }
        return slot.get();
    }

    static bool to_unicode(UConverter* c, UConverterToUCallback callback, std::string_view bytes,
                           int32_t length, std::u16string& out) {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setToUCallBack(c, callback, nullptr, nullptr, nullptr, &status);
        // One byte never gives more than two UTF-16 units (a four-byte GB18030 sequence
        // gives a surrogate pair).
        out.resize(bytes.size() * 2);
        ucnv_resetToUnicode(c);
        status = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(c, as_uchar(out.data()), static_cast<int32_t>(out.size()),
                                  bytes.data(), length, &status);
        if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
            out.clear();
            return false;
        }
        out.resize(static_cast<size_t>(n));
        return true;
    }

    static bool from_unicode(UConverter* c, UConverterFromUCallback callback,
                             std::u16string_view text, std::string& out) {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setFromUCallBack(c, callback, nullptr, nullptr, nullptr, &status);
        out.resize(text.size() * static_cast<size_t>(ucnv_getMaxCharSize(c)));
        ucnv_resetFromUnicode(c);
        status = U_ZERO_ERROR;
        int32_t n =
            ucnv_fromUChars(c, out.data(), static_cast<int32_t>(out.size()), as_uchar(text.data()),
                            static_cast<int32_t>(text.size()), &status);
        if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
            out.clear();
            return false;
        }
        out.resize(static_cast<size_t>(n));
        return true;
    }

    std::string icu_name_;
    bool rotated_;
};

// ---------------------------------------------------------------------------------------------
// Building a code page.

std::vector<std::string> icu_names(uint32_t codepage) {
    if (codepage >= 28591 && codepage <= 28599)
        return {"ISO-8859-" + std::to_string(codepage - 28590)};
    switch (codepage) {
    case 20127:
        return {"US-ASCII"};
    case 20866:
        return {"KOI8-R"};
    case 21866:
        return {"KOI8-U"};
    case 20932:
    case 51932:
        return {"EUC-JP"};
    case 51949:
        return {"EUC-KR"};
    case 54936:
        return {"GB18030"};
    case 28603:
        return {"ISO-8859-13"};
    case 28605:
        return {"ISO-8859-15"};
    default:
        break;
    }
    std::string n = std::to_string(codepage);
    return {"windows-" + n, "ibm-" + n, "cp" + n};
}

// The table of a single-byte ICU converter, or false when a byte decodes to more than one
// character.
bool icu_table(UConverter* c, sbcs_codepage::table& table) {
    UErrorCode set_status = U_ZERO_ERROR;
    ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &set_status);
    for (int b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        UChar out[4];
        UErrorCode status = U_ZERO_ERROR;
        ucnv_resetToUnicode(c);
        int32_t n = ucnv_toUChars(c, out, 4, &byte, 1, &status);
        if (U_FAILURE(status) || n == 0)
            table[static_cast<size_t>(b)] = replacement;
        else if (n == 1 && !U16_IS_SURROGATE(out[0]))
            table[static_cast<size_t>(b)] = static_cast<char16_t>(out[0]);
        else
            return false;
    }
    return true;
}

bool ascii_based(const sbcs_codepage::table& table) {
    for (char16_t b = 0x20; b < 0x7F; ++b)
        if (table[b] != b)
            return false;
    return true;
}

std::unique_ptr<tk_codepage> build_codepage(uint32_t codepage) {
    if (codepage == tk_cp_utf8)
        return std::make_unique<utf8_codepage>();
    if (codepage == 620 || codepage == 895) {
        const tk_codepage* base = tk_codepage::find(437);
        if (!base)
            return nullptr;
        sbcs_codepage::table table;
        std::u16string text;
        for (int b = 0; b < 256; ++b) {
            char byte = static_cast<char>(b);
            base->decode(std::string_view(&byte, 1), text);
            table[static_cast<size_t>(b)] = text[0];
        }
        if (codepage == 620)
            for (const patch& p : mazovia_patch)
                table[p.byte] = p.character;
        else
            for (size_t i = 0; i < std::size(kamenicky_upper); ++i)
                table[0x80 + i] = kamenicky_upper[i];
        return std::make_unique<sbcs_codepage>(codepage, table);
    }
    for (const std::string& name : icu_names(codepage)) {
        converter_ptr c = open_converter(name);
        if (!c)
            continue;
        if (ucnv_getMaxCharSize(c.get()) == 1) {
            sbcs_codepage::table table;
            if (icu_table(c.get(), table)) {
                if (ascii_based(table))
                    for (char16_t b = 0; b < 0x80; ++b)
                        table[b] = b;
                for (const codepage_patch& p : windows_patches)
                    if (p.codepage == codepage)
                        table[p.change.byte] = p.change.character;
                return std::make_unique<sbcs_codepage>(codepage, table);
            }
        }
        UChar probe[2];
        UErrorCode status = U_ZERO_ERROR;
        const char control = 0x1A;
        int32_t n = ucnv_toUChars(c.get(), probe, 2, &control, 1, &status);
        bool rotated = U_SUCCESS(status) && n == 1 && probe[0] == ibm_1a;
        return std::make_unique<icu_codepage>(codepage, name, rotated);
    }
    return nullptr;
}

struct codepage_registry {
    std::mutex mutex;
    std::map<uint32_t, std::unique_ptr<tk_codepage>> pages; // null: known to be unsupported
};

codepage_registry& registry() {
    static codepage_registry r;
    return r;
}

// Windows numbers of the charsets a POSIX locale may name.
uint32_t codepage_of_charset(std::string_view charset) {
    std::string name;
    for (char c : charset)
        if (c != '-' && c != '_')
            name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    struct entry {
        const char* name;
        uint32_t codepage;
    };
    static const entry known[] = {
        {"UTF8", tk_cp_utf8}, {"KOI8R", 20866},     {"KOI8U", 21866},     {"EUCJP", 20932},
        {"EUCKR", 51949},     {"GB2312", 936},      {"GBK", 936},         {"GB18030", 54936},
        {"BIG5", 950},        {"BIG5HKSCS", 950},   {"SHIFTJIS", 932},    {"SJIS", 932},
        {"TIS620", 874},      {"ISO885913", 28603}, {"ISO885915", 28605},
    };
    for (const entry& e : known)
        if (name == e.name)
            return e.codepage;
    auto number_after = [&](std::string_view prefix) -> uint32_t {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            return 0;
        uint32_t n = 0;
        for (size_t i = prefix.size(); i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9' || n > 100000)
                return 0;
            n = n * 10 + static_cast<uint32_t>(name[i] - '0');
        }
        return n;
    };
    if (uint32_t n = number_after("ISO8859"); n >= 1 && n <= 9)
        return 28590 + n;
    if (uint32_t n = number_after("CP"))
        return n;
    if (uint32_t n = number_after("IBM"))
        return n;
    // ASCII (the C and POSIX locales) and charsets we do not know.
    return tk_cp_utf8;
}

} // namespace

// ---------------------------------------------------------------------------------------------

uint32_t tk_ansi_codepage() {
    // The charset name is looked up again only when the locale has changed it.
    thread_local std::string last_charset;
    thread_local uint32_t last_codepage = tk_cp_utf8;
    thread_local bool known = false;
    const char* charset = nl_langinfo(CODESET);
    std::string_view name = charset ? charset : "";
    if (!known || name != last_charset) {
        last_charset.assign(name);
        last_codepage = codepage_of_charset(name);
        known = true;
    }
    return last_codepage;
}

bool tk_codepage::maps_all(std::string_view bytes) const {
    std::u16string text;
    return decode_checked(bytes, text);
}

const tk_codepage* tk_codepage::find(uint32_t codepage) noexcept {
    if (codepage == 0)
        codepage = tk_ansi_codepage();
    thread_local uint32_t last_number = 0;
    thread_local const tk_codepage* last_page = nullptr;
    if (last_page && last_number == codepage)
        return last_page;
    try {
        codepage_registry& r = registry();
        std::unique_lock lock(r.mutex);
        auto it = r.pages.find(codepage);
        if (it == r.pages.end()) {
            // Mazovia and Kamenicky build on 437, which is looked up through find() as well.
            lock.unlock();
            std::unique_ptr<tk_codepage> built = build_codepage(codepage);
            lock.lock();
            it = r.pages.try_emplace(codepage, std::move(built)).first;
        }
        if (!it->second)
            return nullptr;
        last_number = codepage;
        last_page = it->second.get();
        return last_page;
    } catch (...) {
        return nullptr;
    }
}

const tk_codepage& tk_codepage::get(uint32_t codepage) {
    if (const tk_codepage* page = find(codepage))
        return *page;
    TK_TRACE(3, "tk_codepage::get(%u): not supported", codepage);
    throw tk_exception("Code page " + std::to_string(codepage) + " is not supported.",
                       tk_exception::stop_run);
}

std::string tk_to_utf8(std::u16string_view text) {
    std::string out;
    if (!tk_codepage::get(tk_cp_utf8).encode(text, out))
        conversion_failed(to_utf8_failed, EILSEQ);
    return out;
}

std::u16string tk_from_utf8(std::string_view text) {
    std::u16string out;
    if (!tk_codepage::get(tk_cp_utf8).decode_checked(text, out))
        conversion_failed(to_unicode_failed, EILSEQ);
    return out;
}

std::string tk_to_ansi(std::u16string_view text, uint32_t codepage) {
    const tk_codepage* page = tk_codepage::find(codepage);
    if (!page)
        conversion_failed(to_ansi_failed, EINVAL);
    std::string out;
    if (!page->encode(text, out))
        conversion_failed(to_ansi_failed, EILSEQ);
    return out;
}

std::u16string tk_from_ansi(std::string_view text) {
    return tk_from_codepage(text, tk_ansi_codepage());
}

std::u16string tk_from_codepage(std::string_view text, uint32_t codepage) {
    const tk_codepage* page = tk_codepage::find(codepage);
    if (!page)
        conversion_failed(to_unicode_failed, EINVAL);
    std::u16string out;
    if (!page->decode_checked(text, out))
        conversion_failed(to_unicode_failed, EILSEQ);
    return out;
}

std::string tk_to_codepage(std::u16string_view text, uint32_t codepage) {
    return tk_to_ansi(text, codepage);
}

std::string tk_to_utf8_lossy(std::u16string_view text) noexcept {
    try {
        // A lone surrogate becomes U+FFFD rather than '?'.
        std::u16string clean;
        for (size_t i = 0; i < text.size(); ++i) {
            char16_t c = text[i];
            if (U16_IS_LEAD(c) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) {
                clean += c;
                clean += text[++i];
            } else {
                clean += U16_IS_SURROGATE(c) ? replacement : c;
            }
        }
        std::string out;
        tk_codepage::get(tk_cp_utf8).encode(clean, out);
        return out;
    } catch (...) {
        return {};
    }
}

std::string tk_to_ansi_nothrow(std::u16string_view text) noexcept {
    try {
        const tk_codepage* page = tk_codepage::find(tk_ansi_codepage());
        std::string out;
        if (page)
            page->encode(text, out);
        return out;
    } catch (...) {
        return {};
    }
}
