#include "tk/tk_exception.h"

#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <cerrno>
#include <cstring>

namespace {

const char unknown_exception[] = "Unknown exception";

std::string system_error_text(int error_number) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(error_number, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

std::string file_name_only(const char* path) {
    std::string_view p = path ? path : "";
    size_t slash = p.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

} // namespace

tk_exception::tk_exception() : message_(unknown_exception) {}

tk_exception::tk_exception(std::string message, int32_t level, int32_t code)
    : message_(message.empty() ? std::string(unknown_exception) : std::move(message)), code_(code),
      level_(level) {}

tk_exception::tk_exception(std::u16string_view message, int32_t level, int32_t code)
    : tk_exception(tk_to_ansi_nothrow(message), level, code) {}

tk_exception_ex::tk_exception_ex() : tk_exception_ex({}, stop_run, errno) {}

tk_exception_ex::tk_exception_ex(std::string_view prefix, int32_t level)
    : tk_exception_ex(prefix, level, errno) {}

tk_exception_ex::tk_exception_ex(std::string_view prefix, int32_t level, int error_number) {
    std::string text = system_error_text(error_number);
    TK_TRACE(3, "GetLastError: %s", text.c_str());
    message_ = std::string(prefix) + text;
    if (message_.empty())
        message_ = unknown_exception;
    code_ = error_number;
    level_ = level;
}

tk_mail_assertion::tk_mail_assertion(const char* file, int line) {
    std::string name = file_name_only(file);
    TK_TRACE(2, "make_err_meggase(%s, %d)", name.c_str(), line);
    std::string plain = name + "\\" + std::to_string(line);
    static const char digits[] = "0123456789abcdef";
    std::string coded;
    coded.reserve(plain.size() * 2);
    for (unsigned char c : plain) {
        coded += digits[c >> 4];
        coded += digits[c & 0x0F];
    }
    TK_TRACE(2, "result=%s", coded.c_str());
    message_ = "Internal error: \ncode=" + coded;
    code_ = 0;
    level_ = internal;
}
