// One table opened as a stream of records: read from a source, or appended to a destination.
#pragma once

#include "udb/udb_index.h"
#include "udb/udb_record.h"
#include "udb/udb_run_context.h"
#include "udb/udb_schema.h"
#include "udb/udb_value_notes.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class udb_database;

// A source is read with reset(), then get_item() / next() until is_eof(). A destination
// receives append_record() per record and finish() when the table is done; the destructor
// only releases.
class udb_recordset {
public:
    // `database` (not owned, may be null) gives access to its names map.
    explicit udb_recordset(std::u16string name, udb_database* database = nullptr);
    virtual ~udb_recordset();
    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;

    // Writes one record (destinations).
    virtual void append_record(udb_record& record) = 0;
    // Appends a batch of records in order; one that fails raises, and the records before it
    // are written. By default one at a time through append_record; a destination with a
    // faster way (udb_capabilities::bulk_append) overrides it.
    virtual void append_records(std::span<udb_record* const> records);
    virtual void update();
    // The current record, owned by the recordset and valid until the next move; null when
    // there is none.
    virtual udb_record* get_item();
    virtual bool is_eof();
    // Whether the recordset was opened over SQL text rather than a table.
    virtual bool is_query() const { return !query_text_.empty(); }
    virtual void next();
    virtual void prev();
    // Back to the first record.
    virtual void reset();
    // The number of records a source holds.
    virtual uint32_t get_record_count() const { return record_count_; }
    // Ends the table's writing: a destination flushes it and writes what closes it. Called
    // once by the driver when the table is done (also after a failure in the table).
    virtual void finish();
    // Records that a destination accepted in append_record but found failed when it wrote
    // them later (it reported each one itself). Read by the driver once the table is finished.
    virtual uint64_t records_failed() const noexcept { return 0; }

    // Brings the values of a source record, in place, to the types of this table's columns.
    // Field names are translated by the database's names map (when there is a database) and
    // looked up in the schema ignoring case. A field without a column is a level-1
    // tk_exception; a value that cannot be converted raises the variant's exception.
    void convert_record(udb_record& record);
    // Adds the index unless one of that name exists; remembers where the first primary or
    // unique index was offered.
    void add_index(const udb_index& index);

    const std::u16string& get_name() const noexcept { return name_; }
    const udb_schema& get_schema() const noexcept { return schema_; }
    const udb_indexes& get_indexes() const noexcept { return indexes_; }
    udb_database* get_database() const noexcept { return database_; }
    // The run of the table's database; an empty context for a table without a database.
    const udb_run_context& context() const noexcept;
    // Position of the first primary or unique index, -1 when there is none.
    int32_t get_key_index() const noexcept { return key_index_; }
    const std::u16string& get_query_text() const noexcept { return query_text_; }
    // The values of the table that could not be carried as they stand, one count per column
    // (of the schema) and kind; the driver reports them when the table is done.
    virtual const udb_value_notes& value_notes() const noexcept { return notes_; }

protected:
    // Write access for implementations; it forgets the column look-ups of convert_record.
    udb_schema& mutable_schema() noexcept;

    std::u16string query_text_;
    std::u16string name_;
    udb_indexes indexes_;
    udb_database* database_;
    int32_t key_index_ = -1;
    uint32_t record_count_ = 0;
    udb_value_notes notes_;

private:
    int32_t lookup_column(const udb_field& field) const;

    udb_schema schema_;
    // convert_record's look-ups, by field position: the name token of the field they were
    // made for and the column it maps to (-1 = not looked up). Valid while the names map does
    // not change.
    std::vector<uint64_t> mapped_ids_;
    std::vector<int32_t> mapped_columns_;
    uint64_t mapped_generation_ = 0;
};
