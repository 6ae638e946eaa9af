// Text between the program's UTF-16 and UTF-8 strings and Qt's.
#pragma once

#include <QString>
#include <string>
#include <string_view>

inline QString to_qt(std::u16string_view text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

inline QString to_qt(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

inline std::u16string from_qt(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
}
