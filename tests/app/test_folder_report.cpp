// tabrix-cli inspect: arguments, the text and JSON reports, failures and exit statuses.
#include "app/cli/folder_report_command.h"
#include "dbf/dbf_database.h"
#include "support/test_support.h"
#include "tk/tk_text.h"
#include "udb/udb_recordset.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

struct result {
    int status;
    std::string out;
    std::string err;
};

result inspect(std::vector<std::string> args) {
    args.insert(args.begin(), "inspect");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    std::ostringstream out, err;
    const int status = inspect_main(int(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

size_t count_lines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

// A folder with one table written by the program's own writer, in UTF-8: the table names no
// code page, and its text tells.
void write_sample(const fs::path& folder) {
    dbf_database db(tk_from_utf8(folder.string()), true, tk_cp_utf8);
    udb_schema schema;
    schema.push_back(t_ftd(6, u"name", VT_BSTR));
    schema.push_back(t_ftd(4, u"qty", VT_I4));
    schema.push_back(t_ftd(0, u"note", VT_BSTR));
    auto table = db.create_table(u"Parts", schema, udb_indexes());
    auto add = [&](std::u16string name, std::u16string qty, std::u16string note) {
        udb_record record;
        record.add_field(u"name", 6, ole_variant::from_wstring(name, VT_BSTR));
        record.add_field(u"qty", 4, ole_variant::from_wstring(qty, VT_I4));
        record.add_field(u"note", 0, ole_variant::from_wstring(note, VT_BSTR));
        table->append_record(record);
    };
    add(u"bolt", u"12", u"say \"hi\"\\\r\n\t\x01 ü € \U0001F600");
    add(u"nut", u"", u"");
    table->finish();
}

} // namespace

TEST(InspectCommand, ArgumentsAreChecked) {
    inspect_options options;
    std::string error;
    EXPECT_TRUE(parse_inspect_args(
        {"dir", "--encoding", "0xC9", "--table", "Orders.DBF", "--limit", "5", "--json"}, options,
        error));
    EXPECT_EQ(options.path, "dir");
    EXPECT_EQ(options.encoding, 0xC9);
    EXPECT_EQ(options.table, "Orders");
    EXPECT_EQ(options.limit, 5u);
    EXPECT_TRUE(options.json);
    EXPECT_TRUE(parse_inspect_args({"--encoding", "101", "dir"}, options, error));
    EXPECT_EQ(options.encoding, 101);
    EXPECT_FALSE(options.limit);

    EXPECT_FALSE(parse_inspect_args({}, options, error));
    EXPECT_FALSE(parse_inspect_args({"dir", "--encoding", "0xFF"}, options, error));
    EXPECT_NE(error.find("1252"), std::string::npos);
    EXPECT_FALSE(parse_inspect_args({"dir", "--limit", "-1"}, options, error));
    EXPECT_FALSE(parse_inspect_args({"dir", "--limit"}, options, error));
    EXPECT_FALSE(parse_inspect_args({"dir", "--frobnicate"}, options, error));
    EXPECT_EQ(error, "unknown option --frobnicate");
    EXPECT_FALSE(parse_inspect_args({"a", "b"}, options, error));

    const result usage = inspect({"--limit", "x", "dir"});
    EXPECT_EQ(usage.status, exit_usage);
    EXPECT_EQ(usage.out, "");
    EXPECT_NE(usage.err.find("usage: tabrix-cli inspect PATH"), std::string::npos);
    const result help = inspect({"--help"});
    EXPECT_EQ(help.status, exit_success);
    EXPECT_EQ(help.out, inspect_usage_text());
}

TEST(InspectCommand, JsonReportIsExact) {
    scratch_dir dir;
    write_sample(dir.path());
    const std::string file = (dir / "parts.dbf").string();
    const std::string memo = (dir / "parts.dbt").string();
    const result r = inspect({dir.path().string(), "--json"});
    EXPECT_EQ(r.status, exit_success);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "{\"tables\":[{\"name\":\"parts\",\"file\":\"" + file +
                  "\",\"version\":\"0x83\",\"codepage\":65001,\"records\":2,\"memo\":\"" + memo +
                  "\",\"fields\":["
                  "{\"name\":\"name\",\"type\":\"C\",\"length\":7,\"decimals\":0,"
                  "\"vt\":\"VT_BSTR\",\"size\":7,\"sqltype\":\"NVARCHAR(7)\"},"
                  "{\"name\":\"qty\",\"type\":\"N\",\"length\":11,\"decimals\":0,"
                  "\"vt\":\"VT_I8\",\"size\":11,\"sqltype\":\"BIGINT\"},"
                  "{\"name\":\"note\",\"type\":\"M\",\"length\":10,\"decimals\":0,"
                  "\"vt\":\"VT_BSTR\",\"size\":0,\"sqltype\":\"NVARCHAR(MAX)\"}],"
                  "\"rows\":["
                  "{\"deleted\":false,\"values\":[\"bolt\",\"12\","
                  "\"say \\\"hi\\\"\\\\\\r\\n\\t\\u0001 \xc3\xbc \xe2\x82\xac \xf0\x9f\x98\x80\"]},"
                  "{\"deleted\":false,\"values\":[\"nut\",null,null]}]}],"
                  "\"failed\":[],\"warnings\":[]}\n");

    // --limit bounds the rows; a table chosen by name, ignoring case; one file as PATH.
    const result one = inspect({file, "--json", "--limit", "1", "--table", "PARTS"});
    EXPECT_EQ(one.status, exit_success);
    std::string first_row = r.out;
    first_row.erase(first_row.find(",{\"deleted\":false,\"values\":[\"nut\",null,null]}"),
                    std::string_view(",{\"deleted\":false,\"values\":[\"nut\",null,null]}").size());
    EXPECT_EQ(one.out, first_row);
}

TEST(InspectCommand, TextReport) {
    scratch_dir dir;
    write_sample(dir.path());
    const result r = inspect({dir.path().string(), "--limit", "5"});
    EXPECT_EQ(r.status, exit_success);
    EXPECT_EQ(r.out,
              "parts  (" + (dir / "parts.dbf").string() +
                  ")\n"
                  "  version    0x83\n"
                  "  code page  65001 (language driver 0x00, None named)\n"
                  "  records    2\n"
                  "  memo       " +
                  (dir / "parts.dbt").string() +
                  "\n"
                  "  fields     3\n"
                  "       #  name                            type  length  decimals  value "
                  "type      size    SQL Server type\n"
                  "       1  name                            C          7         0  VT_BSTR "
                  "        7       NVARCHAR(7)\n"
                  "       2  qty                             N         11         0  VT_I8   "
                  "        11      BIGINT\n"
                  "       3  note                            M         10         0  VT_BSTR "
                  "        0       NVARCHAR(MAX)\n"
                  "  rows 1-2 of 2\n"
                  "         1   bolt | 12 | say \"hi\"\\\\r\\n\\t\\x01 \xc3\xbc \xe2\x82\xac "
                  "\xf0\x9f\x98\x80\n"
                  "         2   nut | NULL | NULL\n");
    // Without --limit the text form shows no records.
    EXPECT_EQ(inspect({dir.path().string()}).out.find("rows"), std::string::npos);
}

TEST(InspectCommand, FailuresGoToStandardErrorWithStatusOne) {
    scratch_dir dir;
    write_file(dir / "good.dbf", std::string("\x03\x01\x01\x01\0\0\0\0\x21\0\x02\0", 12) +
                                     std::string(20, '\0') + "\x0d");
    write_file(dir / "BAD.DBF", "x");
    write_file(dir / "memo.dbf", std::string("\x83\x01\x01\x01\0\0\0\0\x21\0\x02\0", 12) +
                                     std::string(20, '\0') + "\x0d");
    const result r = inspect({dir.path().string(), "--json"});
    EXPECT_EQ(r.status, exit_with_errors);
    EXPECT_NE(r.out.find("\"name\":\"good\""), std::string::npos);
    EXPECT_EQ(r.out.find("\"name\":\"bad\""), std::string::npos);
    EXPECT_NE(r.err.find("BAD.DBF: File does not comply with DBF format"), std::string::npos);
    EXPECT_NE(r.err.find("memo.dbf: Memo file not found"), std::string::npos);

    // The JSON form lists the failures and warnings too.
    EXPECT_NE(r.out.find("\"failed\":[{\"file\":\"" + (dir / "BAD.DBF").string() +
                         "\",\"error\":\"File does not comply with DBF format\"}]"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"warnings\":[{\"file\":\"" + (dir / "memo.dbf").string() +
                         "\",\"warning\":\"" + (dir / "memo.dbf").string() +
                         ": Memo file not found\"}]"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(count_lines(r.err), 2u) << "each once: " << r.err;

    // A name that is not there is a usage error, as for convert.
    const result missing = inspect({(dir / "nothing").string()});
    EXPECT_EQ(missing.status, exit_usage);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos);
    const result no_table = inspect({dir.path().string(), "--table", "other"});
    EXPECT_EQ(no_table.status, exit_usage);
    EXPECT_NE(no_table.err.find("No table named 'other'"), std::string::npos);
}
