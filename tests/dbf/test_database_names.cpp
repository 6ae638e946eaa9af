// Naming rules of DBF tables and fields, and the descriptors built for new columns.
#include "dbf/dbf_database.h"
#include "dbf/dbf_validator.h"

#include <gtest/gtest.h>

TEST(DatabaseNames, TableAndFieldNamesAreChecked) {
    dbf_validator tables;
    for (std::u16string_view name : {u"orders", u"a-b_c9", u"1234567890", u"Größe", u""})
        EXPECT_TRUE(tables.is_acceptable(name));
    for (std::u16string_view name : {u"12345678901", u"my field", u"a.b"})
        EXPECT_FALSE(tables.is_acceptable(name));

    // An Arabic-Indic digit is a digit too.
    dbf_fn_validator fields;
    for (std::u16string_view name : {u"amount", u"_id"})
        EXPECT_TRUE(fields.is_acceptable(name));
    for (std::u16string_view name : {u"", u"2nd", u"٣abc"})
        EXPECT_FALSE(fields.is_acceptable(name));
}

TEST(DatabaseNames, SafeNamesAreShortLegalAndUnique) {
    dbf_validator tables;
    EXPECT_EQ(tables.get_safe_name(u"2nd_quarter_sales"), u"A2nd_quart");
    EXPECT_EQ(tables.get_safe_name(u"my field"), u"my_field");
    EXPECT_EQ(tables.get_safe_name(u"_x"), u"A_x");
    EXPECT_EQ(tables.get_safe_name(u""), u"A");
    EXPECT_EQ(tables.get_safe_name(u"a.b/c"), u"a_b_c");

    udb_schema schema;
    schema.push_back(t_ftd(10, u"customerid", VT_BSTR));
    schema.push_back(t_ftd(4, u"custome000", VT_I4));
    dbf_fn_validator fields(schema);
    EXPECT_TRUE(fields.is_duplicated(u"CUSTOMERID"));
    // Cut to customerid, which is taken; custome000 is taken too.
    EXPECT_EQ(fields.get_safe_name(u"customerid_x"), u"custome001");
    EXPECT_EQ(fields.get_safe_name(u"freight"), u"freight");

    dbf_fn_validator crowded;
    for (int n = 0; n < 1000; ++n) {
        std::u16string name = u"abcdefg";
        name += char16_t(u'0' + n / 100);
        name += char16_t(u'0' + n / 10 % 10);
        name += char16_t(u'0' + n % 10);
        crowded.add_existing_name(name);
    }
    crowded.add_existing_name(u"abcdefghij");
    EXPECT_THROW(crowded.get_safe_name(u"abcdefghijk"), tk_mail_assertion);
}

namespace {

struct created_field {
    char letter;
    int length;
    int decimals;
};

created_field create(uint16_t vartype, uint32_t size = 0, uint32_t reserved = 0) {
    uint8_t descriptor[32] = {};
    t_ftd field(size, u"f", vartype, false, false, ole_variant(), reserved);
    dbf_create_field(field, descriptor);
    if (descriptor[11] == 'C')
        return {'C', descriptor[16] | descriptor[17] << 8, 0};
    return {char(descriptor[11]), descriptor[16], descriptor[17]};
}

void expect_field(const created_field& got, char letter, int length, int decimals) {
    EXPECT_EQ(got.letter, letter);
    EXPECT_EQ(got.length, length);
    EXPECT_EQ(got.decimals, decimals);
}

} // namespace

TEST(DatabaseNames, ColumnsBecomeDescriptors) {
    expect_field(create(VT_I1), 'N', 4, 0);
    expect_field(create(VT_UI1), 'N', 6, 0);
    expect_field(create(VT_I2), 'N', 6, 0);
    expect_field(create(VT_I4), 'N', 11, 0);
    expect_field(create(VT_INT), 'N', 11, 0);
    expect_field(create(VT_I8), 'N', 19, 5);
    expect_field(create(VT_CY), 'N', 19, 5);
    expect_field(create(VT_R4), 'N', 19, 5);
    expect_field(create(VT_R8), 'B', 8, 0);
    expect_field(create(VT_DATE, 0, 1), 'T', 8, 0);
    expect_field(create(VT_DATE, 0, t_ftd::time_only), 'T', 8, 0);
    expect_field(create(VT_DATE, 0, t_ftd::date_only), 'D', 8, 0);
    expect_field(create(VT_DATE, 0, 0), 'C', 19, 0);
    expect_field(create(VT_BSTR, 20), 'C', 21, 0);
    expect_field(create(VT_BSTR, 254), 'C', 255, 0);
    expect_field(create(VT_BSTR, 255), 'M', 10, 0);
    expect_field(create(VT_BSTR, 0), 'M', 10, 0);
    expect_field(create(VT_BOOL), 'L', 1, 0);
    expect_field(create(VT_DECIMAL, 0, 12 * 256 + 2), 'N', 14, 2);
    expect_field(create(VT_DECIMAL, 0, 0), 'N', 2, 0);
    expect_field(create(VT_DECIMAL, 0, 255 * 256 + 4), 'N', 255, 4);
    expect_field(create(VT_BYTE_ARRAY), 'M', 10, 0);
    expect_field(create(VT_BLOB), 'M', 10, 0);
}
