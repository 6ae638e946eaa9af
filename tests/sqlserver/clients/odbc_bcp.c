/*
 * Loads rows into a table through the bulk-copy interface of the FreeTDS ODBC driver, for the
 * test server's tests.
 *
 *   odbc_bcp [--batch N] [--keep-identity] [--hint TEXT] CONNECTION_STRING TABLE KIND...
 *
 * One KIND per table column, in order: "text" (bound as varchar data the driver converts to
 * the column's type), "hex" (the field is hexadecimal, bound as binary data), "int" (bound as a
 * 4-byte integer), "float" (bound as a double) or "skip" (not bound). Rows come from stdin, one a
 * line, fields separated by tabs; \N is NULL; \t, \n, \r and \\ are escapes.
 * Text is bound as varchar, not char: the driver (FreeTDS 1.3.17) overruns a 4 KiB buffer when
 * it converts char data longer than that.
 * Output: "BATCH <rows>" after each batch, "DONE <rows>" at the end, diagnostics as
 * "ERROR <native> <sqlstate> <message>". Exit status 1 when a call fails.
 */
#define TDSODBC_BCP
#include "odbc_common.h"

#include <odbcss.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

enum kind { KIND_TEXT, KIND_HEX, KIND_INT, KIND_FLOAT, KIND_SKIP };

/* A bound column: a 4-byte length prefix (-1 for NULL) followed by the data. */
struct column {
    enum kind kind;
    unsigned char* buffer;
    size_t capacity;
};

static void set_value(struct column* column, const unsigned char* data, int32_t length) {
    if (column->kind == KIND_SKIP)
        return;
    if (length > 0 && (size_t)length + 4 > column->capacity) {
        fprintf(stderr, "odbc_bcp: value of %d bytes is over the buffer\n", (int)length);
        exit(1);
    }
    memcpy(column->buffer, &length, 4);
    if (length > 0)
        memcpy(column->buffer + 4, data, (size_t)length);
}

/* Unescapes a field in place; returns its length, or -1 for \N. */
static int32_t unescape(char* field) {
    if (strcmp(field, "\\N") == 0)
        return -1;
    char* out = field;
    for (char* in = field; *in; ++in) {
        if (*in == '\\' && in[1]) {
            ++in;
            *out++ = *in == 't' ? '\t' : *in == 'n' ? '\n' : *in == 'r' ? '\r' : *in;
        } else {
            *out++ = *in;
        }
    }
    return (int32_t)(out - field);
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static void put_field(struct column* column, char* field) {
    int32_t length = unescape(field);
    if (length < 0) {
        set_value(column, NULL, -1);
        return;
    }
    switch (column->kind) {
    case KIND_TEXT:
        set_value(column, (const unsigned char*)field, length);
        break;
    case KIND_HEX: {
        unsigned char* bytes = (unsigned char*)field;
        int32_t n = 0;
        for (int32_t i = 0; i + 1 < length; i += 2)
            bytes[n++] = (unsigned char)(hex_digit(field[i]) * 16 + hex_digit(field[i + 1]));
        set_value(column, bytes, n);
        break;
    }
    case KIND_INT: {
        int32_t value = (int32_t)strtol(field, NULL, 10);
        set_value(column, (const unsigned char*)&value, 4);
        break;
    }
    case KIND_FLOAT: {
        double value = strtod(field, NULL);
        set_value(column, (const unsigned char*)&value, 8);
        break;
    }
    case KIND_SKIP:
        break;
    }
}

static int fail(SQLHDBC dbc, const char* what) {
    printf("FAILED %s\n", what);
    print_diagnostics(SQL_HANDLE_DBC, dbc, "ERROR");
    return 1;
}

int main(int argc, char** argv) {
    int batch = 0, keep_identity = 0;
    const char* hint = NULL;
    int arg = 1;
    for (; arg < argc && strncmp(argv[arg], "--", 2) == 0; ++arg) {
        if (strcmp(argv[arg], "--batch") == 0 && arg + 1 < argc)
            batch = atoi(argv[++arg]);
        else if (strcmp(argv[arg], "--keep-identity") == 0)
            keep_identity = 1;
        else if (strcmp(argv[arg], "--hint") == 0 && arg + 1 < argc)
            hint = argv[++arg];
        else
            return fprintf(stderr, "odbc_bcp: unknown option %s\n", argv[arg]), 64;
    }
    if (argc - arg < 3)
        return fputs("usage: odbc_bcp [options] CONNECTION_STRING TABLE KIND...\n", stderr), 64;
    const char* connection = argv[arg++];
    const char* table = argv[arg++];
    int count = argc - arg;
    struct column* columns = calloc((size_t)count, sizeof *columns);

    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    /* The driver turns its bulk-copy interface on only when asked before connecting. */
    SQLSetConnectAttr(dbc, SQL_COPT_SS_BCP, (SQLPOINTER)SQL_BCP_ON, SQL_IS_INTEGER);
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, NULL, (SQLCHAR*)connection, SQL_NTS, NULL, 0, NULL,
                                        SQL_DRIVER_NOPROMPT)))
        return fail(dbc, "connect");
    if (bcp_initA(dbc, table, NULL, NULL, BCP_DIRECTION_IN) != SUCCEED)
        return fail(dbc, "bcp_init");
    if (keep_identity && bcp_control(dbc, BCPKEEPIDENTITY, (void*)1) != SUCCEED)
        return fail(dbc, "bcp_control");
    if (hint && bcp_control(dbc, BCPHINTS, (void*)hint) != SUCCEED)
        return fail(dbc, "bcp_control");
    static const struct {
        const char* name;
        enum kind kind;
        int type;
    } kinds[] = {{"text", KIND_TEXT, BCP_TYPE_SQLVARCHAR},
                 {"hex", KIND_HEX, BCP_TYPE_SQLBINARY},
                 {"int", KIND_INT, BCP_TYPE_SQLINT4},
                 {"float", KIND_FLOAT, BCP_TYPE_SQLFLT8},
                 {"skip", KIND_SKIP, 0}};
    for (int i = 0; i < count; ++i) {
        size_t k = 0;
        while (k < sizeof kinds / sizeof kinds[0] && strcmp(kinds[k].name, argv[arg + i]) != 0)
            ++k;
        if (k == sizeof kinds / sizeof kinds[0])
            return fprintf(stderr, "odbc_bcp: unknown kind %s\n", argv[arg + i]), 64;
        columns[i].kind = kinds[k].kind;
        if (columns[i].kind == KIND_SKIP)
            continue;
        columns[i].capacity = 4 + (1u << 20);
        columns[i].buffer = malloc(columns[i].capacity);
        if (bcp_bind(dbc, columns[i].buffer, 4, SQL_VARLEN_DATA, NULL, 0, kinds[k].type, i + 1) !=
            SUCCEED)
            return fail(dbc, "bcp_bind");
    }

    static char line[4 << 20];
    long sent = 0, stored = 0;
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\n")] = 0;
        char* field = line;
        for (int i = 0; i < count; ++i) {
            char* end = field ? strchr(field, '\t') : NULL;
            if (end)
                *end = 0;
            if (field)
                put_field(&columns[i], field);
            else
                set_value(&columns[i], NULL, -1);
            field = end ? end + 1 : NULL;
        }
        if (bcp_sendrow(dbc) != SUCCEED)
            return fail(dbc, "bcp_sendrow");
        if (batch > 0 && ++sent % batch == 0) {
            int rows = bcp_batch(dbc);
            if (rows < 0)
                return fail(dbc, "bcp_batch");
            stored += rows;
            printf("BATCH %d\n", rows);
        }
    }
    int rows = bcp_done(dbc);
    if (rows < 0)
        return fail(dbc, "bcp_done");
    printf("DONE %ld\n", stored + rows);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    for (int i = 0; i < count; ++i)
        free(columns[i].buffer);
    free(columns);
    return 0;
}
