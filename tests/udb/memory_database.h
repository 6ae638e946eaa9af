// Small in-memory source and destination databases for the conversion driver's tests.
//
// Both sides keep their tables in a memory_store that outlives the database objects (the run
// owns and destroys those), so tests can look at what was written and in which order.
#pragma once

#include "udb/udb_database.h"
#include "udb/udb_recordset.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct memory_table {
    udb_schema schema;
    udb_indexes indexes;
    std::vector<std::vector<ole_variant>> rows;
    std::vector<bool> deleted; // per row; missing entries are not deleted
};

struct memory_store {
    std::map<std::u16string, memory_table> tables;
    // "open", "create:T", "drop:T", "append:T:<first value>", "finish:T", "finish-db", ...
    std::vector<std::string> events;

    // Faults: appending a record whose first value has this text raises a tk_exception of
    // the given level; creating or opening one of these tables fails at level 0.
    std::map<std::u16string, int> failing_values;
    std::vector<std::u16string> failing_creates;
    bool fail_finish = false;
    // Called after each event is recorded (the tests look at progress or ask for a stop).
    std::function<void(const std::string&)> on_event;

    void record(std::string event);
    // A table of text columns "C0", "C1", ... (30 characters) holding these rows.
    memory_table& add_text_table(const std::u16string& name,
                                 const std::vector<std::vector<std::u16string>>& rows,
                                 size_t columns = 2);
    // The first value of every row of a table, as text.
    std::vector<std::u16string> first_values(const std::u16string& name) const;
};

class memory_database : public udb_database {
public:
    explicit memory_database(std::shared_ptr<memory_store> store);

    std::unique_ptr<udb_recordset> create_table(std::u16string_view name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    bool delete_tab(std::u16string_view name) override;
    std::unique_ptr<udb_recordset> get_query(std::u16string_view, std::u16string_view,
                                             uint32_t) override {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_table(std::u16string_view name, udb_open_mode mode) override;
    udb_capabilities capabilities() const override {
        return {.merge_existing = merge_existing, .list_tables = true};
    }
    bool merge_existing = true;
    bool test_query(std::u16string_view) override { return false; }
    void finish() override;

    memory_store& store() { return *store_; }

private:
    std::shared_ptr<memory_store> store_;
};

// Reads a memory table, refilling one record object row after row; appends to it.
class memory_recordset : public udb_recordset {
public:
    memory_recordset(memory_database& db, const std::u16string& name);

    void append_record(udb_record& record) override;
    udb_record* get_item() override;
    bool is_eof() override { return position_ >= table().rows.size(); }
    void next() override { ++position_; }
    void reset() override { position_ = 0; }
    void finish() override;

private:
    memory_table& table() { return owner_.store().tables.at(name_); }

    memory_database& owner_;
    size_t position_ = 0;
    udb_record record_;
};
