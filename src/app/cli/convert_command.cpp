#include "app/cli/convert_command.h"

#include "app/cli/convert_options.h"
#include "app/cli/progress_display.h"
#include "app/cli/server_login.h"
#include "app/progress_line.h"
#include "app/tabrix_converter.h"
#include "app/tabrix_profile_check.h"
#include "dbf/dbf_file_lookup.h"
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
#include <optional>
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

std::string narrow(std::u16string_view text) {
    return tk_to_utf8_lossy(text);
}

// A command line that names a file of the source folder as an output would destroy a table:
// the output path is compared with every file of the folder, through symbolic links and
// ".." (the same file) and by name ignoring case (the folder's tables are found that way).
void refuse_source_file(const fs::path& output, const fs::path& folder, const char* what) {
    std::error_code ec;
    const fs::path output_folder = fs::weakly_canonical(fs::absolute(output).parent_path(), ec);
    const bool same_folder = !ec && fs::equivalent(output_folder, folder, ec);
    const std::u16string name = tk_from_utf8(output.filename().string());
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        if (fs::is_directory(it->path(), ignored))
            continue;
        if (fs::equivalent(it->path(), output, ignored) ||
            (same_folder && tk_equal_nocase(tk_from_utf8(it->path().filename().string()), name)))
            throw convert_usage_error(std::string("the ") + what + " '" + output.string() +
                                      "' is the file '" + it->path().string() +
                                      "' of the source folder; choose another name");
    }
}

// The reason a path cannot be used, as the system gives it ("Permission denied").
std::string reason(const std::error_code& ec) {
    return ec.message();
}

// Checks that the settings describe a script run this build can do, and settles the tables:
// every table of the folder when none is selected, otherwise the selected ones as the folder
// spells them. A source that names one table file converts that table of its folder.
// What direct mode needs before it can connect: a server, a way to log in and a database.
void check_direct_run(tabrix_converter& c, const convert_command_line& cl) {
    const udb_settings& s = c.settings();
    if (s.host.empty() && s.connection_string.empty())
        throw convert_usage_error("direct mode needs a server: give -S HOST[\\INSTANCE][,PORT] "
                                  "(or --script FILE to write a T-SQL script)");
    if (!s.windows_auth && s.login.empty() && s.connection_string.empty())
        throw convert_usage_error("give a login (-U LOGIN) or -E for integrated authentication");
    if (s.destination.empty())
        throw convert_usage_error("direct mode needs a database: give -d DATABASE");
    // Dropping a whole database is done only when asked for, on the command line or in the
    // profile; the default overwrites the converted tables only.
    if (s.mode == udb_mode::overwrite_database && !cl.settings.has(&udb_settings::mode) &&
        !cl.profile)
        c.settings().mode = udb_mode::overwrite_tables;
}

// The script options that cannot be combined; mode 0 settled as a script can do it.
void check_script_options(tabrix_converter& c, const convert_command_line& cl) {
    if (c.settings().destination.empty())
        throw convert_usage_error("no script file: give --script FILE");
    const udb_settings& dump = c.settings();
    if (dump.dmp_ins_db && !dump.dmp_ins_tab)
        throw convert_usage_error("--create-database needs the tables it creates: it cannot be "
                                  "combined with --no-create-table");
    if (c.settings().table_definitions_only && !dump.dmp_ins_tab)
        throw convert_usage_error("--definitions-only writes only the CREATE TABLE statements, "
                                  "which --no-create-table leaves out: the script would be empty");
    if (c.settings().mode == udb_mode::overwrite_database && !dump.dmp_ins_db) {
        // A script overwrites the whole database only through its CREATE DATABASE block. Mode
        // 0 given on the command line asks for that; coming from the defaults or a profile
        // without the block, it means what such scripts have always done: tables dropped and
        // created again, or with no CREATE TABLE, records added.
        if (cl.settings.has(&udb_settings::mode))
            throw convert_usage_error("--mode overwrite-database drops and creates the whole "
                                      "database, which only --create-database writes");
        c.settings().mode = dump.dmp_ins_tab ? udb_mode::overwrite_tables : udb_mode::merge;
    }
    if (!dump.dmp_ins_tab && (c.settings().mode == udb_mode::overwrite_tables ||
                              c.settings().mode == udb_mode::skip_existing))
        throw convert_usage_error(std::string("--mode ") +
                                  (c.settings().mode == udb_mode::skip_existing
                                       ? "skip-existing creates the tables that do not exist"
                                       : "overwrite-tables creates the tables again") +
                                  ", which --no-create-table leaves out; use --mode merge");
    if (!dump.dmp_ins_tab && c.settings().mode == udb_mode::overwrite_database)
        throw convert_usage_error("--create-database needs --create-table");
}

void check_run(tabrix_converter& c, const convert_command_line& cl) {
    if (c.settings().source.empty())
        throw convert_usage_error("no source folder: give --source FOLDER");
    if (c.settings().direct)
        check_direct_run(c, cl);
    else
        check_script_options(c, cl);

    fs::path source(narrow(c.settings().source));
    std::error_code ec;
    // A table file is found as the folder spells it, whatever the case given.
    if (!fs::exists(source, ec) && !ec)
        if (std::string found = dbf_find_file(source.string()); !found.empty())
            source = found;
    const fs::file_status status = fs::status(source, ec);
    if (status.type() == fs::file_type::not_found)
        throw convert_usage_error("the source '" + source.string() + "' does not exist");
    if (ec)
        throw convert_usage_error("cannot open the source '" + source.string() +
                                  "': " + reason(ec));
    std::optional<std::u16string> single_table;
    if (!fs::is_directory(status)) {
        if (!tk_equal_nocase(tk_from_utf8(source.extension().string()), u".dbf"))
            throw convert_usage_error("the source '" + source.string() +
                                      "' is neither a folder nor a .dbf table");
        single_table = tk_from_utf8(source.stem().string());
        source = source.parent_path();
        c.settings().source = widen(source.string());
    }
    if (fs::directory_iterator it(source, ec); ec)
        throw convert_usage_error("cannot read the source folder '" + source.string() +
                                  "': " + reason(ec));

    const bool direct = c.settings().direct;
    const fs::path script(direct ? std::string() : narrow(c.settings().destination));
    if (!direct)
        refuse_source_file(script, source, "script");
    if (!c.settings().logfile.empty())
        refuse_source_file(c.settings().logfile, source, "log file");
    if (cl.save_profile) {
        refuse_source_file(*cl.save_profile, source, "profile");
        // Saving over a profile is what the option is for; over any other file, a mistake.
        if (fs::exists(*cl.save_profile, ec)) {
            try {
                tabrix_read_profile(*cl.save_profile);
            } catch (const tabrix_profile_error&) {
                throw convert_usage_error("--save-profile: '" + *cl.save_profile +
                                          "' exists and is not a profile; choose another name");
            }
        }
    }
    if (!c.settings().logfile.empty() && fs::is_regular_file(c.settings().logfile, ec) &&
        fs::file_size(c.settings().logfile, ec) != 0 && !cl.overwrite)
        throw convert_usage_error("the log file '" + c.settings().logfile +
                                  "' exists; give --overwrite to replace it");
    if (!c.settings().direct && fs::is_directory(script, ec))
        throw convert_usage_error("the script '" + script.string() +
                                  "' is a folder; give a file name");
    // A device or a pipe (/dev/stdout) holds nothing to lose.
    if (!c.settings().direct && fs::is_regular_file(script, ec) && !cl.overwrite)
        throw convert_usage_error("the script '" + script.string() +
                                  "' exists; give --overwrite to replace it");

    const std::vector<std::u16string> all = c.get_all_tables();
    std::vector<std::u16string>& selected = c.settings().selected_tables;
    if (single_table) {
        if (cl.settings.tables &&
            (cl.settings.tables->size() != 1 ||
             !tk_equal_nocase(widen(cl.settings.tables->front()), *single_table)))
            throw convert_usage_error("the source is the table '" + narrow(*single_table) +
                                      "'; --table cannot choose others");
        selected = {*single_table};
    } else if (selected.empty()) {
        selected = all;
        return;
    }
    for (std::u16string& name : selected) {
        auto it = std::find_if(all.begin(), all.end(),
                               [&](const std::u16string& t) { return tk_equal_nocase(t, name); });
        if (it == all.end())
            throw convert_usage_error("there is no table '" + narrow(name) + "' in '" +
                                      source.string() + "'");
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

// `existed`: the script's file was there before the run.
void print_summary(const tabrix_converter& c, size_t table_count, const cli_error_reporter& r,
                   bool stopped, bool existed, size_t profile_warnings) {
    const tabrix_run_totals& t = c.totals();
    const uint64_t skipped = c.settings().skip_deleted ? t.records_deleted : 0;
    const uint64_t failed = c.get_records_failed();
    const std::string script = narrow(c.settings().destination);

    std::printf("%s %s of %zu tables from %s\n", stopped ? "Stopped; tables begun:" : "Converted",
                format_count(t.tables_created).c_str(), table_count,
                narrow(c.settings().source).c_str());
    std::error_code ec;
    const std::string& partial = c.working_script();
    if (c.settings().direct) {
        const std::string database = narrow(c.direct_database());
        if (database.empty())
            std::printf("  database:        none (not opened)\n");
        else
            std::printf("  database:        %s on %s%s\n", database.c_str(),
                        narrow(c.settings().host).c_str(),
                        r.error_count() ? ", written with the errors listed on stderr" : "");
    } else if (!partial.empty() && fs::exists(partial, ec)) {
        // The run stopped before its end: the script was not given its name.
        const auto size = fs::file_size(partial, ec);
        std::printf(existed ? "  script:          not written; '%s' is as it was before the run\n"
                            : "  script:          not written; there is no '%s'\n",
                    script.c_str());
        std::printf("  partial script:  %s (%s bytes), to be deleted or looked into; it is not "
                    "a whole script\n",
                    partial.c_str(), format_count(ec ? 0 : size).c_str());
    } else if (const auto size = fs::file_size(script, ec); !partial.empty() && !ec) {
        std::printf("  script:          %s (%s bytes)%s\n", script.c_str(),
                    format_count(size).c_str(),
                    r.error_count() ? ", written with the errors listed on stderr" : "");
    } else {
        std::printf("  script:          none\n");
    }
    std::string written = format_count(t.records_written);
    // Deleted records are counted as they are read, which a stopped run is ahead of.
    if (!stopped && !c.settings().skip_deleted && t.records_deleted != 0)
        written += " (" + format_count(t.records_deleted) + " of them marked as deleted)";
    std::printf("  records written: %s\n", written.c_str());
    std::printf("  records skipped: %s%s\n", format_count(skipped).c_str(),
                skipped ? " (marked as deleted)" : "");
    if (failed != 0)
        std::printf("  records failed:  %s\n", format_count(failed).c_str());
    if (c.settings().direct && c.settings().fast_load) {
        const mss_load_counts& ways = c.engine().load_counts();
        std::printf("  loaded by:       bulk copy %s, statements %s\n",
                    format_count(ways.bulk).c_str(), format_count(ways.statements).c_str());
        if (!ways.no_bulk_copy.empty())
            std::printf("  no bulk copy:    %s\n", ways.no_bulk_copy.c_str());
    }
    // The messages themselves went to stderr as they came.
    if (r.error_count() != 0)
        std::printf("  errors:          %s (listed on stderr)\n",
                    format_count(r.error_count()).c_str());
    if (profile_warnings != 0)
        std::printf("  profile entries not used: %zu (listed on stderr)\n", profile_warnings);
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
        std::fputs(convert_help_text().c_str(), stdout);
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
    size_t profile_warnings = 0;

    try {
        if (cl.read_settings)
            converter.serialize(false);
        if (cl.profile) {
            const tabrix_checked_profile checked = tabrix_read_profile(*cl.profile);
            for (const std::string& warning : checked.warnings)
                std::fprintf(stderr, "tabrix-cli convert: warning: %s\n", warning.c_str());
            profile_warnings = checked.warnings.size();
            converter.load_profile(checked.profile);
        }
        cl.settings.apply_to(converter.settings());
        check_run(converter, cl);
        if (converter.settings().direct)
            cli_resolve_password(converter, cl.settings.has(&udb_settings::password));
        // A trace log exists only when a log file is named, so that traces cost nothing
        // otherwise.
        if (!converter.settings().logfile.empty()) {
            log = std::make_unique<tk_log>();
            converter.open_logfile();
        }
    } catch (const convert_usage_error& e) {
        return usage_failure(e.what());
    } catch (const tabrix_profile_error& e) {
        return usage_failure(e.what());
    } catch (const tk_exception& e) {
        return usage_failure(e.what());
    }

    const size_t table_count = converter.settings().selected_tables.size();
    if (table_count == 0) {
        std::fprintf(stderr, "tabrix-cli convert: %s: no DBF tables; %s\n",
                     narrow(converter.settings().source).c_str(),
                     converter.settings().direct ? "nothing was written to the server"
                                                 : "no script was written");
        return exit_with_errors;
    }
    if (converter.settings().direct && !cli_connect(converter, "tabrix-cli convert"))
        return exit_cannot_connect;
    std::error_code ec;
    const bool script_existed = fs::exists(narrow(converter.settings().destination), ec);
    install_interrupt_handler();
    run_with_progress(converter, display);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    // A stop that came after the last record leaves a whole script.
    // A server keeps what reached it: a stop asked for is taken as having cut the run short.
    const bool stopped =
        reporter.stopped() ||
        (interrupted &&
         (converter.settings().direct ||
          (!converter.working_script().empty() && fs::exists(converter.working_script(), ec))));
    if (interrupted && stopped)
        display.print("Stopped by the user.");
    print_summary(converter, table_count, reporter, stopped, script_existed, profile_warnings);

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
