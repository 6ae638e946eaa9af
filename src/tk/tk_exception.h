// The exception family every failure of Tabrix travels in.
//
// A tk_exception carries a message, a code and a level:
//   0  recoverable: the user may continue with the next record or table;
//   1  the current run stops after one message;
//   2  internal error: the program ends.
// tk_final_exception is not a failure: it says the user chose to stop.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

class tk_exception : public std::exception {
public:
    enum : int32_t { recoverable = 0, stop_run = 1, internal = 2 };

    // "Unknown exception", code 0, level 0.
    tk_exception();
    // An empty message reads "Unknown exception".
    explicit tk_exception(std::string message, int32_t level = recoverable, int32_t code = 0);
    // The wide text is converted to the ANSI code page.
    explicit tk_exception(std::u16string_view message, int32_t level = recoverable,
                          int32_t code = 0);

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    int32_t code() const noexcept { return code_; }
    int32_t level() const noexcept { return level_; }

protected:
    std::string message_;
    int32_t code_ = 0;
    int32_t level_ = 0;
};

// A failure of the operating system: an optional prefix followed by the system's text for
// an errno value; the code is that value.
class tk_exception_ex : public tk_exception {
public:
    // The calling thread's errno, level 1.
    tk_exception_ex();
    explicit tk_exception_ex(std::string_view prefix, int32_t level = stop_run);
    tk_exception_ex(std::string_view prefix, int32_t level, int error_number);
};

// A failed consistency check. The message is "Internal error: \ncode=" followed by
// "<file>\<line>" written as lower-case hexadecimal, two digits per character, so that
// users can pass it on without the source layout being readable in the dialog.
class tk_mail_assertion : public tk_exception {
public:
    tk_mail_assertion(const char* file, int line);
};

// The user chose to stop the run.
class tk_final_exception : public std::exception {
public:
    const char* what() const noexcept override { return "Stopped by the user"; }
};

#define TK_ASSERT(cond)                                                                            \
    do {                                                                                           \
        if (!(cond))                                                                               \
            throw ::tk_mail_assertion(__FILE__, __LINE__);                                         \
    } while (0)

#define TK_FAIL() throw ::tk_mail_assertion(__FILE__, __LINE__)
