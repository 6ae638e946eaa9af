// The conversion run over in-memory source and destination databases: modes, options,
// failures at the record, table and run levels, and stopping.
#include "memory_database.h"
#include "support/test_support.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_thread.h"
#include "udb/tabrix_bool_rule.h"
#include "udb/udb_converter.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_validator.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using strings = std::vector<std::string>;
using names = std::vector<std::u16string>;

using tabrix_test::recording_reporter;
using tabrix_test::reporter_log;

// Refuses blanks and hyphens, as a destination with stricter names would.
class strict_validator : public udb_validator {
public:
    strict_validator() { illegal_chars_ = {u' ', u'-'}; }
};

class test_converter : public udb_converter {
public:
    std::shared_ptr<memory_store> source = std::make_shared<memory_store>();
    std::shared_ptr<memory_store> destination = std::make_shared<memory_store>();
    bool fail_destination = false;
    bool destination_merges = true;
    bool strict_names = false;
    bool bool_as_is = false;
    bool rules_seen = false;

    udb_settings& settings() noexcept override { return settings_; }
    const udb_settings& settings() const noexcept override { return settings_; }

protected:
    std::unique_ptr<udb_database> open_source(const udb_run_context&) override {
        return std::make_unique<memory_database>(source);
    }
    std::unique_ptr<udb_database> open_destination(const udb_run_context&) override {
        if (fail_destination)
            throw std::runtime_error("cannot reach the destination");
        auto db = std::make_unique<memory_database>(destination);
        db->merge_existing = destination_merges;
        return db;
    }
    void install_conversion_rules(udb_custom_conversion& rules) override {
        if (bool_as_is)
            rules.add_rule(std::make_unique<tabrix_bool_rule>());
    }
    std::unique_ptr<udb_validator> make_table_name_validator(const names& selected,
                                                             const names& in_use) override {
        if (!strict_names)
            return udb_converter::make_table_name_validator(selected, in_use);
        auto v = std::make_unique<strict_validator>();
        for (const auto& n : selected)
            v->add_existing_name(n);
        for (const auto& n : in_use)
            v->add_existing_name(n);
        return v;
    }
    bool check_merge_structure() const override { return !bool_as_is; }

private:
    udb_settings settings_;
};

class converter_run : public ::testing::Test {
protected:
    converter_run() : handler_(tk_odb_error_table(), std::make_unique<recording_reporter>(log_)) {
        handler_.set_exit_function([this](int) { exited_ = true; });
        // Two source tables of three records each.
        conv_.source->add_text_table(u"alpha", {{u"a1", u"x"}, {u"a2", u"y"}, {u"a3", u"z"}});
        conv_.source->add_text_table(u"beta", {{u"b1", u"x"}, {u"b2", u"y"}, {u"b3", u"z"}});
    }

    void select(names tables) { conv_.settings().selected_tables = std::move(tables); }
    void run() { conv_.run_conversion(); }
    const strings& events() const { return conv_.destination->events; }
    std::vector<std::u16string> written(const std::u16string& table) const {
        return conv_.destination->first_values(table);
    }

    reporter_log log_;
    error_handler handler_;
    test_converter conv_;
    bool exited_ = false;
};

} // namespace

TEST_F(converter_run, copies_selected_tables_in_the_users_order) {
    select({u"beta", u"alpha"});
    run();
    EXPECT_EQ(events(),
              (strings{"open", "create:beta", "append:beta:b1", "append:beta:b2", "append:beta:b3",
                       "finish:beta", "create:alpha", "append:alpha:a1", "append:alpha:a2",
                       "append:alpha:a3", "finish:alpha", "finish-db"}));
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3"}));
    EXPECT_TRUE(conv_.is_finished());
    EXPECT_TRUE(log_.questions.empty());
    EXPECT_TRUE(log_.errors.empty());
    // Counters go back to 0; the name of the last table stays.
    EXPECT_EQ(conv_.get_tables_finished(), 0u);
    EXPECT_EQ(conv_.get_table_count(), 0u);
    EXPECT_EQ(conv_.get_current_table(), u"alpha");
    // The run remembers its tables for the profile, once each however often it runs.
    run();
    EXPECT_EQ(conv_.settings().selected_entries,
              (udb_named_texts{{u"beta", u""}, {u"alpha", u""}}));
}

TEST_F(converter_run, progress_counts_tables_and_records_while_running) {
    select({u"alpha", u"beta"});
    strings seen;
    conv_.destination->on_event = [&](const std::string& event) {
        if (event.rfind("append:", 0) == 0 || event.rfind("finish:", 0) == 0)
            seen.push_back(event + " " + std::to_string(conv_.get_tables_finished()) + "/" +
                           std::to_string(conv_.get_table_count()) + " " +
                           std::to_string(conv_.get_current_record()) + "/" +
                           std::to_string(conv_.get_records_in_table()) + " " +
                           std::to_string(conv_.get_progress_percent()) + "%");
    };
    run();
    EXPECT_EQ(seen, (strings{"append:alpha:a1 0/2 0/3 0%", "append:alpha:a2 0/2 1/3 16%",
                             "append:alpha:a3 0/2 2/3 33%", "finish:alpha 0/2 3/3 50%",
                             "append:beta:b1 1/2 0/3 50%", "append:beta:b2 1/2 1/3 66%",
                             "append:beta:b3 1/2 2/3 83%", "finish:beta 1/2 3/3 100%"}));
}

TEST_F(converter_run, an_empty_selection_still_opens_and_closes_the_destination) {
    select({});
    run();
    EXPECT_EQ(events(), (strings{"open", "finish-db"}));
    EXPECT_TRUE(conv_.is_finished());
    EXPECT_TRUE(conv_.settings().selected_entries.empty());
}

TEST_F(converter_run, existing_tables_follow_the_mode) {
    // The destination has an "alpha" of the same structure with one old record.
    conv_.destination->add_text_table(u"alpha", {{u"old", u"o"}});
    select({u"alpha", u"beta"});

    conv_.settings().mode = udb_mode::overwrite_tables;
    run();
    EXPECT_EQ(events()[1], "drop:alpha");
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3"}));

    // Skipping: neither dropped nor created, nor written; the other table goes on, and the
    // skipped one counts as finished.
    conv_.destination->events.clear();
    conv_.destination->tables.erase(u"beta");
    conv_.settings().mode = udb_mode::skip_existing;
    std::string finished_at_beta;
    conv_.destination->on_event = [&](const std::string& event) {
        if (event == "create:beta")
            finished_at_beta = std::to_string(conv_.get_tables_finished());
    };
    run();
    EXPECT_EQ(events().front(), "open");
    EXPECT_EQ(events()[1], "create:beta");
    EXPECT_EQ(finished_at_beta, "1");
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3"}));

    // Merging appends to what is there.
    conv_.destination->events.clear();
    conv_.settings().mode = udb_mode::merge;
    select({u"alpha"});
    run();
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3", u"a1", u"a2", u"a3"}));
    EXPECT_TRUE(log_.questions.empty());
}

TEST_F(converter_run, a_destination_that_cannot_merge_is_not_asked_to) {
    conv_.destination->add_text_table(u"alpha", {{u"old", u"o"}});
    conv_.destination_merges = false;
    conv_.settings().mode = udb_mode::merge;
    select({u"alpha", u"beta"});
    run();
    ASSERT_EQ(log_.questions.size(), 1u);
    EXPECT_EQ(log_.questions[0], "alpha: The specified table already exists");
    EXPECT_EQ(written(u"alpha"), (names{u"old"}));
    EXPECT_EQ(written(u"beta"), (names{u"b1", u"b2", u"b3"}));
}

TEST_F(converter_run, merging_into_a_different_structure_fails_that_table_only) {
    memory_table& other = conv_.destination->tables[u"alpha"];
    other.schema.push_back(t_ftd(0, u"N", VT_I4)); // one column where the source has two
    conv_.settings().mode = udb_mode::merge;
    select({u"alpha", u"beta"});
    run();
    ASSERT_EQ(log_.questions.size(), 1u);
    EXPECT_EQ(log_.questions[0],
              "alpha: The structure of data source does not conform to the destination table.");
    EXPECT_TRUE(conv_.destination->tables.at(u"alpha").rows.empty());
    EXPECT_EQ(written(u"beta"), (names{u"b1", u"b2", u"b3"}));
    // The failed table was still finished.
    EXPECT_NE(std::find(events().begin(), events().end(), "finish:alpha"), events().end());
}

TEST_F(converter_run, merging_with_logical_values_as_is_skips_the_check_and_installs_the_rule) {
    // One column where the source has two: the check would refuse the table (a level-0
    // question); without it the first record cannot be placed, a level-1 error that stops
    // the run.
    memory_table& other = conv_.destination->tables[u"alpha"];
    other.schema.push_back(t_ftd(30, u"X0", VT_BSTR));
    conv_.settings().mode = udb_mode::merge;
    conv_.bool_as_is = true;
    size_t rules = 0;
    conv_.destination->on_event = [&](const std::string& event) {
        if (event == "create:alpha")
            rules = udb_custom_conversion::instance().size();
    };
    select({u"alpha", u"beta"});
    run();
    EXPECT_EQ(rules, 1u);
    EXPECT_FALSE(udb_custom_conversion::exists());
    EXPECT_TRUE(log_.questions.empty());
    ASSERT_EQ(log_.errors.size(), 1u);
    EXPECT_EQ(log_.errors[0], "alpha, record #1: The structure of data source does not conform "
                              "to the destination table.");
    // The run stopped: beta was never created, but what was opened was finished.
    EXPECT_EQ(conv_.destination->tables.count(u"beta"), 0u);
    EXPECT_EQ(events().back(), "finish-db");
    EXPECT_TRUE(conv_.is_finished());
}

TEST_F(converter_run, definitions_only_creates_tables_with_or_without_indexes) {
    conv_.source->tables.at(u"alpha").indexes.push_back(udb_index{u"pk", true, true, {u"C0"}});
    conv_.settings().table_definitions_only = true;
    select({u"alpha", u"beta"});
    run();
    EXPECT_EQ(events(), (strings{"open", "create:alpha", "finish:alpha", "create:beta",
                                 "finish:beta", "finish-db"}));
    EXPECT_EQ(conv_.destination->tables.at(u"alpha").indexes.size(), 1u);
    EXPECT_EQ(conv_.destination->tables.at(u"alpha").schema.size(), 2u);

    conv_.destination->tables.clear();
    conv_.settings().skip_indexes = true;
    run();
    EXPECT_TRUE(conv_.destination->tables.at(u"alpha").indexes.empty());
}

TEST_F(converter_run, an_empty_table_is_created_without_a_record_loop) {
    conv_.source->add_text_table(u"empty", {});
    select({u"empty"});
    run();
    EXPECT_EQ(events(), (strings{"open", "create:empty", "finish:empty", "finish-db"}));
}

TEST_F(converter_run, skip_deleted_reads_deleted_records_but_does_not_write_them) {
    conv_.source->tables.at(u"alpha").deleted = {false, true, false};
    select({u"alpha"});
    std::string at_finish;
    conv_.destination->on_event = [&](const std::string& event) {
        if (event == "finish:alpha")
            at_finish = std::to_string(conv_.get_current_record());
    };

    run();
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3"}));

    conv_.destination->tables.clear();
    conv_.settings().skip_deleted = true;
    run();
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a3"}));
    EXPECT_EQ(at_finish, "3"); // every record was counted
}

TEST_F(converter_run, a_table_that_fails_is_reported_and_the_next_one_runs) {
    conv_.destination->failing_creates = {u"alpha"};
    select({u"missing", u"alpha", u"beta"});
    run();
    EXPECT_EQ(log_.questions, (strings{"missing: The specified table does not exist.",
                                       "alpha: Cannot create table"}));
    EXPECT_EQ(written(u"beta"), (names{u"b1", u"b2", u"b3"}));
    EXPECT_EQ(handler_.errors(), log_.questions);
    EXPECT_TRUE(handler_.context().empty()); // cleared at the end of the run
}

TEST_F(converter_run, abort_on_a_table_error_ends_the_run) {
    log_.answers = {{.abort = true}};
    select({u"missing", u"alpha"});
    run();
    EXPECT_EQ(log_.questions.size(), 1u);
    EXPECT_EQ(events(), (strings{"open", "finish-db"}));
    EXPECT_TRUE(conv_.is_finished());
}

TEST_F(converter_run, continue_after_a_record_error_copies_the_rest_once_each) {
    conv_.destination->failing_values = {{u"a2", tk_exception::recoverable}};
    select({u"alpha", u"beta"});
    run();
    EXPECT_EQ(log_.questions, (strings{"alpha, record #2: Bad record"}));
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a3"}));
    EXPECT_EQ(written(u"beta"), (names{u"b1", u"b2", u"b3"}));
    // The failing record was offered once: the loop moved past it.
    EXPECT_EQ(std::count(events().begin(), events().end(), "append:alpha:a2"), 1);
}

TEST_F(converter_run, abort_after_a_record_error_ends_the_run_and_still_finishes) {
    conv_.destination->failing_values = {{u"a2", tk_exception::recoverable}};
    log_.answers = {{.abort = true}};
    select({u"alpha", u"beta"});
    run();
    EXPECT_EQ(log_.questions.size(), 1u);
    EXPECT_EQ(written(u"alpha"), (names{u"a1"}));
    EXPECT_EQ(events(), (strings{"open", "create:alpha", "append:alpha:a1", "append:alpha:a2",
                                 "finish:alpha", "finish-db"}));
    EXPECT_TRUE(conv_.is_finished());
}

TEST_F(converter_run, a_value_the_column_cannot_take_is_a_record_error) {
    conv_.source->add_text_table(u"numbers",
                                 {{u"n1", u"x"}, {u"n2", u"2020-12-31"}, {u"n3", u"y"}});
    memory_table& target = conv_.destination->tables[u"numbers"];
    target.schema.push_back(t_ftd(30, u"C0", VT_BSTR));
    target.schema.push_back(t_ftd(0, u"C1", VT_DATE));
    select({u"numbers"});
    run();
    ASSERT_EQ(log_.questions.size(), 2u);
    EXPECT_EQ(log_.questions[0].rfind("numbers, record #1: ", 0), 0u) << log_.questions[0];
    EXPECT_EQ(log_.questions[1].rfind("numbers, record #3: ", 0), 0u) << log_.questions[1];
    ASSERT_EQ(target.rows.size(), 1u);
    EXPECT_EQ(target.rows[0][1].get_type(), VT_DATE);
    EXPECT_EQ(target.rows[0][1].to_string(), "2020-12-31");
}

TEST_F(converter_run, a_level_1_record_error_stops_the_run_after_one_message) {
    conv_.destination->failing_values = {{u"a2", tk_exception::stop_run}};
    select({u"alpha", u"beta"});
    run();
    EXPECT_TRUE(log_.questions.empty());
    EXPECT_EQ(log_.errors, (strings{"alpha, record #2: Bad record"}));
    EXPECT_EQ(conv_.destination->tables.count(u"beta"), 0u);
    EXPECT_EQ(events().back(), "finish-db");
}

TEST_F(converter_run, a_destination_that_cannot_be_opened_fails_the_run) {
    conv_.fail_destination = true;
    select({u"alpha"});
    run();
    EXPECT_EQ(log_.errors, (strings{"cannot reach the destination"}));
    EXPECT_TRUE(conv_.is_finished());
    EXPECT_FALSE(udb_custom_conversion::exists());
}

TEST_F(converter_run, a_destination_that_cannot_finish_is_reported) {
    conv_.destination->fail_finish = true;
    select({u"alpha"});
    run();
    EXPECT_EQ(log_.errors, (strings{"Cannot close the destination"}));
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3"}));
    EXPECT_TRUE(conv_.is_finished());
}

TEST_F(converter_run, rejected_table_names_get_generated_names_that_never_collide) {
    conv_.strict_names = true;
    conv_.source->add_text_table(u"my table", {{u"m1"}}, 1);
    conv_.source->add_text_table(u"my-table", {{u"n1"}}, 1);
    conv_.destination->add_text_table(u"my_table00000", {}, 1);
    select({u"my table", u"my-table", u"alpha"});
    run();
    EXPECT_EQ(written(u"my_table"), (names{u"m1"}));
    EXPECT_EQ(written(u"my_table00001"), (names{u"n1"}));
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3"}));
    EXPECT_TRUE(conv_.destination->tables.at(u"my_table00000").rows.empty());
}

TEST_F(converter_run, runs_on_a_worker_thread) {
    select({u"alpha"});
    conv_.prepare_run();
    EXPECT_FALSE(conv_.is_finished());
    tk_thread worker;
    worker.start(conv_);
    worker.join();
    EXPECT_TRUE(conv_.is_finished());
    EXPECT_EQ(worker.result(), 0);
    EXPECT_EQ(written(u"alpha"), (names{u"a1", u"a2", u"a3"}));
}
