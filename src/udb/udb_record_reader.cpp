#include "udb/udb_record_reader.h"

#include "tk/tk_exception.h"
#include "udb/udb_recordset.h"

namespace {

// Bytes held by a value's text and byte buffers (numbers and dates live in the variant).
size_t value_bytes(const ole_variant& value) {
    if (const ole_variant::narrow_view narrow = value.narrow_text(); narrow.codepage)
        return narrow.bytes.size();
    const VARIANT& v = value.variant();
    return v.bstrVal.size() * sizeof(char16_t) + v.parray.size();
}

// Copies `from` into the slot's record and returns the bytes its values hold. The fields are
// made once, as copies of the source's (names, sizes and name tokens, which the destination
// recognises its columns by), and afterwards only their values are assigned, which reuses the
// text buffers. A record after or of more than `large` bytes is copied afresh instead, so that
// no slot keeps the capacity of a large memo for the rest of the table.
size_t copy_record(const udb_record& from, udb_record_reader::slot& to, size_t large) {
    const size_t n = from.size();
    size_t bytes = 0;
    for (size_t i = 0; i < n; ++i)
        bytes += value_bytes(from[i]);
    const bool is_large = bytes > large;

    udb_record& record = to.record;
    bool same_fields = !to.large && !is_large && record.size() == n;
    for (size_t i = 0; same_fields && i < n; ++i)
        same_fields = record[i].get_name_id() == from[i].get_name_id() &&
                      record[i].get_size() == from[i].get_size();
    if (same_fields) {
        for (size_t i = 0; i < n; ++i)
            static_cast<ole_variant&>(record[i]) = static_cast<const ole_variant&>(from[i]);
    } else {
        record.clear();
        record.reserve(n);
        for (size_t i = 0; i < n; ++i)
            record.add_field(from[i]);
    }
    record.set_deleted(from.is_deleted());
    to.large = is_large;
    return bytes;
}

} // namespace

udb_record_reader::udb_record_reader(udb_recordset& source, bool skip_deleted)
    : source_(source), skip_deleted_(skip_deleted) {
    for (size_t i = 0; i < batch_count; ++i) {
        batches_.push_back(std::make_unique<batch>());
        batches_.back()->slots.resize(batch_size);
        free_.push_back(batches_.back().get());
    }
    thread_ = std::thread([this] { read_all(); });
}

udb_record_reader::~udb_record_reader() {
    {
        std::lock_guard lock(mutex_);
        cancelled_.store(true, std::memory_order_relaxed);
    }
    changed_.notify_all();
    thread_.join();
}

void udb_record_reader::read_all() noexcept {
    try {
        bool started = false;
        while (batch* b = take_free()) {
            b->count = 0;
            b->last = false;
            b->end_error = nullptr;
            bool more = true;
            if (!started) {
                started = true;
                try {
                    source_.reset();
                } catch (...) {
                    b->end_error = std::current_exception();
                    b->last = true;
                    more = false;
                }
            }
            if (more)
                more = fill(*b);
            publish(b);
            if (!more)
                break;
        }
    } catch (...) {
        std::lock_guard lock(mutex_);
        thread_error_ = std::current_exception();
    }
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
}

bool udb_record_reader::fill(batch& b) {
    size_t bytes = 0;
    while (b.count < batch_size && bytes < batch_bytes) {
        if (cancelled_.load(std::memory_order_relaxed))
            return false;
        bool end = false;
        try {
            end = source_.is_eof();
        } catch (...) {
            b.end_error = std::current_exception();
            end = true;
        }
        if (end) {
            b.last = true;
            return false;
        }
        slot& s = b.slots[b.count++];
        s.skipped = false;
        s.item_error = nullptr;
        s.next_error = nullptr;
        try {
            const udb_record* record = source_.get_item();
            TK_ASSERT(record != nullptr);
            s.skipped = skip_deleted_ && record->is_deleted();
            if (!s.skipped)
                bytes += copy_record(*record, s, large_record_bytes);
        } catch (...) {
            s.item_error = std::current_exception();
        }
        try {
            source_.next();
        } catch (...) {
            // The plain loop ends here too: nothing after this record is read.
            s.next_error = std::current_exception();
            b.last = true;
            return false;
        }
    }
    return true;
}

udb_record_reader::batch* udb_record_reader::take_free() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return cancelled_.load() || !free_.empty(); });
    if (cancelled_.load())
        return nullptr;
    batch* b = free_.back();
    free_.pop_back();
    return b;
}

void udb_record_reader::publish(batch* b) {
    {
        std::lock_guard lock(mutex_);
        filled_.push_back(b);
    }
    changed_.notify_all();
}

udb_record_reader::slot* udb_record_reader::next() {
    for (;;) {
        if (current_ != nullptr && position_ < current_->count)
            return &current_->slots[position_++];
        if (current_ != nullptr) {
            batch* done = current_;
            current_ = nullptr;
            ended_ = done->last;
            const std::exception_ptr error = done->end_error;
            {
                std::lock_guard lock(mutex_);
                free_.push_back(done);
            }
            changed_.notify_all();
            if (error)
                std::rethrow_exception(error);
        }
        if (ended_)
            return nullptr;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !filled_.empty() || done_; });
        if (filled_.empty()) {
            // The thread ended without saying that the table ended: it failed outside the
            // source's calls.
            ended_ = true;
            if (thread_error_)
                std::rethrow_exception(thread_error_);
            TK_FAIL();
        }
        current_ = filled_.front();
        filled_.pop_front();
        position_ = 0;
    }
}
