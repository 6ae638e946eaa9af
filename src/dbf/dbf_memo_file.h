// Memo files: the text and binary data that memo fields of a DBF table refer to.
//
// A memo field holds only a block number; the data lives in a file beside the table. Four
// layouts exist, chosen by the table's memo kind:
//   dbt_memo_file  dBASE IV and later (.dbt): block size in the header, each block starts with
//                  FF FF 08 00 and the block's total length (its 8 header bytes included);
//   fpt_memo_file  FoxPro, Visual FoxPro (.fpt) and database containers (.dct): big-endian
//                  header and block headers, each block starting with its type and length;
//   old_memo_file  dBASE III / FoxBASE (.dbt): 512-byte blocks, data ended by 0x1A;
//   smt_memo_file  SMT (.smt): data ended by a zero byte.
// Every read goes to the file at a 64-bit offset, is checked against the file size first,
// and never raises: a block outside the file or with an impossible length reads as nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class tk_huge_file;

// The memo kind of a table (from its version byte and flags); 0 means the table has no memo
// file. Values other than these select the old layout.
enum dbf_memo_kind : int32_t {
    dbf_memo_none = 0,
    dbf_memo_old = 1,    // dBASE III / FoxBASE .dbt
    dbf_memo_dbase4 = 3, // dBASE IV and level 7 .dbt
    dbf_memo_foxpro = 4, // FoxPro 2 .fpt, block numbers as decimal text
    dbf_memo_vfp = 8,    // Visual FoxPro .fpt, block numbers as 32-bit little-endian values
    dbf_memo_dbc = 12,   // Visual FoxPro database container .dct
    dbf_memo_smt = 16,
};

// What a read found at a block. FoxPro files store the type of each block (0 picture, 1 text,
// 2 object); the other layouts store only text blocks as far as the file can tell.
enum class dbf_memo_block : int32_t {
    invalid = -1, // the block lies outside the file or its length is impossible: no data
    picture = 0,
    text = 1,
    object = 2,
};

// How the data of a block is handed over: text ends at the first zero byte; binary keeps
// every byte of the block's stored length (the old and SMT layouts store no length, so their
// data ends at the terminator in both forms).
enum class dbf_memo_read { text, binary };

class dbf_memo_file {
public:
    // Opens the memo file of the table at `table_path` (a file-system path) for `kind`. The
    // memo file is the table's path with the kind's extension ("dbt", "fpt", "dct", "smt"),
    // found without regard to case among the files of the table's folder and opened by its
    // real name. Returns null for kind 0. Raises dbf_no_memo_exception when the file is not
    // there or cannot be opened, dbf_exception ("Memo file is corrupted", "Failed to read MEMO
    // field") when its header is unusable.
    static std::unique_ptr<dbf_memo_file> open(const std::string& table_path, int32_t kind,
                                               bool writable = false);

    // The extension (lower case, without dot) of the memo file for `kind`.
    static const char* extension(int32_t kind) noexcept;

    // The real path of the memo file of `table_path` for `kind`, or empty when none exists.
    static std::string find(const std::string& table_path, int32_t kind);

    virtual ~dbf_memo_file();
    dbf_memo_file(const dbf_memo_file&) = delete;
    dbf_memo_file& operator=(const dbf_memo_file&) = delete;

    // The block a memo field refers to; `field` is the field's bytes, exactly its width in the
    // record. 0 means the field has no memo.
    virtual uint32_t get_block_number(std::string_view field) const;

    // Replaces `data` with the memo at `block` and says what the block held. An unusable
    // block leaves `data` empty and returns dbf_memo_block::invalid; it never raises (the
    // file layer's own read errors aside, which surface as tk_exception).
    virtual dbf_memo_block read_memo(uint32_t block, std::string& data,
                                     dbf_memo_read how = dbf_memo_read::text) = 0;

    // Writes `text` as the memo at `block` (old layout only; the others only trace).
    virtual void write_memo(uint32_t block, std::string_view text);

    int32_t kind() const noexcept { return kind_; }
    uint32_t block_size() const noexcept { return block_size_; }
    uint64_t file_size() const noexcept { return file_size_; }
    const std::string& path() const noexcept { return path_; }

protected:
    dbf_memo_file(const std::string& path, int32_t kind, bool writable);

    // Reads exactly `length` bytes at `offset` (both already checked against the size).
    void read_at(uint64_t offset, void* buffer, uint32_t length);
    // The bytes at `position` (checked against the size for the block's header) that the file
    // holds, at most `wanted`; valid until the next read or write. Reading the header of a
    // block with the start of its data lets a short memo come in one read, and memos in file
    // order share the reads of a window of the file.
    std::string_view read_start(uint64_t position, uint32_t wanted);
    // Replaces `data` with the `length` bytes at `offset` (checked against the size), of
    // which the first are already in `have` (from read_start).
    void read_span(uint64_t offset, uint32_t length, std::string& data, std::string_view have = {});
    // Replaces `data` with the bytes from `offset` up to the first `terminator` (not
    // included) or the end of the file; read through the window of read_start.
    void read_until(uint64_t offset, char terminator, std::string& data);
    // True, with a level-2 trace, when a memo at `position` lies outside the file.
    bool out_of_range(uint64_t position, uint64_t needed) const;
    void write_at(uint64_t offset, const void* data, uint32_t length);

    std::unique_ptr<tk_huge_file> file_;
    std::string path_;
    int32_t kind_ = 0;
    uint32_t block_size_ = 0;
    uint64_t file_size_ = 0;

private:
    std::string window_; // the bytes of the file from window_at_ on (read_start)
    uint64_t window_at_ = 0;
};

// dBASE IV and later (.dbt).
class dbt_memo_file final : public dbf_memo_file {
public:
    dbt_memo_file(const std::string& path, int32_t kind = dbf_memo_dbase4);
    dbf_memo_block read_memo(uint32_t block, std::string& data,
                             dbf_memo_read how = dbf_memo_read::text) override;
};

// FoxPro, Visual FoxPro and database containers (.fpt, .dct).
class fpt_memo_file final : public dbf_memo_file {
public:
    fpt_memo_file(const std::string& path, int32_t kind);
    uint32_t get_block_number(std::string_view field) const override;
    dbf_memo_block read_memo(uint32_t block, std::string& data,
                             dbf_memo_read how = dbf_memo_read::text) override;

    uint32_t next_free_block() const noexcept { return next_free_; }

private:
    uint32_t next_free_ = 0;
};

// dBASE III / FoxBASE (.dbt): the one layout that is also written.
class old_memo_file final : public dbf_memo_file {
public:
    enum class mode { read, write, create };

    // `create` makes (or empties) the file and writes an empty header: next free block 1 and
    // the byte 3 at offset 16.
    old_memo_file(const std::string& path, mode how = mode::read);
    dbf_memo_block read_memo(uint32_t block, std::string& data,
                             dbf_memo_read how = dbf_memo_read::text) override;
    // Writes the text at `block` followed by 0x1A 0x1A and sets the next free block after it.
    void write_memo(uint32_t block, std::string_view text) override;

    uint32_t next_free_block() const noexcept { return next_free_; }

private:
    uint32_t next_free_ = 0;
};

// SMT (.smt).
class smt_memo_file final : public dbf_memo_file {
public:
    explicit smt_memo_file(const std::string& path);
    uint32_t get_block_number(std::string_view field) const override;
    dbf_memo_block read_memo(uint32_t block, std::string& data,
                             dbf_memo_read how = dbf_memo_read::text) override;
};
