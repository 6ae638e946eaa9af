// The record loop reads its source on a second thread: records, order, failures of the source,
// Abort and stop requests must come out exactly as when the loop read the source itself, also
// in tables several read-ahead batches long.
#include "memory_database.h"
#include "support/test_support.h"
#include "tk/tk_error_handler.h"
#include "udb/udb_converter.h"
#include "udb/udb_record_reader.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace {

using strings = std::vector<std::string>;
using names = std::vector<std::u16string>;

using tabrix_test::recording_reporter;
using tabrix_test::reporter_log;

// Longer than all read-ahead batches together, so the reader is ahead of every failure.
constexpr size_t long_table = 4 * udb_record_reader::batch_count * udb_record_reader::batch_size;

std::u16string row_name(size_t i) {
    const std::string text = "r" + std::to_string(i + 1);
    return std::u16string(text.begin(), text.end());
}

// Where the source's calls fail: at the record of that 0-based position (npos: never).
struct source_faults {
    size_t item_at = std::string::npos;
    size_t next_at = std::string::npos;
    size_t eof_at = std::string::npos;
};

class faulty_recordset : public memory_recordset {
public:
    faulty_recordset(memory_database& db, const std::u16string& name, const source_faults& faults)
        : memory_recordset(db, name), faults_(faults) {}

    udb_record* get_item() override {
        if (at_ == faults_.item_at)
            throw tk_exception(std::string("Unreadable record"), tk_exception::recoverable);
        return memory_recordset::get_item();
    }
    void next() override {
        if (at_ == faults_.next_at)
            throw tk_exception(std::string("Cannot move"), tk_exception::recoverable);
        memory_recordset::next();
        ++at_;
    }
    bool is_eof() override {
        if (at_ == faults_.eof_at)
            throw tk_exception(std::string("Cannot tell the end"), tk_exception::recoverable);
        return memory_recordset::is_eof();
    }
    void reset() override {
        memory_recordset::reset();
        at_ = 0;
    }

private:
    const source_faults& faults_;
    size_t at_ = 0;
};

class faulty_database : public memory_database {
public:
    faulty_database(std::shared_ptr<memory_store> store, const source_faults& faults)
        : memory_database(std::move(store)), faults_(faults) {}
    std::unique_ptr<udb_recordset> get_table(std::u16string_view name, udb_open_mode) override {
        return std::make_unique<faulty_recordset>(*this, std::u16string(name), faults_);
    }

private:
    const source_faults& faults_;
};

class long_converter : public udb_converter {
public:
    std::shared_ptr<memory_store> source = std::make_shared<memory_store>();
    std::shared_ptr<memory_store> destination = std::make_shared<memory_store>();
    source_faults faults;

    udb_settings& settings() noexcept override { return settings_; }
    const udb_settings& settings() const noexcept override { return settings_; }

protected:
    std::unique_ptr<udb_database> open_source(const udb_run_context&) override {
        return std::make_unique<faulty_database>(source, faults);
    }
    std::unique_ptr<udb_database> open_destination(const udb_run_context&) override {
        return std::make_unique<memory_database>(destination);
    }

private:
    udb_settings settings_;
};

class long_table_run : public ::testing::Test {
protected:
    long_table_run() : handler_(tk_odb_error_table(), std::make_unique<recording_reporter>(log_)) {
        handler_.set_exit_function([](int) {});
        std::vector<std::vector<std::u16string>> rows;
        for (size_t i = 0; i < long_table; ++i)
            rows.push_back({row_name(i), i % 2 ? u"odd" : u"even"});
        conv_.source->add_text_table(u"big", rows);
        conv_.source->add_text_table(u"small", {{u"s1", u"x"}, {u"s2", u"y"}});
        conv_.settings().selected_tables = {u"big", u"small"};
    }

    // The first values written to "big", and the rows of the table from `first` to `last`
    // (0-based, inclusive) without `except`.
    names written() const { return conv_.destination->first_values(u"big"); }
    static names rows(size_t first, size_t last, size_t except = std::string::npos) {
        names out;
        for (size_t i = first; i <= last; ++i)
            if (i != except)
                out.push_back(row_name(i));
        return out;
    }

    reporter_log log_;
    error_handler handler_;
    long_converter conv_;
};

} // namespace

TEST_F(long_table_run, copies_every_record_in_order_and_skips_deleted_ones) {
    conv_.run_conversion();
    EXPECT_EQ(written(), rows(0, long_table - 1));
    const memory_table& big = conv_.destination->tables.at(u"big");
    ASSERT_EQ(big.rows.size(), long_table);
    EXPECT_EQ(big.rows[4097][1].to_wstring(), u"odd");
    EXPECT_EQ(big.rows[4098][1].to_wstring(), u"even");
    EXPECT_EQ(conv_.destination->first_values(u"small"), (names{u"s1", u"s2"}));
    EXPECT_TRUE(log_.questions.empty());

    // Deleted records on both sides of a batch boundary.
    std::vector<bool>& deleted = conv_.source->tables.at(u"big").deleted;
    deleted.assign(long_table, false);
    for (size_t i : {size_t(0), udb_record_reader::batch_size - 1, udb_record_reader::batch_size,
                     long_table - 1})
        deleted[i] = true;
    conv_.destination->tables.clear();
    conv_.settings().skip_deleted = true;
    conv_.run_conversion();
    names expected = rows(1, long_table - 2);
    expected.erase(
        std::find(expected.begin(), expected.end(), row_name(udb_record_reader::batch_size - 1)),
        std::find(expected.begin(), expected.end(), row_name(udb_record_reader::batch_size + 1)));
    EXPECT_EQ(written(), expected);
}

TEST_F(long_table_run, a_source_failure_is_reported_at_its_record_and_answered_there) {
    // Continue: the record is left out and the rest follows, each once.
    conv_.faults.item_at = 2499;
    conv_.run_conversion();
    EXPECT_EQ(log_.questions, (strings{"big, record #2500: Unreadable record"}));
    EXPECT_EQ(written(), rows(0, long_table - 1, 2499));
    EXPECT_EQ(conv_.destination->first_values(u"small"), (names{u"s1", u"s2"}));

    // Abort: the records before it are written and the run ends.
    log_.questions.clear();
    log_.answers = {{.abort = true}};
    conv_.destination->tables.clear();
    conv_.destination->events.clear();
    conv_.run_conversion();
    EXPECT_EQ(log_.questions, (strings{"big, record #2500: Unreadable record"}));
    EXPECT_EQ(written(), rows(0, 2498));
    EXPECT_EQ(conv_.destination->tables.count(u"small"), 0u);
    EXPECT_EQ(conv_.destination->events.back(), "finish-db");
    EXPECT_TRUE(conv_.is_finished());
}

TEST_F(long_table_run, a_source_that_cannot_move_or_tell_the_end_fails_the_table_there) {
    // The record before the failed move was written; nothing after it was read.
    conv_.faults.next_at = 3000;
    conv_.run_conversion();
    EXPECT_EQ(log_.questions, (strings{"big: Cannot move"}));
    EXPECT_EQ(written(), rows(0, 3000));
    EXPECT_EQ(conv_.destination->first_values(u"small"), (names{u"s1", u"s2"}));

    log_.questions.clear();
    conv_.faults = {.eof_at = 1500};
    conv_.destination->tables.clear();
    conv_.run_conversion();
    EXPECT_EQ(log_.questions, (strings{"big: Cannot tell the end"}));
    EXPECT_EQ(written(), rows(0, 1499));
    EXPECT_EQ(conv_.destination->first_values(u"small"), (names{u"s1", u"s2"}));
}

TEST_F(long_table_run, abort_while_the_reader_is_ahead_drops_what_it_read) {
    // The source would fail later on, in records the reader has already read: that failure
    // belongs to records the run never reaches and is not reported.
    conv_.destination->failing_values = {{row_name(9), tk_exception::recoverable}};
    conv_.faults.item_at = 20;
    log_.answers = {{.abort = true}};
    conv_.run_conversion();
    EXPECT_EQ(log_.questions, (strings{"big, record #10: Bad record"}));
    EXPECT_EQ(written(), rows(0, 8));
    const strings& events = conv_.destination->events;
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const std::string& e) { return e.rfind("append:", 0) == 0; }),
              10);
    EXPECT_EQ(events.back(), "finish-db");
    EXPECT_TRUE(conv_.is_finished());
}

TEST_F(long_table_run, a_stop_request_ends_a_long_table_between_records) {
    const std::string stop_at = "append:big:" + std::string("r5000");
    conv_.destination->on_event = [&](const std::string& event) {
        if (event == stop_at)
            conv_.request_stop();
    };
    conv_.run_conversion();
    EXPECT_EQ(written(), rows(0, 4999));
    EXPECT_EQ(conv_.destination->tables.count(u"small"), 0u);
    EXPECT_TRUE(log_.questions.empty());
    EXPECT_TRUE(log_.errors.empty());
    EXPECT_EQ(conv_.destination->events.back(), "finish-db");
    EXPECT_TRUE(conv_.is_finished());
    // The request belonged to that run.
    EXPECT_FALSE(conv_.is_stop_requested());
    conv_.destination->on_event = nullptr;
    conv_.destination->tables.clear();
    conv_.run_conversion();
    EXPECT_EQ(conv_.destination->first_values(u"small"), (names{u"s1", u"s2"}));
}

TEST(record_reader, gives_the_records_of_the_plain_loop_with_large_values_in_between) {
    // Large values close batches early and make their slots start afresh; small ones after
    // them must not keep any of their text.
    auto store = std::make_shared<memory_store>();
    std::vector<std::vector<std::u16string>> table;
    for (size_t i = 0; i < 3000; ++i) {
        std::u16string second = i % 7 == 0 ? std::u16string(5'000 + i, u'm') : u"short";
        table.push_back({row_name(i), second, i % 3 ? u"" : u"third"});
    }
    store->add_text_table(u"memos", table, 3);
    store->tables.at(u"memos").deleted = {false, true};
    memory_database db(store);

    memory_recordset plain(db, u"memos");
    std::vector<std::vector<std::u16string>> expected;
    for (plain.reset(); !plain.is_eof(); plain.next()) {
        const udb_record& r = *plain.get_item();
        expected.push_back({r[0].to_wstring(), r[1].to_wstring(), r[2].to_wstring(),
                            r.is_deleted() ? u"deleted" : u""});
    }

    for (bool skip_deleted : {false, true}) {
        memory_recordset source(db, u"memos");
        std::vector<std::vector<std::u16string>> seen;
        size_t skipped = 0;
        {
            udb_record_reader reader(source, skip_deleted);
            while (udb_record_reader::slot* s = reader.next()) {
                ASSERT_FALSE(s->item_error);
                ASSERT_FALSE(s->next_error);
                if (s->skipped) {
                    ++skipped;
                    continue;
                }
                const udb_record& r = s->record;
                ASSERT_EQ(r.size(), 3u);
                EXPECT_EQ(r[1].get_name(), u"C1");
                EXPECT_EQ(r[1].get_size(), 30u);
                seen.push_back({r[0].to_wstring(), r[1].to_wstring(), r[2].to_wstring(),
                                r.is_deleted() ? u"deleted" : u""});
            }
            EXPECT_EQ(reader.next(), nullptr);
        }
        std::vector<std::vector<std::u16string>> want = expected;
        if (skip_deleted)
            want.erase(want.begin() + 1);
        EXPECT_EQ(skipped, skip_deleted ? 1u : 0u);
        EXPECT_EQ(seen, want) << "skip_deleted " << skip_deleted;
    }

    // Left early, with the thread ahead and waiting: the destructor ends it.
    memory_recordset source(db, u"memos");
    udb_record_reader reader(source, false);
    EXPECT_EQ(reader.next()->record[0].to_wstring(), u"r1");
}
