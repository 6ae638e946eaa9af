#include "udb/udb_converter.h"

#include "tk/tk_error_handler.h"
#include "tk/tk_exception.h"
#include "tk/tk_trace.h"
#include "tk/tk_utf8_table.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_record_reader.h"
#include "udb/udb_recordset.h"
#include "udb/udb_validator.h"

#include <algorithm>
#include <ctime>

namespace {

constexpr char structure_mismatch[] =
    "The structure of data source does not conform to the destination table.";

void trace_time(const char* format) {
    if (tk_log::try_instance() == nullptr)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    TK_TRACE(3, format, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour,
             local.tm_min, local.tm_sec);
}

// Marks the run as in progress for its whole length: the finish flag is set again on every
// way out, so the progress display always moves on.
class run_scope {
public:
    explicit run_scope(std::atomic<bool>& stop) : stop_(stop) {
        trace_time("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n");
    }
    ~run_scope() {
        trace_time("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n");
        stop_.store(false, std::memory_order_release);
    }
    run_scope(const run_scope&) = delete;
    run_scope& operator=(const run_scope&) = delete;

private:
    std::atomic<bool>& stop_;
};

// Finishes a destination table that is being left because of a failure. The failure that
// got us here is the one to report; a second one from finishing is only traced.
void finish_after_failure(udb_recordset& table) noexcept {
    try {
        table.finish();
    } catch (const std::exception& e) {
        TK_TRACE(3, "Cannot finish table after a failure: %s", e.what());
    } catch (...) {
        TK_TRACE(3, "Cannot finish table after a failure");
    }
}

} // namespace

udb_converter::~udb_converter() = default;

int udb_converter::run() {
    run_conversion();
    return 0;
}

std::u16string udb_converter::get_current_table() const {
    std::lock_guard lock(table_name_mutex_);
    return current_table_;
}

void udb_converter::set_current_table(const std::u16string& name) {
    std::lock_guard lock(table_name_mutex_);
    current_table_ = name;
}

uint32_t udb_converter::get_progress_percent() const noexcept {
    const uint64_t tables = table_count_.load();
    if (tables == 0)
        return 0;
    uint64_t percent = uint64_t(tables_finished_.load()) * 100 / tables;
    const uint64_t records = records_in_table_.load();
    if (records != 0)
        percent += uint64_t(current_record_.load()) * 100 / records / tables;
    return uint32_t(std::min<uint64_t>(percent, 100));
}

void udb_converter::install_conversion_rules(udb_custom_conversion&) {}

std::unique_ptr<udb_validator>
udb_converter::make_table_name_validator(const std::vector<std::u16string>& selected,
                                         const std::vector<std::u16string>& names_in_use) {
    auto validator = std::make_unique<udb_validator>();
    for (const std::u16string& name : selected)
        validator->add_existing_name(name);
    for (const std::u16string& name : names_in_use)
        validator->add_existing_name(name);
    return validator;
}

void udb_converter::throw_if_stop_requested() const {
    if (is_stop_requested()) {
        TK_TRACE(3, "Conversion stopped on request");
        throw tk_final_exception();
    }
}

void udb_converter::report(const tk_exception& e, bool final) {
    if (error_handler* handler = error_handler::try_instance()) {
        handler->handle(e, final);
        return;
    }
    // Without a handler nobody can be asked: recoverable errors are passed over, the others
    // stop the run.
    TK_TRACE(3, "Error:\n%s", e.what());
    if (!final && e.level() != tk_exception::recoverable)
        throw tk_final_exception();
}

void udb_converter::report_final(const tk_exception& e) noexcept {
    try {
        if (error_handler* handler = error_handler::try_instance())
            handler->clear_context();
        report(e, true);
    } catch (...) {
        TK_TRACE(3, "Error while reporting: %s", e.what());
    }
}

void udb_converter::report_run_failure() noexcept {
    try {
        throw;
    } catch (const tk_final_exception&) {
        // The user chose to stop; everything was said already.
    } catch (const tk_exception& e) {
        report_final(e);
    } catch (const std::exception& e) {
        report_final(tk_exception(std::string(e.what()), tk_exception::stop_run));
    } catch (...) {
        report_final(tk_exception(std::string(), tk_exception::stop_run));
    }
}

void udb_converter::remember_selected_tables() {
    // Once per table: the entries are saved with the profile, and a profile that listed a
    // table twice would convert it twice.
    for (const std::u16string& name : settings().selected_tables) {
        const bool known = std::any_of(
            settings().selected_entries.begin(), settings().selected_entries.end(),
            [&](const auto& entry) { return entry.first == name && entry.second.empty(); });
        if (!known)
            settings().selected_entries.emplace_back(name, std::u16string());
    }
}

void udb_converter::run_conversion() noexcept {
    TK_TRACE(2, "udb_converter::run_conversion");
    set_finished(false);
    {
        run_scope scope(stop_requested_);
        std::unique_ptr<udb_database> source;
        std::unique_ptr<udb_database> destination;
        std::unique_ptr<udb_custom_conversion> rules;
        tk_utf8_tables utf8_tables;
        bool stopped = false;
        try {
            records_failed_.store(0);
            on_run_started();
            // The rules are in place before the databases are made: they take them from the
            // run context.
            rules = std::make_unique<udb_custom_conversion>();
            install_conversion_rules(*rules);
            context_ = udb_run_context{.errors = error_handler::try_instance(),
                                       .trace = tk_log::try_instance(),
                                       .rules = rules->size() != 0 ? rules.get() : nullptr,
                                       .target = target_facts(),
                                       .utf8_tables = &utf8_tables};
            source = open_source(context_);
            TK_ASSERT(source != nullptr);
            destination = open_destination(context_);
            TK_ASSERT(destination != nullptr);
            TK_TRACE(1, "After initializing DBs");
            convert_tables(*source, *destination);
        } catch (...) {
            stopped = true;
            report_run_failure();
        }

        if (error_handler* handler = error_handler::try_instance())
            handler->clear_context();
        tables_finished_.store(0);
        table_count_.store(0);
        // A run that went through its tables completes the destination, also when some of
        // them failed; a run that stopped leaves it as far as it got, for the destination to
        // keep in a form that cannot be taken for a whole one.
        if (destination && stopped) {
            destination->abandon();
        } else if (destination) {
            try {
                destination->finish();
            } catch (...) {
                report_run_failure();
            }
        }
        destination.reset();
        source.reset();
        rules.reset();
        context_ = udb_run_context{};
    }
    set_finished(true);
}

void udb_converter::convert_tables(udb_database& source, udb_database& destination) {
    table_count_.store(uint32_t(settings().selected_tables.size()));
    TK_TRACE(3, "Converting database %s (%d tables)", tk_trace_text(settings().source).c_str(),
             int(settings().selected_tables.size()));
    const std::unique_ptr<udb_validator> validator =
        make_table_name_validator(settings().selected_tables, destination.get_table_names());
    TK_ASSERT(validator != nullptr);
    remember_selected_tables();

    for (const std::u16string& name : settings().selected_tables) {
        throw_if_stop_requested();
        try {
            convert_table(name, source, destination, *validator);
        } catch (const tk_exception& e) {
            if (error_handler* handler = error_handler::try_instance())
                handler->set_context(name);
            report(e, false);
        }
        tables_finished_.fetch_add(1);
    }
}

void udb_converter::convert_table(const std::u16string& name, udb_database& source,
                                  udb_database& destination, udb_validator& validator) {
    set_current_table(name);
    records_in_table_.store(0);
    current_record_.store(0);

    const std::unique_ptr<udb_recordset> source_table = source.get_table(name, udb_open_mode::read);
    TK_ASSERT(source_table != nullptr);

    const bool acceptable = validator.is_acceptable(name);
    const std::u16string target = acceptable ? name : validator.get_safe_name(name);
    // Taken from now on, so that later generated names never collide with it, whether or not
    // this table gets through.
    if (!acceptable)
        TK_TRACE(1, "Store generated table name '%s'", tk_trace_text(target).c_str());
    validator.add_existing_name(target);

    if (destination.is_table_exist(target)) {
        if (settings().mode == udb_mode::skip_existing) {
            TK_TRACE(3, "Skip existing table %s", tk_trace_text(target).c_str());
            return;
        }
        if (settings().mode == udb_mode::overwrite_tables)
            destination.delete_tab(target);
        // A destination that cannot open an existing table for appending is not asked to.
        if (settings().mode == udb_mode::merge && !destination.capabilities().merge_existing)
            throw tk_exception("The specified table already exists", tk_exception::recoverable);
    }

    const udb_indexes indexes =
        settings().skip_indexes ? udb_indexes() : source_table->get_indexes();
    const std::unique_ptr<udb_recordset> target_table =
        destination.create_table(target, source_table->get_schema(), indexes);
    TK_ASSERT(target_table != nullptr);

    try {
        if (settings().mode == udb_mode::merge && check_merge_structure() &&
            !source_table->get_schema().conform_to(target_table->get_schema()))
            throw tk_exception(structure_mismatch, tk_exception::recoverable);

        const uint32_t records = source_table->get_record_count();
        records_in_table_.store(records);
        TK_TRACE(3, "Converting table %s (%u records)", tk_trace_text(name).c_str(),
                 unsigned(records));
        if (records != 0 && !settings().table_definitions_only)
            copy_records(name, *source_table, *target_table);
    } catch (...) {
        finish_after_failure(*target_table);
        records_failed_.fetch_add(target_table->records_failed());
        // The values changed in what was written of the table are said as well; an Abort
        // given to one of them does not hide the failure that ended the table.
        try {
            report_value_notes(name, *source_table);
            report_value_notes(target, *target_table);
        } catch (const tk_final_exception&) {
        }
        throw;
    }
    target_table->finish();
    records_failed_.fetch_add(target_table->records_failed());
    report_value_notes(name, *source_table);
    report_value_notes(target, *target_table);
}

void udb_converter::report_value_notes(const std::u16string& name, const udb_recordset& table) {
    std::vector<std::u16string> fields;
    fields.reserve(table.get_schema().size());
    for (const t_ftd& column : table.get_schema())
        fields.push_back(column.name);
    for (const std::string& text : table.value_notes().messages(name, fields)) {
        if (error_handler* handler = error_handler::try_instance())
            handler->clear_context();
        report(tk_exception(text, tk_exception::recoverable), false);
    }
}

void udb_converter::copy_records(const std::u16string& name, udb_recordset& source,
                                 udb_recordset& destination) {
    // The source is read and decoded on a second thread while this one formats and writes,
    // so that both halves of the work overlap on two cores. A failure of the source comes back
    // here at the record where it happened, with that record's number, and is answered as if
    // this loop had read the record itself; leaving the loop (Abort, a stop request) stops the
    // reader and drops what it read ahead.
    udb_record_reader reader(source, settings().skip_deleted);
    while (udb_record_reader::slot* slot = reader.next()) {
        throw_if_stop_requested();
        const uint32_t number = current_record_.load();
        TK_TRACE(1, "Converting %u record", unsigned(number + 1));
        try {
            if (slot->item_error)
                std::rethrow_exception(slot->item_error);
            if (!slot->skipped) {
                slot->record.set_number(number + 1);
                destination.append_record(slot->record);
            }
        } catch (const tk_exception& e) {
            records_failed_.fetch_add(1);
            if (error_handler* handler = error_handler::try_instance())
                handler->set_record_context(name, int32_t(number + 1));
            report(e, false);
        }
        // Past the record whatever became of it: a failed record is reported once and never
        // tried again.
        if (slot->next_error)
            std::rethrow_exception(slot->next_error);
        current_record_.store(number + 1);
    }
}
