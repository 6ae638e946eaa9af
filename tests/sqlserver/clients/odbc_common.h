/* Shared by the ODBC test clients: diagnostics and escaped output. */
#ifndef TABRIX_TESTS_ODBC_COMMON_H
#define TABRIX_TESTS_ODBC_COMMON_H

#include <sql.h>
#include <sqlext.h>
#include <stdio.h>

/* Prints each diagnostic record of a handle as "ERROR|INFO <native> <sqlstate> <message>". */
static inline void print_diagnostics(SQLSMALLINT type, SQLHANDLE handle, const char* kind) {
    SQLCHAR state[6];
    SQLCHAR text[4096];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length));
         ++i)
        printf("%s %d %s %s\n", kind, (int)native, (const char*)state, (const char*)text);
}

/* Values are printed with tab, newline, carriage return and backslash escaped. */
static inline void print_escaped(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '\t')
            fputs("\\t", stdout);
        else if (c == '\n')
            fputs("\\n", stdout);
        else if (c == '\r')
            fputs("\\r", stdout);
        else if (c == '\\')
            fputs("\\\\", stdout);
        else
            putchar(c);
    }
}

#endif
