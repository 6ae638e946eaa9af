// Reads the records of a source table on a thread of its own, ahead of the conversion loop.
#pragma once

#include "udb/udb_record.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class udb_recordset;

// Converting a record has two halves of similar cost: the source decodes it (bytes to values,
// code page to UTF-16) and the destination formats and writes it. This reader runs the first
// half on a second core while the conversion loop runs the second, which takes about a quarter
// off the wall time of a long table on two cores.
//
// The thread makes the calls the loop made itself: reset(), then is_eof(), get_item() and
// next() per record, in order. Each record is copied into a slot; slots travel in batches
// through a queue of `batch_count` batches, so the thread is at most that many batches ahead.
// Batches are large because every hand-over wakes the other thread, which costs more than the
// copies when it happens every few dozen records. A batch is closed early once its values hold
// `batch_bytes`, and a slot that held a large record gets buffers of the right size again, so
// the memory stays bounded whatever the records hold.
//
// Errors and stopping behave as in the plain loop. A failure of a source call is kept in the
// slot of the record where it happened (or after the last slot for reset() and is_eof()) and
// rethrown by next() or by the loop at the same point of the loop as before, with the same
// record number. Records read ahead of a record that ends the run (Abort, a stop request, a
// failure of next()) are dropped unseen, with their own failures. The destructor cancels the
// thread and joins it, whatever state it is in; until then only the thread touches the source.
class udb_record_reader {
public:
    struct slot {
        udb_record record;
        // The record carries the deleted mark and is to be skipped: `record` was not filled.
        bool skipped = false;
        // get_item() failed: to be rethrown where the record would have been written.
        std::exception_ptr item_error;
        // next() after this record failed: to be rethrown where the loop moves on.
        std::exception_ptr next_error;
        // The values last copied into `record` held more than `large_record_bytes`.
        bool large = false;
    };

    static constexpr size_t batch_size = 1024;
    static constexpr size_t batch_count = 3;
    static constexpr size_t batch_bytes = 1024 * 1024;
    static constexpr size_t large_record_bytes = 4 * 1024;

    udb_record_reader(udb_recordset& source, bool skip_deleted);
    ~udb_record_reader();
    udb_record_reader(const udb_record_reader&) = delete;
    udb_record_reader& operator=(const udb_record_reader&) = delete;

    // The next record's slot, valid until the next call; null at the end of the table.
    // Rethrows a failure of reset() or is_eof() where the plain loop would have met it.
    slot* next();

private:
    struct batch {
        std::vector<slot> slots;
        size_t count = 0;
        bool last = false;            // nothing follows this batch
        std::exception_ptr end_error; // reset() or is_eof() failed after the slots
    };

    void read_all() noexcept;
    // Fills `b` from the source; false when the table ended in it or reading was cancelled.
    bool fill(batch& b);
    // A batch to fill, or null once cancelled.
    batch* take_free();
    void publish(batch* b);

    udb_recordset& source_;
    const bool skip_deleted_;
    std::vector<std::unique_ptr<batch>> batches_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<batch*> free_;        // guarded by mutex_
    std::deque<batch*> filled_;       // in reading order; guarded by mutex_
    bool done_ = false;               // the thread has ended; guarded by mutex_
    std::exception_ptr thread_error_; // what ended it outside the source's calls; mutex_
    std::atomic<bool> cancelled_{false};

    // The loop's side, written for every record: in a cache line of its own, apart from what
    // the thread reads for every record (cancelled_), which would otherwise move between the
    // cores with each of them.
    alignas(64) batch* current_ = nullptr;
    size_t position_ = 0;
    bool ended_ = false;

    std::thread thread_;
};
