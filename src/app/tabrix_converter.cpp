#include "app/tabrix_converter.h"

#include "app/tabrix_databases.h"
#include "dbf/dbf_codepages.h"
#include "mss/mss_database.h"
#include "mss/mss_script_file.h"
#include "mss/mss_validator.h"
#include "tk/tk_product.h"
#include "tk/tk_reg_key.h"
#include "tk/tk_trace.h"
#include "udb/tabrix_bool_rule.h"
#include "udb/udb_profile.h"
#include "udb/udb_setting_table.h"

namespace {

// The code pages this build reads with: a stored or profile value naming another one would
// turn every text into U+FFFD, so it is not taken.
std::optional<uint32_t> check_code_page(udb_setting_check check, int64_t value) {
    if (value < 0 || value > int64_t(UINT32_MAX))
        return std::nullopt;
    const uint32_t codepage = dbf_codepage_of_setting(uint32_t(value));
    if (check == udb_setting_check::code_page_or_zero)
        return value == 0 || codepage != 0 ? std::optional<uint32_t>(uint32_t(value))
                                           : std::nullopt;
    return codepage != 0 ? std::optional<uint32_t>(codepage) : std::nullopt;
}

} // namespace

tabrix_converter::tabrix_converter() {
    TK_TRACE(2, "tabrix_converter::ctor");
}

tabrix_converter::~tabrix_converter() {
    TK_TRACE(2, "tabrix_converter::dtor");
}

std::string tabrix_converter::title() {
    return std::string(tk_product_name) + " " + std::to_string(tk_product_major) + "." +
           std::to_string(tk_product_minor) + " " + tk_product_edition;
}

bool tabrix_converter::serialize(bool store) {
    tk_reg_key key;
    if (!key.open(tk_settings_key))
        return false;
    const bool ok = udb_serialize_settings(key, settings(), store, check_code_page);
    const bool closed = key.close();
    return ok && (!store || closed);
}

bool tabrix_converter::store_profile(const std::filesystem::path& path) const {
    udb_profile profile;
    udb_store_settings(settings(), profile);
    return profile.store(path);
}

bool tabrix_converter::load_profile(const std::filesystem::path& path) {
    udb_profile profile;
    if (!profile.load(path))
        return false;
    return load_profile(profile);
}

bool tabrix_converter::load_profile(const udb_profile& profile) {
    const std::string logfile = settings().logfile;
    udb_load_settings(profile, settings(), check_code_page);
    if (settings().logfile != logfile)
        open_logfile();
    return true;
}

void tabrix_converter::open_logfile() {
    if (tk_log* log = tk_log::try_instance(); log != nullptr && !settings().logfile.empty())
        log->set_logfile(settings().logfile);
}

std::vector<std::u16string> tabrix_converter::get_all_tables() const {
    TK_TRACE(2, "tabrix_convertor::get_all_tables");
    // Listed as the folder names them, whatever code page the run will read them with.
    udb_settings listing = settings_;
    listing.encoding = 0;
    return tabrix_open_source(tabrix_source_kind::dbf_folder, listing, udb_run_context{})
        ->get_table_names();
}

void tabrix_converter::on_run_started() {
    TK_TRACE(2, "tabrix_converter::operator()");
    totals_ = tabrix_run_totals{};
    working_script_.clear();
    direct_database_.clear();
    server_.engine().set_unicode(settings_.dmp_unicode);
    server_.apply(settings_);
    server_.engine().set_indexes(!settings_.skip_indexes);
}

std::unique_ptr<udb_database> tabrix_converter::open_source(const udb_run_context& context) {
    auto counted = tabrix_counting_database(
        tabrix_open_source(tabrix_source_kind::dbf_folder, settings_, context), totals_);
    counted->set_context(context);
    return counted;
}

udb_target_facts tabrix_converter::target_facts() const {
    const mss_engine& engine = const_cast<mssql_converter_impl&>(server_).engine();
    // A script is read by whatever server runs it: no server facts. Both destinations write
    // their values as UTF-8 literals, which text of a single-byte code page becomes straight.
    if (!settings_.direct || !engine.connected())
        return {.unicode = settings_.dmp_unicode, .narrow_text = true};
    return {.unicode = engine.unicode(),
            .server_version = engine.version(),
            .date_types = engine.has_date_types(),
            .narrow_text = true};
}

std::unique_ptr<udb_database> tabrix_converter::open_destination(const udb_run_context& context) {
    tabrix_destination opened = tabrix_open_destination(tabrix_destination_kind_of(settings_),
                                                        settings_, context, server_, title());
    std::function<uint64_t()> records_on_disk;
    if (const mss_script_file* file = opened.script) {
        working_script_ = file->working_path();
        records_on_disk = [file] { return file->records_on_disk(); };
    } else if (const mss_database* stored = opened.server) {
        direct_database_ = settings_.destination;
        records_on_disk = [stored] { return stored->records_stored(); };
    }
    auto counted =
        tabrix_counting_database(std::move(opened.database), totals_, std::move(records_on_disk));
    counted->set_context(context);
    return counted;
}

void tabrix_converter::install_conversion_rules(udb_custom_conversion& rules) {
    if (settings().bool_as_is)
        rules.add_rule(std::make_unique<tabrix_bool_rule>());
}

std::unique_ptr<udb_validator>
tabrix_converter::make_table_name_validator(const std::vector<std::u16string>& selected,
                                            const std::vector<std::u16string>& names_in_use) {
    return std::make_unique<mss_tn_validator>(selected, names_in_use);
}
