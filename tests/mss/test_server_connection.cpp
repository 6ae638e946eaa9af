// What the server destination decides without a server: connection strings, the driver, the
// server's address, the texts of server errors and the columns of a new table.
#include "mss/mss_connection_string.h"
#include "mss/mss_server_errors.h"
#include "mss/mss_table_definition.h"
#include "odb/odb_exception.h"
#include "ole/ole_types.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

mss_connection_settings login_settings() {
    mss_connection_settings s;
    s.host = u"db1\\SALES,1444";
    s.login = u"bob";
    s.password = u"p;PORT=1}x";
    return s;
}

std::string what_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const tk_exception& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(MssConnectionString, EveryValueStaysInsideItsBraces) {
    EXPECT_EQ(mss_odbc_braced(u"a;b=c"), u"{a;b=c}");
    EXPECT_EQ(mss_odbc_braced(u"a}b}"), u"{a}}b}}}");

    const mss_driver microsoft{u"ODBC Driver 18 for SQL Server", true, false};
    mss_connection_settings s = login_settings();
    s.trust_server_certificate = true;
    s.encrypt = mss_connection_settings::encryption::on;
    EXPECT_EQ(mss_build_connection_string(s, microsoft, u"My;Db"),
              u"Driver={ODBC Driver 18 for SQL Server};Server={db1\\SALES,1444};UID={bob};"
              u"PWD={p;PORT=1}}x};Database={My;Db};Encrypt=yes;TrustServerCertificate=yes;"
              u"APP={Tabrix};");

    // Integrated authentication sends no login; no database, no Database key.
    s.integrated = true;
    const std::u16string integrated = mss_build_connection_string(s, microsoft, u"");
    EXPECT_NE(integrated.find(u"Trusted_Connection=yes;"), std::u16string::npos);
    EXPECT_EQ(integrated.find(u"UID="), std::u16string::npos);
    EXPECT_EQ(integrated.find(u"Database="), std::u16string::npos);
}

TEST(MssConnectionString, FreeTdsGetsPortAndProtocolAndRefusesClosingBraces) {
    const mss_driver freetds{std::u16string(mss_freetds_library), false, true};
    mss_connection_settings s = login_settings();
    s.password = u"p;w";
    EXPECT_EQ(mss_build_connection_string(s, freetds, u"d"),
              u"Driver={/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so};Server={db1\\SALES};"
              u"Port={1444};TDS_Version=7.4;ClientCharset=UTF-8;UID={bob};PWD={p;w};"
              u"Database={d};APP={Tabrix};");
    s.password = u"p}w";
    EXPECT_NE(what_of([&] {
                  mss_build_connection_string(s, freetds, u"d");
              }).find("The password holds a '}'"),
              std::string::npos);
    s.password = u"pw";
    EXPECT_NE(
        what_of([&] { mss_build_connection_string(s, freetds, u"a}b"); }).find("database name"),
        std::string::npos);
}

TEST(MssConnectionString, WholeConnectionStringIsTakenAsItStands) {
    mss_connection_settings s;
    s.connection_string = u"Driver={FreeTDS};Server=h;Port=5;UID=u;PWD={a}}b}";
    const mss_driver driver = mss_choose_driver(s, {}, false);
    EXPECT_EQ(driver.name, u"FreeTDS");
    EXPECT_TRUE(driver.freetds);
    EXPECT_EQ(mss_build_connection_string(s, driver, u"db"),
              u"Driver={FreeTDS};Server=h;Port=5;UID=u;PWD={a}}b};Database={db};");
}

TEST(MssConnectionString, ServerAddresses) {
    const mss_server_address a = mss_parse_server_address(u"host\\INST,1433");
    EXPECT_EQ(a.host, u"host");
    EXPECT_EQ(a.instance, u"INST");
    EXPECT_EQ(a.port, u"1433");
    EXPECT_EQ(mss_parse_server_address(u"host").port, u"");
    for (std::u16string_view bad : {u"", u",1433", u"h,0", u"h,65536", u"h,x1", u"h,"})
        EXPECT_THROW(mss_parse_server_address(bad), tk_exception) << tk_to_utf8(bad);
}

TEST(MssConnectionString, DriverChoiceOrder) {
    const mss_connection_settings s;
    EXPECT_EQ(mss_choose_driver(
                  s,
                  {u"FreeTDS", u"ODBC Driver 17 for SQL Server", u"ODBC Driver 18 for SQL Server"},
                  true)
                  .name,
              u"ODBC Driver 18 for SQL Server");
    const mss_driver d17 =
        mss_choose_driver(s, {u"FreeTDS", u"ODBC Driver 17 for SQL Server"}, true);
    EXPECT_EQ(d17.name, u"ODBC Driver 17 for SQL Server");
    EXPECT_TRUE(d17.native);
    EXPECT_EQ(mss_choose_driver(s, {u"PostgreSQL", u"freetds"}, false).name, u"freetds");
    const mss_driver library = mss_choose_driver(s, {u"PostgreSQL"}, true);
    EXPECT_EQ(library.name, mss_freetds_library);
    EXPECT_TRUE(library.freetds);
    EXPECT_FALSE(library.native);
    EXPECT_THROW(mss_choose_driver(s, {u"PostgreSQL"}, false), tk_exception);
    mss_connection_settings named;
    named.driver = u"ODBC Driver 17 for SQL Server";
    EXPECT_TRUE(mss_choose_driver(named, {}, false).native);
}

TEST(MssServerErrors, ProductMessagesByNumberAndTheServersTextOtherwise) {
    const odb_exception login("SQLDriverConnectW",
                              {{"28000", 18456, "Login failed for user 'sa'."}});
    EXPECT_EQ(mss_server_message(login), "Invalid user name or password.");

    // The informational record before the error is passed over.
    const odb_exception duplicate("SQLExecDirectW",
                                  {{"01000", 5701, "Changed database context to 'x'."},
                                   {"23000", 2627, "Violation of PRIMARY KEY constraint 'PK_t'."},
                                   {"01000", 3621, "The statement has been terminated."}});
    EXPECT_EQ(duplicate.native_error(), 2627);
    EXPECT_EQ(mss_server_message(duplicate),
              "The specified record violates the integrity constraints.\nSee 'Troubleshooting' "
              "article of the product documentation\nfor solution.\n(Violation of PRIMARY KEY "
              "constraint 'PK_t'.)");

    const odb_exception other("SQLExecDirectW", {{"42000", 1105, "Could not allocate space."}});
    EXPECT_EQ(mss_server_message(other), "Could not allocate space.");
    const odb_exception empty("SQLFetch", {});
    EXPECT_EQ(std::string(empty.what()), "SQLFetch failed without a diagnostic");

    const odb_exception lost("SQLExecDirectW", {{"08S01", 0, "Communication link failure"}});
    EXPECT_TRUE(lost.connection_lost());
    EXPECT_FALSE(other.connection_lost());

    const odb_exception certificate(
        "SQLDriverConnectW",
        {{"08001", -1, "SSL Provider: certificate verify failed: self-signed certificate"}});
    EXPECT_NE(mss_connect_message(certificate).find("--trust-server-certificate"),
              std::string::npos);

    EXPECT_EQ(odb_strip_vendor_prefix("[unixODBC][FreeTDS][SQL Server]Login failed.\r\n"),
              "Login failed.");
}

TEST(MssTableDefinition, KeyTextColumnsCompareCaseSensitivelyAndAreNotNull) {
    udb_schema schema;
    schema.push_back(t_ftd(10, u"CODE", VT_BSTR));
    schema.push_back(t_ftd(40, u"NAME", VT_BSTR));
    schema.push_back(t_ftd(4, u"QTY", VT_I4));
    udb_index key;
    key.name = u"PK";
    key.b_primary = true;
    key.b_unique = true;
    key.fields = {u"CODE", u"QTY"};
    udb_indexes indexes;
    indexes.push_back(key);
    ASSERT_EQ(mss_primary_key(indexes), &indexes[0]);

    const mss_column_definitions server = mss_define_columns(schema, &indexes[0], true, true);
    EXPECT_EQ(server.text, u"\t[CODE] NVARCHAR(10) COLLATE Latin1_General_CS_AS NOT NULL,\r\n"
                           u"\t[NAME] NVARCHAR(40) ,\r\n"
                           u"\t[QTY] INT NOT NULL");
    EXPECT_FALSE(server.identity);
    const mss_column_definitions script = mss_define_columns(schema, &indexes[0], true, false);
    EXPECT_EQ(script.text.find(u"COLLATE"), std::u16string::npos);
}
