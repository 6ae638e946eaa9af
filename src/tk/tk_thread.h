// A worker thread running one unit of work.
#pragma once

#include <atomic>
#include <exception>
#include <thread>

// The work a tk_thread runs. The default run() calls step() until done() holds and then
// returns finish(); a long single job (the conversion) replaces run() itself.
class tk_thread_functor {
public:
    virtual ~tk_thread_functor() = default;
    virtual int run();
    virtual bool done() { return true; }
    virtual void step() {}
    virtual int finish() { return 0; }
};

// Runs a functor that it does not own on a thread of its own. One functor at a time: starting
// while the previous run is still going is an internal error. The destructor waits for a
// running functor to return, so the functor must be told to stop by its owner first.
class tk_thread {
public:
    tk_thread() = default;
    ~tk_thread();

    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    void start(tk_thread_functor& functor);
    bool is_running() const noexcept { return running_.load(std::memory_order_acquire); }
    // Waits for the run to end. An exception that escaped the functor's run() is raised
    // again here, on the joining thread.
    void join();
    // What run() returned, once joined.
    int result() const noexcept { return result_; }

private:
    std::thread thread_;
    std::atomic<bool> running_{false};
    int result_ = 0;
    std::exception_ptr error_;
};
