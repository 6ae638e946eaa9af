// One DBF table opened as a stream of records.
//
// Opening reads the header and the field descriptors, checks them against the file size (a
// file cut short inside its records opens with the records it holds whole), turns the
// descriptors into the schema, settles the code page of the text and opens the memo file the
// table names (a memo field typed as text whose first memo is a picture or other binary data
// is read as binary). Records are then read through a window of consecutive records (one
// positioned read fills it) and decoded one at a time into the one dbf_record the recordset
// owns. Nothing but the header, the descriptors and that window is kept in memory.
//
// Opened for writing, the table also takes new records at its end (append_record), memo text
// going to a dBASE III memo file beside it.
#pragma once

#include "dbf/dbf_codepages.h"
#include "dbf/dbf_header.h"
#include "dbf/dbf_record.h"
#include "udb/udb_recordset.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class dbf_memo_file;
class tk_huge_file;
class tk_codepage;

class dbf_recordset : public udb_recordset {
public:
    // Modes: read only; read and write. Any other mode opens the file (creating it when it is
    // missing) and reads nothing.
    enum : int32_t { mode_read = 1, mode_write = 8 };

    // `path` is the table file, found without regard to case when it is not there as written.
    // `encoding` replaces the table's own code page: a language-driver byte (1 to 255) or a
    // code page number (above 255); 0 for none (dbf_codepages.h). A table that names no code
    // page is read as UTF-8 when the text of its names and of its first records (up to 1 MB)
    // and their memos is valid UTF-8 with at least one byte that is not ASCII, and else in
    // `default_codepage`.
    // `database` (not owned, may be null) is the database the table belongs to.
    // Raises dbf_exception "File does not comply with DBF format" for a header that cannot
    // describe the file, and the file layer's exceptions when it cannot be read. A missing
    // memo file and a file cut short inside its records are reported to the error handler of
    // the run (level 0, the table as context) and the table opens. The run is `context` when
    // given, else the database's.
    dbf_recordset(std::u16string path, int32_t mode, uint32_t encoding = 0,
                  udb_database* database = nullptr,
                  uint32_t default_codepage = dbf_default_codepage,
                  const udb_run_context* context = nullptr);
    // The same for a path in the file system's narrow form.
    dbf_recordset(const std::string& path, int32_t mode, uint32_t encoding = 0,
                  udb_database* database = nullptr,
                  uint32_t default_codepage = dbf_default_codepage,
                  const udb_run_context* context = nullptr);
    ~dbf_recordset() override;

    // Writes the record at the end of the table: its fields, in column order, each in the
    // form of its column's type letter; then the record count grows by one. A table whose
    // file is cut short is not written to (tk_exception, level 1).
    void append_record(udb_record& record) override;
    // The record at the cursor; null at the end of the table. The record is owned by the
    // recordset and refilled by the next call.
    udb_record* get_item() override;
    bool is_eof() override;
    void next() override;
    void prev() override;
    void reset() override;

    int64_t get_cursor() const noexcept { return cursor_; }
    const dbf_header& get_header() const noexcept { return header_; }
    uint8_t get_version() const noexcept { return header_.version; }
    // The language-driver byte text is read with (the user's override when one was given).
    uint8_t get_language_driver() const noexcept { return language_driver_; }
    // The code page the text is read in.
    uint32_t get_codepage() const noexcept { return codepage_; }
    // The table names no code page of its own (nor was one given): its text is read as UTF-8
    // or in the default code page.
    bool is_codepage_guessed() const noexcept { return codepage_guessed_; }
    // The memo kind the table uses (dbf_memo_kind), 0 when it has no memo file.
    int32_t get_memo_kind() const noexcept { return memo_kind_; }
    // The memo file, or null (no memo fields, or the file is missing).
    const dbf_memo_file* get_memo_file() const noexcept { return memo_.get(); }
    // The memo file the table names was not found; its memo fields have no value.
    bool is_memo_missing() const noexcept { return memo_missing_; }
    // The file ends before the last record its header announces: only the records it holds
    // whole are read (get_record_count), and opening reported it to the error handler.
    bool is_cut_short() const noexcept { return header_.is_cut_short(); }
    // What was reported about a file cut short; empty for a whole one.
    std::string cut_short_message() const;
    // Every descriptor in file order, the hidden _NullFlags field included.
    const std::vector<dbf_field_descriptor>& get_descriptors() const noexcept {
        return descriptors_;
    }
    // The table file's real path.
    const std::string& get_path() const noexcept { return path_; }

private:
    void open(int32_t mode, uint32_t encoding, uint32_t default_codepage);
    void init_schema();
    void init_codepage(uint32_t encoding, uint32_t default_codepage);
    bool text_is_utf8();
    void find_binary_memos();
    void init_memo_file(int32_t kind, bool writable);
    void report_missing_memo() const;
    int32_t memo_kind_for_fields(int32_t kind) const;
    void init_indexes() const;
    void write_memo(const ole_variant& value, uint8_t* field, uint32_t width);
    void fill_window();

    std::string path_;
    // Where damage found while opening is reported; null: nobody to ask.
    error_handler* errors_;
    // Text is handed on as its bytes where its code page allows (udb_target_facts).
    bool narrow_text_;
    std::unique_ptr<tk_huge_file> file_;
    dbf_header header_;
    std::vector<dbf_field_descriptor> descriptors_;
    std::unique_ptr<dbf_memo_file> memo_;
    bool memo_missing_ = false;
    int32_t memo_kind_ = 0;
    uint8_t language_driver_ = 0;
    uint32_t codepage_ = 0;
    bool codepage_guessed_ = false;
    const tk_codepage* text_codepage_ = nullptr;
    int64_t cursor_ = 0;
    // The bytes of records window_first_ .. window_first_ + window_count_ - 1.
    std::vector<uint8_t> window_;
    int64_t window_first_ = 0;
    int64_t window_count_ = 0;
    std::unique_ptr<dbf_record> record_;
};
