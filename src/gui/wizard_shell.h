// The wizard: its pages in order, the help window, and what happens when it is closed.
//
// Pages by id: welcome 103, then MS SQL settings 118 (direct mode) or script settings 109,
// source selection 105, table selection 127, progress 106, finish 116. A quick launch shows
// only the progress and finish pages.
#pragma once

#include "tk/tk_singleton.h"

#include <QWizard>
#include <memory>

class help_window;
class server_access;
class wizard_settings;
class progress_page;

class wizard_shell : public QWizard, public tk_singleton<wizard_shell> {
    Q_OBJECT
public:
    enum page_id : int {
        welcome_id = 103,
        mssql_id = 118,
        script_id = 109,
        source_id = 105,
        tables_id = 127,
        progress_id = 106,
        finish_id = 116,
    };

    // Help topics of the pages and the overwrite dialog; 0 is the help's first page.
    enum help_topic : int {
        help_welcome = 1018,
        help_mssql = 1010,
        help_script = 1021,
        help_source = 1020,
        help_tables = 1015,
        help_overwrite = 1013,
        help_index = 0,
    };

    // With `quick_launch` the settings are complete already (a profile named on the command
    // line, checked and connected): only the progress and finish pages are shown.
    wizard_shell(wizard_settings& settings, server_access& server, bool quick_launch,
                 QWidget* parent = nullptr);
    ~wizard_shell() override;

    wizard_settings& settings() noexcept { return settings_; }
    server_access& server() noexcept { return server_; }

    // True once the window has been shown.
    bool is_initialized() const noexcept { return initialized_; }

    // Opens the help at a topic; a topic without a page is an error message.
    void display_help(int topic);
    help_window* current_help() const noexcept { return help_.get(); }

    // The conversion is running (the window asks before it closes, then stops the run).
    bool is_running() const;

    // Cancel and the window's close button: asks, and stops a run in progress between two
    // records, waiting for it, before the window closes.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void on_page_changed(int id);

    wizard_settings& settings_;
    server_access& server_;
    progress_page* progress_ = nullptr;
    std::unique_ptr<help_window> help_;
    bool initialized_ = false;
};
