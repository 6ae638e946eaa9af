#include "memory_database.h"

#include "tk/tk_exception.h"
#include "tk/tk_text.h"

#include <algorithm>

void memory_store::record(std::string event) {
    events.push_back(event);
    if (on_event)
        on_event(event);
}

memory_table& memory_store::add_text_table(const std::u16string& name,
                                           const std::vector<std::vector<std::u16string>>& rows,
                                           size_t columns) {
    memory_table& t = tables[name];
    for (size_t c = 0; c < columns; ++c)
        t.schema.push_back(t_ftd(30, u"C" + std::u16string(1, char16_t(u'0' + c)), VT_BSTR));
    for (const auto& row : rows) {
        std::vector<ole_variant> values;
        for (const std::u16string& text : row)
            values.emplace_back(std::u16string_view(text));
        t.rows.push_back(std::move(values));
    }
    return t;
}

std::vector<std::u16string> memory_store::first_values(const std::u16string& name) const {
    std::vector<std::u16string> out;
    for (const auto& row : tables.at(name).rows)
        out.push_back(row.at(0).to_wstring());
    return out;
}

memory_database::memory_database(std::shared_ptr<memory_store> store)
    : udb_database(u"memory"), store_(std::move(store)) {
    for (const auto& [name, table] : store_->tables)
        table_names_.push_back(name);
    store_->record("open");
}

std::unique_ptr<udb_recordset> memory_database::create_table(std::u16string_view name,
                                                             const udb_schema& schema,
                                                             const udb_indexes& indexes) {
    const std::u16string key(name);
    const auto& failing = store_->failing_creates;
    if (std::find(failing.begin(), failing.end(), key) != failing.end())
        throw tk_exception(std::string("Cannot create table"));
    // An existing table is opened for appending, as a merging destination does.
    if (store_->tables.count(key) == 0) {
        memory_table& t = store_->tables[key];
        t.schema = schema;
        t.indexes = indexes;
        table_names_.push_back(key);
    }
    store_->record("create:" + tk_to_utf8(key));
    return std::make_unique<memory_recordset>(*this, key);
}

bool memory_database::delete_tab(std::u16string_view name) {
    store_->tables.erase(std::u16string(name));
    store_->record("drop:" + tk_to_utf8(name));
    return udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> memory_database::get_table(std::u16string_view name, udb_open_mode) {
    if (store_->tables.count(std::u16string(name)) == 0)
        throw tk_exception(std::string("The specified table does not exist."));
    return std::make_unique<memory_recordset>(*this, std::u16string(name));
}

void memory_database::finish() {
    store_->record("finish-db");
    if (store_->fail_finish)
        throw tk_exception(std::string("Cannot close the destination"), tk_exception::stop_run);
}

memory_recordset::memory_recordset(memory_database& db, const std::u16string& name)
    : udb_recordset(name, &db), owner_(db) {
    memory_table& t = table();
    mutable_schema() = t.schema;
    for (const udb_index& index : t.indexes)
        add_index(index);
    record_count_ = uint32_t(t.rows.size());
    for (const t_ftd& column : t.schema)
        record_.add_field(column.name, column.size);
}

udb_record* memory_recordset::get_item() {
    memory_table& t = table();
    const std::vector<ole_variant>& row = t.rows.at(position_);
    for (size_t i = 0; i < record_.size() && i < row.size(); ++i)
        record_[i] = row[i];
    record_.set_deleted(position_ < t.deleted.size() && t.deleted[position_]);
    return &record_;
}

void memory_recordset::append_record(udb_record& record) {
    const std::u16string first = record.empty() ? std::u16string() : record[0].to_wstring();
    owner_.store().record("append:" + tk_to_utf8(name_) + ":" + tk_to_utf8(first));
    const auto failing = owner_.store().failing_values.find(first);
    if (failing != owner_.store().failing_values.end())
        throw tk_exception(std::string("Bad record"), failing->second);
    convert_record(record);
    std::vector<ole_variant> values;
    for (size_t i = 0; i < record.size(); ++i)
        values.push_back(record[i]);
    table().rows.push_back(std::move(values));
}

void memory_recordset::finish() {
    owner_.store().record("finish:" + tk_to_utf8(name_));
}
