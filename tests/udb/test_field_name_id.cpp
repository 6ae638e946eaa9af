// The column look-ups of convert_record, which remember each field by its name token.
#include "tk/tk_exception.h"
#include "udb/udb_recordset.h"

#include <gtest/gtest.h>

namespace {

class converting_table : public udb_recordset {
public:
    converting_table() : udb_recordset(u"t") {
        udb_schema s;
        s.push_back(t_ftd(0, u"Id", VT_I4));
        s.push_back(t_ftd(30, u"Name", VT_BSTR));
        mutable_schema() = s;
    }
    void append_record(udb_record& record) override { convert_record(record); }
};

} // namespace

TEST(udb_recordset, convert_record_looks_a_renamed_or_replaced_field_up_again) {
    converting_table table;
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

    // A field that no column takes is refused also after earlier records got through.
    r[1].set_name(u"Nickname");
    try {
        table.append_record(r);
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::stop_run);
        EXPECT_STREQ(e.what(),
                     "The structure of data source does not conform to the destination table.");
    }
    // ... and again for the next record: a failed look-up is not remembered as a success.
    EXPECT_THROW(table.append_record(r), tk_exception);

    // Another record object with the right names works at once.
    udb_record other;
    other.add_field(u"Id", 4, ole_variant(7.0));
    other.add_field(u"Name", 10, ole_variant(8));
    table.append_record(other);
    EXPECT_EQ(other[0].get_type(), VT_I4);
    EXPECT_EQ(other[1].get_type(), VT_BSTR);
}
