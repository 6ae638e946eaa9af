// Column conformity, schema look-ups, record conversion and the index list rules.
#include "tk/tk_exception.h"
#include "udb/udb_database.h"
#include "udb/udb_recordset.h"

#include <gtest/gtest.h>

namespace {

t_ftd column(uint16_t vt, uint32_t size, std::u16string name = u"C") {
    return t_ftd(size, std::move(name), vt);
}

bool conforms(uint16_t src_vt, uint32_t src_size, uint16_t dst_vt, uint32_t dst_size) {
    return column(src_vt, src_size).conform_to(column(dst_vt, dst_size));
}

udb_index index(std::u16string name, bool unique, bool primary,
                std::vector<std::u16string> fields = {u"ID"}) {
    return udb_index{std::move(name), unique, primary, std::move(fields)};
}

// A destination table that only converts: enough for convert_record and add_index.
class plain_table : public udb_recordset {
public:
    plain_table(std::u16string name, const udb_schema& schema, udb_database* db = nullptr)
        : udb_recordset(std::move(name), db) {
        mutable_schema() = schema;
    }
    void append_record(udb_record& record) override { convert_record(record); }
};

class plain_database : public udb_database {
public:
    explicit plain_database(bool case_sensitive = false) : udb_database(u"db", case_sensitive) {}
    std::unique_ptr<udb_recordset> create_table(std::u16string_view name, const udb_schema& schema,
                                                const udb_indexes&) override {
        table_names_.emplace_back(name);
        return std::make_unique<plain_table>(std::u16string(name), schema, this);
    }
    std::unique_ptr<udb_recordset> get_query(std::u16string_view, std::u16string_view,
                                             uint32_t) override {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_table(std::u16string_view, udb_open_mode) override {
        return nullptr;
    }
    bool test_query(std::u16string_view) override { return false; }
};

udb_schema people_schema() {
    udb_schema s;
    s.push_back(t_ftd(0, u"Id", VT_I4));
    s.push_back(t_ftd(30, u"Name", VT_BSTR));
    s.push_back(t_ftd(0, u"Born", VT_DATE));
    return s;
}

} // namespace

TEST(t_ftd, conform_to_follows_the_type_table) {
    // Equal types, and the decimal/currency pair both ways.
    EXPECT_TRUE(conforms(VT_I4, 4, VT_I4, 4));
    EXPECT_TRUE(conforms(VT_DECIMAL, 10, VT_CY, 8));
    EXPECT_TRUE(conforms(VT_CY, 8, VT_DECIMAL, 10));
    // Text into text: the destination must be unlimited or wide enough.
    EXPECT_TRUE(conforms(VT_BSTR, 10, VT_BSTR, 10));
    EXPECT_TRUE(conforms(VT_BSTR, 10, VT_BSTR, 0));
    EXPECT_TRUE(conforms(VT_BSTR, 10, VT_BSTR, 11));
    EXPECT_FALSE(conforms(VT_BSTR, 10, VT_BSTR, 9));
    EXPECT_TRUE(conforms(VT_BSTR, 10, 31, 10)); // wide C string
    // Dates take dates and the 19-character date-and-time text only.
    EXPECT_TRUE(conforms(VT_BSTR, 19, VT_DATE, 8));
    EXPECT_FALSE(conforms(VT_BSTR, 10, VT_DATE, 8));
    EXPECT_FALSE(conforms(VT_I4, 4, VT_DATE, 8));
    // Numbers: every numeric source except the machine-sized ones.
    EXPECT_TRUE(conforms(VT_BOOL, 1, VT_R8, 8));
    EXPECT_TRUE(conforms(VT_UI8, 8, VT_I2, 2));
    EXPECT_TRUE(conforms(VT_INT, 4, VT_INT, 4));
    EXPECT_FALSE(conforms(VT_INT, 4, VT_I4, 4));
    EXPECT_FALSE(conforms(VT_BSTR, 4, VT_I4, 4));
    // Text destinations take any non-binary source; binary ones take anything, sized.
    EXPECT_TRUE(conforms(VT_I4, 4, VT_BSTR, 1));
    EXPECT_FALSE(conforms(VT_BYTE_ARRAY, 4, VT_BSTR, 100));
    EXPECT_TRUE(conforms(VT_BSTR, 4, VT_BYTE_ARRAY, 4));
    EXPECT_FALSE(conforms(VT_BSTR, 5, VT_BLOB, 4));
    EXPECT_TRUE(conforms(VT_DATE, 8, VT_BLOB, 1));
    // Anything else is refused.
    EXPECT_FALSE(conforms(VT_I4, 4, VT_EMPTY, 0));
    EXPECT_FALSE(conforms(VT_I4, 4, VT_NULL, 0));
}

TEST(udb_schema, conform_to_compares_position_by_position_and_ignores_names) {
    udb_schema src = people_schema();
    udb_schema dst;
    dst.push_back(t_ftd(0, u"a", VT_I8));
    dst.push_back(t_ftd(0, u"b", VT_BSTR));
    dst.push_back(t_ftd(0, u"c", VT_DATE));
    EXPECT_TRUE(src.conform_to(dst));

    dst[1].size = 29; // narrower than the source text
    EXPECT_FALSE(src.conform_to(dst));
    dst[1].size = 30;

    dst.push_back(t_ftd(0, u"d", VT_I4));
    EXPECT_FALSE(src.conform_to(dst)); // column counts differ
}

TEST(udb_record, owns_fields_finds_them_ignoring_case_and_carries_the_deleted_mark) {
    udb_record r;
    r.add_field(u"Id", 4, ole_variant(1));
    r.add_field(u"Name", 10, ole_variant(std::u16string_view(u"Ann")));
    EXPECT_TRUE(r.find_field(u"NAME"));
    EXPECT_EQ(r.get_field(u"name").to_wstring(), u"Ann");
    EXPECT_EQ(r.get_field(u"missing").get_type(), VT_EMPTY);
    EXPECT_FALSE(r.is_deleted());

    // Refilling keeps names and sizes and only replaces values.
    udb_field* first = &r[0];
    r[0] = ole_variant(2);
    r.set_deleted(true);
    EXPECT_EQ(&r[0], first);
    EXPECT_EQ(r[0].get_name(), u"Id");
    EXPECT_EQ(r[0].get_size(), 4u);
    EXPECT_EQ(r[0].to_long(), 2);
    EXPECT_TRUE(r.is_deleted());

    r.clear();
    EXPECT_TRUE(r.empty());
    EXPECT_FALSE(r.is_deleted());
}

TEST(udb_recordset, convert_record_without_names_map_looks_names_up_ignoring_case) {
    plain_table table(u"people", people_schema());
    udb_record r;
    r.add_field(u"ID", 4, ole_variant(41.5));
    r.add_field(u"NAME", 10, ole_variant(17));
    table.append_record(r);
    EXPECT_EQ(r[0].get_type(), VT_I4);
    EXPECT_EQ(r[0].to_long(), 42);
    EXPECT_EQ(r[1].get_type(), VT_BSTR);
    EXPECT_EQ(r[1].to_wstring(), u"17");
    // The record keeps its order and its source names.
    EXPECT_EQ(r[0].get_name(), u"ID");

    // The same record object again, refilled: the same columns are used.
    r[0] = ole_variant(-6.5);
    table.append_record(r);
    EXPECT_EQ(r[0].get_type(), VT_I4);
    EXPECT_EQ(r[0].to_long(), -7);
}

TEST(udb_recordset, convert_record_with_names_map_uses_the_mapped_column) {
    plain_database db;
    std::unique_ptr<udb_recordset> table = db.create_table(u"people", people_schema(), {});
    db.get_names_map().add_fn_map(u"people", {{u"NAME", u"Born"}});

    udb_record r;
    r.add_field(u"NAME", 10, ole_variant(std::u16string_view(u"2020-12-31")));
    table->append_record(r);
    EXPECT_EQ(r[0].get_type(), VT_DATE);

    // The map is exact: "name" is not "NAME", so it goes to the column "Name".
    udb_record lower;
    lower.add_field(u"name", 10, ole_variant(5));
    table->append_record(lower);
    EXPECT_EQ(lower[0].get_type(), VT_BSTR);

    // A mapping added later is honoured by the next record.
    db.get_names_map().add_fn_map(u"people", {{u"name", u"Id"}});
    lower[0] = ole_variant(9.0);
    table->append_record(lower);
    EXPECT_EQ(lower[0].get_type(), VT_I4);
}

TEST(udb_recordset, convert_record_refuses_a_field_without_column_at_level_1) {
    plain_table table(u"people", people_schema());
    udb_record r;
    r.add_field(u"Id", 4, ole_variant(1.0));
    r.add_field(u"Nickname", 10, ole_variant(std::u16string_view(u"x")));
    try {
        table.append_record(r);
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::stop_run);
        EXPECT_STREQ(e.what(),
                     "The structure of data source does not conform to the destination table.");
    }
    // Fields before the failure stay converted.
    EXPECT_EQ(r[0].get_type(), VT_I4);
}

// Each field is remembered by its name token: a renamed or replaced field is looked up again.
TEST(udb_recordset, convert_record_looks_a_renamed_or_replaced_field_up_again) {
    plain_table table(u"t", people_schema());
    udb_record r;
    r.add_field(u"ID", 4, ole_variant(1.0));
    r.add_field(u"NAME", 10, ole_variant(2));
    table.append_record(r);
    EXPECT_EQ(r[0].get_type(), VT_I4);
    EXPECT_EQ(r[1].get_type(), VT_BSTR);

    // The same record with its fields' names swapped: each goes to its new column.
    r[0].set_name(u"name");
    r[1].set_name(u"id");
    r[0] = ole_variant(3);
    r[1] = ole_variant(4.0);
    table.append_record(r);
    EXPECT_EQ(r[0].get_type(), VT_BSTR);
    EXPECT_EQ(r[1].get_type(), VT_I4);

    // A field that no column takes is refused also after earlier records got through, and
    // again for the next record: a failed look-up is not remembered as a success.
    r[1].set_name(u"Nickname");
    EXPECT_THROW(table.append_record(r), tk_exception);
    EXPECT_THROW(table.append_record(r), tk_exception);

    // Another record object with the right names works at once.
    udb_record other;
    other.add_field(u"Id", 4, ole_variant(7.0));
    other.add_field(u"Name", 10, ole_variant(8));
    table.append_record(other);
    EXPECT_EQ(other[0].get_type(), VT_I4);
    EXPECT_EQ(other[1].get_type(), VT_BSTR);
}

TEST(udb_indexes, push_back_merges_by_name_ignoring_case) {
    udb_indexes list;
    list.push_back(index(u"ix_a", false, false, {u"A"}));
    list.push_back(index(u"ix_b", false, false, {u"B"}));
    ASSERT_EQ(list.size(), 2u);

    // A primary key upgrades the plain index in place and takes its name and fields.
    list.push_back(index(u"IX_A", true, true, {u"A", u"A2"}));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, u"IX_A");
    EXPECT_TRUE(list[0].b_primary);
    EXPECT_EQ(list[0].fields.size(), 2u);

    // Nothing replaces a primary key.
    list.push_back(index(u"ix_a", false, false, {u"Z"}));
    list.push_back(index(u"ix_a", true, false, {u"Z"}));
    EXPECT_EQ(list[0].name, u"IX_A");
    EXPECT_EQ(list[0].fields[0], u"A");

    // A unique index replaces a plain one; then plain and unique offers change nothing.
    list.push_back(index(u"ix_b", true, false, {u"B1"}));
    EXPECT_TRUE(list[1].b_unique);
    EXPECT_EQ(list[1].fields[0], u"B1");
    list.push_back(index(u"ix_b", true, false, {u"B2"}));
    list.push_back(index(u"ix_b", false, false, {u"B3"}));
    EXPECT_EQ(list[1].fields[0], u"B1");

    // Two plain indexes: the first stays.
    list.push_back(index(u"ix_c", false, false, {u"C1"}));
    list.push_back(index(u"IX_C", false, false, {u"C2"}));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].name, u"ix_c");
    EXPECT_EQ(list[2].fields[0], u"C1");
}

TEST(udb_recordset, add_index_refuses_known_names_and_remembers_the_first_key) {
    plain_table table(u"t", people_schema());
    table.add_index(index(u"plain", false, false));
    EXPECT_EQ(table.get_key_index(), -1);
    // Refused before the merge rules: the plain index is not upgraded.
    table.add_index(index(u"PLAIN", true, true));
    EXPECT_EQ(table.get_indexes().size(), 1u);
    EXPECT_FALSE(table.get_indexes()[0].b_primary);
    EXPECT_EQ(table.get_key_index(), -1);

    table.add_index(index(u"uq", true, false));
    table.add_index(index(u"pk", true, true));
    EXPECT_EQ(table.get_key_index(), 1); // where the first unique index went
    EXPECT_EQ(table.get_indexes().size(), 3u);
}

TEST(udb_database, table_names_compare_by_the_case_rule_and_delete_keeps_order) {
    plain_database db;
    db.create_table(u"Alpha", {}, {});
    db.create_table(u"Beta", {}, {});
    db.create_table(u"Gamma", {}, {});
    EXPECT_TRUE(db.is_table_exist(u"beta"));
    EXPECT_FALSE(db.is_table_exist(u"Delta"));
    EXPECT_TRUE(db.delete_tab(u"BETA"));
    EXPECT_FALSE(db.delete_tab(u"Beta"));
    EXPECT_EQ(db.get_table_names(), (std::vector<std::u16string>{u"Alpha", u"Gamma"}));

    plain_database exact(true);
    exact.create_table(u"Beta", {}, {});
    EXPECT_TRUE(exact.is_table_exist(u"Beta"));
    EXPECT_FALSE(exact.is_table_exist(u"beta"));
    EXPECT_FALSE(exact.delete_tab(u"BETA"));
}

// A batch goes through append_record in order; the record that fails stops it, and the ones
// before it stay written.
TEST(udb_recordset, a_batch_is_appended_record_by_record_until_one_fails) {
    udb_schema schema;
    schema.push_back(column(VT_I4, 4, u"N"));
    plain_table table(u"T", schema);
    std::vector<udb_record> records(3);
    records[0].add_field(u"N", 4, ole_variant(1.0));
    records[1].add_field(u"OTHER", 4, ole_variant(2.0));
    records[2].add_field(u"N", 4, ole_variant(3.0));
    std::vector<udb_record*> batch = {&records[0], &records[1], &records[2]};
    EXPECT_THROW(table.append_records(batch), tk_exception);
    EXPECT_EQ(records[0][0].get_type(), VT_I4) << "converted before the failure";
    EXPECT_EQ(records[2][0].get_type(), VT_R8) << "not reached";
}
