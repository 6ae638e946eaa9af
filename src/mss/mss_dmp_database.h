// The T-SQL script destination: the converted database written as one script that recreates
// it when run by sqlcmd or any MS SQL tool.
//
// The script is UTF-8 without a byte-order mark. Its layout, statement by statement:
//
//   /* header: file name, date, title, how to run it */   (comments on)
//   USE master; ... CREATE DATABASE [db]; ... USE [db];    (CREATE DATABASE and tables on)
//   SET QUOTED_IDENTIFIER ON; SET DATEFORMAT ymd;
//   SET NOCOUNT ON; SET XACT_ABORT ON;                      (the format that loads fast)
//   GO
//   per table:
//     /* Table structure for table 'T' */                  (comments and tables on)
//     IF OBJECT_ID (...) IS NOT NULL DROP TABLE ...; GO    (tables on)
//     CREATE TABLE ... GO                                  (tables on)
//     CREATE CLUSTERED INDEX ... GO                        (tables and indexes on, no key)
//     CREATE [UNIQUE] INDEX ... GO                         (tables and indexes on, per index)
//     /* Dumping data for table 'T' */                     (comments on)
//     SET IDENTITY_INSERT ... ON; GO                       (IDENTITY column, first record)
//     INSERT INTO ... VALUES (...); GO                     (per record)
//     SET IDENTITY_INSERT ... OFF; GO                      (when ON was written)
//
// In the format that loads fast (mss_dump_options::rows_per_insert, rows_per_batch) the
// records are written as INSERT statements of several rows, one row a line:
//     INSERT INTO ... VALUES (...),
//     (...);
// and a GO follows every statement, or the statement that completes rows_per_batch records.
//
// Statements end in "\r\n", except CREATE TABLE and the index statements, whose last line and
// "GO" end in a lone "\n".
//
// That is the layout when existing tables are dropped. When they are appended to, there is no
// DROP TABLE, and CREATE TABLE with its indexes runs only when the table does not exist:
//     IF OBJECT_ID (...) IS NULL BEGIN CREATE TABLE ...; EXEC (N'CREATE INDEX ...'); END; GO
// and SET IDENTITY_INSERT only when the table has an IDENTITY column. When they are skipped,
// the records go to a session table #tabrix_rows created after the structure comment, and the
// table is created and filled from it after the last record when it does not exist:
//     IF OBJECT_ID (...) IS NULL BEGIN CREATE TABLE ...;
//     EXEC (N'INSERT INTO ... SELECT ... FROM #tabrix_rows;'); EXEC (N'CREATE INDEX ...'); END;
//     DROP TABLE #tabrix_rows; GO
#pragma once

#include "mss/mss_dump_options.h"
#include "mss/mss_script_file.h"
#include "udb/udb_database.h"

#include <memory>
#include <string>
#include <string_view>

class mss_dmp_database : public udb_database {
public:
    // Creates the script for `path` under its working name (mss_script_file) and writes its
    // head. A file that cannot be created raises tk_exception of level 1.
    mss_dmp_database(std::u16string path, const mss_dump_options& options);
    ~mss_dmp_database() override;

    void create_schema(std::u16string_view name) override;
    // Writes the table's structure (when tables are on) and returns the table for its
    // records. A name created before in this script is a level-0 tk_exception ("The
    // specified table already exists"); so is a table without columns, which MS SQL cannot
    // hold.
    std::unique_ptr<udb_recordset> create_table(std::u16string_view name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    // A secondary index; indexes without columns, wider than 900 bytes or over unsuitable
    // columns are left out.
    void create_index(std::u16string_view table, const udb_schema& schema,
                      const udb_index& index) override;
    void create_views(const udb_named_texts& views) override;
    void delete_fk(const udb_relationship& relationship) override;
    void delete_idx(std::u16string_view table, const udb_index& index) override;
    // Writes the table's DROP TABLE and forgets the name when this script created it.
    bool delete_tab(std::u16string_view name) override;
    // A script runs no queries: null.
    std::unique_ptr<udb_recordset> get_query(std::u16string_view name, std::u16string_view sql,
                                             uint32_t mode) override;
    // A script cannot be read: an internal error.
    std::unique_ptr<udb_recordset> get_table(std::u16string_view name, udb_open_mode mode) override;
    // A script cannot know the tables of the database it will run in; when it runs, it adds
    // the records of a table that exists to it (mss_dump_options::existing).
    udb_capabilities capabilities() const override { return {.merge_existing = true}; }
    // Writes the statement followed by "\n" and flushes the file; returns null.
    std::unique_ptr<udb_recordset> query(std::u16string_view sql) override;
    bool test_query(std::u16string_view sql) override;
    void create_relationships(const udb_relationships& relationships) override;
    // Writes what is buffered, closes the script and gives it its name (mss_script_file); a
    // failed write is a level-1 tk_exception.
    void finish() override;
    // Closes the script under the working name that says it is incomplete.
    void abandon() noexcept override;

    // The script type of a column (see mss_column_types.h).
    std::u16string get_native_type(const t_ftd& column) const;
    // View text for MS SQL, with the renamed tables and columns put in.
    std::u16string refine_view(std::u16string_view text) const;

    bool unicode() const noexcept { return unicode_; }
    const mss_dump_options& options() const noexcept { return options_; }
    mss_script_file& file() noexcept { return file_; }

private:
    void write_head();
    void write_utf8(std::u16string_view text);
    void write(std::string_view bytes) { file_.write(bytes); }
    // The table and its indexes, created when the table does not exist.
    void write_guarded_creation(std::u16string_view safe, std::u16string_view create_table,
                                const std::vector<std::u16string>& indexes);
    static std::u16string exec_statement(std::u16string_view statement);
    // "IF <the table has an IDENTITY column> SET IDENTITY_INSERT <table>".
    static std::u16string identity_guard(std::u16string_view safe);
    void write_skip_staging(const udb_schema& schema);
    std::u16string skip_tail(std::u16string_view safe, const udb_schema& schema,
                             std::u16string_view create_table,
                             const std::vector<std::u16string>& indexes, bool identity) const;

    mss_script_file file_;
    mss_dump_options options_;
    bool unicode_;
};
