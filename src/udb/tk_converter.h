// The unit of work that runs one conversion on a worker thread: the finish flag the
// progress display watches, and the paths every conversion has.
#pragma once

#include "tk/tk_thread.h"

#include <atomic>
#include <string>

class tk_converter : public tk_thread_functor {
public:
    tk_converter() = default;
    ~tk_converter() override = default;

    // False while a conversion runs; set when the run has ended, whatever its outcome. The
    // user-interface thread reads it while the worker writes it.
    bool is_finished() const noexcept { return finish_flag_.load(std::memory_order_acquire); }
    // Clears the flag. Whoever starts the worker calls this first, so that a poll made before
    // the worker gets going does not see the flag of the previous run.
    void prepare_run() noexcept { set_finished(false); }

    // The folder of source tables.
    const std::u16string& get_source_path() const noexcept { return source_path_; }
    void set_source_path(std::u16string path) { source_path_ = std::move(path); }
    // The destination: a database name (server) or a script file path.
    const std::u16string& get_destination() const noexcept { return destination_; }
    void set_destination(std::u16string destination) { destination_ = std::move(destination); }

    // The trace file. The name is kept for the profile; when a trace log exists it is also
    // checked and opened (tk_exception of level 1 for a name that cannot be a log file).
    const std::string& get_logfile() const noexcept { return logfile_; }
    void set_logfile(const std::string& name);

protected:
    void set_finished(bool finished) noexcept {
        finish_flag_.store(finished, std::memory_order_release);
    }

private:
    std::atomic<bool> finish_flag_{false};
    std::u16string source_path_;
    std::u16string destination_;
    std::string logfile_;
};
