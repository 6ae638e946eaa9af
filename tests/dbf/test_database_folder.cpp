// A folder of tables: listing with names of any case, opening by real names, creating and
// deleting tables.
#include "dbf/dbf_database.h"
#include "dbf/dbf_file_lookup.h"
#include "dbf/dbf_recordset.h"
#include "support/test_support.h"
#include "test_table_builder.h"
#include "tk/tk_files.h"
#include "tk/tk_text.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using tabrix_test::read_file;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

std::u16string wide(const fs::path& path) {
    return tk_from_utf8(path.string());
}

// A table with one C(5) column and the given values.
std::string small_table(std::initializer_list<std::string_view> values) {
    std::vector<std::string> records;
    for (std::string_view v : values)
        records.push_back(dbf_test::record({dbf_test::left(v, 5)}));
    return dbf_test::make_table(0x03, {{"NAME", 'C', 5}}, records);
}

std::vector<std::u16string> sorted(std::vector<std::u16string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::u16string first_value(udb_recordset& table) {
    table.reset();
    udb_record* record = table.get_item();
    return record ? (*record)[0].to_wstring() : u"(none)";
}

} // namespace

TEST(DatabaseFolder, TablesAreListedLowerCaseAndOpenedByTheirRealNames) {
    scratch_dir dir;
    write_file(dir / "Orders.DBF", small_table({"ord"}));
    write_file(dir / "items.dbf", small_table({"itm"}));
    write_file(dir / "expense reports.Dbf", small_table({"exp"}));
    write_file(dir / "notes.txt", "not a table");
    write_file(dir / "orders.dbf.bak", "");
    fs::create_directory(dir / "folder.dbf");

    dbf_database db(wide(dir.path()));
    EXPECT_EQ(sorted(db.get_table_names()),
              (std::vector<std::u16string>{u"expense reports", u"items", u"orders"}));
    EXPECT_TRUE(db.is_table_exist(u"orders"));
    EXPECT_FALSE(db.is_table_exist(u"Orders")); // compared exactly, as the driver asks

    EXPECT_EQ(db.get_table_path(u"orders"), (dir / "Orders.DBF").string());
    EXPECT_EQ(db.get_table_path(u"ORDERS"), (dir / "Orders.DBF").string());
    EXPECT_EQ(db.get_table_path(u"missing"), "");
    auto orders = db.get_table(u"orders", dbf_database::mode_read);
    EXPECT_EQ(first_value(*orders), u"ord");
    EXPECT_EQ(first_value(*db.get_table(u"expense reports", dbf_database::mode_read)), u"exp");

    // Gone since the listing: that table fails, as an ordinary error.
    fs::remove(dir / "items.dbf");
    try {
        db.get_table(u"items", dbf_database::mode_read);
        FAIL() << "a missing table opened";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::recoverable);
    }
}

TEST(DatabaseFolder, FullNamesAndFolders) {
    scratch_dir dir;
    dbf_database db(wide(dir.path()) + u"/");
    const std::u16string folder = wide(dir.path());
    EXPECT_EQ(db.get_full_table_name(u"Orders"), folder + u"/orders.dbf");
    EXPECT_EQ(db.get_full_table_name(u"orders.dbt"), folder + u"/orders.dbt");
    EXPECT_EQ(db.get_full_table_name(u"ORDERS.DBF"), folder + u"/orders.dbf");
    EXPECT_EQ(db.get_full_table_name(u"a.b"), folder + u"/a.b.dbf");
    EXPECT_TRUE(db.get_table_names().empty());
    {
        // An empty folder is the current one.
        write_file(dir / "here.dbf", small_table({"h"}));
        tk_temp_chdir inside(dir.path().string());
        dbf_database current(u"");
        EXPECT_EQ(current.get_table_names(), std::vector<std::u16string>{u"here"});
        EXPECT_EQ(current.get_full_table_name(u"here"), u"./here.dbf");
        EXPECT_EQ(first_value(*current.get_table(u"here", dbf_database::mode_read)), u"h");
    }

    try {
        dbf_database missing(folder + u"/no such folder");
        FAIL() << "a missing folder was listed";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::stop_run);
        EXPECT_EQ(
            e.message(),
            "Path to DBF database does not exist.\nPlease verify the correct path was given.");
    }
}

TEST(DatabaseFolder, DeletingATableRemovesItsMemoFilesOfAnyCase) {
    scratch_dir dir;
    write_file(dir / "ORDERS.DBF", small_table({"a"}));
    write_file(dir / "orders.FPT", "memo");
    write_file(dir / "Orders.dbt", "memo");
    write_file(dir / "orders.cdx", "index");
    write_file(dir / "items.dbf", small_table({"b"}));

    dbf_database db(wide(dir.path()));
    EXPECT_FALSE(db.delete_tab(u""));
    EXPECT_TRUE(db.delete_tab(u"orders"));
    EXPECT_FALSE(fs::exists(dir / "ORDERS.DBF"));
    EXPECT_FALSE(fs::exists(dir / "orders.FPT"));
    EXPECT_FALSE(fs::exists(dir / "Orders.dbt"));
    EXPECT_TRUE(fs::exists(dir / "orders.cdx")); // index files are not the table's memo
    EXPECT_EQ(db.get_table_names(), std::vector<std::u16string>{u"items"});

    // The file is gone already: the system's error.
    EXPECT_THROW(db.delete_tab(u"orders"), tk_exception_ex);
}

TEST(DatabaseFolder, CreatedTablesHaveTheLayoutTheirColumnsAsk) {
    scratch_dir dir;
    dbf_database db(wide(dir.path()));

    udb_schema plain;
    plain.push_back(t_ftd(20, u"name", VT_BSTR));
    plain.push_back(t_ftd(4, u"count", VT_I4));
    auto table = db.create_table(u"Plain", plain, udb_indexes());
    ASSERT_TRUE(table);
    table = nullptr;
    // dBASE III without a memo file; a text of 20 characters takes 21 bytes.
    std::string image = read_file(dir / "plain.dbf");
    ASSERT_GE(image.size(), 97u);
    EXPECT_EQ(uint8_t(image[0]), 0x03);
    EXPECT_EQ(image[32 + 16], 21);
    EXPECT_FALSE(fs::exists(dir / "plain.dbt"));

    // Unacceptable and colliding field names are replaced; memo columns bring a memo file.
    udb_schema memo;
    memo.push_back(t_ftd(0, u"1st note", VT_BSTR));
    memo.push_back(t_ftd(10, u"a_very_long_name", VT_BSTR));
    memo.push_back(t_ftd(10, u"a_very_lon", VT_I2));
    auto notes = db.create_table(u"notes", memo, udb_indexes());
    notes = nullptr;
    image = read_file(dir / "notes.dbf");
    EXPECT_EQ(uint8_t(image[0]), 0x83);
    EXPECT_EQ(image.substr(32, 10), std::string("A1st_note\0", 10));
    EXPECT_EQ(image.substr(64, 10), "a_very_000");
    EXPECT_EQ(image.substr(96, 10), "a_very_lon");
    const std::string memo_image = read_file(dir / "notes.dbt");
    ASSERT_EQ(memo_image.size(), 512u);
    EXPECT_EQ(memo_image[0], 1);

    // An existing table is opened, never emptied, whatever the case of the name asked for.
    write_file(dir / "KEEP.DBF", small_table({"kept"}));
    auto kept = db.create_table(u"Keep", plain, udb_indexes());
    EXPECT_EQ(first_value(*kept), u"kept");
}

TEST(DatabaseFolder, FileNamesAndExtensions) {
    EXPECT_EQ(dbf_replace_extension("/a.b/name", "fpt"), "/a.b/name.fpt");
    EXPECT_EQ(dbf_replace_extension("/x/Orders.DBF", "fpt"), "/x/Orders.fpt");
    EXPECT_TRUE(dbf_same_file_name("ÄPFEL.DBF", "äpfel.dbf"));
    EXPECT_FALSE(dbf_same_file_name("a.dbf", "b.dbf"));
}
