#include "app/tabrix_run_totals.h"

#include "udb/udb_database.h"
#include "udb/udb_recordset.h"

namespace {

class counting_recordset : public udb_recordset {
public:
    counting_recordset(std::unique_ptr<udb_recordset> inner, tabrix_run_totals& totals,
                       size_t table)
        : udb_recordset(inner->get_name(), inner->get_database()), inner_(std::move(inner)),
          totals_(totals), table_(table) {
        // The driver reads these straight from the recordset it holds.
        mutable_schema() = inner_->get_schema();
        indexes_ = inner_->get_indexes();
        key_index_ = inner_->get_key_index();
        query_text_ = inner_->get_query_text();
        record_count_ = inner_->get_record_count();
    }

    void append_record(udb_record& record) override {
        inner_->append_record(record);
        ++totals_.records_written;
        ++totals_.tables[table_].records_written;
    }
    void update() override { inner_->update(); }
    udb_record* get_item() override {
        udb_record* record = inner_->get_item();
        if (record != nullptr && record->is_deleted()) {
            ++totals_.records_deleted;
            ++totals_.tables[table_].records_deleted;
        }
        return record;
    }
    bool is_eof() override { return inner_->is_eof(); }
    bool is_query() const override { return inner_->is_query(); }
    void next() override {
        inner_->next();
        ++totals_.records_read;
        ++totals_.tables[table_].records_read;
    }
    void prev() override { inner_->prev(); }
    void reset() override { inner_->reset(); }
    uint32_t get_record_count() const override { return inner_->get_record_count(); }
    void finish() override { inner_->finish(); }
    uint64_t records_failed() const noexcept override { return inner_->records_failed(); }
    const udb_value_notes& value_notes() const noexcept override { return inner_->value_notes(); }

private:
    std::unique_ptr<udb_recordset> inner_;
    tabrix_run_totals& totals_;
    size_t table_; // in totals_.tables
};

class counting_database : public udb_database {
public:
    counting_database(std::unique_ptr<udb_database> inner, tabrix_run_totals& totals,
                      std::function<uint64_t()> stored)
        : udb_database(inner->get_name(), inner->is_case_sensitive()), inner_(std::move(inner)),
          totals_(totals), stored_(std::move(stored)) {}

    void create_schema(std::u16string_view name) override { inner_->create_schema(name); }
    std::unique_ptr<udb_recordset> create_table(std::u16string_view name, const udb_schema& schema,
                                                const udb_indexes& indexes) override {
        if (totals_.tables.empty())
            totals_.tables.push_back({std::u16string(name)});
        auto table = wrap(inner_->create_table(name, schema, indexes), totals_.tables.size() - 1);
        ++totals_.tables_created;
        totals_.tables.back().created = true;
        return table;
    }
    void create_index(std::u16string_view table, const udb_schema& schema,
                      const udb_index& index) override {
        inner_->create_index(table, schema, index);
    }
    void create_indexes(std::u16string_view table, const udb_schema& schema,
                        const udb_indexes& indexes) override {
        inner_->create_indexes(table, schema, indexes);
    }
    void create_views(const udb_named_texts& views) override { inner_->create_views(views); }
    void delete_fk(const udb_relationship& relationship) override {
        inner_->delete_fk(relationship);
    }
    void delete_idx(std::u16string_view table, const udb_index& index) override {
        inner_->delete_idx(table, index);
    }
    bool delete_tab(std::u16string_view name) override { return inner_->delete_tab(name); }
    std::unique_ptr<udb_recordset> get_query(std::u16string_view name, std::u16string_view sql,
                                             uint32_t mode) override {
        return wrap_new(name, inner_->get_query(name, sql, mode));
    }
    void get_schema_info(std::vector<std::u16string>& schemas) override {
        inner_->get_schema_info(schemas);
    }
    std::unique_ptr<udb_recordset> get_table(std::u16string_view name,
                                             udb_open_mode mode) override {
        return wrap_new(name, inner_->get_table(name, mode));
    }
    std::unique_ptr<udb_recordset> query(std::u16string_view sql) override {
        return wrap_new(sql, inner_->query(sql));
    }
    bool test_query(std::u16string_view sql) override { return inner_->test_query(sql); }
    void create_relationships(const udb_relationships& relationships) override {
        inner_->create_relationships(relationships);
    }
    const std::vector<std::u16string>& get_table_names() const override {
        return inner_->get_table_names();
    }
    udb_capabilities capabilities() const override { return inner_->capabilities(); }
    bool is_table_exist(std::u16string_view name) const override {
        return inner_->is_table_exist(name);
    }
    void finish() override {
        try {
            inner_->finish();
        } catch (...) {
            take_stored_count();
            throw;
        }
        take_stored_count();
    }
    void abandon() noexcept override {
        inner_->abandon();
        take_stored_count();
    }

private:
    void take_stored_count() noexcept {
        if (stored_)
            totals_.records_written = stored_();
    }

    std::unique_ptr<udb_recordset> wrap(std::unique_ptr<udb_recordset> table, size_t index) {
        if (!table)
            return table;
        return std::make_unique<counting_recordset>(std::move(table), totals_, index);
    }
    // A table opened for reading begins a new entry of the per-table totals.
    std::unique_ptr<udb_recordset> wrap_new(std::u16string_view name,
                                            std::unique_ptr<udb_recordset> table) {
        if (!table)
            return table;
        totals_.tables.push_back({std::u16string(name)});
        return wrap(std::move(table), totals_.tables.size() - 1);
    }

    std::unique_ptr<udb_database> inner_;
    tabrix_run_totals& totals_;
    std::function<uint64_t()> stored_;
};

} // namespace

std::unique_ptr<udb_database> tabrix_counting_database(std::unique_ptr<udb_database> inner,
                                                       tabrix_run_totals& totals,
                                                       std::function<uint64_t()> stored) {
    return std::make_unique<counting_database>(std::move(inner), totals, std::move(stored));
}
