#include "dbf/dbf_memo_file.h"

#include "dbf/dbf_exception.h"
#include "dbf/dbf_file_lookup.h"
#include "tk/tk_huge_file.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <cinttypes>
#include <filesystem>
#include <limits>

namespace {

constexpr uint32_t old_block_size = 512;
// Blocks with a stored length are read this far at once (header and data): most memos are
// shorter, and take one read instead of two.
constexpr uint32_t first_read = 512;
// Memos read in file order (the usual order of a table's records) come from a piece of the
// file this large, read ahead: one read for many memos.
constexpr uint32_t read_ahead = 64 * 1024;
// Data without a stored length (old and SMT layouts) is looked at in pieces while looking for
// its terminator: first one block, which holds most memos whole, then larger pieces.
constexpr uint32_t scan_first = 512;
constexpr uint32_t scan_chunk = 8192;

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t be32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void put_le32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

const unsigned char* bytes_of(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

void cut_at_zero(std::string& data) {
    size_t zero = data.find('\0');
    if (zero != std::string::npos)
        data.resize(zero);
}

// A field that holds its block as a 32-bit little-endian value (Visual FoxPro: 4 bytes wide).
uint32_t binary_block_number(std::string_view field) {
    if (field.size() < 4)
        return 0;
    return le32(reinterpret_cast<const unsigned char*>(field.data()));
}

} // namespace

// ---- common part ---------------------------------------------------------------------------

dbf_memo_file::dbf_memo_file(const std::string& path, int32_t kind, bool writable)
    : file_(std::make_unique<tk_huge_file>(path, writable)), path_(path), kind_(kind) {
    file_size_ = file_->size();
}

dbf_memo_file::~dbf_memo_file() = default;

const char* dbf_memo_file::extension(int32_t kind) noexcept {
    switch (kind) {
    case dbf_memo_none:
        return "";
    case dbf_memo_foxpro:
    case dbf_memo_vfp:
        return "fpt";
    case dbf_memo_dbc:
        return "dct";
    case dbf_memo_smt:
        return "smt";
    default:
        return "dbt";
    }
}

std::string dbf_memo_file::find(const std::string& table_path, int32_t kind) {
    if (kind == dbf_memo_none)
        return {};
    return dbf_find_companion(table_path, extension(kind));
}

std::unique_ptr<dbf_memo_file> dbf_memo_file::open(const std::string& table_path, int32_t kind,
                                                   bool writable) {
    if (kind == dbf_memo_none)
        return nullptr;
    const std::string path = find(table_path, kind);
    if (path.empty())
        throw dbf_no_memo_exception();
    try {
        switch (kind) {
        case dbf_memo_dbase4:
            return std::make_unique<dbt_memo_file>(path, kind);
        case dbf_memo_foxpro:
        case dbf_memo_vfp:
        case dbf_memo_dbc:
            return std::make_unique<fpt_memo_file>(path, kind);
        case dbf_memo_smt:
            return std::make_unique<smt_memo_file>(path);
        default:
            return std::make_unique<old_memo_file>(path, writable ? old_memo_file::mode::write
                                                                  : old_memo_file::mode::read);
        }
    } catch (const dbf_exception&) {
        throw;
    } catch (const tk_exception&) {
        // The file is there but does not open (no permission, a folder of that name).
        throw dbf_no_memo_exception();
    }
}

uint32_t dbf_memo_file::get_block_number(std::string_view field) const {
    // Decimal text in the first 10 bytes, white space in front, read as a C "%d" would; a
    // field without digits (all blanks, the usual "no memo") has no block, and neither has
    // a negative or overlong number.
    std::string_view text = field.substr(0, 10);
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    constexpr uint64_t max_block = uint64_t(std::numeric_limits<int32_t>::max());
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value <= max_block; ++i) {
        value = value * 10 + uint64_t(text[i] - '0');
        ++digits;
    }
    if (digits == 0 || value > max_block || (negative && value != 0)) {
        TK_TRACE(1, "Invalid MEMO block!");
        return 0;
    }
    return static_cast<uint32_t>(value);
}

void dbf_memo_file::write_memo(uint32_t block, std::string_view text) {
    TK_TRACE(2, "dbf_memo_file::write_memo(%" PRIu32 ",%.*s)", block,
             static_cast<int>(std::min<size_t>(text.size(), 200)), text.data());
}

void dbf_memo_file::read_at(uint64_t offset, void* buffer, uint32_t length) {
    file_->get_at(offset, buffer, length);
}

std::string_view dbf_memo_file::read_start(uint64_t position, uint32_t wanted) {
    const uint64_t n = std::min<uint64_t>(wanted, file_size_ - position);
    const uint64_t window_end = window_at_ + window_.size();
    if (position < window_at_ || position + n > window_end) {
        // Reading on from the window fetches a large piece ahead; a memo elsewhere (memos in
        // another order than the records) only its own first bytes, as cheap as before.
        const bool onward =
            !window_.empty() && position >= window_at_ && position < window_end + read_ahead;
        const uint64_t size =
            std::min<uint64_t>(onward ? read_ahead : wanted, file_size_ - position);
        window_.clear(); // a failed read leaves no window behind
        window_.resize(size_t(size));
        file_->get_at(position, window_.data(), static_cast<uint32_t>(size));
        window_at_ = position;
    }
    return std::string_view(window_).substr(size_t(position - window_at_), size_t(n));
}

void dbf_memo_file::read_span(uint64_t offset, uint32_t length, std::string& data,
                              std::string_view have) {
    const uint32_t known = static_cast<uint32_t>(std::min<size_t>(have.size(), length));
    data.assign(have.data(), known);
    data.resize(length);
    if (length > known)
        file_->get_at(offset + known, data.data() + known, length - known);
}

void dbf_memo_file::read_until(uint64_t offset, char terminator, std::string& data) {
    data.clear();
    // Through the window of read_start: memos in file order share its reads ahead.
    for (uint32_t piece = scan_first; offset < file_size_; piece = scan_chunk) {
        const std::string_view have = read_start(offset, piece);
        const size_t stop = have.find(terminator);
        data.append(have.substr(0, stop));
        if (stop != std::string_view::npos)
            return;
        offset += have.size();
    }
}

bool dbf_memo_file::out_of_range(uint64_t position, uint64_t needed) const {
    if (position < file_size_ && needed <= file_size_ - position)
        return false;
    TK_TRACE(2, "Reading MEMO out of range: pos=%" PRIu64, position);
    return true;
}

void dbf_memo_file::write_at(uint64_t offset, const void* data, uint32_t length) {
    window_.clear();
    file_->put_at(offset, data, length);
    file_size_ = std::max(file_size_, offset + length);
}

// ---- dBASE IV ------------------------------------------------------------------------------

dbt_memo_file::dbt_memo_file(const std::string& path, int32_t kind)
    : dbf_memo_file(path, kind, false) {
    TK_TRACE(2, "dbt_memo_file::ctor");
    if (file_size_ < 24)
        throw dbf_exception("Memo file is corrupted");
    unsigned char header[24];
    read_at(0, header, sizeof header);
    block_size_ = le32(header + 20);
    TK_TRACE(1, "DBT block size=%" PRIu32, block_size_);
    if (block_size_ == 0)
        throw dbf_exception("Memo file is corrupted");
}

dbf_memo_block dbt_memo_file::read_memo(uint32_t block, std::string& data, dbf_memo_read how) {
    TK_TRACE(2, "dbt_memo_file::read_memo(%" PRIu32 ")", block);
    data.clear();
    const uint64_t position = uint64_t(block) * block_size_;
    TK_TRACE(1, "Reading MEMO at position=%" PRIu64, position);
    // A block starts with FF FF 08 00 and the block's total length, these 8 bytes included.
    if (out_of_range(position, 8))
        return dbf_memo_block::invalid;
    const std::string_view start = read_start(position, first_read);
    const int64_t length = int64_t(le32(bytes_of(start) + 4)) - 8;
    TK_TRACE(1, "MEMO length=%" PRId64, length);
    if (length < 0 || uint64_t(length) > file_size_ - position - 8) {
        TK_TRACE(2, "MEMO has invalid size: %" PRId64, length);
        return dbf_memo_block::invalid;
    }
    if (length == 0) {
        TK_TRACE(2, "Got empty MEMO");
        return dbf_memo_block::text;
    }
    read_span(position + 8, static_cast<uint32_t>(length), data, start.substr(8));
    if (how == dbf_memo_read::text)
        cut_at_zero(data);
    return dbf_memo_block::text;
}

// ---- FoxPro --------------------------------------------------------------------------------

fpt_memo_file::fpt_memo_file(const std::string& path, int32_t kind)
    : dbf_memo_file(path, kind, false) {
    TK_TRACE(2, "fpt_memo_file::ctor");
    if (file_size_ < 8)
        throw dbf_exception("Memo file is corrupted");
    unsigned char header[8];
    read_at(0, header, sizeof header);
    next_free_ = be32(header);
    block_size_ = uint32_t(header[6]) << 8 | header[7];
    TK_TRACE(1, "FPT block size=%" PRIu32, block_size_);
    if (block_size_ == 0)
        throw dbf_exception("Memo file is corrupted");
}

uint32_t fpt_memo_file::get_block_number(std::string_view field) const {
    // Visual FoxPro tables and database containers keep the block as a 4-byte binary
    // value; FoxPro 2 as decimal text in 10 bytes. A 4-byte field is binary whatever the
    // table's version says.
    if (kind_ == dbf_memo_vfp || kind_ == dbf_memo_dbc || field.size() <= 4)
        return binary_block_number(field);
    return dbf_memo_file::get_block_number(field);
}

dbf_memo_block fpt_memo_file::read_memo(uint32_t block, std::string& data, dbf_memo_read how) {
    TK_TRACE(2, "fpt_memo_file::read_memo(%" PRIu32 ")", block);
    data.clear();
    const uint64_t position = uint64_t(block) * block_size_;
    TK_TRACE(1, "Reading MEMO at position=%" PRIu64, position);
    // A block starts with its type and the length of its data, both big-endian.
    if (out_of_range(position, 8))
        return dbf_memo_block::invalid;
    const std::string_view start = read_start(position, first_read);
    const uint32_t type = be32(bytes_of(start));
    const uint32_t length = be32(bytes_of(start) + 4);
    TK_TRACE(1, "memo_len=%" PRIu32, length);
    if (length > file_size_ - position - 8) {
        TK_TRACE(2, "MEMO has invalid size: %" PRIu32, length);
        return dbf_memo_block::invalid;
    }
    const dbf_memo_block kind = type == 0   ? dbf_memo_block::picture
                                : type == 2 ? dbf_memo_block::object
                                            : dbf_memo_block::text;
    if (length == 0) {
        TK_TRACE(2, "Got empty MEMO");
        return kind;
    }
    read_span(position + 8, length, data, start.substr(8));
    if (how == dbf_memo_read::text)
        cut_at_zero(data);
    TK_TRACE(1, "fpt_memo_file::read_memo - END");
    return kind;
}

// ---- dBASE III / FoxBASE -------------------------------------------------------------------

namespace {

// A memo file being created starts empty, whatever was there before.
const std::string& emptied(const std::string& path, old_memo_file::mode how) {
    if (how == old_memo_file::mode::create) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            std::filesystem::resize_file(path, 0, ec);
            if (ec)
                throw tk_exception("Cannot write into file");
        }
    }
    return path;
}

} // namespace

old_memo_file::old_memo_file(const std::string& path, mode how)
    : dbf_memo_file(emptied(path, how), dbf_memo_old, how != mode::read) {
    TK_TRACE(2, "old_memo_file::ctor");
    block_size_ = old_block_size;
    if (how == mode::create) {
        // A full first block: the next free block (1), and the byte 3 at offset 16 that
        // dBASE III writes there.
        unsigned char header[old_block_size] = {};
        put_le32(header, 1);
        header[16] = 3;
        write_at(0, header, sizeof header);
        next_free_ = 1;
    } else {
        unsigned char header[4] = {};
        if (file_size_ >= sizeof header)
            read_at(0, header, sizeof header);
        next_free_ = le32(header);
    }
    TK_TRACE(1, "Next block=%" PRIu32, next_free_);
    if (next_free_ == 0)
        throw dbf_exception("Failed to read MEMO field");
}

dbf_memo_block old_memo_file::read_memo(uint32_t block, std::string& data, dbf_memo_read) {
    TK_TRACE(2, "old_memo_file::read_memo(%" PRIu32 ")", block);
    data.clear();
    const uint64_t position = uint64_t(block) * old_block_size;
    TK_TRACE(1, "Reading MEMO at position=%" PRIu64, position);
    if (out_of_range(position, 1))
        return dbf_memo_block::invalid;
    read_until(position, '\x1a', data);
    return dbf_memo_block::text;
}

void old_memo_file::write_memo(uint32_t block, std::string_view text) {
    if (text.empty())
        return;
    // Block 0 is the header; a text that would not fit the 32-bit block numbers cannot be
    // placed.
    TK_ASSERT(block != 0);
    const uint64_t length = text.size();
    const uint64_t n_blocks = (length + 2 + old_block_size - 1) / old_block_size;
    if (length > std::numeric_limits<uint32_t>::max() - 2 ||
        uint64_t(block) + n_blocks > std::numeric_limits<uint32_t>::max())
        throw tk_exception("Cannot write into file");
    const uint64_t position = uint64_t(block) * old_block_size;
    TK_TRACE(1, "pos=%" PRIu64 ", memo_length=%" PRIu64 ", n_blocks=%" PRIu64, position, length,
             n_blocks);
    write_at(position, text.data(), static_cast<uint32_t>(length));
    write_at(position + length, "\x1a\x1a", 2);
    unsigned char next[4];
    next_free_ = static_cast<uint32_t>(block + n_blocks);
    put_le32(next, next_free_);
    write_at(0, next, sizeof next);
}

// ---- SMT -----------------------------------------------------------------------------------

smt_memo_file::smt_memo_file(const std::string& path) : dbf_memo_file(path, dbf_memo_smt, false) {
    TK_TRACE(2, "smt_memo_file::ctor");
    if (file_size_ < 512)
        throw dbf_exception("Memo file is corrupted");
    unsigned char header[8];
    read_at(0, header, sizeof header);
    block_size_ = le32(header + 4);
    TK_TRACE(1, "SMT block size=%" PRIu32, block_size_);
}

uint32_t smt_memo_file::get_block_number(std::string_view field) const {
    // Ten bytes: blanks for "no memo", otherwise the block in bytes 6 to 9.
    if (field.size() < 10)
        return 0;
    if (field.substr(0, 10).find_first_not_of(' ') == std::string_view::npos) {
        TK_TRACE(1, "No MEMO block!");
        return 0;
    }
    return le32(reinterpret_cast<const unsigned char*>(field.data()) + 6);
}

dbf_memo_block smt_memo_file::read_memo(uint32_t block, std::string& data, dbf_memo_read) {
    TK_TRACE(2, "smt_memo_file::read_memo(%" PRIu32 ")", block);
    data.clear();
    const uint64_t position = uint64_t(block) * block_size_;
    TK_TRACE(1, "Reading MEMO at position=%" PRIu64, position);
    if (out_of_range(position, 1))
        return dbf_memo_block::invalid;
    read_until(position, '\0', data);
    return dbf_memo_block::text;
}
