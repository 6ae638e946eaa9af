// The shared fixtures: tables written by other software, read and compared with the values
// their authors published (listings, CSV and JSON exports, stated values).
#include "dbf/dbf_exception.h"
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"
#include "support/test_support.h"
#include "test_json.h"
#include "tk/tk_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using dbf_test::json;

namespace {

fs::path fixture(const std::string& relative) {
    return tabrix_test::fixtures_dir() / relative;
}

std::unique_ptr<dbf_recordset> open_fixture(const std::string& relative, uint8_t user_cp = 0) {
    return std::make_unique<dbf_recordset>(fixture(relative).string(), dbf_recordset::mode_read,
                                           user_cp);
}

struct rows {
    std::vector<std::vector<ole_variant>> values;
    std::vector<bool> deleted;
};

rows read_all(dbf_recordset& table) {
    rows out;
    for (table.reset(); !table.is_eof(); table.next()) {
        udb_record* r = table.get_item();
        std::vector<ole_variant> values;
        for (size_t i = 0; i < r->size(); ++i)
            values.push_back((*r)[i]);
        out.values.push_back(std::move(values));
        out.deleted.push_back(r->is_deleted());
    }
    return out;
}

std::string text(const ole_variant& v) {
    return tk_to_utf8(v.to_wstring());
}

bool is_nothing(const ole_variant& v) {
    return v.get_type() == VT_EMPTY || v.get_type() == VT_NULL;
}

bool parse_number(std::string_view s, double& out) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

std::string lf_only(std::string s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
            out += s[i];
    return out;
}

// ---- Listings (*_summary.txt) -------------------------------------------------------------------

struct listing {
    std::string database;
    std::string version;
    std::string encoding;
    bool memo = false;
    int records = -1;
    struct column {
        std::string name;
        char type;
        int length;
        int decimals;
    };
    std::vector<column> columns;
};

listing read_listing(const fs::path& path) {
    listing l;
    std::istringstream in(tabrix_test::read_file(path));
    std::string line;
    bool in_columns = false;
    while (std::getline(in, line)) {
        if (in_columns) {
            std::istringstream cols(line);
            listing::column c;
            std::string type;
            if (cols >> c.name >> type >> c.length >> c.decimals)
                l.columns.push_back({c.name, type[0], c.length, c.decimals});
            continue;
        }
        auto value = [&](const char* key) -> std::string {
            return line.rfind(key, 0) == 0 ? line.substr(std::strlen(key)) : std::string();
        };
        if (line.rfind("------", 0) == 0)
            in_columns = true;
        else if (!value("Database: ").empty())
            l.database = value("Database: ");
        else if (!value("Type: (").empty())
            l.version = value("Type: (").substr(0, 2);
        else if (!value("Encoding: ").empty())
            l.encoding = value("Encoding: ");
        else if (!value("Memo File: ").empty())
            l.memo = value("Memo File: ") == "true";
        else if (!value("Records: ").empty())
            l.records = std::stoi(value("Records: "));
    }
    return l;
}

void expect_listing(const std::string& table_path, const std::string& listing_path,
                    uint8_t user_cp = 0) {
    SCOPED_TRACE(table_path);
    const listing l = read_listing(fixture(listing_path));
    auto table = open_fixture(table_path, user_cp);
    const std::string file_name = fs::path(table_path).filename().string();
    if (l.database == file_name) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02x", table->get_version());
        EXPECT_EQ(l.version, hex);
    }
    EXPECT_EQ(int(table->get_record_count()), l.records);
    EXPECT_EQ(table->get_memo_file() != nullptr, l.memo);
    if (l.encoding == "cp1251") {
        EXPECT_EQ(table->get_codepage(), 1251u);
    }
    const auto& fds = table->get_descriptors();
    ASSERT_EQ(fds.size(), l.columns.size());
    for (size_t i = 0; i < fds.size(); ++i) {
        SCOPED_TRACE(l.columns[i].name);
        if (table->get_codepage() == 0 && tk_ansi_codepage() != tk_cp_utf8)
            continue; // names written in UTF-8 read in another system code page
        EXPECT_EQ(
            tk_to_utf8(dbf_field::column_name(fds[i], dbf_text_codepage(table->get_codepage()))),
            l.columns[i].name);
        EXPECT_EQ(char(fds[i].field_type), l.columns[i].type);
        EXPECT_EQ(int(fds[i].len), l.columns[i].length);
        // The dBASE II listing comes from a reader that ignores the decimal byte of its
        // descriptors.
        if (table->get_version() != 2) {
            EXPECT_EQ(int(fds[i].dec), l.columns[i].decimals);
        }
    }
    // Every record reads.
    EXPECT_EQ(read_all(*table).values.size(), size_t(l.records));
}

// ---- CSV exports ------------------------------------------------------------------------------

std::vector<std::vector<std::string>> read_csv(const std::string& bytes) {
    std::vector<std::vector<std::string>> out(1);
    std::string cell;
    bool quoted = false, any = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (quoted) {
            if (c == '"' && i + 1 < bytes.size() && bytes[i + 1] == '"')
                cell += bytes[++i];
            else if (c == '"')
                quoted = false;
            else
                cell += c;
            continue;
        }
        any = true;
        if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.back().push_back(cell);
            cell.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            out.back().push_back(cell);
            cell.clear();
            out.emplace_back();
            any = false;
        } else {
            cell += c;
        }
    }
    if (any)
        out.back().push_back(cell);
    if (out.back().empty())
        out.pop_back();
    return out;
}

std::string two_digits(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02u", v % 100);
    return b;
}

// One value against an export made through a spreadsheet: dates as dd-mm-yy (hh:mm), the
// empty date as 1899/12/30, logical values as TRUE/FALSE, blank numbers as 0, and numeric
// looking text rewritten as a number.
void expect_exported(const ole_variant& actual, VARTYPE column, const std::string& exported) {
    double want = 0, have = 0;
    if (is_nothing(actual)) {
        const bool numeric = column != VT_BSTR && column != VT_DATE && column != VT_BOOL;
        EXPECT_TRUE(exported.empty() || exported == "1899/12/30" || (numeric && exported == "0"))
            << exported;
        return;
    }
    switch (actual.get_type()) {
    case VT_BOOL:
        EXPECT_EQ(exported, actual.to_bool() ? "TRUE" : "FALSE");
        return;
    case VT_DATE: {
        SYSTEMTIME st{};
        actual.get_system_time(st);
        std::string date =
            two_digits(st.wDay) + "-" + two_digits(st.wMonth) + "-" + two_digits(st.wYear);
        if (column == VT_DATE && (st.wHour || st.wMinute || st.wSecond) &&
            exported.size() > date.size())
            date += " " + two_digits(st.wHour) + ":" + two_digits(st.wMinute);
        // Dates before 1900 come as yyyy/mm/dd.
        char before_1900[32];
        std::snprintf(before_1900, sizeof before_1900, "%04u/%02u/%02u", unsigned(st.wYear),
                      unsigned(st.wMonth), unsigned(st.wDay));
        if (exported != before_1900) {
            EXPECT_EQ(exported, date);
        }
        return;
    }
    case VT_BSTR: {
        std::string mine = lf_only(text(actual));
        if (mine == exported)
            return;
        // Date-looking text the spreadsheet rewrote ("03/01/1999" as "03-01-99").
        if (mine.size() == 10 && mine[2] == '/' && mine[5] == '/')
            mine = mine.substr(0, 2) + "-" + mine.substr(3, 2) + "-" + mine.substr(8, 2);
        if (mine == exported)
            return;
        // Numeric text the spreadsheet rewrote ("19990000100001" as "1.999E+13").
        if (parse_number(mine, have) && parse_number(exported, want)) {
            EXPECT_NEAR(have, want, 1e-3 * std::max(1.0, std::fabs(want))) << exported;
            return;
        }
        EXPECT_EQ(mine, exported);
        return;
    }
    default:
        ASSERT_TRUE(parse_number(exported, want)) << exported;
        EXPECT_NEAR(actual.to_double(), want, 1e-9 * std::max(1.0, std::fabs(want)));
    }
}

void expect_csv(const std::string& table_path, const std::string& csv_path, uint8_t user_cp = 0) {
    SCOPED_TRACE(table_path);
    auto table = open_fixture(table_path, user_cp);
    const rows all = read_all(*table);
    // The export holds the table's bytes: it is read in the table's code page.
    std::u16string wide;
    dbf_text_codepage(table->get_codepage())
        .decode(tabrix_test::read_file(fixture(csv_path)), wide);
    const auto csv = read_csv(tk_to_utf8(wide));
    ASSERT_FALSE(csv.empty());
    const udb_schema& schema = table->get_schema();
    ASSERT_EQ(csv[0].size(), schema.size());
    for (size_t c = 0; c < schema.size(); ++c)
        EXPECT_EQ(csv[0][c], tk_to_utf8(schema[c].name));
    ASSERT_EQ(csv.size() - 1, all.values.size());
    for (size_t r = 0; r < all.values.size(); ++r) {
        ASSERT_EQ(csv[r + 1].size(), schema.size()) << "row " << r;
        for (size_t c = 0; c < schema.size(); ++c) {
            SCOPED_TRACE("row " + std::to_string(r) + " column " + csv[0][c]);
            expect_exported(all.values[r][c], schema[c].vartype, csv[r + 1][c]);
        }
    }
}

json read_json(const fs::path& path) {
    std::optional<json> doc = dbf_test::parse_json(tabrix_test::read_file(path));
    EXPECT_TRUE(doc.has_value()) << path;
    return doc.value_or(json());
}

} // namespace

// ---- Listings, records and exports ------------------------------------------------------------

TEST(fixtures_tables, listings_of_every_table) {
    TABRIX_REQUIRE_FIXTURES();
    const std::string infused = tabrix_test::infused_dbf + "/";
    for (const char* name : {"cp1251", "dbase_02", "dbase_03", "dbase_03_cyrillic", "dbase_30",
                             "dbase_31", "dbase_32", "dbase_83", "dbase_8b", "dbase_f5"})
        expect_listing(infused + name + ".dbf", infused + name + "_summary.txt");
    const std::string yellow = "yellowfeather-DbfDataReader/test/fixtures/";
    for (const char* name : {"client", "dbase_03_nullchar", "foxpro_currency_01"})
        expect_listing(yellow + name + ".dbf", yellow + name + "_summary.txt");
}

TEST(fixtures_tables, csv_exports) {
    TABRIX_REQUIRE_FIXTURES();
    const std::string henck = "henck-dBASE.NET/dBASE.NET.Tests/fixtures/";
    const std::string infused = tabrix_test::infused_dbf + "/";
    expect_csv(infused + "dbase_30.dbf", henck + "30/dbase_30.csv");
    expect_csv(infused + "dbase_31.dbf", henck + "31/dbase_31.csv");
    // Written by FoxPro for DOS without a language driver: its text is code page 437.
    expect_csv(infused + "dbase_f5.dbf", henck + "f5/dbase_f5.csv", 0x01);
    const std::string yellow = "yellowfeather-DbfDataReader/test/fixtures/";
    for (const char* name : {"client", "dbase_03_nullchar", "foxpro_currency_01"})
        expect_csv(yellow + name + ".dbf", yellow + name + ".csv");
}

TEST(fixtures_tables, json_exports) {
    TABRIX_REQUIRE_FIXTURES();
    const json expected = read_json(
        fixture("valentin-kaiser-go-dbase/examples/database/export/EXPENSE_REPORTS.json"));
    auto table = open_fixture("valentin-kaiser-go-dbase/examples/test_data/database/"
                              "expense reports.dbf");
    const rows all = read_all(*table);
    const json* data = expected.get("Data");
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(all.values.size(), data->items.size());
    EXPECT_EQ(expected.get("Columns")->d, double(table->get_schema().size()));
    const udb_schema& schema = table->get_schema();
    for (size_t r = 0; r < all.values.size(); ++r) {
        for (size_t c = 0; c < schema.size(); ++c) {
            const std::string name = tk_to_utf8(schema[c].name);
            SCOPED_TRACE(name);
            const json* p = data->items[r].get(name);
            ASSERT_NE(p, nullptr);
            const ole_variant& v = all.values[r][c];
            switch (p->kind) {
            case json::boolean:
                EXPECT_EQ(v.to_bool(), p->b);
                break;
            case json::number:
                EXPECT_DOUBLE_EQ(v.to_double(), p->d);
                break;
            default:
                if (schema[c].vartype == VT_DATE) {
                    // "1995-03-01T00:00:00Z"
                    EXPECT_EQ(text(v), p->s.substr(0, 10));
                } else {
                    EXPECT_EQ(text(v), p->s);
                }
            }
        }
    }
}

// ---- Values stated by the source projects -----------------------------------------------------

TEST(fixtures_tables, dbase7_tables) {
    TABRIX_REQUIRE_FIXTURES();
    auto table = open_fixture("luads-php-xbase/tests/Resources/dBase/dBaseVII.dbf");
    EXPECT_EQ(table->get_version(), 0x8C);
    EXPECT_EQ(table->get_header().data_offset, 645u);
    EXPECT_EQ(table->get_header().rec_size, 126);
    EXPECT_EQ(table->get_record_count(), 3u);
    const auto& fds = table->get_descriptors();
    ASSERT_EQ(fds.size(), 12u);
    const struct {
        const char* name;
        char type;
        int length;
        uint32_t offset;
    } columns[] = {{"NAME", 'C', 20, 1},     {"BIRTHDAY", 'D', 8, 21}, {"IS_MAN", 'L', 1, 29},
                   {"BIO", 'M', 10, 30},     {"MONEY", 'N', 20, 40},   {"IMAGE", 'M', 10, 60},
                   {"AUTO_INC", '+', 4, 70}, {"INTEGER", 'I', 4, 74},  {"LARGE_INT", 'N', 20, 78},
                   {"DATETIME", '@', 8, 98}, {"BLOB", 'B', 10, 106},   {"DBASE_OLE", 'G', 10, 116}};
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(fds[i].name_view(), columns[i].name);
        EXPECT_EQ(char(fds[i].field_type), columns[i].type);
        EXPECT_EQ(fds[i].len, columns[i].length);
        EXPECT_EQ(fds[i].offset, columns[i].offset);
    }
    EXPECT_EQ(fds[4].dec, 4);
    const udb_schema& schema = table->get_schema();
    EXPECT_EQ(schema[6].vartype, VT_I4);
    EXPECT_TRUE(schema[6].b_auto_num);
    EXPECT_EQ(schema[7].vartype, VT_I4);
    EXPECT_EQ(schema[9].vartype, VT_DATE);
    EXPECT_EQ(schema[10].vartype, VT_BLOB);

    const rows all = read_all(*table);
    const int auto_inc[] = {0, 1, 2}, integer[] = {1, 2, 3}, large[] = {4, 5, 6};
    const char* stamps[] = {"1800-01-01 01:01:01", "1970-01-01", "2020-02-20 20:20:20"};
    for (size_t r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(all.values[r][6].to_long(), auto_inc[r]);
        EXPECT_EQ(all.values[r][7].to_long(), integer[r]);
        EXPECT_EQ(all.values[r][8].to_double(), large[r]);
        EXPECT_EQ(all.values[r][9].to_string(), stamps[r]);
        EXPECT_TRUE(is_nothing(all.values[r][11]));
    }
    EXPECT_EQ(all.values[0][0].to_wstring(), u"Groot");
    EXPECT_EQ(all.values[0][10].to_string(), "0x717765"); // 'qwe'
    // The image of record 1 (memo block 0x3F) is read in the memo file tests.
    ASSERT_NE(table->get_memo_file(), nullptr);
    EXPECT_EQ(table->get_memo_kind(), dbf_memo_dbase4);

    table = open_fixture("luads-php-xbase/tests/Resources/dBase/dBaseVII_ts.dbf");
    EXPECT_EQ(table->get_version(), 0x04);
    const rows ts = read_all(*table);
    ASSERT_EQ(ts.values.size(), 15u);
    std::vector<std::string> live;
    for (size_t r = 0; r < ts.values.size(); ++r)
        if (!ts.deleted[r])
            live.push_back(ts.values[r][0].to_string());
    EXPECT_EQ(live, (std::vector<std::string>{"1900-01-01", "1900-01-02", "1900-01-03",
                                              "2000-01-01", "2000-01-02", "2000-01-03",
                                              "2000-01-04", "2000-01-05", "2000-01-10"}));
}

TEST(fixtures_tables, visual_foxpro_tables) {
    TABRIX_REQUIRE_FIXTURES();
    auto table = open_fixture("olemb-dbfread/tests/cases/memotest.dbf");
    rows all = read_all(*table);
    ASSERT_EQ(all.values.size(), 3u);
    const char* names[] = {"Alice", "Bob", "Deleted Guy"};
    const char* births[] = {"1987-03-01", "1980-11-12", "1979-12-22"};
    const char* memos[] = {"Alice memo", "Bob memo", "Deleted Guy memo"};
    for (size_t r = 0; r < 3; ++r) {
        EXPECT_EQ(text(all.values[r][0]), names[r]);
        EXPECT_EQ(all.values[r][1].to_string(), births[r]);
        EXPECT_EQ(text(all.values[r][2]), memos[r]);
        EXPECT_EQ(all.deleted[r], r == 2);
    }
    // The same bytes without the memo file: the table opens, the memo fields have no value.
    table = open_fixture("olemb-dbfread/tests/cases/no_memofile.dbf");
    EXPECT_TRUE(table->is_memo_missing());
    all = read_all(*table);
    ASSERT_EQ(all.values.size(), 3u);
    EXPECT_EQ(text(all.values[1][0]), "Bob");
    EXPECT_TRUE(is_nothing(all.values[1][2]));

    // Varchar with its length in the last byte; _NullFlags is no column.
    table = open_fixture(tabrix_test::infused_dbf + "/dbase_32.dbf");
    ASSERT_EQ(table->get_schema().size(), 1u);
    EXPECT_EQ(text(read_all(*table).values[0][0]), "Bad Meets Evil");

    table = open_fixture(tabrix_test::infused_dbf + "/dbase_31.dbf");
    EXPECT_EQ(table->get_schema().size(), 10u);
    EXPECT_TRUE(table->get_schema()[0].b_auto_num);

    table = open_fixture(tabrix_test::infused_dbf + "/mazovia.dbf");
    EXPECT_EQ(table->get_codepage(), 620u);
    all = read_all(*table);
    ASSERT_EQ(all.values.size(), 2u);
    EXPECT_EQ(all.values[0][1].to_wstring(), u"English");
    EXPECT_EQ(all.values[1][1].to_wstring(), u"Ś╫êëτ⌡ś");
    EXPECT_FALSE(all.deleted[0]); // deletion byte 0x00

    table = open_fixture(tabrix_test::infused_dbf + "/cp1251.dbf");
    EXPECT_EQ(read_all(*table).values[0][1].to_wstring(), u"амбулаторно-поликлиническое");

    // The database container and a table of it, with its memo file in upper case.
    table = open_fixture(tabrix_test::infused_dbf + "/foxprodb/FOXPRO-DB-TEST.DBC");
    EXPECT_EQ(table->get_memo_kind(), dbf_memo_dbc);
    all = read_all(*table);
    EXPECT_EQ(all.values.size(), 58u);
    std::vector<std::string> tables;
    for (const auto& row : all.values)
        if (text(row[2]) == "Table")
            tables.push_back(text(row[3]));
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(tables, (std::vector<std::string>{"calls", "contacts", "setup", "types"}));

    table = open_fixture(tabrix_test::infused_dbf + "/foxprodb/contacts.dbf");
    ASSERT_NE(table->get_memo_file(), nullptr);
    all = read_all(*table);
    ASSERT_EQ(all.values.size(), 5u);
    const int spouses = table->get_schema().get_field_idx(u"SPOUSES_IN");
    ASSERT_GE(spouses, 0);
    EXPECT_EQ(text(all.values[1][size_t(spouses)]), "Tennis, golf");
}

TEST(fixtures_tables, dbase3_tables) {
    TABRIX_REQUIRE_FIXTURES();
    auto table = open_fixture("dans-dbf-lib/src/test/resources/dbase3plus/cars_del2/cars.dbf");
    rows all = read_all(*table);
    ASSERT_EQ(all.values.size(), 4u);
    EXPECT_EQ(std::count(all.deleted.begin(), all.deleted.end(), true), 4);

    table = open_fixture("albfernandez-javadbf/src/test/resources/"
                         "bug-77-no-header-record-terminator/"
                         "continents_no_header_record_terminator.dbf");
    ASSERT_EQ(table->get_schema().size(), 1u);
    EXPECT_EQ(table->get_schema()[0].name, u"name");
    EXPECT_EQ(table->get_schema()[0].size, 80u);
    std::vector<std::string> names;
    for (const auto& row : read_all(*table).values)
        names.push_back(text(row[0]));
    EXPECT_EQ(names, (std::vector<std::string>{"North America", "South America", "Africa",
                                               "Australia", "Asia", "Europe", "Antarctica"}));

    table = open_fixture(tabrix_test::infused_dbf + "/dbase_02.dbf");
    all = read_all(*table);
    ASSERT_EQ(all.values.size(), 9u);
    EXPECT_EQ(all.values[0][0].to_long(), 2);
    EXPECT_EQ(text(all.values[0][1]), "Stegman");
    EXPECT_EQ(text(all.values[0][8]), "07/31/82");
    EXPECT_EQ(all.values[4][12].to_string(), "3838.383");
}

TEST(fixtures_tables, damaged_tables) {
    TABRIX_REQUIRE_FIXTURES();
    // A memo pointer past the end of the memo file: that memo has no value, the rest reads.
    auto table =
        open_fixture("dans-dbf-lib/src/test/resources/dbase3plus/fileExceptions/PNTRERR.DBF");
    const rows all = read_all(*table);
    ASSERT_EQ(all.values.size(), 4u);
    EXPECT_EQ(text(all.values[0][0]), "One character memo");
    EXPECT_TRUE(is_nothing(all.values[0][1]));
    EXPECT_TRUE(is_nothing(all.values[1][1]));
    EXPECT_EQ(text(all.values[3][1]).substr(0, 10), "1234567890");
}

TEST(fixtures_tables, every_table_file_reads_to_its_end) {
    TABRIX_REQUIRE_FIXTURES();
    size_t tables = 0;
    for (const auto& entry : fs::recursive_directory_iterator(tabrix_test::fixtures_dir())) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (!entry.is_regular_file() || (ext != ".dbf" && ext != ".dbc"))
            continue;
        SCOPED_TRACE(entry.path().string());
        if (entry.file_size() < 32) {
            EXPECT_THROW(dbf_recordset(entry.path().string(), dbf_recordset::mode_read),
                         dbf_exception);
            continue;
        }
        dbf_recordset table(entry.path().string(), dbf_recordset::mode_read);
        size_t n = 0;
        for (table.reset(); !table.is_eof(); table.next(), ++n)
            ASSERT_EQ(table.get_item()->size(), table.get_schema().size());
        EXPECT_EQ(n, table.get_record_count());
        ++tables;
    }
    EXPECT_GE(tables, 29u);
}
