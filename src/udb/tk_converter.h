// The unit of work that runs one conversion on a worker thread, with the finish flag the
// progress display watches.
#pragma once

#include "tk/tk_thread.h"

#include <atomic>

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

protected:
    void set_finished(bool finished) noexcept {
        finish_flag_.store(finished, std::memory_order_release);
    }

private:
    std::atomic<bool> finish_flag_{false};
};
