// The ODBC layer without a server: the driver manager's own failures arrive as odb_exception
// with their SQLSTATE and text.
#include "odb/odb_connection.h"
#include "odb/odb_environment.h"
#include "odb/odb_exception.h"

#include <gtest/gtest.h>

TEST(OdbConnection, AMissingDriverIsAnExceptionWithItsDiagnostic) {
    odb_environment environment;
    try {
        odb_connection connection(environment, u"Driver={No Such Driver 42};Server=x;", 1);
        FAIL() << "connected through a driver that does not exist";
    } catch (const odb_exception& e) {
        ASSERT_FALSE(e.diagnostics().empty());
        // The driver manager's own answer ("Can't open lib ...", or IM002 where the name is
        // looked up in odbcinst.ini first) names the driver.
        EXPECT_NE(e.server_text().find("No Such Driver 42"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find('['), std::string::npos)
            << "the vendor prefixes are taken off: " << e.what();
        EXPECT_FALSE(e.connection_lost());
    }
}

TEST(OdbConnection, AServerThatDoesNotAnswerIsAConnectionFailure) {
    odb_environment environment;
    // FreeTDS by its library path: no registration needed.
    try {
        odb_connection connection(environment,
                                  u"Driver={/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so};"
                                  u"Server={127.0.0.1};Port={1};UID={sa};PWD={x};"
                                  u"TDS_Version=7.4;",
                                  2);
        FAIL() << "connected to port 1";
    } catch (const odb_exception& e) {
        if (e.sqlstate() == "01000" || e.sqlstate() == "IM002")
            GTEST_SKIP() << "FreeTDS is not installed: " << e.what();
        EXPECT_TRUE(e.connection_lost()) << e.sqlstate() << " " << e.what();
    }
}
