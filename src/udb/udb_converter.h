// The generic half of the conversion driver: the settings of a conversion and the run that
// copies the selected tables from a source database to a destination database.
#pragma once

#include "udb/tk_converter.h"
#include "udb/udb_database.h"
#include "udb/udb_run_context.h"
#include "udb/udb_settings.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class tk_exception;
class udb_custom_conversion;
class udb_recordset;
class udb_validator;

class udb_converter : public tk_converter {
public:
    udb_converter() = default;
    ~udb_converter() override;

    // The thread body: one conversion with the current settings.
    int run() override;

    // One conversion with the current settings. Never throws: failures are reported to the
    // error_handler at the record, table and run levels, and the finish flag is set at the
    // end whatever the outcome.
    //  - A level-0 error in a record asks Continue/Abort and goes on with the next record;
    //    in a table, it goes on with the next table.
    //  - A level-1 error anywhere stops the run after its message.
    //  - A standard exception that is not a tk_exception ends the run as a level-1 error.
    // The destination is finished when the run went through every table, abandoned when it
    // stopped.
    void run_conversion() noexcept;

    // Ends a run in progress between two records (or before the next table), leaving the
    // destination as written so far. Safe to call from any thread; cleared when a run ends.
    void request_stop() noexcept { stop_requested_.store(true, std::memory_order_release); }
    bool is_stop_requested() const noexcept {
        return stop_requested_.load(std::memory_order_acquire);
    }

    // ---- Settings (not changed while a run is in progress) -----------------------------------
    // Held by the application's converter; the run follows them and adds its tables to the
    // selected-table entries.
    virtual udb_settings& settings() noexcept = 0;
    virtual const udb_settings& settings() const noexcept = 0;

    // ---- Progress (written by the worker, read by the user-interface thread) -----------------
    std::u16string get_current_table() const;
    uint32_t get_records_in_table() const noexcept { return records_in_table_.load(); }
    // Counted from 0.
    uint32_t get_current_record() const noexcept { return current_record_.load(); }
    uint32_t get_table_count() const noexcept { return table_count_.load(); }
    uint32_t get_tables_finished() const noexcept { return tables_finished_.load(); }
    // Records of the last run that were reported as failed (not read or not written); a
    // record left behind by a stop is not among them.
    uint64_t get_records_failed() const noexcept { return records_failed_.load(); }
    // Whole tables done plus the share of the current one, 0 to 100; 0 without tables.
    uint32_t get_progress_percent() const noexcept;

protected:
    // ---- What the application supplies ------------------------------------------------------
    // Called once the finish flag is cleared, on the worker thread.
    virtual void on_run_started() {}
    // The databases of the run, made with its context (which outlives them).
    virtual std::unique_ptr<udb_database> open_source(const udb_run_context& context) = 0;
    virtual std::unique_ptr<udb_database> open_destination(const udb_run_context& context) = 0;
    // What the destination of the next run can hold.
    virtual udb_target_facts target_facts() const { return {}; }
    // Adds the custom conversion rules of the run to the (empty) list.
    virtual void install_conversion_rules(udb_custom_conversion& rules);
    // The table-name rules of the destination. The default accepts every name and treats the
    // selected tables and the destination's names in use as taken.
    virtual std::unique_ptr<udb_validator>
    make_table_name_validator(const std::vector<std::u16string>& selected,
                              const std::vector<std::u16string>& names_in_use);
    // Whether merging into an existing table first checks that the structures conform.
    virtual bool check_merge_structure() const { return true; }

private:
    void convert_tables(udb_database& source, udb_database& destination);
    void convert_table(const std::u16string& name, udb_database& source, udb_database& destination,
                       udb_validator& validator);
    void copy_records(const std::u16string& name, udb_recordset& source,
                      udb_recordset& destination);
    // Reports what the table's source and destination counted of the values they changed,
    // one level-0 error per field and kind.
    static void report_value_notes(const std::u16string& name, const udb_recordset& table);
    void remember_selected_tables();
    void set_current_table(const std::u16string& name);
    void throw_if_stop_requested() const;

    // Reports a failure caught where the caller goes on (final false: may throw
    // tk_final_exception) or ends anyway (final true: never throws).
    static void report(const tk_exception& e, bool final);
    static void report_final(const tk_exception& e) noexcept;
    // Reports the exception being handled as the failure of the whole run: a user's stop is
    // passed over, any other exception stops the run with its message.
    static void report_run_failure() noexcept;

    udb_run_context context_;
    mutable std::mutex table_name_mutex_;
    std::u16string current_table_;
    std::atomic<uint32_t> records_in_table_{0};
    std::atomic<uint32_t> current_record_{0};
    std::atomic<uint32_t> table_count_{0};
    std::atomic<uint32_t> tables_finished_{0};
    std::atomic<uint64_t> records_failed_{0};
    std::atomic<bool> stop_requested_{false};
};
