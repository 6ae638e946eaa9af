#include "mss/mss_dmp_database.h"

#include "mss/mss_column_types.h"
#include "mss/mss_dmp_recordset.h"
#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "mss/mss_table_definition.h"
#include "mss/mss_validator.h"
#include "mss/mss_view.h"
#include "ole/ole_types.h"
#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_product.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

namespace {

constexpr std::string_view crlf = "\r\n";

bool is_ascii(std::u16string_view text) {
    for (char16_t c : text) {
        if (c > 0x7F)
            return false;
    }
    return true;
}

// A string literal of a name. Names beyond ASCII get the N prefix, so that the server
// compares them as written whatever the database's code page.
void append_name_literal(std::u16string& out, std::u16string_view text) {
    if (!is_ascii(text))
        out.push_back(u'N');
    mss_append_delimited(out, text, u'\'', u'\'');
}

// Text inside a /* */ comment must neither close it nor open a nested one.
std::u16string comment_text(std::u16string_view text) {
    std::u16string out(text);
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        if ((out[i] == u'*' && out[i + 1] == u'/') || (out[i] == u'/' && out[i + 1] == u'*'))
            out.insert(i + 1, 1, u' ');
    }
    return out;
}

std::string local_date() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_year + 1900);
    return buffer;
}

} // namespace

mss_dmp_database::mss_dmp_database(std::u16string path, const mss_dump_options& options)
    : udb_database(path, false), file_(tk_to_utf8(path)), options_(options),
      unicode_(options.dmp_unicode) {
    TK_TRACE(2, "mss_dmp_database::ctor(%s)", tk_trace_text(name_).c_str());
    write_head();
}

mss_dmp_database::~mss_dmp_database() {
    TK_TRACE(2, "mss_dmp_database::dtor");
}

void mss_dmp_database::write_head() {
    if (options_.dmp_ins_com) {
        write("/*\r\nFile name: ");
        write_utf8(comment_text(name_));
        write(crlf);
        write("Creation date: ");
        write(local_date());
        write(crlf);
        write("Created by ");
        write_utf8(comment_text(tk_from_utf8(options_.title)));
        write(crlf);
        write("Run it with: sqlcmd -f 65001 -x -i <this file>\r\n"
              "(-f 65001: the script is UTF-8; -x: texts holding $(...) are not sqlcmd "
              "variables)\r\n");
        write(std::string(50, '-'));
        write(crlf);
        write("More conversion tools at ");
        write(tk_product_web);
        write("\r\n*/");
        write(crlf);
    }
    if (options_.dmp_ins_db && options_.dmp_ins_tab) {
        std::u16string db = tk_from_utf8(options_.database_name);
        if (db.empty())
            db = std::filesystem::path(tk_to_utf8(name_)).stem().u16string();
        std::u16string in_brackets;
        mss_append_delimited(in_brackets, db, u'[', u']');
        std::u16string block = u"USE master;\r\nGO\r\n\r\n"
                               u"if exists(select * from master.sys.databases where name=";
        append_name_literal(block, db);
        block += u") DROP DATABASE " + in_brackets + u";\r\n";
        block += u"CREATE DATABASE " + in_brackets + u";\r\nGO\r\n";
        block += u"USE " + in_brackets + u";\r\nGO\r\n";
        write_utf8(block);
    }
    // Dates are written year first; with ymd they read the same whatever the server's
    // language.
    write("SET QUOTED_IDENTIFIER ON;\r\n");
    write("SET DATEFORMAT ymd;\r\n");
    if (options_.loads_fast()) {
        // No row count message per statement; a statement that fails when it runs ends its
        // batch rather than letting the batch's later statements run as if nothing happened.
        write("SET NOCOUNT ON;\r\n");
        write("SET XACT_ABORT ON;\r\n");
    }
    write("GO\r\n");
}

void mss_dmp_database::write_utf8(std::u16string_view text) {
    write(tk_to_utf8(text));
}

std::u16string mss_dmp_database::get_native_type(const t_ftd& column) const {
    return mss_script_type(column, unicode_, true, context().rules);
}

std::u16string mss_dmp_database::refine_view(std::u16string_view text) const {
    return names_map_.do_global_replace1(::refine_view(text), u"", u"");
}

void mss_dmp_database::create_schema(std::u16string_view name) {
    TK_TRACE(2, "mss_dmp_database::create_schema(%s)", tk_trace_text(name).c_str());
    if (name == u"dbo") {
        TK_TRACE(1, "Skip 'dbo' schema");
        return;
    }
    write_utf8(u"CREATE SCHEMA " + mss_bracketed(name) + u";\r\n");
    write("GO\r\n");
}

bool mss_dmp_database::delete_tab(std::u16string_view name) {
    TK_TRACE(2, "mss_dmp_database::delete_tab(%s)", tk_trace_text(name).c_str());
    const std::u16string safe = mss_safe_tname(name);
    std::u16string text = u"IF OBJECT_ID (";
    append_name_literal(text, safe);
    text += u", 'U') IS NOT NULL\r\nDROP TABLE " + safe + u";\r\nGO\r\n";
    write_utf8(text);
    if (!is_table_exist(name))
        return false;
    return udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> mss_dmp_database::create_table(std::u16string_view name,
                                                              const udb_schema& schema,
                                                              const udb_indexes& indexes) {
    TK_TRACE(2, "mss_dmp_database::create_table(%s)", tk_trace_text(name).c_str());
    if (is_table_exist(name))
        throw tk_exception("The specified table already exists", tk_exception::recoverable);
    if (schema.empty())
        throw tk_exception("A table without columns cannot be created in MS SQL",
                           tk_exception::recoverable);
    using existing_table = mss_dump_options::existing_table;
    const std::u16string safe = mss_safe_tname(name);
    mss_dmp_table_text text;
    text.insert_table = safe;
    bool identity_written = false;
    if (options_.dmp_ins_tab) {
        if (options_.dmp_ins_com) {
            write("\r\n/*\r\nTable structure for table '");
            write_utf8(comment_text(name));
            write("'\r\n*/\r\n\r\n");
        }
        if (options_.existing == existing_table::drop)
            delete_tab(name);

        const udb_index* key = mss_primary_key(indexes);
        const mss_column_definitions columns =
            mss_define_columns(schema, key, unicode_, false, context().rules);
        identity_written = columns.identity;
        std::u16string statement = u"CREATE TABLE " + safe + u" (\r\n" + columns.text;
        table_names_.emplace_back(name);
        if (key) {
            statement += u",\r\n\t PRIMARY KEY (";
            mss_join_bracketed(statement, key->fields);
            statement += u")";
        }
        statement += u"\r\n)";

        std::vector<std::u16string> index_statements;
        if (options_.dmp_indexes) {
            if (!key)
                index_statements.push_back(mss_clustered_index_statement(safe, schema, unicode_));
            for (const udb_index& index : indexes)
                index_statements.push_back(mss_index_statement(safe, schema, index));
            std::erase(index_statements, std::u16string());
        }
        switch (options_.existing) {
        case existing_table::drop:
            write_utf8(statement);
            write("\nGO\n");
            for (const std::u16string& index : index_statements) {
                write_utf8(index);
                write("\nGO\n");
            }
            break;
        case existing_table::append:
            write_guarded_creation(safe, statement, index_statements);
            if (identity_written) {
                text.identity_on = identity_guard(safe) + u" ON;\r\nGO\r\n";
                text.identity_off = identity_guard(safe) + u" OFF;\r\nGO\r\n";
            }
            identity_written = false;
            break;
        case existing_table::skip:
            text.insert_table = u"#tabrix_rows";
            write_skip_staging(schema);
            text.tail = skip_tail(safe, schema, statement, index_statements, identity_written);
            identity_written = false;
            break;
        }
    }
    if (options_.dmp_ins_com) {
        write("\r\n/*\r\nDumping data for table '");
        write_utf8(comment_text(name));
        write("'\r\n*/\r\n\r\n");
    }
    if (identity_written) {
        text.identity_on = u"SET IDENTITY_INSERT " + safe + u" ON;\r\nGO\r\n";
        text.identity_off = u"SET IDENTITY_INSERT " + safe + u" OFF;\r\nGO\r\n";
    }
    return std::make_unique<mss_dmp_recordset>(*this, std::u16string(name), schema,
                                               std::move(text));
}

// The script cannot know which tables the database holds when it runs; the server decides,
// table by table. SQL Server compiles a whole batch before it runs any of it, the branches
// that IF skips and SET NOEXEC ON included, so a statement naming columns that an existing
// table lacks fails even where it would never run. Every statement that names the
// table's columns and may meet an existing table of another shape is therefore run through
// EXEC, whose text is compiled only when it runs; CREATE TABLE itself checks for the name
// only when it runs. This holds on SQL Server 2008 and later.
void mss_dmp_database::write_guarded_creation(std::u16string_view safe,
                                              std::u16string_view create_table,
                                              const std::vector<std::u16string>& indexes) {
    std::u16string text = u"IF OBJECT_ID (";
    append_name_literal(text, safe);
    text += u", 'U') IS NULL\r\nBEGIN\r\n";
    text += create_table;
    text += u";\r\n";
    for (const std::u16string& index : indexes)
        text += exec_statement(index);
    text += u"END;\r\nGO\r\n";
    write_utf8(text);
}

std::u16string mss_dmp_database::exec_statement(std::u16string_view statement) {
    std::u16string text = u"EXEC (N";
    mss_append_delimited(text, statement, u'\'', u'\'');
    text += u");\r\n";
    return text;
}

std::u16string mss_dmp_database::identity_guard(std::u16string_view safe) {
    std::u16string text = u"IF OBJECTPROPERTY(OBJECT_ID(";
    append_name_literal(text, safe);
    text += u"), 'TableHasIdentity') = 1 SET IDENTITY_INSERT ";
    text += safe;
    return text;
}

// Skipping an existing table: the records go to a session table of the same columns first
// (its INSERT statements compile whatever the database holds), and the table is created and
// filled from it at the end only when it does not exist by then.
void mss_dmp_database::write_skip_staging(const udb_schema& schema) {
    std::u16string text = u"IF OBJECT_ID (N'tempdb..#tabrix_rows') IS NOT NULL\r\n"
                          u"DROP TABLE #tabrix_rows;\r\n"
                          u"CREATE TABLE #tabrix_rows (\r\n";
    for (size_t i = 0; i < schema.size(); ++i) {
        if (i > 0)
            text += u",\r\n";
        text += u"\t";
        mss_append_bracketed(text, schema[i].name);
        std::u16string type = mss_script_type(schema[i], unicode_, false, context().rules);
        text += u" " + type;
        // A session table takes tempdb's collation, whose code page may not be the
        // database's: text would change on the way to the table.
        const size_t first = type.find_first_not_of(u' ');
        const std::u16string_view bare =
            std::u16string_view(type).substr(first == std::u16string::npos ? type.size() : first);
        for (std::u16string_view text_type :
             {u"NVARCHAR", u"VARCHAR", u"NCHAR", u"CHAR", u"NTEXT", u"TEXT"}) {
            if (bare.size() >= text_type.size() &&
                tk_equal_nocase(bare.substr(0, text_type.size()), text_type)) {
                text += u" COLLATE DATABASE_DEFAULT";
                break;
            }
        }
        text += u" NULL";
    }
    text += u"\r\n);\r\nGO\r\n";
    write_utf8(text);
}

std::u16string mss_dmp_database::skip_tail(std::u16string_view safe, const udb_schema& schema,
                                           std::u16string_view create_table,
                                           const std::vector<std::u16string>& indexes,
                                           bool identity) const {
    std::u16string columns;
    for (size_t i = 0; i < schema.size(); ++i) {
        if (i > 0)
            columns += u", ";
        mss_append_bracketed(columns, schema[i].name);
    }
    std::u16string copy;
    if (identity)
        copy += u"SET IDENTITY_INSERT " + std::u16string(safe) + u" ON; ";
    copy += u"INSERT INTO " + std::u16string(safe) + u" (" + columns + u") SELECT " + columns +
            u" FROM #tabrix_rows;";
    if (identity)
        copy += u" SET IDENTITY_INSERT " + std::u16string(safe) + u" OFF;";
    std::u16string text = u"IF OBJECT_ID (";
    append_name_literal(text, safe);
    text += u", 'U') IS NULL\r\nBEGIN\r\n";
    text += create_table;
    text += u";\r\n";
    text += exec_statement(copy);
    for (const std::u16string& index : indexes)
        text += exec_statement(index);
    text += u"END;\r\nDROP TABLE #tabrix_rows;\r\nGO\r\n";
    return text;
}

void mss_dmp_database::create_index(std::u16string_view table, const udb_schema& schema,
                                    const udb_index& index) {
    TK_TRACE(2, "mss_dmp_database::create_index");
    const std::u16string statement = mss_index_statement(mss_safe_tname(table), schema, index);
    if (statement.empty())
        return;
    write_utf8(statement);
    write("\n");
    write("GO\n");
}

void mss_dmp_database::create_views(const udb_named_texts& views) {
    TK_TRACE(2, "mss_dmp_database::create_views");
    std::vector<std::u16string> view_names;
    for (const auto& view : views)
        view_names.push_back(view.first);
    mss_tn_validator validator(view_names, {});
    for (const auto& [original, text] : views) {
        TK_TRACE(1, "Processing '%s'", tk_trace_text(original).c_str());
        TK_TRACE(1, "\t'%s'", tk_trace_text(text).c_str());
        if (text.size() < 6 ||
            !tk_equal_nocase(std::u16string_view(text).substr(0, 6), u"select")) {
            TK_TRACE(1, "Skip non-select query");
            continue;
        }
        std::u16string name = original;
        if (name.empty() || !validator.is_acceptable(name)) {
            name = validator.get_safe_name(name.empty() ? u"view" : name);
            names_map_.add_tn_mapping(original, name);
            TK_TRACE(1, "Store generated column name '%s'", tk_trace_text(name).c_str());
            validator.add_existing_name(name);
        }
        const std::u16string bracketed = mss_bracketed(name);
        std::u16string statement = u"IF OBJECT_ID(";
        append_name_literal(statement, bracketed);
        statement += u") IS NOT NULL DROP VIEW " + bracketed + u"\r\nGO\r\n";
        statement += u"CREATE VIEW " + bracketed + u" AS " + refine_view(text) + u"\r\nGO\r\n";
        write_utf8(statement);
    }
}

void mss_dmp_database::delete_fk(const udb_relationship& relationship) {
    // A foreign key belongs to the table that holds it, the child table.
    std::u16string statement = u"ALTER TABLE " + mss_safe_tname(relationship.child_table) +
                               u" DROP CONSTRAINT " + mss_bracketed(relationship.name);
    query(statement);
    write("GO\n");
}

void mss_dmp_database::delete_idx(std::u16string_view table, const udb_index& index) {
    std::u16string statement;
    if (index.b_primary) {
        statement = u"ALTER TABLE " + mss_safe_tname(table) + u" DROP CONSTRAINT " +
                    mss_bracketed(index.name);
    } else {
        statement =
            u"DROP INDEX IF EXISTS " + mss_bracketed(index.name) + u" ON " + mss_safe_tname(table);
    }
    query(statement);
    write("GO\n");
}

std::unique_ptr<udb_recordset> mss_dmp_database::get_query(std::u16string_view, std::u16string_view,
                                                           uint32_t) {
    return nullptr;
}

std::unique_ptr<udb_recordset> mss_dmp_database::get_table(std::u16string_view, udb_open_mode) {
    TK_FAIL();
}

std::unique_ptr<udb_recordset> mss_dmp_database::query(std::u16string_view sql) {
    write_utf8(sql);
    write("\n");
    file_.flush();
    return nullptr;
}

bool mss_dmp_database::test_query(std::u16string_view) {
    return false;
}

void mss_dmp_database::create_relationships(const udb_relationships& relationships) {
    TK_TRACE(2, "mss_dmp_database::create_relationships");
    if (!relationships.empty() && options_.dmp_ins_com)
        write("\r\n/*\r\nCreate foreign key constraints\r\n*/\r\n\r\n");
    for (const udb_relationship& relationship : relationships) {
        TK_TRACE(1, "Processing FK '%s'", tk_trace_text(relationship.name).c_str());
        const std::u16string child = names_map_.get_tn_mapped_name(relationship.child_table, false);
        const std::u16string parent =
            names_map_.get_tn_mapped_name(relationship.parent_table, false);
        std::vector<std::u16string> child_columns;
        for (const auto& column : relationship.child_columns)
            child_columns.push_back(names_map_.get_fn_mapped_name(child, column, true));
        std::vector<std::u16string> parent_columns;
        for (const auto& column : relationship.parent_columns)
            parent_columns.push_back(names_map_.get_fn_mapped_name(parent, column, true));
        std::u16string statement = u"ALTER TABLE " + mss_safe_tname(child) + u" ADD CONSTRAINT " +
                                   mss_bracketed(relationship.name) + u" FOREIGN KEY(";
        mss_join_bracketed(statement, child_columns);
        statement += u") REFERENCES " + mss_safe_tname(parent) + u"(";
        mss_join_bracketed(statement, parent_columns);
        statement += u")";
        if (!relationship.actions.empty())
            statement += u" " + relationship.actions + u";";
        else
            statement += u" ON DELETE CASCADE ON UPDATE CASCADE;";
        write_utf8(statement);
        write("\r\n");
        write("GO\r\n");
    }
}

void mss_dmp_database::finish() {
    TK_TRACE(2, "mss_dmp_database::finish");
    file_.close();
}

void mss_dmp_database::abandon() noexcept {
    TK_TRACE(2, "mss_dmp_database::abandon");
    file_.abandon();
}
