// The progress bar on stderr while a conversion runs, and the error reporter that prints
// between its redraws.
//
// The bar is one line redrawn in place ("\r" and erase-to-end); anything else written to
// stderr while it shows first clears it, under the same lock, so that messages from the
// worker thread never land in the middle of the bar.
#pragma once

#include "tk/tk_error_handler.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

class udb_converter;

class progress_display {
public:
    // `enabled` false makes every call a no-op, for runs that are not watched.
    progress_display(std::FILE* out, bool enabled);
    ~progress_display();

    progress_display(const progress_display&) = delete;
    progress_display& operator=(const progress_display&) = delete;

    // Redraws the bar from the converter's counters when they changed.
    void update(const udb_converter& converter);
    // Removes the bar from the screen (the next update draws it again).
    void clear();
    // Writes a message on a line of its own, clearing the bar first.
    void print(const std::string& text);

    bool enabled() const noexcept { return enabled_; }

private:
    void clear_locked();
    size_t terminal_width() const;

    std::FILE* out_;
    bool enabled_;
    bool shown_ = false;
    std::string last_;
    std::mutex mutex_;
};

// The console reporter of the command line: prints errors through the progress display and
// remembers what happened, for the exit status.
class cli_error_reporter : public error_reporter {
public:
    cli_error_reporter(progress_display& display, bool stop_on_errors);

    void show_error(const std::string& text) override;
    tk_continue_answer ask_continue(const std::string& text) override;
    void show_internal_error(const std::string& text) override;

    // Errors reported at levels 0 and 1, all of them (the handler's list keeps 20).
    size_t error_count() const noexcept { return errors_; }
    // A level-1 error, or a level-0 error while stopping on errors, ended the run.
    bool stopped() const noexcept { return stopped_; }

private:
    progress_display& display_;
    bool stop_on_errors_;
    size_t errors_ = 0;
    bool stopped_ = false;
};
