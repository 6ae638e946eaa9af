// The bcp glue through the driver manager and a stand-in driver (bcp_stub_driver.c): the
// manager loads the driver, odb_bcp_api finds the functions its library exports and calls them
// with the driver's own connection handle, text bound as UTF-16; the stand-in writes down
// every call and every row as the bound buffers hold it when the row is sent.
#include "odb/odb_bcp_api.h"
#include "odb/odb_bulk_copy.h"
#include "odb/odb_connection.h"
#include "odb/odb_environment.h"
#include "odb/odb_exception.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

using kind = odb_bulk_copy::kind;

// The stand-in's own functions, from the library the manager loaded.
struct stub {
    void* library = dlopen(TABRIX_BCP_STUB, RTLD_NOW | RTLD_NOLOAD);
    ~stub() {
        if (library != nullptr)
            dlclose(library);
    }
    template <typename F> F function(const char* name) const {
        return reinterpret_cast<F>(dlsym(library, name));
    }
    std::string log() const { return function<const char* (*)()>("stub_bcp_log")(); }
    void clear_log() const { function<void (*)()>("stub_bcp_clear_log")(); }
    void fail_next_batch() const { function<void (*)()>("stub_bcp_fail_next_batch")(); }
};

} // namespace

TEST(OdbBcpApi, TheFunctionsADriverExportsGetItsOwnHandleAndEveryRow) {
    odb_environment environment;
    odb_connection connection(environment, u"Driver={" TABRIX_BCP_STUB "};", 0, true);
    ASSERT_TRUE(connection.bulk_copy()) << connection.bulk_copy_note();
    EXPECT_EQ(connection.bcp()->way(), odb_bcp_api::route::driver_exports);
    const stub driver;
    ASSERT_NE(driver.library, nullptr) << "the stand-in is not loaded: " << dlerror();
    driver.clear_log();
    {
        odb_bulk_copy copy(connection, u"[dbo].[Tabell\u00e9]",
                           {kind::text, kind::binary, kind::datetime}, true);
        copy.set_bytes(0, "caf\xc3\xa9\xf0\x9f\x98\x80"); // café and U+1F600
        copy.set_bytes(1, std::string_view("\x00\xff", 2));
        copy.set_datetime(2, 36524, 300);
        ASSERT_TRUE(copy.send_row());
        // Every column is set again for each row: nothing of the row before may show.
        copy.set_null(0);
        copy.set_bytes(1, "");
        copy.set_null(2);
        ASSERT_TRUE(copy.send_row());
        EXPECT_EQ(copy.commit_batch(), 2);
        copy.set_bytes(0, "last");
        copy.set_null(1);
        copy.set_datetime(2, -53690, 25919999);
        ASSERT_TRUE(copy.send_row());
        EXPECT_EQ(copy.done(), 1);
    }
    EXPECT_EQ(driver.log(), "bcp_initW [dbo].[Tabell\\u00e9] data file none error file none "
                            "direction 1\n"
                            "bcp_control 8 1\n"
                            "bcp_bind column 1 type 0xe7 prefix 4 length -10 terminator none/0\n"
                            "bcp_bind column 2 type 0x25 prefix 4 length -10 terminator none/0\n"
                            "bcp_bind column 3 type 0x3d prefix 4 length -10 terminator none/0\n"
                            "row 0x630061006600e9003dd800de | 0x00ff | datetime(36524, 300)/8\n"
                            "row NULL | 0x | NULL\n"
                            "bcp_batch 2\n"
                            "row 0x6c00610073007400 | NULL | datetime(-53690, 25919999)/8\n"
                            "bcp_done 1\n");
}

TEST(OdbBcpApi, AFailedBatchCarriesTheDriversDiagnostic) {
    odb_environment environment;
    odb_connection connection(environment, u"Driver={" TABRIX_BCP_STUB "};", 0, true);
    ASSERT_TRUE(connection.bulk_copy()) << connection.bulk_copy_note();
    const stub driver;
    odb_bulk_copy copy(connection, u"[dbo].[t]", {kind::text}, false);
    copy.set_bytes(0, "x");
    ASSERT_TRUE(copy.send_row());
    driver.fail_next_batch();
    try {
        copy.commit_batch();
        FAIL() << "the failed batch was taken as committed";
    } catch (const odb_exception& e) {
        EXPECT_EQ(e.server_text(), "The stub refused the batch") << e.what();
        EXPECT_EQ(e.native_error(), 4815);
    }
}

TEST(OdbBcpApi, ADriverWithoutBcpFunctionsHasNoBulkCopyAndSaysWhy) {
    odb_environment environment;
    odb_connection connection(environment, u"Driver={" TABRIX_PLAIN_STUB "};", 0, true);
    EXPECT_FALSE(connection.bulk_copy());
    EXPECT_EQ(connection.bulk_copy_note(),
              "the driver libtabrix_plain_stub.so has no bcp interface");
}
