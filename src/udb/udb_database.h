// A whole database as a source or a destination sees it.
#pragma once

#include "udb/udb_index.h"
#include "udb/udb_names_map.h"
#include "udb/udb_relationships.h"
#include "udb/udb_run_context.h"
#include "udb/udb_schema.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class udb_recordset;

// Pairs of a name and a text: views (name, SQL), selected tables and queries (name, SQL).
using udb_named_texts = std::vector<std::pair<std::u16string, std::u16string>>;

// How get_table opens a table.
enum class udb_open_mode : uint32_t { read = 1, write = 8 };

// What a database can do beyond creating tables and appending records one at a time; the
// driver asks instead of calling operations that would raise.
struct udb_capabilities {
    // append_records takes a batch faster than one record at a time.
    bool bulk_append = false;
    // create_table of a table the destination holds already opens it for appending (merge).
    bool merge_existing = false;
    // get_table_names lists the tables the database held before the run.
    bool list_tables = false;
};

// Sources implement the reading half, destinations the writing half; the conversion driver
// sees only this interface. Recordsets handed out belong to the caller.
//
// Destinations do their final writing in finish(), which the driver calls once at the end of
// a run (abandon() when the run stopped); the destructor only releases, so that nothing that
// can fail is left to it.
class udb_database {
public:
    // `name`: the database name or path (for a script, the script file path).
    explicit udb_database(std::u16string name, bool case_sensitive = false);
    virtual ~udb_database();
    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;

    virtual void create_schema(std::u16string_view name);
    // A new table with these columns and indexes, opened for appending.
    virtual std::unique_ptr<udb_recordset> create_table(std::u16string_view name,
                                                        const udb_schema& schema,
                                                        const udb_indexes& indexes) = 0;
    virtual void create_index(std::u16string_view table, const udb_schema& schema,
                              const udb_index& index);
    // create_index for every entry, in order.
    virtual void create_indexes(std::u16string_view table, const udb_schema& schema,
                                const udb_indexes& indexes);
    virtual void create_views(const udb_named_texts& views);
    virtual void delete_fk(const udb_relationship& relationship);
    virtual void delete_idx(std::u16string_view table, const udb_index& index);
    // Removes the name from the table names; true when it was there.
    virtual bool delete_tab(std::u16string_view name);
    // A recordset over the SQL text `sql`; null when the database runs no queries.
    virtual std::unique_ptr<udb_recordset> get_query(std::u16string_view name,
                                                     std::u16string_view sql, uint32_t mode) = 0;
    // Fills the list with the database's schema names (clears it here).
    virtual void get_schema_info(std::vector<std::u16string>& schemas);
    // The table opened for reading (`mode` is the implementation's).
    virtual std::unique_ptr<udb_recordset> get_table(std::u16string_view name,
                                                     udb_open_mode mode) = 0;
    // Runs a statement; an internal error here: databases that run statements override it.
    virtual std::unique_ptr<udb_recordset> query(std::u16string_view sql);
    // Whether the statement runs.
    virtual bool test_query(std::u16string_view sql) = 0;
    virtual void create_relationships(const udb_relationships& relationships);
    virtual udb_capabilities capabilities() const { return {}; }
    // The names in use: the tables the database knows of, and every table created since.
    virtual const std::vector<std::u16string>& get_table_names() const { return table_names_; }
    // Compares exactly in a case-sensitive database, otherwise ignoring case.
    virtual bool is_table_exist(std::u16string_view name) const;
    // Ends the database's work: a destination writes what closes it (a script's last lines,
    // the server objects). Called once by the driver at the end of a run that went through
    // all its tables, with or without errors.
    virtual void finish();
    // Ends the database's work after a run that stopped before its end (a user's stop, an
    // error that ends the run): a destination keeps what it holds without completing it. By
    // default the same as finish(), with its failures passed over.
    virtual void abandon() noexcept;

    const std::u16string& get_name() const noexcept { return name_; }
    bool is_case_sensitive() const noexcept { return case_sensitive_; }
    udb_names_map& get_names_map() noexcept { return names_map_; }
    const udb_names_map& get_names_map() const noexcept { return names_map_; }
    udb_relationships& get_relationships() noexcept { return relationships_; }
    const udb_relationships& get_relationships() const noexcept { return relationships_; }

    // The run the database belongs to; an empty context (nobody to report to, no rules, a
    // Unicode destination) until one is given. The context must outlive the database.
    const udb_run_context& context() const noexcept { return *context_; }
    void set_context(const udb_run_context& context) noexcept { context_ = &context; }

protected:
    // Position of the table in the name list, -1 when it is not there.
    int32_t find_table_name(std::u16string_view name) const;

    std::u16string name_;
    bool case_sensitive_;
    std::vector<std::u16string> table_names_;
    udb_names_map names_map_;
    udb_relationships relationships_;
    const udb_run_context* context_;
};
