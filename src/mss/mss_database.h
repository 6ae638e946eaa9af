// The server destination of direct mode: a database on a live SQL Server that the
// conversion creates tables in and fills.
//
// It owns one connection for its whole life. Tables are created with the same column types,
// defaults and indexes a script would give them (mss_table_definition.h), under the login's
// default schema (dbo when connecting as the database owner), and filled by mss_table.
#pragma once

#include "mss/mss_load_counts.h"
#include "udb/udb_database.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class odb_connection;
class mss_table;

// What the database takes from the engine that opened it.
struct mss_database_facts {
    bool unicode = true; // NVARCHAR columns and N'' literals
    int32_t version = 0; // mss_engine's version code
    bool as_dbo = false; // tables under dbo whatever the login's default schema
    // Tables without a primary key get a clustered index, as in a script with indexes.
    bool indexes = true;
    // Records go by bulk copy when the connection offers it, committed every `batch_size`.
    bool fast_load = true;
    uint32_t batch_size = 1000;             // mss_engine::default_batch_size
    mss_load_counts* load_counts = nullptr; // the engine's, added to as records are committed
};

class mss_database : public udb_database {
public:
    // Open flags.
    enum : uint32_t {
        read_only = 1,     // nothing may be created
        created = 2,       // the database was created for this run
        overwritten = 4,   // the database was dropped and created for this run
        keep_existing = 8, // create_table may find its table there and opens it instead
    };

    // Reads the default schema and the tables in it. Raises the server's error (level 1).
    mss_database(std::u16string name, std::unique_ptr<odb_connection> connection, uint32_t flags,
                 const mss_database_facts& facts);
    ~mss_database() override;

    void create_schema(std::u16string_view name) override;
    // A table that is there already is opened for appending when keep_existing is set, and is
    // a level-0 tk_exception ("The specified table already exists") otherwise. A new table is
    // created with its columns; its primary key and indexes follow, each of which, when the
    // server refuses it, is a level-0 error naming table and index while the table is filled
    // all the same.
    std::unique_ptr<udb_recordset> create_table(std::u16string_view name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    void create_index(std::u16string_view table, const udb_schema& schema,
                      const udb_index& index) override;
    // DROP TABLE; raises the server's error.
    bool delete_tab(std::u16string_view name) override;
    // Queries are not read from a server destination: null.
    std::unique_ptr<udb_recordset> get_query(std::u16string_view name, std::u16string_view sql,
                                             uint32_t mode) override;
    // The existing table, opened for appending with the columns the server describes.
    std::unique_ptr<udb_recordset> get_table(std::u16string_view name, udb_open_mode mode) override;
    // The server lists its tables; an existing table is opened for appending only with
    // keep_existing.
    udb_capabilities capabilities() const override {
        return {.merge_existing = (flags_ & keep_existing) != 0, .list_tables = true};
    }
    // Runs the statement; returns null.
    std::unique_ptr<udb_recordset> query(std::u16string_view sql) override;
    bool test_query(std::u16string_view sql) override;

    // "[schema].[table]" for a plain table name; a name given with its owner keeps it.
    std::u16string safe_name(std::u16string_view table) const;
    const std::u16string& schema_name() const noexcept { return schema_; }
    bool unicode() const noexcept { return facts_.unicode; }
    const mss_database_facts& facts() const noexcept { return facts_; }
    uint32_t flags() const noexcept { return flags_; }
    odb_connection& connection() noexcept { return *connection_; }
    // How a new connection to the database is opened, for reconnect().
    void set_connector(std::function<std::unique_ptr<odb_connection>()> connector) {
        connector_ = std::move(connector);
    }
    // Replaces the connection by a new one, set up as the first was: the driver can leave a
    // connection unusable after a bulk load the server refused. The session's settings
    // (IDENTITY_INSERT) are gone with it. False when no connector is set.
    bool reconnect();

    // Records the tables have on the server: the count of rows the server accepted.
    uint64_t records_stored() const noexcept { return records_stored_; }
    void add_records_stored(uint64_t count, bool by_bulk = false) noexcept {
        records_stored_ += count;
        if (facts_.load_counts != nullptr)
            (by_bulk ? facts_.load_counts->bulk : facts_.load_counts->statements) += count;
    }
    // Notes, for the summary, why fast load goes by statements.
    void note_no_bulk_copy(const std::string& why) {
        if (facts_.load_counts != nullptr)
            facts_.load_counts->no_bulk_copy = why;
    }

private:
    void read_tables();
    void prepare_session();
    // Runs one statement of a table's creation that may fail without failing the table (a
    // key, an index): a failure is reported at level 0 with `what`.
    void run_optional(std::u16string_view statement, std::u16string_view table,
                      const std::string& what);

    std::unique_ptr<odb_connection> connection_;
    std::function<std::unique_ptr<odb_connection>()> connector_;
    uint32_t flags_;
    mss_database_facts facts_;
    std::u16string schema_;
    uint64_t records_stored_ = 0;
};
