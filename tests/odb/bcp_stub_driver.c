/* A stand-in ODBC driver for the tests of the bcp glue (odb_bcp_api): just enough of a driver
 * for the driver manager to connect through it, and, unless built with STUB_WITHOUT_BCP, the
 * bulk copy functions a driver exports from its library, with the signatures of Microsoft's
 * driver. They write down what they are called with; the test reads it through
 * stub_bcp_log() (stub_bcp_clear_log() starts it afresh) and makes the next batch fail
 * through stub_bcp_fail_next_batch().
 *
 * The bcp functions accept only the driver's own connection handle: called with any other
 * (the manager's), they fail and say so in the log. */
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

struct stub_handle {
    SQLSMALLINT type;
    char diagnostic[128]; /* the last failure's message, empty when none */
};

static struct stub_handle* connection; /* the one connection the bcp functions accept */

static char* log_text;
static size_t log_length;

static void note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(NULL, 0, format, args);
    va_end(args);
    log_text = realloc(log_text, log_length + (size_t)length + 2);
    va_start(args, format);
    vsnprintf(log_text + log_length, (size_t)length + 1, format, args);
    va_end(args);
    log_length += (size_t)length;
    log_text[log_length++] = '\n';
    log_text[log_length] = '\0';
}

EXPORT const char* stub_bcp_log(void) {
    return log_text != NULL ? log_text : "";
}

EXPORT void stub_bcp_clear_log(void) {
    log_length = 0;
    if (log_text != NULL)
        log_text[0] = '\0';
}

static int fail_next_batch;

EXPORT void stub_bcp_fail_next_batch(void) {
    fail_next_batch = 1;
}

static void copy_wide(SQLWCHAR* out, SQLSMALLINT out_bytes, SQLSMALLINT* length, const char* text) {
    const size_t units = strlen(text);
    if (length != NULL)
        *length = (SQLSMALLINT)(units * sizeof(SQLWCHAR));
    if (out == NULL || out_bytes < (SQLSMALLINT)sizeof(SQLWCHAR))
        return;
    size_t i = 0;
    for (; i < units && (i + 2) * sizeof(SQLWCHAR) <= (size_t)out_bytes; ++i)
        out[i] = (SQLWCHAR)(unsigned char)text[i];
    out[i] = 0;
}

/* ---- the driver ---- */

EXPORT SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    (void)input;
    struct stub_handle* handle = calloc(1, sizeof *handle);
    handle->type = type;
    if (type == SQL_HANDLE_DBC)
        connection = handle;
    *output = handle;
    return SQL_SUCCESS;
}

EXPORT SQLRETURN SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    (void)type;
    if (handle == connection)
        connection = NULL;
    free(handle);
    return SQL_SUCCESS;
}

EXPORT SQLRETURN SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                               SQLINTEGER length) {
    (void)env, (void)attribute, (void)value, (void)length;
    return SQL_SUCCESS;
}

EXPORT SQLRETURN SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER length) {
    (void)dbc, (void)length;
    if (attribute == 1219) /* SQL_COPT_SS_BCP */
        note("bulk copy asked for: %ld", (long)(intptr_t)value);
    return SQL_SUCCESS;
}

EXPORT SQLRETURN SQLDriverConnectW(SQLHDBC dbc, SQLHWND window, SQLWCHAR* in, SQLSMALLINT in_length,
                                   SQLWCHAR* out, SQLSMALLINT out_max, SQLSMALLINT* out_length,
                                   SQLUSMALLINT completion) {
    (void)dbc, (void)window, (void)in, (void)in_length, (void)completion;
    copy_wide(out, (SQLSMALLINT)(out_max * sizeof(SQLWCHAR)), out_length, "");
    return SQL_SUCCESS;
}

EXPORT SQLRETURN SQLDisconnect(SQLHDBC dbc) {
    (void)dbc;
    return SQL_SUCCESS;
}

EXPORT SQLRETURN SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                             SQLSMALLINT value_max, SQLSMALLINT* length) {
    (void)dbc;
    switch (type) {
    case SQL_DRIVER_NAME:
        copy_wide(value, value_max, length, STUB_FILE_NAME);
        return SQL_SUCCESS;
    case SQL_DRIVER_ODBC_VER:
        copy_wide(value, value_max, length, "03.80");
        return SQL_SUCCESS;
    default:
        return SQL_ERROR;
    }
}

EXPORT SQLRETURN SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* text,
                                SQLSMALLINT text_max, SQLSMALLINT* length) {
    (void)type;
    struct stub_handle* h = handle;
    if (record != 1 || h == NULL || h->diagnostic[0] == '\0')
        return SQL_NO_DATA;
    copy_wide(state, 6 * sizeof(SQLWCHAR), NULL, "42000");
    if (native != NULL)
        *native = 4815;
    SQLSMALLINT bytes = 0;
    copy_wide(text, (SQLSMALLINT)(text_max * sizeof(SQLWCHAR)), &bytes, h->diagnostic);
    if (length != NULL)
        *length = (SQLSMALLINT)(bytes / sizeof(SQLWCHAR));
    return SQL_SUCCESS;
}

#ifndef STUB_WITHOUT_BCP

/* ---- the bcp functions ---- */

typedef int DBINT;
typedef const unsigned char* LPCBYTE;

struct bound_column {
    LPCBYTE data;
    int type;
};

static struct bound_column columns[16];
static int column_count;
static int rows_sent; /* since the last batch */

static int from_driver(HDBC dbc, const char* function) {
    if (dbc != connection || connection == NULL) {
        note("%s: not the driver's connection handle", function);
        return 0;
    }
    connection->diagnostic[0] = '\0';
    return 1;
}

static void note_text(char* out, const SQLWCHAR* text) {
    for (; text != NULL && *text != 0; ++text)
        out += *text < 0x80 ? sprintf(out, "%c", (char)*text) : sprintf(out, "\\u%04x", *text);
    *out = '\0';
}

EXPORT RETCODE bcp_initW(HDBC dbc, const SQLWCHAR* table, const SQLWCHAR* data_file,
                         const SQLWCHAR* error_file, int direction) {
    if (!from_driver(dbc, "bcp_initW"))
        return 0;
    char name[512];
    note_text(name, table);
    note("bcp_initW %s data file %s error file %s direction %d", name,
         data_file == NULL ? "none" : "given", error_file == NULL ? "none" : "given", direction);
    column_count = 0;
    rows_sent = 0;
    return 1;
}

EXPORT RETCODE bcp_control(HDBC dbc, int option, void* value) {
    if (!from_driver(dbc, "bcp_control"))
        return 0;
    note("bcp_control %d %ld", option, (long)(intptr_t)value);
    return 1;
}

EXPORT RETCODE bcp_bind(HDBC dbc, LPCBYTE data, int prefix_length, DBINT length, LPCBYTE terminator,
                        int terminator_length, int type, int column) {
    if (!from_driver(dbc, "bcp_bind"))
        return 0;
    note("bcp_bind column %d type 0x%02x prefix %d length %d terminator %s/%d", column, type,
         prefix_length, length, terminator == NULL ? "none" : "given", terminator_length);
    if (column < 1 || column > 16 || prefix_length != 4)
        return 0;
    columns[column - 1].data = data;
    columns[column - 1].type = type;
    if (column > column_count)
        column_count = column;
    return 1;
}

/* Each column's value as the bound buffer holds it now: its 4-byte length, then the bytes. */
EXPORT RETCODE bcp_sendrow(HDBC dbc) {
    if (!from_driver(dbc, "bcp_sendrow"))
        return 0;
    char row[8192];
    char* at = row;
    for (int i = 0; i < column_count; ++i) {
        int32_t length;
        memcpy(&length, columns[i].data, sizeof length);
        const unsigned char* value = columns[i].data + sizeof length;
        at += sprintf(at, i == 0 ? "" : " | ");
        if (length == -1) {
            at += sprintf(at, "NULL");
        } else if (columns[i].type == 0x27) {
            at += sprintf(at, "'%.*s'", (int)length, (const char*)value);
        } else if (columns[i].type == 0x3D) {
            int32_t days, ticks;
            memcpy(&days, value, 4);
            memcpy(&ticks, value + 4, 4);
            at += sprintf(at, "datetime(%d, %d)/%d", days, ticks, length);
        } else {
            at += sprintf(at, "0x");
            for (int32_t b = 0; b < length && b < 64; ++b)
                at += sprintf(at, "%02x", value[b]);
        }
    }
    note("row %s", row);
    ++rows_sent;
    return 1;
}

EXPORT DBINT bcp_batch(HDBC dbc) {
    if (!from_driver(dbc, "bcp_batch"))
        return -1;
    if (fail_next_batch) {
        fail_next_batch = 0;
        strcpy(connection->diagnostic, "The stub refused the batch");
        note("bcp_batch failed");
        rows_sent = 0;
        return -1;
    }
    note("bcp_batch %d", rows_sent);
    const int rows = rows_sent;
    rows_sent = 0;
    return rows;
}

EXPORT DBINT bcp_done(HDBC dbc) {
    if (!from_driver(dbc, "bcp_done"))
        return -1;
    note("bcp_done %d", rows_sent);
    const int rows = rows_sent;
    rows_sent = 0;
    return rows;
}

#endif
