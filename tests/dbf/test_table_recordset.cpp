// Tables opened from files: records, code pages, memo files, damaged files, the writer.
#include "dbf/dbf_exception.h"
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"
#include "support/test_support.h"
#include "test_table_builder.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_text.h"

#include <gtest/gtest.h>

using namespace dbf_test;
using tabrix_test::read_file;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

namespace {

std::unique_ptr<dbf_recordset> open_table(const std::filesystem::path& path, uint32_t user_cp = 0,
                                          int32_t mode = dbf_recordset::mode_read,
                                          uint32_t default_codepage = dbf_default_codepage,
                                          const udb_run_context* run = nullptr) {
    return std::make_unique<dbf_recordset>(path.string(), mode, user_cp, nullptr, default_codepage,
                                           run);
}

udb_record& fetch(dbf_recordset& table) {
    udb_record* r = table.get_item();
    if (!r)
        throw std::runtime_error("no record at the cursor");
    return *r;
}

// A dBASE III memo file: 512-byte blocks, each text ended by 0x1A.
std::string old_memo(const std::vector<std::string>& texts) {
    std::string file(512, '\0');
    for (const std::string& t : texts) {
        std::string block = t + "\x1A\x1A";
        block.resize((block.size() + 511) / 512 * 512, '\0');
        file += block;
    }
    put32(file, 0, uint32_t(file.size() / 512));
    return file;
}

// A FoxPro memo file with 64-byte blocks; text i starts at block 8 + 2 i.
std::string fpt_memo(const std::vector<std::string>& texts) {
    std::string file(512, '\0');
    for (const std::string& t : texts) {
        std::string block = be32(1) + be32(uint32_t(t.size())) + t;
        block.resize(128, '\0');
        file += block;
    }
    const std::string next = be32(uint32_t(file.size() / 64));
    file.replace(0, 4, next);
    file[6] = 0;
    file[7] = 64;
    return file;
}

} // namespace

TEST(table_recordset, walks_records_with_cursor_and_deleted_marks) {
    scratch_dir dir;
    const std::vector<field> fields = {
        {"NAME", 'C', 8}, {"QTY", 'N', 5}, {"PRICE", 'N', 8, 2}, {"DAY", 'D', 8}, {"OK", 'L', 1}};
    write_file(
        dir / "items.dbf",
        make_table(
            0x03, fields,
            {record({left("bolt", 8), right("12", 5), right("0.25", 8), "20240131", "T"}),
             record({left("nut", 8), right("*****", 5), right("", 8), "20240230", "?"}, '*'),
             record({left("washer", 8), right("-3", 5), right("1234.50", 8), "        ", "n"})}));
    auto table = open_table(dir / "items.dbf");
    EXPECT_EQ(table->get_record_count(), 3u);
    EXPECT_EQ(table->get_version(), 0x03);
    const udb_schema& schema = table->get_schema();
    ASSERT_EQ(schema.size(), 5u);
    EXPECT_EQ(schema[0].name, u"NAME");
    EXPECT_EQ(schema[0].size, 8u);
    // N(8,2): seven digits, the point takes the eighth place.
    EXPECT_EQ(schema[2].decimal_precision(), 7);
    EXPECT_EQ(schema[2].decimal_scale(), 2);

    table->reset();
    udb_record& r = fetch(*table);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].get_name(), u"NAME");
    EXPECT_EQ(r[0].to_wstring(), u"bolt");
    EXPECT_EQ(r[1].to_long(), 12);
    EXPECT_EQ(r[2].to_string(), "0.25");
    EXPECT_EQ(r[3].to_string(), "2024-01-31");
    EXPECT_TRUE(r[4].to_bool());
    EXPECT_FALSE(r.is_deleted());

    table->next();
    udb_record& r2 = fetch(*table);
    EXPECT_EQ(&r2, &r); // the one record is refilled
    EXPECT_TRUE(r2.is_deleted());
    for (size_t i = 1; i < 5; ++i)
        EXPECT_EQ(r2[i].get_type(), VT_EMPTY) << i;

    table->next();
    EXPECT_EQ(fetch(*table)[2].to_string(), "1234.5");
    EXPECT_FALSE(table->is_eof());
    table->next();
    EXPECT_TRUE(table->is_eof());
    EXPECT_EQ(table->get_item(), nullptr);
    table->prev();
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"washer");
    table->reset();
    table->prev(); // stays on the first record
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"bolt");
}

TEST(table_recordset, code_pages_and_their_override) {
    scratch_dir dir;
    // "Мир" in 1251 (CC E8 F0); the same bytes in 866 read "╠шЁ".
    const std::string text = "\xCC\xE8\xF0";
    const std::vector<field> fields = {{"T", 'C', 3}};
    write_file(dir / "ru.dbf",
               make_table(0x30, fields, {record({text})}, table_options{.language_driver = 0xC9}));
    auto table = open_table(dir / "ru.dbf");
    EXPECT_EQ(table->get_codepage(), 1251u);
    EXPECT_EQ(table->get_language_driver(), 0xC9);
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"Мир");

    table = open_table(dir / "ru.dbf", 0x65);
    EXPECT_EQ(table->get_codepage(), 866u);
    EXPECT_EQ(table->get_language_driver(), 0x65);
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"╠шЁ");

    // Double-byte pages: 0x7A is GBK.
    write_file(dir / "gbk.dbf", make_table(0x30, {{"T", 'C', 4}}, {record({"\xD6\xD0\xCE\xC4"})},
                                           table_options{.language_driver = 0x7A}));
    table = open_table(dir / "gbk.dbf");
    EXPECT_EQ(table->get_codepage(), 936u);
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"中文");
    EXPECT_EQ(open_table(dir / "ru.dbf", 936)->get_codepage(), 936u);

    // No code page named (0, or a byte no product assigned): the default code page, or UTF-8
    // when the text is UTF-8.
    write_file(dir / "other.dbf", make_table(0x03, fields, {record({"caf"}), record({"\xE9t\xE9"})},
                                             table_options{.language_driver = 0xFF}));
    table = open_table(dir / "other.dbf");
    EXPECT_EQ(table->get_codepage(), 1252u);
    EXPECT_TRUE(table->is_codepage_guessed());
    table->reset();
    table->next();
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"été");
    EXPECT_EQ(open_table(dir / "other.dbf", 0, dbf_recordset::mode_read, 1251)->get_codepage(),
              1251u);
    write_file(dir / "utf8.dbf",
               make_table(0x03, {{"T", 'C', 6}},
                          {record({left("abc", 6)}), record({left("\xC3\xA9t\xC3\xA9", 6)})}));
    table = open_table(dir / "utf8.dbf");
    EXPECT_EQ(table->get_codepage(), tk_cp_utf8);
    table->reset();
    table->next();
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"été");
    // Plain ASCII says nothing: the default code page.
    write_file(dir / "ascii.dbf", make_table(0x03, fields, {record({"abc"})}));
    EXPECT_EQ(open_table(dir / "ascii.dbf")->get_codepage(), 1252u);

    // Level 7 names its code page in the language driver name; column names are read in
    // the table's code page too.
    write_file(dir / "l7.dbf",
               make_table(0x04, {{"\x88\xAC\xEF", 'C', 3}}, {record({"\x8F\xE0\xA8"})},
                          table_options{.driver_name = "DB866RU0"}));
    table = open_table(dir / "l7.dbf");
    EXPECT_EQ(table->get_codepage(), 866u);
    EXPECT_EQ(table->get_schema()[0].name, u"Имя");
    udb_record& r = fetch(*table);
    EXPECT_EQ(r[0].get_name(), u"Имя");
    EXPECT_EQ(r[0].to_wstring(), u"При");
}

TEST(table_recordset, memo_files) {
    scratch_dir dir;
    const std::vector<field> fields = {{"ID", 'N', 3}, {"NOTE", 'M', 10}};
    const std::string image =
        make_table(0x83, fields,
                   {record({right("1", 3), right("1", 10)}), record({right("2", 3), right("", 10)}),
                    record({right("3", 3), right("99", 10)})});
    write_file(dir / "ORDERS.DBF", image);
    write_file(dir / "orders.dbt", old_memo({"first memo\r\nline two"}));
    auto table = open_table(dir / "ORDERS.DBF");
    EXPECT_EQ(table->get_memo_kind(), dbf_memo_old);
    ASSERT_NE(table->get_memo_file(), nullptr);
    EXPECT_FALSE(table->is_memo_missing());
    EXPECT_EQ(table->get_schema()[1].vartype, VT_BSTR);
    EXPECT_EQ(table->get_schema()[1].size, 0u);
    EXPECT_EQ(fetch(*table)[1].to_wstring(), u"first memo\r\nline two");
    table->next();
    EXPECT_EQ(fetch(*table)[1].get_type(), VT_EMPTY); // block 0
    table->next();
    EXPECT_EQ(fetch(*table)[1].get_type(), VT_EMPTY); // a block beyond the file

    // A missing memo file is the fixture no_memofile.dbf's.

    // A Visual FoxPro table whose header says "no memo" while the memo file stands beside it.
    const std::vector<field> vfp_fields = {{"NOTE", 'M', 4}, {"PIC", 'W', 4}};
    write_file(dir / "contacts.dbf", make_table(0x30, vfp_fields, {record({le32(8), le32(10)})},
                                                table_options{.table_flags = 0}));
    write_file(dir / "contacts.FPT", fpt_memo({"Tennis, golf", std::string("\x89PNG\0\x1A", 6)}));
    table = open_table(dir / "contacts.dbf");
    EXPECT_EQ(table->get_memo_kind(), dbf_memo_vfp);
    udb_record& r = fetch(*table);
    EXPECT_EQ(r[0].to_wstring(), u"Tennis, golf");
    const uint8_t* bytes = nullptr;
    ASSERT_EQ(r[1].get_bytes(bytes), 6u);
    EXPECT_EQ(bytes[0], 0x89);
    EXPECT_EQ(bytes[4], 0);
    EXPECT_EQ(bytes[5], 0x1A);
    EXPECT_EQ(table->get_schema()[1].vartype, VT_BLOB);

    // Pictures and OLE objects are bytes, every one of them. A text memo field whose first
    // memo is binary data is a binary field; a later block that is no text has no value and
    // is counted.
    const std::vector<field> fox_fields = {{"NOTE", 'M', 10}, {"PIC", 'G', 10}, {"IMG", 'M', 10}};
    const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    std::string fpt = fpt_memo({"text", png, png, "picture", "more text"});
    fpt[512 + 3 * 128 + 3] = 0; // block 14 is typed as a picture
    write_file(dir / "fox.fpt", fpt);
    write_file(dir / "fox.dbf",
               make_table(0xF5, fox_fields,
                          {record({right("8", 10), right("10", 10), right("12", 10)}),
                           record({right("14", 10), right("", 10), right("16", 10)})}));
    table = open_table(dir / "fox.dbf");
    EXPECT_EQ(table->get_schema()[0].vartype, VT_BSTR);
    EXPECT_EQ(table->get_schema()[1].vartype, VT_BLOB);
    EXPECT_EQ(table->get_schema()[2].vartype, VT_BLOB);
    table->reset();
    udb_record& f = fetch(*table);
    EXPECT_EQ(f[0].to_wstring(), u"text");
    for (size_t i : {1u, 2u}) {
        ASSERT_EQ(f[i].get_bytes(bytes), png.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), png.size()), png);
    }
    table->next();
    udb_record& g = fetch(*table);
    EXPECT_EQ(g[0].get_type(), VT_EMPTY);
    ASSERT_EQ(g[2].get_bytes(bytes), 9u);
    EXPECT_EQ(table->value_notes().count(0, udb_value_notes::binary_in_text_memo), 1u);
    EXPECT_EQ(table->value_notes().count(2, udb_value_notes::binary_in_text_memo), 0u);

    // Without memo fields a stray memo file is not opened.
    write_file(dir / "plain.dbf", make_table(0x30, {{"A", 'C', 1}}, {record({"x"})}));
    write_file(dir / "plain.fpt", fpt_memo({"x"}));
    EXPECT_EQ(open_table(dir / "plain.dbf")->get_memo_kind(), dbf_memo_none);
}

TEST(table_recordset, missing_memo_file_is_reported_with_the_table) {
    scratch_dir dir;
    write_file(dir / "notes.dbf",
               make_table(0xF5, {{"NOTE", 'M', 10}}, {record({right("1", 10)})}));
    tabrix_test::reporter_log seen;
    error_handler handler(tk_odb_error_table(),
                          std::make_unique<tabrix_test::recording_reporter>(seen));
    handler.set_context("outer");
    // Reported to the handler of the run the table is opened for, and to no other.
    EXPECT_TRUE(open_table(dir / "notes.dbf")->is_memo_missing());
    EXPECT_TRUE(seen.questions.empty());
    const udb_run_context run{.errors = &handler};
    auto table =
        open_table(dir / "notes.dbf", 0, dbf_recordset::mode_read, dbf_default_codepage, &run);
    EXPECT_TRUE(table->is_memo_missing());
    EXPECT_EQ(table->get_memo_kind(), dbf_memo_foxpro);
    EXPECT_TRUE(seen.errors.empty());
    EXPECT_TRUE(seen.internal.empty());
    ASSERT_EQ(seen.questions.size(), 1u);
    EXPECT_NE(seen.questions[0].find("Memo file not found"), std::string::npos);
    EXPECT_NE(seen.questions[0].find("notes.dbf"), std::string::npos);
    EXPECT_EQ(handler.context(), "outer");
    EXPECT_EQ(fetch(*table)[0].get_type(), VT_EMPTY);
}

TEST(table_recordset, refuses_damaged_tables_and_survives_damaged_values) {
    scratch_dir dir;
    write_file(dir / "one.dbf", std::string(1, '\x03'));
    try {
        open_table(dir / "one.dbf");
        ADD_FAILURE() << "a 1-byte file opened";
    } catch (const dbf_exception& e) {
        EXPECT_STREQ(e.what(), "File does not comply with DBF format");
    }
    const std::vector<field> fields = {{"A", 'C', 4}, {"B", 'N', 4}};
    std::string image =
        make_table(0x03, fields, {record({"abcd", "  12"}), record({"efgh", "9999"})},
                   table_options{.end_of_file_marker = false});
    // Random bytes in the records: values or no values, never a failure.
    std::string noisy = image;
    for (size_t i = 97; i < noisy.size(); ++i)
        noisy[i] = char((i * 131) ^ 0x5A);
    write_file(dir / "noisy.dbf", noisy);
    auto table = open_table(dir / "noisy.dbf");
    for (table->reset(); !table->is_eof(); table->next())
        EXPECT_EQ(fetch(*table).size(), 2u);

    // A missing file named without regard to case is found; a missing one fails to open.
    write_file(dir / "Mixed.DBF", image);
    EXPECT_EQ(open_table(dir / "mixed.dbf")->get_record_count(), 2u);
    EXPECT_THROW(open_table(dir / "absent.dbf"), tk_exception);
}

TEST(table_recordset, a_file_cut_short_opens_with_its_complete_records_and_says_so) {
    scratch_dir dir;
    const std::vector<field> fields = {{"NAME", 'C', 8}, {"QTY", 'N', 5}, {"NOTE", 'M', 10}};
    const size_t rec_size = 1 + 8 + 5 + 10;
    std::vector<std::string> records;
    for (int i = 1; i <= 6; ++i)
        records.push_back(record({left("item " + std::to_string(i), 8),
                                  right(std::to_string(i * 10), 5), right(i == 2 ? "1" : "", 10)}));
    const std::string whole = make_table(0x83, fields, records);
    const size_t data_offset = 32 + 3 * 32 + 1;
    // Cut in the middle of record 5: records 1-4 are whole.
    const std::string cut = whole.substr(0, data_offset + 4 * rec_size + rec_size / 2);
    write_file(dir / "stock.dbf", cut);
    write_file(dir / "stock.dbt", old_memo({"memo of item 2"}));

    tabrix_test::reporter_log seen;
    auto handler = std::make_unique<error_handler>(
        tk_odb_error_table(), std::make_unique<tabrix_test::recording_reporter>(seen));
    handler->set_context("outer");
    const udb_run_context run{.errors = handler.get()};
    auto open_in_run = [&](const std::filesystem::path& path) {
        return open_table(path, 0, dbf_recordset::mode_read, dbf_default_codepage, &run);
    };
    auto table = open_in_run(dir / "stock.dbf");
    EXPECT_TRUE(table->is_cut_short());
    EXPECT_EQ(table->get_record_count(), 4u);
    EXPECT_TRUE(seen.errors.empty());
    ASSERT_EQ(seen.questions.size(), 1u);
    const std::string expected = "The table file is cut short: 4 of the 6 records its header "
                                 "announces are complete and are read";
    EXPECT_EQ(table->cut_short_message(), expected);
    EXPECT_NE(seen.questions[0].find(expected), std::string::npos) << seen.questions[0];
    EXPECT_NE(seen.questions[0].find("stock.dbf"), std::string::npos) << seen.questions[0];
    EXPECT_EQ(handler->context(), "outer");
    int n = 0;
    for (table->reset(); !table->is_eof(); table->next()) {
        ++n;
        udb_record& r = fetch(*table);
        EXPECT_EQ(r[0].to_wstring(), tk_from_utf8("item " + std::to_string(n)));
        EXPECT_EQ(r[1].to_long(), n * 10);
    }
    EXPECT_EQ(n, 4);
    table->reset();
    table->next();
    EXPECT_EQ(fetch(*table)[2].to_wstring(), u"memo of item 2");
    // Reading never goes past the complete records, walking back included.
    table->next();
    table->next();
    table->next();
    EXPECT_EQ(table->get_item(), nullptr);
    table->prev();
    EXPECT_EQ(fetch(*table)[0].to_wstring(), u"item 4");
    EXPECT_EQ(seen.questions.size(), 1u) << "reported once, at open";

    // Appending is refused (level 1) and the file stays as it was.
    table = open_table(dir / "stock.dbf", 0, dbf_recordset::mode_write, dbf_default_codepage, &run);
    EXPECT_EQ(seen.questions.size(), 2u);
    udb_record rec;
    rec.add_field(u"NAME", 8, ole_variant(std::u16string_view(u"new")));
    try {
        table->append_record(rec);
        ADD_FAILURE() << "appended to a table cut short";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::stop_run);
        EXPECT_STREQ(e.what(),
                     "Cannot write into file: the table file is cut short after its 4 complete "
                     "records");
    }
    table.reset();
    EXPECT_EQ(read_file(dir / "stock.dbf"), cut);

    // The whole file, without its end-of-file byte: nothing to report.
    write_file(dir / "whole.dbf", whole.substr(0, whole.size() - 1));
    write_file(dir / "whole.dbt", old_memo({"memo of item 2"}));
    EXPECT_FALSE(open_in_run(dir / "whole.dbf")->is_cut_short());
    EXPECT_EQ(seen.questions.size(), 2u);

    // Abort stops the run at the table.
    seen.answers.push_back({.abort = true});
    EXPECT_THROW(open_in_run(dir / "stock.dbf"), tk_final_exception);

    // Without an error handler (none in its run) the table opens all the same.
    handler.reset();
    EXPECT_EQ(open_table(dir / "stock.dbf")->get_record_count(), 4u);
}

TEST(table_recordset, writer_appends_records_that_read_back) {
    scratch_dir dir;
    const std::vector<field> fields = {
        {"NAME", 'C', 10}, {"QTY", 'N', 6},  {"PRICE", 'N', 8, 2}, {"DAY", 'D', 8},
        {"OK", 'L', 1},    {"WHEN", 'T', 8}, {"RATE", 'B', 8},     {"CNT", 'I', 4},
        {"NOTE", 'M', 10}, {"CODE", 'X', 5},
    };
    write_file(dir / "out.dbf", make_table(0x83, fields, {}));
    {
        auto table = open_table(dir / "out.dbf", 0, dbf_recordset::mode_write);
        udb_record rec;
        SYSTEMTIME day{2024, 2, 0, 29, 0, 0, 0, 0};
        SYSTEMTIME when{1999, 12, 0, 31, 23, 59, 58, 0};
        DECIMAL price{};
        ASSERT_EQ(VarDecFromStr(std::string_view("19.955"), LOCALE_EN_US, 0, price), S_OK);
        rec.add_field(u"NAME", 10, ole_variant(std::u16string_view(u"Bolt")));
        rec.add_field(u"QTY", 6, ole_variant(int(-42)));
        rec.add_field(u"PRICE", 8, ole_variant(price));
        rec.add_field(u"DAY", 8, ole_variant(day));
        rec.add_field(u"OK", 1, ole_variant(true));
        rec.add_field(u"WHEN", 8, ole_variant(when));
        rec.add_field(u"RATE", 8, ole_variant(0.1));
        rec.add_field(u"CNT", 4, ole_variant(int(-7)));
        rec.add_field(u"NOTE", 0, ole_variant(std::u16string_view(u"a memo\r\nof two lines")));
        ole_variant code;
        code.attach_binary({'a', 0, 'b'});
        rec.add_field(u"CODE", 5, code);
        table->append_record(rec);

        // Second record: empty values, and a number too wide for its field.
        udb_record empty;
        empty.add_field(u"NAME", 10, ole_variant(std::u16string_view(u"a name longer than ten")));
        empty.add_field(u"QTY", 6, ole_variant(int(12345678)));
        table->append_record(empty);
        EXPECT_EQ(table->get_record_count(), 2u);
    }
    const std::string image = read_file(dir / "out.dbf");
    EXPECT_EQ(image.back(), '\x1A');
    auto table = open_table(dir / "out.dbf");
    EXPECT_EQ(table->get_record_count(), 2u);
    ASSERT_NE(table->get_memo_file(), nullptr);
    udb_record& r = fetch(*table);
    EXPECT_FALSE(r.is_deleted());
    EXPECT_EQ(r[0].to_wstring(), u"Bolt");
    EXPECT_EQ(r[1].to_long(), -42);
    EXPECT_EQ(r[2].to_string(), "19.96");
    EXPECT_EQ(r[3].to_string(), "2024-02-29");
    EXPECT_TRUE(r[4].to_bool());
    EXPECT_EQ(r[5].to_string(), "1999-12-31 23:59:58");
    EXPECT_EQ(r[6].to_double(), 0.1);
    EXPECT_EQ(r[7].to_long(), -7);
    EXPECT_EQ(r[8].to_wstring(), u"a memo\r\nof two lines");
    // A type letter without a rule keeps its bytes, zero bytes included.
    const uint8_t* code = nullptr;
    ASSERT_EQ(r[9].get_bytes(code), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(code), 5), std::string("a\0b\0\0", 5));

    table->next();
    udb_record& e = fetch(*table);
    EXPECT_EQ(e[0].to_wstring(), u"a name lon");
    EXPECT_EQ(e[1].get_type(), VT_EMPTY); // "******"
    EXPECT_EQ(e[2].get_type(), VT_EMPTY);
    EXPECT_EQ(e[3].get_type(), VT_EMPTY);
    EXPECT_EQ(e[4].get_type(), VT_EMPTY);
    EXPECT_EQ(e[5].get_type(), VT_EMPTY);
    EXPECT_EQ(e[8].get_type(), VT_EMPTY);
}

TEST(table_recordset, writer_keeps_visual_foxpro_nulls_and_varchar_lengths) {
    scratch_dir dir;
    const std::vector<field> fields = {{"NAME", 'V', 10, 0, dbf_ff_nullable},
                                       {"N", 'N', 4, 0, dbf_ff_nullable},
                                       {"_NullFlags", '0', 1, 0, dbf_ff_system}};
    write_file(dir / "vfp.dbf", make_table(0x32, fields, {}));
    {
        auto table = open_table(dir / "vfp.dbf", 0, dbf_recordset::mode_write);
        udb_record a;
        a.add_field(u"NAME", 10, ole_variant(std::u16string_view(u"ab  ")));
        a.add_field(u"N", 4, ole_variant(int(5)));
        table->append_record(a);
        udb_record b;
        b.add_field(u"NAME", 10, ole_variant());
        b.add_field(u"N", 4, ole_variant());
        table->append_record(b);
    }
    auto table = open_table(dir / "vfp.dbf");
    udb_record& r = fetch(*table);
    EXPECT_EQ(r[0].to_wstring(), u"ab  ");
    EXPECT_EQ(r[1].to_long(), 5);
    table->next();
    EXPECT_EQ(fetch(*table)[0].get_type(), VT_NULL);
    EXPECT_EQ(fetch(*table)[1].get_type(), VT_NULL);
}
