// The generic keys of a profile: source, destination, log file, the table options, the mode,
// and the table, view and query lists.
#include "tk/tk_text.h"
#include "tk/tk_trace.h"
#include "udb/udb_converter.h"
#include "udb/udb_profile.h"

namespace {

constexpr std::u16string_view generic = udb_profile::generic_settings;

void store_pairs(udb_profile& profile, std::u16string_view section, const udb_named_texts& pairs,
                 const char* trace_format) {
    for (const auto& [name, text] : pairs) {
        TK_TRACE(1, trace_format, tk_trace_text(name).c_str(), tk_trace_text(text).c_str());
        profile.add_value(section, name, text);
    }
}

void load_pairs(const udb_profile& profile, std::u16string_view section, udb_named_texts& pairs) {
    for (const auto& entry : profile.entries(section))
        pairs.push_back(entry);
}

} // namespace

bool udb_converter::store_profile(udb_profile& profile) const {
    profile.add_value(generic, u"src", get_source_path());
    profile.add_value(generic, u"dest", get_destination());
    profile.add_value(generic, u"logfile", tk_from_ansi(get_logfile()));
    profile.add_flag(generic, u"skip indexes", get_skip_indexes());
    profile.add_flag(generic, u"only definitions", get_table_definitions_only());
    const char16_t mode[] = {char16_t(u'0' + get_mode()), 0};
    profile.add_value(generic, u"mode", mode);

    store_pairs(profile, udb_profile::selected_tables, selected_table_entries(),
                "Selected Query: (%s,%s)");
    store_pairs(profile, udb_profile::available_queries, available_queries(),
                "Available Query: (%s,%s)");
    store_pairs(profile, udb_profile::selected_views, selected_views(), "Selected View: (%s,%s)");
    return true;
}

bool udb_converter::load_profile(const udb_profile& profile) {
    std::u16string text;
    if (profile.get_text(generic, u"src", text))
        set_source_path(text);
    if (profile.get_text(generic, u"dest", text))
        set_destination(text);
    if (profile.get_text(generic, u"logfile", text))
        set_logfile(tk_to_ansi(text));
    bool flag = false;
    if (profile.get_flag_unless_zero(generic, u"skip indexes", flag))
        set_skip_indexes(flag);
    if (profile.get_flag_unless_zero(generic, u"only definitions", flag))
        set_table_definitions_only(flag);
    // One digit; anything that is not one of the four modes leaves the mode as it was, since
    // an unknown mode would let the run treat existing tables in no defined way.
    if (const std::u16string* mode = profile.find_value(generic, u"mode");
        mode != nullptr && !mode->empty()) {
        const int32_t value = int32_t((*mode)[0]) - u'0';
        if (value >= mode_overwrite_database && value <= mode_merge)
            set_mode(value);
        else
            TK_TRACE(3, "Unknown mode '%s' ignored", tk_trace_text(*mode).c_str());
    }

    for (const auto& [name, query] : profile.entries(udb_profile::selected_tables)) {
        if (query.empty()) {
            TK_TRACE(1, "Push back table '%s'", tk_trace_text(name).c_str());
            selected_tables().push_back(name);
        } else {
            selected_table_entries().emplace_back(name, query);
        }
    }
    load_pairs(profile, udb_profile::available_queries, available_queries());
    load_pairs(profile, udb_profile::selected_views, selected_views());
    return true;
}
