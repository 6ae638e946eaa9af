// The application's converter: every setting of a conversion and the run that moves a folder
// of DBF tables into MS SQL, a database on a server (direct mode) or a T-SQL script.
//
// One per process. The settings come from the settings store (serialize), a profile
// (load_profile) and whoever drives the program; the run (udb_converter::run_conversion, on a
// tk_thread) opens the DBF folder and the destination and copies the selected tables.
#pragma once

#include "app/mssql_converter_impl.h"
#include "app/tabrix_run_totals.h"
#include "tk/tk_singleton.h"
#include "udb/udb_converter.h"

#include <filesystem>
#include <string>
#include <vector>

class udb_profile;

class tabrix_converter : public udb_converter, public tk_singleton<tabrix_converter> {
public:
    // The settings start at the defaults of the settings store; the store itself is read and
    // written only through serialize, so that whoever owns the converter decides when.
    tabrix_converter();
    ~tabrix_converter() override;

    // The settings store, "Software\Quorvane\Tabrix" (tk_reg_key). Reading (store = false)
    // first sets every stored setting to its default, then reads each value; writing stores
    // each value. True only when every value was read or written.
    bool serialize(bool store);

    // Saves every setting as a profile file; false when it cannot be written.
    bool store_profile(const std::filesystem::path& path) const;
    // Loads a profile file over the current settings. A missing file raises tk_exception of
    // level 1; an unreadable one answers false.
    bool load_profile(const std::filesystem::path& path);
    // Loads a profile read already (tabrix_read_profile) over the current settings.
    bool load_profile(const udb_profile& profile);

    // The tables of the source folder, in folder order (the folder is opened and closed again).
    std::vector<std::u16string> get_all_tables() const;

    // The header title of scripts: "Tabrix 2.3 " (name, version and edition label).
    static std::string title();

    udb_settings& settings() noexcept override { return settings_; }
    const udb_settings& settings() const noexcept override { return settings_; }
    // The server side: the engine and its connection.
    mssql_converter_impl& server() noexcept { return server_; }
    mss_engine& engine() noexcept { return server_.engine(); }
    const mss_engine& engine() const noexcept { return server_.engine(); }
    // Connects the server engine with the connection settings (direct mode).
    void connect_mssql_server() { server_.connect_mssql_server(settings_); }

    // Opens the trace file the settings name, when a trace log exists (tk_exception of level
    // 1 for a name that cannot be a log file).
    void open_logfile();

    // What the last run did; read once the run has ended.
    const tabrix_run_totals& totals() const noexcept { return totals_; }
    // The server database the last run wrote to (direct mode); null otherwise. Valid until
    // the next run.
    const std::u16string& direct_database() const noexcept { return direct_database_; }
    // The name the last run's script was written under until it was complete; empty when the
    // run created no script. The file is there still when the run stopped before its end.
    const std::string& working_script() const noexcept { return working_script_; }

protected:
    void on_run_started() override;
    std::unique_ptr<udb_database> open_source(const udb_run_context& context) override;
    std::unique_ptr<udb_database> open_destination(const udb_run_context& context) override;
    udb_target_facts target_facts() const override;
    void install_conversion_rules(udb_custom_conversion& rules) override;
    std::unique_ptr<udb_validator>
    make_table_name_validator(const std::vector<std::u16string>& selected,
                              const std::vector<std::u16string>& names_in_use) override;
    // Logical values as letters change the column type, so a merge cannot match structures.
    bool check_merge_structure() const override { return !settings().bool_as_is; }

private:
    udb_settings settings_;
    mssql_converter_impl server_;
    tabrix_run_totals totals_;
    std::string working_script_;
    std::u16string direct_database_;
};
