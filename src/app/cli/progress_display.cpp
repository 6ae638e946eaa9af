#include "app/cli/progress_display.h"

#include "app/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

progress_display::progress_display(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

progress_display::~progress_display() {
    clear();
}

size_t progress_display::terminal_width() const {
    winsize size{};
    if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col - 1; // the last column would wrap on some terminals
    return 79;
}

void progress_display::update(const udb_converter& converter) {
    if (!enabled_)
        return;
    const std::string line =
        format_progress_line(take_progress_snapshot(converter), terminal_width());
    std::lock_guard lock(mutex_);
    if (shown_ && line == last_)
        return;
    std::fprintf(out_, "\r%s\x1b[K", line.c_str());
    std::fflush(out_);
    last_ = line;
    shown_ = true;
}

void progress_display::clear_locked() {
    if (!shown_)
        return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    shown_ = false;
}

void progress_display::clear() {
    std::lock_guard lock(mutex_);
    clear_locked();
}

void progress_display::print(const std::string& text) {
    std::lock_guard lock(mutex_);
    clear_locked();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

cli_error_reporter::cli_error_reporter(progress_display& display, bool stop_on_errors)
    : display_(display), stop_on_errors_(stop_on_errors) {}

void cli_error_reporter::show_error(const std::string& text) {
    ++errors_;
    stopped_ = true;
    display_.print("error: " + text);
}

tk_continue_answer cli_error_reporter::ask_continue(const std::string& text) {
    ++errors_;
    display_.print("error: " + text);
    if (stop_on_errors_) {
        stopped_ = true;
        return {.abort = true, .quiet = false};
    }
    return {};
}

void cli_error_reporter::show_internal_error(const std::string& text) {
    display_.print("internal error: " + text +
                   "\nPlease send this message, and a trace made with --log FILE, to " +
                   "the address given by tabrix-cli --version.");
}
