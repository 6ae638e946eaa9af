#include "tk/tk_thread.h"

#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

int tk_thread_functor::run() {
    while (!done())
        step();
    return finish();
}

tk_thread::~tk_thread() {
    if (thread_.joinable())
        thread_.join();
}

void tk_thread::start(tk_thread_functor& functor) {
    TK_TRACE(2, "tk_thread::start");
    TK_ASSERT(!is_running());
    // The previous run has ended; its thread is collected before the next one starts.
    if (thread_.joinable())
        thread_.join();
    result_ = 0;
    error_ = nullptr;
    running_.store(true, std::memory_order_release);
    try {
        thread_ = std::thread([this, &functor] {
            try {
                result_ = functor.run();
            } catch (...) {
                error_ = std::current_exception();
            }
            running_.store(false, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        running_.store(false, std::memory_order_release);
        throw tk_exception("Cannot start a thread", tk_exception::stop_run);
    }
}

void tk_thread::join() {
    if (thread_.joinable())
        thread_.join();
    if (error_) {
        std::exception_ptr e = std::move(error_);
        error_ = nullptr;
        std::rethrow_exception(e);
    }
}
