#include "mss/mss_engine.h"

#include "mss/mss_database.h"
#include "mss/mss_names.h"
#include "mss/mss_server_errors.h"
#include "odb/odb_connection.h"
#include "odb/odb_environment.h"
#include "odb/odb_recordset.h"
#include "tk/tk_locale.h"
#include "tk/tk_string.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

mss_engine::mss_engine() {
    TK_TRACE(2, "mss_engine::ctor");
}

mss_engine::~mss_engine() {
    TK_TRACE(2, "mss_engine::dtor");
}

namespace {

std::u16string first_line(std::u16string_view text) {
    const size_t end = text.find_first_of(u"\r\n");
    return std::u16string(tk_wstring::trim(text.substr(0, end)));
}

} // namespace

void mss_engine::connect(const mss_connection_settings& settings) {
    TK_TRACE(3, "Connecting to MS SQL server...");
    if (!environment_)
        environment_ = std::make_unique<odb_environment>();
    std::error_code ec;
    const bool freetds = std::filesystem::exists(tk_to_utf8(mss_freetds_library), ec);
    mss_driver driver = mss_choose_driver(settings, environment_->drivers(), freetds);
    const mss_connection_settings previous_settings = settings_;
    const mss_driver previous_driver = driver_;
    settings_ = settings;
    driver_ = driver;
    try {
        std::unique_ptr<odb_connection> connection = open_connection({});
        const std::u16string banner = connection->query_value(u"SELECT @@VERSION");
        version_ = version_code(banner);
        banner_ = first_line(banner);
        TK_TRACE(3, "Got MS SQL version: %d", int(version_));
        init_db_contents(*connection);
    } catch (...) {
        settings_ = previous_settings;
        driver_ = previous_driver;
        throw;
    }
    host_ = settings.host;
    login_ = settings.integrated ? std::u16string() : settings.login;
    password_ = settings.integrated ? std::u16string() : settings.password;
    native_client_ = driver_.native;
    as_dbo_ = settings.as_dbo;
    load_counts_ = {};
    connected_ = true;
}

std::unique_ptr<odb_connection> mss_engine::open_connection(std::u16string_view database) const {
    TK_ASSERT(environment_ != nullptr);
    const std::u16string text = mss_build_connection_string(settings_, driver_, database);
    try {
        return std::make_unique<odb_connection>(*environment_, text, settings_.login_timeout,
                                                !database.empty() && fast_load_);
    } catch (const odb_exception& e) {
        // 4060: cannot open the database requested by the login; 916: the login may not
        // use the database.
        if (!database.empty() && (e.has_native(4060) || e.has_native(916)))
            throw mss_no_perm_exception(settings_.integrated ? u"(integrated)" : settings_.login,
                                        database);
        throw mss_connect_exception(mss_connect_message(e, settings_.integrated),
                                    tk_exception::stop_run);
    }
}

void mss_engine::init_db_contents(odb_connection& connection) {
    databases_.clear();
    if (version_ == azure)
        return;
    // sys.databases came with 2005; older servers keep the list in master.dbo.sysdatabases.
    const bool old = version_ >= v7 && version_ <= v2000;
    std::unique_ptr<odb_recordset> rows =
        connection.open(old ? u"SELECT name FROM master.dbo.sysdatabases ORDER BY name"
                            : u"SELECT name FROM sys.databases ORDER BY name");
    while (rows->fetch()) {
        TK_TRACE(1, "Got database: %s", tk_trace_text(rows->text(0)).c_str());
        databases_.push_back(rows->text(0));
    }
}

void mss_engine::require_connected() const {
    TK_ASSERT(connected_);
}

void mss_engine::require_date_types() const {
    // Dates are written as DATE, TIME and DATETIME2, which keep every date a DBF table holds;
    // older servers have only DATETIME, which would change dates before 1753.
    if (version_ >= v7 && version_ < v2008)
        throw tk_exception("This server is older than SQL Server 2008 and has no DATE, TIME and "
                           "DATETIME2 column types, which the tables need to keep their dates "
                           "as they are. Write a T-SQL script instead and adapt its date columns, "
                           "or use SQL Server 2008 or later.",
                           tk_exception::stop_run);
}

const std::vector<std::u16string>& mss_engine::get_contents() const {
    require_connected();
    if (version_ == azure) {
        TK_TRACE(3, "Cannot get list of databases on Azure SQL");
        throw tk_exception("Azure SQL does not allow to list databases.\r\nEnter database name "
                           "directly.",
                           tk_exception::stop_run);
    }
    return databases_;
}

bool mss_engine::is_db_exist(std::u16string_view name) {
    require_connected();
    if (version_ != azure) {
        TK_TRACE(1, "Step #1: check via get_contents()");
        bool listed = false;
        for (const std::u16string& database : databases_)
            listed = listed || tk_equal_nocase(database, name);
        if (!listed) {
            TK_TRACE(1, "Database %s has NOT been found", tk_trace_text(name).c_str());
            return false;
        }
    }
    TK_TRACE(1, "Step #2: check via test_connection(...)");
    try {
        open_connection(name);
    } catch (const mss_no_perm_exception&) {
        // Azure lists nothing: a database it cannot open may just as well be missing, and
        // creating it says which.
        if (version_ == azure)
            return false;
        throw;
    }
    return true;
}

std::unique_ptr<mss_database> mss_engine::create_db(std::u16string_view name) {
    require_connected();
    require_date_types();
    TK_TRACE(3, "Creating MS SQL database '%s'", tk_trace_text(name).c_str());
    {
        std::unique_ptr<odb_connection> connection = open_connection({});
        try {
            connection->execute(u"CREATE DATABASE " + mss_bracketed(name));
        } catch (const odb_exception& e) {
            throw mss_server_error(e, tk_exception::stop_run);
        }
        // The new name is listed at once: a second run to the same name opens it.
        init_db_contents(*connection);
    }
    return open_db(name, mss_database::created);
}

std::unique_ptr<mss_database> mss_engine::open_db(std::u16string_view name, uint32_t flags) {
    require_connected();
    require_date_types();
    std::unique_ptr<odb_connection> connection = open_connection(name);
    TK_TRACE(3, "Connection to the database was establish successfully");
    mss_database_facts facts;
    facts.unicode = unicode_;
    facts.version = version_;
    facts.as_dbo = as_dbo_;
    facts.indexes = indexes_;
    facts.fast_load = fast_load_;
    facts.batch_size = batch_size_;
    facts.load_counts = &load_counts_;
    auto database =
        std::make_unique<mss_database>(std::u16string(name), std::move(connection), flags, facts);
    database->set_connector(
        [this, database_name = std::u16string(name)] { return open_connection(database_name); });
    return database;
}

void mss_engine::delete_db(std::u16string_view name) {
    require_connected();
    TK_TRACE(3, "Deleting MS SQL database '%s'", tk_trace_text(name).c_str());
    std::unique_ptr<odb_connection> connection = open_connection({});
    // A session that was just closed (ours, checking the database) can keep the database in
    // use for a moment after its socket is gone: error 3702 is tried again for about 3 s.
    for (int wait_ms = 100;; wait_ms *= 2) {
        try {
            connection->execute(u"DROP DATABASE " + mss_bracketed(name));
            break;
        } catch (const odb_exception& e) {
            if (e.native_error() != 3702 || wait_ms > 1600)
                throw mss_server_error(e, tk_exception::stop_run);
            TK_TRACE(3, "Database in use; dropping again in %d ms", wait_ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
        }
    }
    init_db_contents(*connection);
}

int32_t mss_engine::version_code(std::u16string_view banner) {
    constexpr std::u16string_view server = u"Microsoft SQL Server";
    constexpr std::u16string_view azure_prefix = u"Microsoft SQL Azure";
    TK_TRACE(1, "MS SQL version string: %s", tk_trace_text(banner).c_str());
    if (banner.size() > 30 && banner.starts_with(server)) {
        // The year (or "7.") follows the prefix within the next ten characters.
        std::u16string number = tk_wstring::trim(banner.substr(server.size(), 10));
        TK_TRACE(1, "str_ver_num=%s", tk_trace_text(number).c_str());
        static constexpr std::pair<std::u16string_view, int32_t> table[] = {
            {u"2017", 13}, {u"2016", 12}, {u"2015", 11}, {u"2014", 10}, {u"2013", 9}, {u"2012", 8},
            {u"2011", 7},  {u"2010", 6},  {u"2008", 5},  {u"2005", 4},  {u"200", 3},  {u"7.", 2},
        };
        // A year after 2017: its own code above 2017's, whatever the table knows.
        if (number.size() >= 4) {
            int year = 0;
            for (size_t i = 0; i < 4 && number[i] >= u'0' && number[i] <= u'9'; ++i)
                year = year * 10 + (number[i] - u'0');
            if (year > 2017 && year < 10000)
                return v2017 + (year - 2017);
        }
        for (const auto& [prefix, code] : table) {
            if (std::u16string_view(number).starts_with(prefix))
                return code;
        }
        return v_unknown;
    }
    if (banner.size() > 19 && banner.starts_with(azure_prefix)) {
        TK_TRACE(1, "Got Microsoft SQL Azure");
        return azure;
    }
    return v_unknown;
}

namespace {

std::u16string make_safe_tname(std::u16string_view name, std::u16string_view login, bool as_dbo) {
    std::u16string result;
    std::u16string table;
    std::u16string owner;
    if (mss_split_tab_name(name, table, owner) && !owner.empty()) {
        TK_TRACE(1, "This is a full canonized table name");
        mss_append_bracketed(result, owner);
        result.push_back(u'.');
        mss_append_bracketed(result, table);
    } else {
        if (!login.empty() && !as_dbo && !tk_equal_nocase(login, u"sa")) {
            mss_append_bracketed(result, login);
            result.push_back(u'.');
        } else {
            result = u"[dbo].";
        }
        mss_append_bracketed(result, name);
    }
    TK_TRACE(1, "result=%s", tk_trace_text(result).c_str());
    return result;
}

} // namespace

std::u16string mss_engine::get_safe_tname(std::u16string_view name) const {
    TK_TRACE(2, "mss_engine::get_safe_tname(%s)", tk_trace_text(name).c_str());
    return make_safe_tname(name, login_, as_dbo_);
}

std::u16string mss_safe_tname(std::u16string_view name) {
    if (const mss_engine* engine = mss_engine::try_instance())
        return engine->get_safe_tname(name);
    return make_safe_tname(name, {}, false);
}
