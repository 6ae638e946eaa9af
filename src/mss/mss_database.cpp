#include "mss/mss_database.h"

#include "mss/mss_names.h"
#include "mss/mss_server_errors.h"
#include "mss/mss_table.h"
#include "mss/mss_table_definition.h"
#include "odb/odb_connection.h"
#include "odb/odb_recordset.h"
#include "ole/ole_types.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_locale.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

namespace {

// N'...' with every "'" doubled: a name put into a string literal.
std::u16string name_literal(std::u16string_view name) {
    std::u16string text = u"N";
    mss_append_delimited(text, name, u'\'', u'\'');
    return text;
}

// A failure that leaves the run going: the error handler hears of it at level 0.
void report(const std::string& text) {
    const tk_exception e(text, tk_exception::recoverable);
    if (error_handler* handler = error_handler::try_instance()) {
        handler->clear_context();
        handler->handle(e, false);
        return;
    }
    TK_TRACE(3, "Error:\n%s", text.c_str());
}

int32_t to_int(const std::u16string& text) {
    int32_t value = 0;
    bool negative = false;
    for (char16_t c : text) {
        if (c == u'-')
            negative = true;
        else if (c >= u'0' && c <= u'9')
            value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

// A column the server describes (sys.columns with its type's name), as the data model
// holds it.
t_ftd column_of(std::u16string name, std::u16string_view type, int32_t max_length,
                int32_t precision, int32_t scale, bool nullable, bool identity) {
    t_ftd column;
    column.name = std::move(name);
    column.b_not_null = !nullable;
    column.b_auto_num = identity;
    const auto is = [&](std::u16string_view t) { return tk_equal_nocase(type, t); };
    if (is(u"int")) {
        column.vartype = VT_I4;
    } else if (is(u"bigint")) {
        column.vartype = VT_I8;
    } else if (is(u"smallint")) {
        column.vartype = VT_I2;
    } else if (is(u"tinyint")) {
        column.vartype = VT_UI1;
    } else if (is(u"bit")) {
        column.vartype = VT_BOOL;
    } else if (is(u"real")) {
        column.vartype = VT_R4;
    } else if (is(u"float")) {
        column.vartype = VT_R8;
    } else if (is(u"money") || is(u"smallmoney")) {
        column.vartype = VT_CY;
    } else if (is(u"decimal") || is(u"numeric")) {
        column.vartype = VT_DECIMAL;
        column.dw_reserved = uint32_t(precision) * 256 + uint32_t(scale);
    } else if (is(u"date")) {
        column.vartype = VT_DATE;
        column.dw_reserved = t_ftd::date_only;
    } else if (is(u"time")) {
        column.vartype = VT_DATE;
        column.dw_reserved = t_ftd::time_only;
    } else if (is(u"datetime") || is(u"datetime2") || is(u"smalldatetime")) {
        column.vartype = VT_DATE;
    } else if (is(u"binary") || is(u"varbinary") || is(u"image")) {
        column.vartype = VT_BLOB;
        column.size = max_length > 0 ? uint32_t(max_length) : 0;
    } else if (is(u"uniqueidentifier")) {
        column.vartype = VT_BSTR;
        column.size = 38;
        column.dw_reserved = t_ftd::text_guid;
    } else {
        column.vartype = VT_BSTR;
        if (is(u"xml"))
            column.dw_reserved = t_ftd::text_xml;
        // nchar and nvarchar count their length in bytes, two to a character.
        const bool wide = is(u"nchar") || is(u"nvarchar") || is(u"ntext");
        column.size = max_length > 0 ? uint32_t(wide ? max_length / 2 : max_length) : 0;
    }
    return column;
}

} // namespace

mss_database::mss_database(std::u16string name, std::unique_ptr<odb_connection> connection,
                           uint32_t flags, const mss_database_facts& facts)
    : udb_database(std::move(name), false), connection_(std::move(connection)), flags_(flags),
      facts_(facts) {
    TK_TRACE(2, "mss_database::ctor(%s)", tk_trace_text(name_).c_str());
    try {
        prepare_session();
        schema_ = facts_.as_dbo ? u"dbo" : connection_->query_value(u"SELECT SCHEMA_NAME()");
        if (schema_.empty())
            schema_ = u"dbo";
        TK_TRACE(2, "Default schema: %s", tk_trace_text(schema_).c_str());
        read_tables();
    } catch (const odb_exception& e) {
        throw mss_server_error(e, tk_exception::stop_run);
    }
}

mss_database::~mss_database() {
    TK_TRACE(2, "mss_database::dtor");
}

void mss_database::prepare_session() {
    // Dates are written year first (mss_literal.h); ymd reads them the same whatever the
    // login's language.
    connection_->execute(u"SET DATEFORMAT ymd");
}

bool mss_database::reconnect() {
    if (!connector_)
        return false;
    // The new connection is made before the old one goes: when it cannot be made, the table
    // still has a connection to fail on, with the reason.
    std::unique_ptr<odb_connection> fresh = connector_();
    connection_ = std::move(fresh);
    prepare_session();
    return true;
}

void mss_database::read_tables() {
    table_names_.clear();
    std::unique_ptr<odb_recordset> rows =
        connection_->open(u"SELECT name FROM sys.tables WHERE schema_id = SCHEMA_ID(" +
                          name_literal(schema_) + u") ORDER BY name");
    while (rows->fetch()) {
        TK_TRACE(1, "Got table: %s", tk_trace_text(rows->text(0)).c_str());
        table_names_.push_back(rows->text(0));
    }
    TK_TRACE(2, "Tables count: %d", int(table_names_.size()));
}

std::u16string mss_database::safe_name(std::u16string_view table) const {
    std::u16string plain;
    std::u16string owner;
    mss_split_tab_name(table, plain, owner);
    std::u16string result;
    mss_append_bracketed(result, owner.empty() ? schema_ : owner);
    result.push_back(u'.');
    mss_append_bracketed(result, plain);
    return result;
}

void mss_database::create_schema(std::u16string_view name) {
    TK_TRACE(2, "mss_database::create_schema(%s)", tk_trace_text(name).c_str());
    if (name == u"dbo")
        return;
    // CREATE SCHEMA must be alone in its batch: it goes through sp_executesql.
    std::u16string create = u"CREATE SCHEMA " + mss_bracketed(name);
    query(u"IF SCHEMA_ID(" + name_literal(name) + u") IS NULL EXEC sp_executesql " +
          name_literal(create));
}

std::unique_ptr<udb_recordset> mss_database::create_table(std::u16string_view name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes) {
    TK_TRACE(2, "mss_database::create_table(%s)", tk_trace_text(name).c_str());
    TK_ASSERT((flags_ & read_only) == 0);
    if (is_table_exist(name)) {
        if ((flags_ & keep_existing) == 0)
            throw tk_exception("The specified table already exists", tk_exception::recoverable);
        return get_table(name, udb_open_mode::write);
    }
    if (schema.empty())
        throw tk_exception("A table without columns cannot be created in MS SQL",
                           tk_exception::recoverable);

    const std::u16string safe = safe_name(name);
    const udb_index* key = mss_primary_key(indexes);
    // Key columns of text compare case-sensitively, as in the DBF index: "abc" and "ABC" are
    // two keys there.
    const mss_column_definitions columns =
        mss_define_columns(schema, key, facts_.unicode, true, context().rules);
    try {
        connection_->execute(u"CREATE TABLE " + safe + u" (\r\n" + columns.text + u"\r\n)");
    } catch (const odb_exception& e) {
        throw mss_server_error(e);
    }
    table_names_.emplace_back(name);

    if (key) {
        std::u16string statement = u"ALTER TABLE " + safe + u" ADD PRIMARY KEY (";
        mss_join_bracketed(statement, key->fields);
        statement += u")";
        run_optional(statement, name, "the primary key '" + tk_to_utf8(key->name) + "'");
    } else if (facts_.indexes) {
        const std::u16string clustered =
            mss_clustered_index_statement(safe, schema, facts_.unicode);
        if (!clustered.empty())
            run_optional(clustered, name, "its clustered index");
    }
    for (const udb_index& index : indexes)
        create_index(name, schema, index);
    return std::make_unique<mss_table>(*this, std::u16string(name), schema, columns.identity);
}

void mss_database::create_index(std::u16string_view table, const udb_schema& schema,
                                const udb_index& index) {
    const std::u16string statement = mss_index_statement(safe_name(table), schema, index);
    if (!statement.empty())
        run_optional(statement, table, "the index '" + tk_to_utf8(index.name) + "'");
}

void mss_database::run_optional(std::u16string_view statement, std::u16string_view table,
                                const std::string& what) {
    try {
        connection_->execute(statement);
    } catch (const odb_exception& e) {
        if (e.connection_lost())
            throw mss_server_error(e, tk_exception::stop_run);
        report("Table '" + tk_to_utf8(table) + "': " + what +
               " was not created: " + mss_server_message(e));
    }
}

bool mss_database::delete_tab(std::u16string_view name) {
    TK_TRACE(2, "mss_database::delete_tab(%s)", tk_trace_text(name).c_str());
    try {
        connection_->execute(u"DROP TABLE " + safe_name(name));
    } catch (const odb_exception& e) {
        throw mss_server_error(e);
    }
    return udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> mss_database::get_query(std::u16string_view, std::u16string_view,
                                                       uint32_t) {
    return nullptr;
}

std::unique_ptr<udb_recordset> mss_database::get_table(std::u16string_view name, udb_open_mode) {
    TK_TRACE(2, "mss_database::get_table(%s)", tk_trace_text(name).c_str());
    // The table as the name list spells it: the server's catalogue compares names as its
    // collation does, the list ignoring case.
    std::u16string spelled(name);
    for (const std::u16string& known : table_names_)
        if (tk_equal_nocase(known, name))
            spelled = known;
    const std::u16string safe = safe_name(spelled);
    udb_schema schema;
    bool identity = false;
    try {
        std::unique_ptr<odb_recordset> rows = connection_->open(
            u"SELECT c.name, TYPE_NAME(c.user_type_id), c.max_length, c.precision, c.scale, "
            u"c.is_nullable, c.is_identity FROM sys.columns c WHERE c.object_id = OBJECT_ID(" +
            name_literal(safe) + u") ORDER BY c.column_id");
        while (rows->fetch()) {
            const bool is_identity = to_int(rows->text(6)) != 0;
            identity = identity || is_identity;
            schema.push_back(column_of(rows->text(0), rows->text(1), to_int(rows->text(2)),
                                       to_int(rows->text(3)), to_int(rows->text(4)),
                                       to_int(rows->text(5)) != 0, is_identity));
        }
    } catch (const odb_exception& e) {
        throw mss_server_error(e);
    }
    if (schema.empty())
        throw tk_exception("The specified table does not exist.", tk_exception::recoverable);
    return std::make_unique<mss_table>(*this, spelled, schema, identity);
}

std::unique_ptr<udb_recordset> mss_database::query(std::u16string_view sql) {
    try {
        connection_->execute(sql);
    } catch (const odb_exception& e) {
        throw mss_server_error(e);
    }
    return nullptr;
}

bool mss_database::test_query(std::u16string_view sql) {
    try {
        connection_->execute(sql);
        TK_TRACE(2, "Query succeeded");
        return true;
    } catch (const odb_exception&) {
        TK_TRACE(2, "Query failed");
        return false;
    }
}
