#include "tk/tk_error_handler.h"

#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <cstdlib>

console_error_reporter::console_error_reporter(bool stop_on_errors, std::FILE* out)
    : stop_on_errors_(stop_on_errors), out_(out ? out : stderr) {}

void console_error_reporter::show_error(const std::string& text) {
    std::fprintf(out_, "Error: %s\n", text.c_str());
    std::fflush(out_);
}

tk_continue_answer console_error_reporter::ask_continue(const std::string& text) {
    std::fprintf(out_, "Error: %s\n", text.c_str());
    std::fflush(out_);
    return {stop_on_errors_, false};
}

void console_error_reporter::show_internal_error(const std::string& text) {
    std::fprintf(out_, "Internal error: %s\n", text.c_str());
    std::fflush(out_);
}

// ---------------------------------------------------------------------------------------------

error_handler::error_handler(std::span<const tk_error_pair> table,
                             std::unique_ptr<error_reporter> reporter)
    : converter_(table.data(), table.size()),
      reporter_(reporter ? std::move(reporter) : std::make_unique<console_error_reporter>()),
      exit_([](int status) {
          std::fflush(nullptr);
          std::_Exit(status);
      }) {}

error_handler::~error_handler() = default;

void error_handler::handle(const tk_exception& e, bool final) {
    TK_TRACE(2, "error_handler::handle");
    if (e.level() >= tk_exception::internal) {
        TK_TRACE(3, "Internal error:\n%s", e.what());
        error_reporter* reporter;
        std::function<void(int)> exit_function;
        {
            std::lock_guard lock(mutex_);
            reporter = reporter_.get();
            exit_function = exit_;
        }
        reporter->show_internal_error(e.message());
        exit_function(-1);
        return;
    }

    std::string text;
    error_reporter* reporter;
    bool quiet;
    {
        std::lock_guard lock(mutex_);
        if (!context_.empty())
            text = context_ + ": ";
        // Codes of OLE DB failures have a message of our own; every other failure brings its
        // own text.
        std::string known = converter_.convert(static_cast<uint32_t>(e.code()));
        text += known.empty() ? e.message() : known;
        TK_TRACE(3, "Error:\n%s", text.c_str());
        for (char& c : text)
            if (c == '\n')
                c = ' ';
        if (errors_.size() < max_errors)
            errors_.push_back(text);
        reporter = reporter_.get();
        quiet = quiet_;
    }

    if (e.level() == tk_exception::stop_run) {
        TK_TRACE(1, "Got 1-level error");
        if (!quiet) {
            TK_TRACE(1, "Step 1");
            reporter->show_error(text);
        }
        TK_TRACE(1, "Step 2");
        if (!final)
            throw tk_final_exception();
        return;
    }

    TK_TRACE(1, "Got 0-level error");
    if (quiet)
        return;
    tk_continue_answer answer = reporter->ask_continue(text);
    if (answer.abort && !final)
        throw tk_final_exception();
    if (answer.quiet) {
        std::lock_guard lock(mutex_);
        quiet_ = true;
    }
}

void error_handler::set_context(std::u16string_view context) {
    set_context(tk_to_ansi_nothrow(context));
}

void error_handler::set_context(std::string context) {
    std::lock_guard lock(mutex_);
    context_ = std::move(context);
}

void error_handler::set_record_context(std::u16string_view table, int32_t record) {
    set_context(tk_to_ansi_nothrow(table) + ", record #" + std::to_string(record));
}

void error_handler::clear_context() {
    std::lock_guard lock(mutex_);
    context_.clear();
}

std::string error_handler::context() const {
    std::lock_guard lock(mutex_);
    return context_;
}

bool error_handler::quiet() const {
    std::lock_guard lock(mutex_);
    return quiet_;
}

std::vector<std::string> error_handler::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

void error_handler::clear_errors() {
    std::lock_guard lock(mutex_);
    errors_.clear();
}

void error_handler::set_reporter(std::unique_ptr<error_reporter> reporter) {
    std::lock_guard lock(mutex_);
    reporter_ = reporter ? std::move(reporter) : std::make_unique<console_error_reporter>();
}

void error_handler::set_exit_function(std::function<void(int)> exit_function) {
    std::lock_guard lock(mutex_);
    if (exit_function)
        exit_ = std::move(exit_function);
}
