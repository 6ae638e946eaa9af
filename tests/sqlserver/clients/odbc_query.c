/*
 * Runs SQL batches through unixODBC and prints what comes back, for the test server's tests.
 *
 *   odbc_query [--manual-commit] [--timeout SECONDS] CONNECTION_STRING BATCH...
 *
 * A BATCH of ":commit" or ":rollback" ends the transaction through SQLEndTran. Output lines:
 *   COLUMNS <name>:<type name>:<column size>:<decimal digits>:<nullable> ...   (tab-separated)
 *   ROW <value>...  (tab-separated, NULL for null, escaped)
 *   ROWCOUNT <n>    for a statement without a result set
 *   ERROR|INFO <native> <sqlstate> <message>
 *   END             after each batch
 * Exit status: 0 when every batch ran (errors are printed, not fatal), 2 when connecting failed.
 */
#include "odbc_common.h"

#include <stdlib.h>
#include <string.h>

static void print_result_columns(SQLHSTMT stmt, SQLSMALLINT count) {
    fputs("COLUMNS", stdout);
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        SQLCHAR name[256];
        SQLCHAR type_name[128];
        SQLSMALLINT name_length = 0, data_type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeCol(stmt, i, name, sizeof name, &name_length, &data_type, &size, &digits,
                       &nullable);
        SQLColAttribute(stmt, i, SQL_DESC_TYPE_NAME, type_name, sizeof type_name, NULL, NULL);
        printf("\t%s:%s:%lu:%d:%d", (const char*)name, (const char*)type_name, (unsigned long)size,
               (int)digits, (int)nullable);
    }
    putchar('\n');
}

static void print_rows(SQLHSTMT stmt, SQLSMALLINT count) {
    static char buffer[65536];
    SQLRETURN rc;
    while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
        fputs("ROW", stdout);
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            putchar('\t');
            SQLLEN indicator = 0;
            int first = 1;
            /* Long values come in pieces; each piece but the last fills the buffer. */
            while (SQL_SUCCEEDED(
                rc = SQLGetData(stmt, i, SQL_C_CHAR, buffer, sizeof buffer, &indicator))) {
                if (indicator == SQL_NULL_DATA) {
                    fputs("NULL", stdout);
                    break;
                }
                size_t piece = (indicator == SQL_NO_TOTAL || indicator >= (SQLLEN)sizeof buffer)
                                   ? sizeof buffer - 1
                                   : (size_t)indicator;
                print_escaped(buffer, piece);
                first = 0;
                if (rc == SQL_SUCCESS)
                    break;
            }
            if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA && first)
                print_diagnostics(SQL_HANDLE_STMT, stmt, "ERROR");
        }
        putchar('\n');
    }
    if (rc == SQL_ERROR)
        print_diagnostics(SQL_HANDLE_STMT, stmt, "ERROR");
}

static void run_batch(SQLHDBC dbc, const char* sql, long timeout) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (timeout > 0)
        SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)(SQLULEN)timeout, 0);
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS);
    for (;;) {
        if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO)
            print_diagnostics(SQL_HANDLE_STMT, stmt, rc == SQL_ERROR ? "ERROR" : "INFO");
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(stmt, &columns);
            if (columns > 0) {
                print_result_columns(stmt, columns);
                print_rows(stmt, columns);
            } else {
                SQLLEN rows = -1;
                SQLRowCount(stmt, &rows);
                if (rows >= 0)
                    printf("ROWCOUNT %ld\n", (long)rows);
            }
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_ERROR)
            break;
        rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA)
            break;
    }
    puts("END");
    fflush(stdout);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

int main(int argc, char** argv) {
    int manual_commit = 0;
    long timeout = 0;
    int arg = 1;
    for (; arg < argc && strncmp(argv[arg], "--", 2) == 0; ++arg) {
        if (strcmp(argv[arg], "--manual-commit") == 0)
            manual_commit = 1;
        else if (strcmp(argv[arg], "--timeout") == 0 && arg + 1 < argc)
            timeout = strtol(argv[++arg], NULL, 10);
        else {
            fprintf(stderr, "odbc_query: unknown option %s\n", argv[arg]);
            return 64;
        }
    }
    if (arg >= argc) {
        fputs("usage: odbc_query [--manual-commit] [--timeout S] CONNECTION_STRING BATCH...\n",
              stderr);
        return 64;
    }
    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLRETURN rc = SQLDriverConnect(dbc, NULL, (SQLCHAR*)argv[arg], SQL_NTS, NULL, 0, NULL,
                                    SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        print_diagnostics(SQL_HANDLE_DBC, dbc, "ERROR");
        puts("CONNECT FAILED");
        return 2;
    }
    puts("CONNECTED");
    if (manual_commit)
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
    for (++arg; arg < argc; ++arg) {
        if (strcmp(argv[arg], ":commit") == 0 || strcmp(argv[arg], ":rollback") == 0) {
            SQLSMALLINT how = argv[arg][1] == 'c' ? SQL_COMMIT : SQL_ROLLBACK;
            if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, how)))
                print_diagnostics(SQL_HANDLE_DBC, dbc, "ERROR");
            puts("END");
            continue;
        }
        run_batch(dbc, argv[arg], timeout);
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}
