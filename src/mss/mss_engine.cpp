#include "mss/mss_engine.h"

#include "mss/mss_names.h"
#include "tk/tk_locale.h"
#include "tk/tk_string.h"
#include "tk/tk_trace.h"

#include <utility>

mss_engine::mss_engine() {
    TK_TRACE(2, "mss_engine::ctor");
}

mss_engine::~mss_engine() {
    TK_TRACE(2, "mss_engine::dtor");
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
