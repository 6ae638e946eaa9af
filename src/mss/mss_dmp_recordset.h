// One table of a T-SQL script receiving its records as INSERT statements.
#pragma once

#include "udb/udb_recordset.h"

#include <string>
#include <vector>

class mss_dmp_database;
class mss_script_file;

class mss_dmp_recordset : public udb_recordset {
public:
    // `identity`: the table's CREATE TABLE wrote an IDENTITY column, so explicit values need
    // SET IDENTITY_INSERT around the records.
    mss_dmp_recordset(mss_dmp_database& database, std::u16string name, const udb_schema& schema,
                      bool identity);
    ~mss_dmp_recordset() override;

    // Converts the record to the column types and writes its INSERT statement. A record
    // whose field count differs from the column count, or that lacks the source field of a
    // column, is a level-0 tk_exception and writes nothing.
    void append_record(udb_record& record) override;
    // Writes SET IDENTITY_INSERT ... OFF when ON was written.
    void finish() override;

private:
    // Checks that the record holds the source field of every column; done once per layout
    // of field names.
    void check_source_fields(const udb_record& record);

    mss_script_file& file_;
    bool identity_needed_;
    bool identity_pending_ = true;
    bool unicode_;
    // "INSERT INTO [dbo].[T] ([A], [B]) VALUES (" in UTF-8.
    std::string insert_head_;
    std::u16string safe_name_;
    // The name tokens of the fields of the last record whose layout was checked.
    std::vector<uint64_t> checked_ids_;
    // The names map's generation at that check.
    uint64_t checked_generation_ = 0;
};
