// What the user sees of a failure.
//
// error_handler::handle turns a caught tk_exception into a report through an error_reporter:
//   level 0  ask whether to continue (unless the user asked for quiet);
//   level 1  show the error; the run stops;
//   level 2  show the internal error; the program ends with status -1.
// Texts of levels 0 and 1 are also kept in the error list (at most 20) that the finish page
// shows. The console reporter serves the command line; the wizard brings dialog reporters.
#pragma once

#include "tk/tk_error_converter.h"
#include "tk/tk_exception.h"
#include "tk/tk_singleton.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct tk_continue_answer {
    bool abort = false; // the user chose Abort
    bool quiet = false; // "Do not show this dialog box again" was ticked
};

class error_reporter {
public:
    virtual ~error_reporter() = default;
    // Level 1: the run stops after this message.
    virtual void show_error(const std::string& text) = 0;
    // Level 0: Continue or Abort.
    virtual tk_continue_answer ask_continue(const std::string& text) = 0;
    // Level 2: the program ends when this returns.
    virtual void show_internal_error(const std::string& text) = 0;
};

// Writes every report to a stream (stderr by default). A level-0 error continues, or
// aborts when the run was told to stop on errors.
class console_error_reporter : public error_reporter {
public:
    explicit console_error_reporter(bool stop_on_errors = false, std::FILE* out = stderr);

    void show_error(const std::string& text) override;
    tk_continue_answer ask_continue(const std::string& text) override;
    void show_internal_error(const std::string& text) override;

private:
    bool stop_on_errors_;
    std::FILE* out_;
};

class error_handler : public tk_singleton<error_handler> {
public:
    static constexpr size_t max_errors = 20;

    // The message table (normally tk_odb_error_table()) and the reporter; without a
    // reporter the console reporter is used.
    explicit error_handler(std::span<const tk_error_pair> table,
                           std::unique_ptr<error_reporter> reporter = nullptr);
    ~error_handler();

    // Reports one failure. `final` is true where the caller ends its work anyway; otherwise
    // a level-1 error, and Abort at level 0, throw tk_final_exception.
    void handle(const tk_exception& e, bool final);

    // The item being processed, put before the message with ": ".
    void set_context(std::u16string_view context); // converted to the ANSI code page
    void set_context(std::string context);
    // "<table>, record #<number>"
    void set_record_context(std::u16string_view table, int32_t record);
    void clear_context();
    std::string context() const;

    // Once a user asks for quiet, level-0 errors are no longer shown for the rest of the
    // process, and level-1 errors stop the run without their message.
    bool quiet() const;

    // The texts reported at levels 0 and 1, oldest first, at most max_errors.
    std::vector<std::string> errors() const;
    void clear_errors();

    // Replaces the reporter; only while no failure is being handled (at start-up, or when
    // the wizard's window comes and goes).
    void set_reporter(std::unique_ptr<error_reporter> reporter);
    // What ends the process after an internal error; std::_Exit by default.
    void set_exit_function(std::function<void(int)> exit_function);

    const tk_error_converter& converter() const noexcept { return converter_; }

private:
    mutable std::mutex mutex_;
    std::string context_;
    bool quiet_ = false;
    tk_error_converter converter_;
    std::vector<std::string> errors_;
    std::unique_ptr<error_reporter> reporter_;
    std::function<void(int)> exit_;
};
