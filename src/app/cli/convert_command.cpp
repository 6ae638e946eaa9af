#include "app/cli/convert_command.h"

#include "app/cli/progress_display.h"
#include "app/convert_options.h"
#include "app/progress_line.h"
#include "app/tabrix_converter.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_locale.h"
#include "tk/tk_product.h"
#include "tk/tk_text.h"
#include "tk/tk_thread.h"
#include "tk/tk_trace.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Ctrl-C asks the run to stop between two records; the script keeps what was written. A
// second Ctrl-C ends the program at once (the handler is reset after the first).
volatile std::sig_atomic_t interrupted = 0;

extern "C" void on_interrupt(int) {
    interrupted = 1;
    if (tabrix_converter* converter = tabrix_converter::try_instance())
        converter->request_stop();
}

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::u16string widen(const std::string& text) {
    try {
        return tk_from_ansi(text);
    } catch (const tk_exception&) {
        throw convert_usage_error("'" + text + "' is not text in this system's character set");
    }
}

// Paths given on the command line are made absolute, so that a profile saved from the run
// names the same files wherever it is loaded from.
std::u16string absolute_path(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return widen(ec ? path : absolute.lexically_normal().string());
}

std::string narrow(std::u16string_view text) {
    return tk_to_utf8_lossy(text);
}

// The command line's settings over those of the store and the profile.
void apply(const convert_settings_patch& p, tabrix_converter& c) {
    if (p.source)
        c.set_source_path(absolute_path(*p.source));
    if (p.script)
        c.set_destination(absolute_path(*p.script));
    if (p.log_file)
        c.set_logfile(narrow(absolute_path(*p.log_file)));
    if (p.encoding)
        c.set_encoding(*p.encoding);
    if (p.default_encoding)
        c.set_default_encoding(*p.default_encoding);
    if (p.tables) {
        c.selected_tables().clear();
        for (const std::string& table : *p.tables)
            c.selected_tables().push_back(widen(table));
    }
    if (p.mode)
        c.set_mode(*p.mode);
    if (p.definitions_only)
        c.set_table_definitions_only(*p.definitions_only);
    if (p.skip_indexes)
        c.set_skip_indexes(*p.skip_indexes);
    if (p.skip_deleted)
        c.set_skip_deleted(*p.skip_deleted);
    if (p.bool_as_is)
        c.set_bool_as_is(*p.bool_as_is);
    if (p.comments)
        c.dump_options().dmp_ins_com = *p.comments;
    if (p.create_database)
        c.dump_options().dmp_ins_db = *p.create_database;
    if (p.create_table)
        c.dump_options().dmp_ins_tab = *p.create_table;
    if (p.direct)
        c.set_direct(*p.direct);
    if (p.host)
        c.set_host(widen(*p.host));
    if (p.login)
        c.set_login(widen(*p.login));
    if (p.password)
        c.set_password(widen(*p.password));
    if (p.windows_auth)
        c.set_windows_auth(*p.windows_auth);
    if (p.as_dbo)
        c.set_as_dbo(*p.as_dbo);
}

// Checks that the settings describe a script run this build can do, and settles the tables:
// every table of the folder when none is selected, otherwise the selected ones as the folder
// spells them.
void check_run(tabrix_converter& c) {
    if (c.get_direct())
        throw convert_usage_error(
            "direct mode needs a connection to MS SQL Server, which this build does not have; "
            "give --script FILE to write a T-SQL script");
    if (c.get_source_path().empty())
        throw convert_usage_error("no source folder: give --source FOLDER");
    if (c.get_destination().empty())
        throw convert_usage_error("no script file: give --script FILE");
    const std::string source = narrow(c.get_source_path());
    std::error_code ec;
    if (!fs::is_directory(source, ec))
        throw convert_usage_error("the source folder '" + source + "' does not exist");
    if (fs::is_directory(narrow(c.get_destination()), ec))
        throw convert_usage_error("the script '" + narrow(c.get_destination()) +
                                  "' is a folder; give a file name");

    const std::vector<std::u16string> all = c.get_all_tables();
    std::vector<std::u16string>& selected = c.selected_tables();
    if (selected.empty()) {
        selected = all;
        return;
    }
    for (std::u16string& name : selected) {
        auto it = std::find_if(all.begin(), all.end(),
                               [&](const std::u16string& t) { return tk_equal_nocase(t, name); });
        if (it == all.end())
            throw convert_usage_error("there is no table '" + narrow(name) + "' in '" + source +
                                      "'");
        name = *it;
    }
}

void run_with_progress(tabrix_converter& c, progress_display& display) {
    using namespace std::chrono_literals;
    c.prepare_run();
    tk_thread worker;
    worker.start(c);
    if (display.enabled()) {
        // The counters are polled every 200 ms; the end is noticed within 10 ms.
        auto next_draw = std::chrono::steady_clock::now();
        while (!c.is_finished()) {
            if (std::chrono::steady_clock::now() >= next_draw) {
                display.update(c);
                next_draw += 200ms;
            }
            std::this_thread::sleep_for(10ms);
        }
        display.clear();
    }
    worker.join();
}

void print_summary(const tabrix_converter& c, size_t table_count, const cli_error_reporter& r,
                   bool stopped) {
    const tabrix_run_totals& t = c.totals();
    const uint64_t skipped = c.get_skip_deleted() ? t.records_deleted : 0;
    const uint64_t failed = t.records_read - std::min(t.records_read, t.records_written + skipped);
    const std::string script = narrow(c.get_destination());
    std::error_code ec;
    const auto size = fs::file_size(script, ec);

    std::printf("%s %s of %zu tables from %s\n", stopped ? "Stopped; tables begun:" : "Converted",
                format_count(t.tables_created).c_str(), table_count,
                narrow(c.get_source_path()).c_str());
    if (ec)
        std::printf("  script:          %s\n", script.c_str());
    else
        std::printf("  script:          %s (%s bytes)\n", script.c_str(),
                    format_count(size).c_str());
    std::string written = format_count(t.records_written);
    if (!c.get_skip_deleted() && t.records_deleted != 0)
        written += " (" + format_count(t.records_deleted) + " of them marked as deleted)";
    std::printf("  records written: %s\n", written.c_str());
    std::printf("  records skipped: %s%s\n", format_count(skipped).c_str(),
                skipped ? " (marked as deleted)" : "");
    if (failed != 0)
        std::printf("  records failed:  %s\n", format_count(failed).c_str());

    const std::vector<std::string> errors = error_handler::instance().errors();
    if (!errors.empty()) {
        std::printf("There were some errors while converting the database:\n");
        for (const std::string& e : errors)
            std::printf("  %s\n", e.c_str());
        if (r.error_count() > errors.size())
            std::printf("  ... and %zu more\n", r.error_count() - errors.size());
    }
    std::fflush(stdout);
}

int usage_failure(const std::string& text) {
    std::fprintf(stderr,
                 "tabrix-cli convert: %s\nTry 'tabrix-cli convert --help' for more information.\n",
                 text.c_str());
    return exit_usage;
}

} // namespace

std::string cli_version_text() {
    std::string text = std::string(tk_product_name) + " " + std::to_string(tk_product_major) + "." +
                       std::to_string(tk_product_minor);
    if (tk_product_edition[0] != '\0')
        text += std::string(" ") + tk_product_edition;
    return text + "\n" + tk_product_maker + ", " + tk_product_web +
           "\nSupport: " + tk_support_email + "\n";
}

int convert_main(int argc, char** argv) {
    convert_command_line cl;
    try {
        cl = parse_convert_command_line(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const convert_usage_error& e) {
        return usage_failure(e.what());
    }
    if (cl.help) {
        std::fputs(convert_help_text(), stdout);
        return exit_success;
    }
    if (cl.version) {
        std::fputs(cli_version_text().c_str(), stdout);
        return exit_success;
    }

    const bool show_progress = cl.progress == progress_choice::always ||
                               (cl.progress == progress_choice::automatic && ::isatty(2));
    progress_display display(stderr, show_progress);
    auto owned_reporter = std::make_unique<cli_error_reporter>(display, cl.stop_on_error);
    cli_error_reporter& reporter = *owned_reporter;
    error_handler handler(tk_odb_error_table(), std::move(owned_reporter));
    tabrix_converter converter;
    std::unique_ptr<tk_log> log;

    try {
        if (cl.read_settings)
            converter.serialize(false);
        if (cl.profile && !converter.load_profile(*cl.profile))
            return usage_failure("cannot read the profile '" + *cl.profile + "'");
        apply(cl.settings, converter);
        // A trace log exists only when a log file is named, so that traces cost nothing
        // otherwise.
        if (!converter.get_logfile().empty()) {
            log = std::make_unique<tk_log>();
            converter.set_logfile(converter.get_logfile());
        }
        check_run(converter);
    } catch (const convert_usage_error& e) {
        return usage_failure(e.what());
    } catch (const tk_exception& e) {
        return usage_failure(e.what());
    }

    const size_t table_count = converter.selected_tables().size();
    if (table_count == 0)
        display.print("warning: there are no DBF tables in '" +
                      narrow(converter.get_source_path()) + "'");
    install_interrupt_handler();
    run_with_progress(converter, display);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    const bool stopped = reporter.stopped() || interrupted;
    if (interrupted)
        display.print("Stopped by the user; the script holds what was written until then.");
    print_summary(converter, table_count, reporter, stopped);

    int status = stopped ? exit_stopped : reporter.error_count() ? exit_with_errors : exit_success;
    if (cl.save_profile) {
        if (converter.store_profile(*cl.save_profile)) {
            std::printf("Profile saved: %s\n", cl.save_profile->c_str());
        } else {
            display.print("error: cannot write the profile '" + *cl.save_profile + "'");
            status = std::max(status, int(exit_with_errors));
        }
    }
    if (cl.write_settings && !converter.serialize(true)) {
        display.print("error: cannot store the settings");
        status = std::max(status, int(exit_with_errors));
    }
    return status;
}
