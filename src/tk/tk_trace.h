// The trace log.
//
// Every operation traces itself with a level (1 detail, 2 entry into an operation,
// 3 milestones and errors). Traces go to the one tk_log object while it exists; when none
// exists TK_TRACE evaluates neither its format nor its arguments, so a trace on a hot path
// costs one atomic load.
#pragma once

#include "tk/tk_singleton.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

class tk_log : public tk_singleton<tk_log> {
public:
    struct options {
        int32_t threshold = 1;   // lines below this level are dropped
        bool crlf = true;        // end lines with "\r\n" (otherwise nothing is added)
        bool time_stamps = true; // "%02d:%02d:%02d " local time before each line
    };

    // The log is disabled until a file name is set.
    tk_log();
    explicit tk_log(options opts);
    ~tk_log();

    // Checks the name as a log file name and, when it is usable, enables the log on it.
    // An empty name is ignored. Raises tk_exception of level 1 for an existing folder, an
    // existing read-only file or a missing folder.
    void set_logfile(const std::string& name);

    const std::string& file_name() const noexcept { return file_name_; }
    bool enabled() const noexcept { return enabled_; }

    void write(int32_t level, const char* format, va_list args);
    void trace(int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

private:
    void write_line(std::string_view text);

    std::string file_name_;
    options options_;
    // Read without the lock by every trace call, set under it.
    std::atomic<bool> enabled_{false};
    bool truncated_ = false;
    std::mutex mutex_;
};

// Wide text for a "%s" of a trace line: UTF-8, never throws.
std::string tk_trace_text(std::u16string_view text);

#define TK_TRACE(level, ...)                                                                       \
    do {                                                                                           \
        if (::tk_log* tk_log_sink_ = ::tk_log::try_instance())                                     \
            tk_log_sink_->trace((level), __VA_ARGS__);                                             \
    } while (0)
