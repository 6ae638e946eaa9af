#include "mss/mss_table_definition.h"

#include "mss/mss_column_types.h"
#include "mss/mss_names.h"
#include "ole/ole_types.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

#include <algorithm>

namespace {

// A primary key or index of more columns than this is not written.
constexpr size_t max_key_columns = 16;
// MS SQL's limit on the bytes of an index key.
constexpr uint64_t max_index_key_bytes = 900;
constexpr uint64_t max_index_column_bytes = 8000;

// A number that may stand bare as a column default: sign, digits, point, exponent.
bool is_number_text(std::u16string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    bool digits = false;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
            ++i;
        size_t exponent = i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        if (i == exponent)
            return false;
    }
    return i == text.size();
}

std::u16string column_definition(const t_ftd& column, const udb_index* key, bool identity,
                                 bool unicode, bool case_sensitive_keys,
                                 const udb_custom_conversion* rules) {
    std::u16string text = u"\t";
    mss_append_bracketed(text, column.name);
    text += u" ";
    std::u16string type = mss_script_type(column, unicode, identity, rules);
    const bool key_column = mss_is_key_column(key, column);
    if (key_column && case_sensitive_keys && mss_is_text_type(column.vartype) &&
        column.dw_reserved != t_ftd::text_guid && column.native_type.empty()) {
        while (!type.empty() && type.back() == u' ')
            type.pop_back();
        type += u" COLLATE Latin1_General_CS_AS";
    }
    text += type;
    if (column.b_not_null || column.b_auto_num || key_column)
        text += u" NOT NULL";
    const std::u16string value = column.default_value.to_wstring();
    TK_TRACE(1, "Got safe default value: %s", tk_trace_text(value).c_str());
    if (value.empty())
        return text;
    if (column.vartype == VT_BSTR && column.dw_reserved == t_ftd::text_guid) {
        if (tk_equal_nocase(value, u"newid()") || tk_equal_nocase(value, u"uuid_generate_v4()"))
            text += u" DEFAULT newid()";
        return text;
    }
    text += u" DEFAULT ";
    if (column.vartype == VT_BSTR || column.vartype == VT_DATE || !is_number_text(value)) {
        // A default that is not a plain number is written as text, which MS SQL converts
        // to the column's type; bare it could end the statement.
        mss_append_delimited(text, value, u'\'', u'\'');
    } else {
        text += value;
    }
    return text;
}

} // namespace

const udb_index* mss_primary_key(const udb_indexes& indexes) {
    const udb_index* key = nullptr;
    for (const udb_index& index : indexes) {
        if (index.fields.size() > max_key_columns) {
            TK_TRACE(3, "Index '%s' has too many fields and is skipped",
                     tk_trace_text(index.name).c_str());
        } else if (!index.b_primary || index.fields.empty()) {
            TK_TRACE(2, "Index '%s' is not a primary key", tk_trace_text(index.name).c_str());
        } else if (key) {
            TK_TRACE(3, "Second primary key '%s' is skipped", tk_trace_text(index.name).c_str());
        } else {
            key = &index;
        }
    }
    return key;
}

bool mss_is_key_column(const udb_index* key, const t_ftd& column) {
    return key &&
           std::find(key->fields.begin(), key->fields.end(), column.name) != key->fields.end();
}

mss_column_definitions mss_define_columns(const udb_schema& schema, const udb_index* key,
                                          bool unicode, bool case_sensitive_keys,
                                          const udb_custom_conversion* rules) {
    mss_column_definitions result;
    for (size_t i = 0; i < schema.size(); ++i) {
        if (i > 0)
            result.text += u",\r\n";
        const bool identity = !result.identity && mss_script_identity(schema[i]);
        result.identity = result.identity || identity;
        result.text +=
            column_definition(schema[i], key, identity, unicode, case_sensitive_keys, rules);
    }
    return result;
}

std::u16string mss_clustered_index_statement(std::u16string_view safe_table,
                                             const udb_schema& schema, bool unicode) {
    TK_TRACE(2, "mss_clustered_index_statement");
    // The key of a clustered index holds at most 900 bytes: text counts two bytes a character
    // in NVARCHAR and one in VARCHAR.
    const uint64_t bytes_per_char = unicode ? 2 : 1;
    const t_ftd* chosen = nullptr;
    for (const t_ftd& column : schema) {
        bool suitable;
        if (!column.native_type.empty())
            suitable = false;
        else if (ole_variant::is_binary(column.vartype))
            suitable = column.size >= 1 && column.size <= max_index_key_bytes;
        else if (mss_is_text_type(column.vartype))
            suitable = column.dw_reserved == t_ftd::text_guid ||
                       (column.size >= 1 && column.size * bytes_per_char <= max_index_key_bytes);
        else
            suitable = true;
        if (suitable) {
            chosen = &column;
            break;
        }
        TK_TRACE(2, "Field '%s' is not suitable for building index",
                 tk_trace_text(column.name).c_str());
    }
    if (!chosen) {
        TK_TRACE(2, "Failed to find a field for building clustered index");
        return {};
    }
    std::u16string statement = u"CREATE CLUSTERED INDEX ";
    mss_append_bracketed(statement, chosen->name + u"_clust_idx");
    statement += u" ON " + std::u16string(safe_table) + u"(";
    mss_append_bracketed(statement, chosen->name);
    statement += u")";
    TK_TRACE(2, "CLUSTERED-index-query: %s", tk_trace_text(statement).c_str());
    return statement;
}

std::u16string mss_index_statement(std::u16string_view safe_table, const udb_schema& schema,
                                   const udb_index& index) {
    if (index.fields.empty()) {
        TK_TRACE(3, "Index '%s': no fields, cannot build index", tk_trace_text(index.name).c_str());
        return {};
    }
    if (index.b_primary)
        return {};
    uint64_t total = 0;
    for (const std::u16string& field : index.fields) {
        const uint16_t vt = schema.get_field_type(field);
        uint64_t size = schema.get_field_size(field);
        if (vt == VT_BSTR)
            size *= 2;
        total += size;
        TK_TRACE(1, "Index field '%s' has vt=%08X, size=%d", tk_trace_text(field).c_str(),
                 static_cast<unsigned>(vt), static_cast<int>(size));
        TK_TRACE(1, "Total index size=%d", static_cast<int>(total));
        const bool sized = vt == VT_BSTR || ole_variant::is_binary(vt);
        if (total > max_index_key_bytes || vt == VT_BOOL ||
            (sized && (size < 1 || size > max_index_column_bytes))) {
            TK_TRACE(3, "Index '%s' has been skipped", tk_trace_text(index.name).c_str());
            return {};
        }
    }
    std::u16string statement = u"CREATE ";
    if (index.b_unique)
        statement += u"UNIQUE ";
    statement += u"INDEX ";
    mss_append_bracketed(statement, index.name);
    statement += u" ON " + std::u16string(safe_table) + u"(";
    mss_join_bracketed(statement, index.fields);
    statement += u")";
    if (index.b_unique) {
        for (size_t i = 0; i < index.fields.size(); ++i) {
            statement += i == 0 ? u" WHERE " : u" AND ";
            mss_append_bracketed(statement, index.fields[i]);
            statement += u" IS NOT NULL";
        }
    }
    return statement;
}

void mss_join_bracketed(std::u16string& out, const std::vector<std::u16string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out.append(u", ");
        mss_append_bracketed(out, names[i]);
    }
}

std::u16string mss_insert_head(std::u16string_view safe_table, const udb_schema& schema) {
    std::u16string head = u"INSERT INTO " + std::u16string(safe_table) + u" (";
    for (size_t i = 0; i < schema.size(); ++i) {
        if (i > 0)
            head += u", ";
        mss_append_bracketed(head, schema[i].name);
    }
    head += u") VALUES ";
    return head;
}
