#include "udb/udb_names_map.h"

#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

namespace {

bool names_equal(std::u16string_view a, std::u16string_view b, bool exact) {
    return exact ? a == b : tk_equal_nocase(a, b);
}

} // namespace

void udb_names_map::add_tn_mapping(std::u16string source, std::u16string destination) {
    TK_TRACE(2, "udb_names_map::add_tn_mapping(%s,%s)", tk_trace_text(source).c_str(),
             tk_trace_text(destination).c_str());
    if (tables_.emplace(std::move(source), std::move(destination)).second)
        ++generation_;
}

void udb_names_map::add_fn_map(std::u16string table, name_map columns) {
    TK_TRACE(2, "udb_names_map::add_fn_map(%s)", tk_trace_text(table).c_str());
    fields_.insert_or_assign(std::move(table), std::move(columns));
    ++generation_;
}

std::u16string udb_names_map::get_tn_mapped_name(std::u16string_view name, bool exact) const {
    TK_TRACE(2, "udb_names_map::get_tn_mapped_name(%s)", tk_trace_text(name).c_str());
    for (const auto& [source, destination] : tables_) {
        TK_TRACE(1, "Comparing with (%s,%s)", tk_trace_text(source).c_str(),
                 tk_trace_text(destination).c_str());
        if (names_equal(source, name, exact)) {
            TK_TRACE(1, "Got mapped name: %s", tk_trace_text(destination).c_str());
            return destination;
        }
    }
    return std::u16string(name);
}

std::u16string udb_names_map::get_fn_mapped_name(std::u16string_view table,
                                                 std::u16string_view field, bool exact) const {
    TK_TRACE(2, "udb_names_map::get_fn_mapped_name(%s,%s)", tk_trace_text(table).c_str(),
             tk_trace_text(field).c_str());
    const auto columns = fields_.find(table);
    if (columns == fields_.end()) {
        TK_TRACE(1, "Table '%s' not found", tk_trace_text(table).c_str());
        return std::u16string(field);
    }
    if (exact) {
        const auto hit = columns->second.find(field);
        if (hit != columns->second.end()) {
            TK_TRACE(1, "Got mapped name: %s", tk_trace_text(hit->second).c_str());
            return hit->second;
        }
        return std::u16string(field);
    }
    for (const auto& [source, destination] : columns->second) {
        if (tk_equal_nocase(source, field)) {
            TK_TRACE(1, "Got mapped name: %s", tk_trace_text(destination).c_str());
            return destination;
        }
    }
    return std::u16string(field);
}

std::u16string udb_names_map::get_fn_orig_name(std::u16string_view table, std::u16string_view field,
                                               bool exact) const {
    TK_TRACE(2, "udb_names_map::get_fn_orig_name(%s,%s)", tk_trace_text(table).c_str(),
             tk_trace_text(field).c_str());
    const auto columns = fields_.find(table);
    if (columns == fields_.end()) {
        TK_TRACE(1, "Table '%s' not found", tk_trace_text(table).c_str());
        return std::u16string(field);
    }
    for (const auto& [source, destination] : columns->second) {
        if (names_equal(destination, field, exact)) {
            TK_TRACE(1, "Got orignal name: %s", tk_trace_text(source).c_str());
            return source;
        }
    }
    return std::u16string(field);
}

std::u16string udb_names_map::do_global_replace1(std::u16string_view text,
                                                 std::u16string_view prefix,
                                                 std::u16string_view suffix) const {
    TK_TRACE(2, "udb_names_map::do_global_replace1(%s)", tk_trace_text(text).c_str());
    std::u16string result = do_global_replace2(text, tables_, prefix, suffix);
    for (const auto& [table, columns] : fields_)
        result = do_global_replace2(result, columns, prefix, suffix);
    return result;
}

std::u16string udb_names_map::do_global_replace2(std::u16string_view text, const name_map& map,
                                                 std::u16string_view prefix,
                                                 std::u16string_view suffix) {
    TK_TRACE(2, "udb_names_map::do_global_replace2(%s)", tk_trace_text(text).c_str());
    std::u16string result(text);
    for (const auto& [source, destination] : map) {
        // An empty name occurs everywhere and means nothing.
        if (source.empty())
            continue;
        std::u16string replacement;
        if (!prefix.empty() && !destination.starts_with(prefix))
            replacement = prefix;
        replacement += destination;
        if (!suffix.empty() && !destination.ends_with(suffix))
            replacement += suffix;
        TK_TRACE(1, "Testing pair ('%s','%s')", tk_trace_text(source).c_str(),
                 tk_trace_text(replacement).c_str());

        size_t pos = 0;
        while ((pos = result.find(source, pos)) != std::u16string::npos) {
            TK_TRACE(1, "'%s' was found at pos=%d", tk_trace_text(source).c_str(), int(pos));
            const size_t end = pos + source.size();
            const bool word_before = pos > 0 && tk_is_alnum(result[pos - 1]);
            const bool word_after = end < result.size() && tk_is_alnum(result[end]);
            if (word_before || word_after) {
                pos = end;
                continue;
            }
            result.replace(pos, source.size(), replacement);
            pos += replacement.size();
        }
    }
    return result;
}
