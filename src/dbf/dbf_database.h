// A folder of DBF tables as one source (or destination) database.
//
// Every file of the folder whose name matches "*.dbf", ignoring case, is a table; its name is
// the file name in lower case without ".dbf". Files are always looked up without regard to
// case and opened by their real names, so that ORDERS.DBF, Orders.dbf and orders.dbf are the
// table "orders".
#pragma once

#include "dbf/dbf_codepages.h"
#include "udb/udb_database.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

// Fills the type letter (byte 11), length (16, or 16-17 for long text) and decimals (17) of a
// 32-byte field descriptor for a column.
void dbf_create_field(const t_ftd& field, uint8_t* descriptor);

class dbf_database : public udb_database {
public:
    // Modes of get_table.
    static constexpr udb_open_mode mode_read = udb_open_mode::read;
    static constexpr udb_open_mode mode_write = udb_open_mode::write;

    // Lists the tables of `folder`. `case_sensitive` is how table names are compared;
    // `encoding` overrides the tables' own code page (a language-driver byte or a code page
    // number, 0 for none: dbf_codepages.h); `default_codepage` is that of the tables that name
    // none. A folder that cannot be entered raises tk_exception (level 1).
    explicit dbf_database(std::u16string folder, bool case_sensitive = true, uint32_t encoding = 0,
                          uint32_t default_codepage = dbf_default_codepage);
    ~dbf_database() override;

    // The first database built while no other lives; null when there is none.
    static dbf_database* current() noexcept { return current_.load(std::memory_order_acquire); }

    // Creates the table (or opens it when it exists) and returns it opened for writing.
    std::unique_ptr<udb_recordset> create_table(std::u16string_view name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    // Removes the table from the list and deletes its file and memo files. False for an empty
    // name; a table file that cannot be deleted raises the system's error.
    bool delete_tab(std::u16string_view name) override;
    std::unique_ptr<udb_recordset> get_query(std::u16string_view name, std::u16string_view sql,
                                             uint32_t mode) override;
    // The table opened as a dbf_recordset. A table whose file is gone raises tk_exception.
    std::unique_ptr<udb_recordset> get_table(std::u16string_view name, udb_open_mode mode) override;
    // The folder's tables are listed when it is opened.
    udb_capabilities capabilities() const override { return {.list_tables = true}; }
    bool test_query(std::u16string_view sql) override;

    // The folder, "/" and the name in lower case, with ".dbf" appended unless the name ends
    // with ".dbf" or ".dbt".
    std::u16string get_full_table_name(std::u16string_view name) const;
    // The real path of the table's file (found ignoring case), empty when there is none.
    std::string get_table_path(std::u16string_view name) const;
    // Creates an empty dBASE III memo file for the table (".dbt" is appended to the name
    // unless it ends with it).
    void create_memo_file(std::u16string_view name);

    const std::u16string& get_folder() const noexcept { return name_; }
    uint32_t get_user_codepage() const noexcept { return user_cp_; }

private:
    void list_tables();
    std::string folder_path() const;

    uint32_t user_cp_;
    uint32_t default_codepage_;
    // Table name -> file name in the folder, as it is on disk.
    std::map<std::u16string, std::string> files_;

    static inline std::atomic<dbf_database*> current_{nullptr};
};
