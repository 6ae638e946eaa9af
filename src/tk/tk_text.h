// Text conversion between UTF-16, UTF-8 and the code pages of xBase data.
//
// Code pages are named by their Windows numbers (437, 850, 1251, 65001 ...), the numbers the
// DBF code-page table and the profiles use. Single-byte code pages convert through a 256-entry
// table built once per code page; the others go through ICU.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t tk_cp_utf8 = 65001;

// This platform's "ANSI code page": the one place that decides it. It is the code page of the
// process locale's charset, and UTF-8 where the locale names none that we know (the C locale).
uint32_t tk_ansi_codepage();

// Each raises tk_exception_ex of level 0, "Cannot convert to UTF8 string: " (or
// "Cannot convert to ANSI string: ", "Cannot convert to UNICODE string: ") followed by the
// system's text, when the input cannot be converted.
std::string tk_to_utf8(std::u16string_view text);
std::u16string tk_from_utf8(std::string_view text);
std::string tk_to_ansi(std::u16string_view text, uint32_t codepage = tk_ansi_codepage());
std::u16string tk_from_ansi(std::string_view text);
std::u16string tk_from_codepage(std::string_view text, uint32_t codepage);
std::string tk_to_codepage(std::u16string_view text, uint32_t codepage);

// Never raise: what cannot be converted becomes U+FFFD (UTF-8) or '?' (ANSI).
std::string tk_to_utf8_lossy(std::u16string_view text) noexcept;
std::string tk_to_ansi_nothrow(std::u16string_view text) noexcept;

// One code page, ready for repeated use on a hot path (one call per DBF text field).
class tk_codepage {
public:
    // Null when the code page is not known.
    static const tk_codepage* find(uint32_t codepage) noexcept;
    // Raises tk_exception of level 1 when the code page is not known.
    static const tk_codepage& get(uint32_t codepage);

    virtual ~tk_codepage() = default;
    uint32_t number() const noexcept { return number_; }

    // Replaces `out` with the text of `bytes`. Bytes without a mapping become U+FFFD;
    // decoding never fails.
    virtual void decode(std::string_view bytes, std::u16string& out) const = 0;
    // As decode, and tells whether every byte had a mapping (false for bytes without one,
    // invalid or truncated sequences).
    virtual bool decode_checked(std::string_view bytes, std::u16string& out) const = 0;
    // Replaces `out` with the bytes of `text`. Returns false when a character has no
    // mapping in the code page (it is written as '?').
    virtual bool encode(std::u16string_view text, std::string& out) const = 0;

    // The characters of the 256 bytes of a single-byte code page (U+FFFD for a byte without
    // one); null for the code pages whose characters may take more than one byte.
    virtual const std::array<char16_t, 256>* byte_characters() const noexcept { return nullptr; }
    // Whether every byte of `bytes` has a character: decode_checked's answer without the text.
    virtual bool maps_all(std::string_view bytes) const;

protected:
    explicit tk_codepage(uint32_t codepage) : number_(codepage) {}

private:
    uint32_t number_;
};
