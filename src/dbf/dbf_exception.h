// Failures of the DBF source.
#pragma once

#include "tk/tk_exception.h"

#include <string>

// A table or memo file that cannot be read as what it claims to be. Level 0: the run goes on
// with the next table.
class dbf_exception : public tk_exception {
public:
    explicit dbf_exception(std::string message) : tk_exception(std::move(message), recoverable) {}
};

// The memo file a table names is not beside it. The table still opens; its memo fields have
// no value.
class dbf_no_memo_exception : public dbf_exception {
public:
    dbf_no_memo_exception() : dbf_exception("Memo file not found") {}
};
