// Process-wide objects register themselves while they live.
#pragma once

#include "tk/tk_exception.h"

#include <atomic>

// T derives from tk_singleton<T>. Building a T makes it the instance; destroying it clears
// the instance. Building a second one while the first lives, or asking for the instance
// when none exists, is an internal error.
template <class T> class tk_singleton {
public:
    static T& instance() {
        T* p = current_.load(std::memory_order_acquire);
        TK_ASSERT(p != nullptr);
        return *p;
    }
    static T* try_instance() noexcept { return current_.load(std::memory_order_acquire); }
    static bool exists() noexcept { return try_instance() != nullptr; }

    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

protected:
    tk_singleton() {
        T* expected = nullptr;
        TK_ASSERT(current_.compare_exchange_strong(expected, static_cast<T*>(this)));
    }
    ~tk_singleton() { current_.store(nullptr, std::memory_order_release); }

private:
    static inline std::atomic<T*> current_{nullptr};
};
