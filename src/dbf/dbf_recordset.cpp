#include "dbf/dbf_recordset.h"

#include "dbf/dbf_codepages.h"
#include "dbf/dbf_exception.h"
#include "dbf/dbf_file_lookup.h"
#include "dbf/dbf_memo_file.h"
#include "ole/ole_date.h"
#include "ole/ole_decimal.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_files.h"
#include "tk/tk_huge_file.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace {

using k = dbf_field_kind;

// Records are read this many bytes at a time (at least one record): one system call per
// window instead of one per record, with memory bounded by the window, not the table.
constexpr uint32_t window_bytes = 128 * 1024;

std::u16string wide_path(const std::string& path) {
    std::u16string out;
    tk_codepage::get(tk_ansi_codepage()).decode(path, out);
    return out;
}

// Reports damage the table opens with (a missing memo file, a file cut short) to the error
// handler, naming the table: Continue reads what there is, Abort stops the run.
void report_at_open(const tk_exception& e, const std::string& table, error_handler* handler) {
    TK_TRACE(3, "%s: %s", e.what(), table.c_str());
    if (!handler)
        return;
    struct restore {
        error_handler* h;
        std::string context;
        ~restore() { h->set_context(context); }
    } guard{handler, handler->context()};
    handler->set_context(table);
    handler->handle(e, false);
}

// ---- Writing values ----------------------------------------------------------------------------

bool is_nothing(const ole_variant* v) noexcept {
    return !v || v->get_type() == VT_EMPTY || v->get_type() == VT_NULL;
}

// The value's calendar fields: a date value, or text that reads as a date.
bool date_of(const ole_variant& v, SYSTEMTIME& st) {
    if (v.get_type() == VT_DATE) {
        v.get_system_time(st);
        return true;
    }
    if (v.get_type() != VT_BSTR)
        return false;
    const ole_date date(v.to_wstring());
    if (date.type() != ole_date::date_time && date.type() != ole_date::date_only)
        return false;
    st = date.system_time();
    return true;
}

uint32_t ms_of_day(const SYSTEMTIME& st) noexcept {
    return ((uint32_t(st.wHour) * 60 + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
}

// The value as a DECIMAL; false when it is not a number.
bool decimal_of(const ole_variant& v, DECIMAL& d) {
    switch (v.get_type()) {
    case VT_DECIMAL:
        d = v.get_decimal();
        return true;
    case VT_R4:
    case VT_R8:
        return SUCCEEDED(VarDecFromR8(v.to_double(), d));
    case VT_CY:
        return SUCCEEDED(VarDecFromCy(v.get_cy(), d));
    case VT_UI8:
        return SUCCEEDED(VarDecFromUI8(v.to_ui8(), d));
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_INT:
    case VT_UINT:
        return SUCCEEDED(VarDecFromI8(v.to_i8(), d));
    case VT_BSTR:
        return SUCCEEDED(VarDecFromStr(v.to_wstring(), LOCALE_EN_US, 0, d));
    default:
        return false;
    }
}

// N and F: the number right-aligned with exactly `dec` decimals; a number too wide for the
// field fills it with asterisks, as the xBase products do, so that it reads back as no value
// instead of as a different number.
void write_number(const ole_variant* v, uint8_t dec, std::span<uint8_t> out) {
    DECIMAL d{};
    if (is_nothing(v) || !decimal_of(*v, d))
        return;
    std::string text;
    ole_decimal_append_text(ole_decimal_round(d, dec), text);
    const size_t point = text.find('.');
    const size_t have = point == std::string::npos ? 0 : text.size() - point - 1;
    if (dec > 0) {
        if (point == std::string::npos)
            text += '.';
        text.append(dec - std::min<size_t>(have, dec), '0');
    }
    if (text.size() > out.size()) {
        std::fill(out.begin(), out.end(), uint8_t('*'));
        return;
    }
    std::memcpy(out.data() + out.size() - text.size(), text.data(), text.size());
}

void put_be64(uint8_t* p, uint64_t v) noexcept {
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (56 - 8 * i));
}

void set_bit(std::span<uint8_t> record, const dbf_field_descriptor* flags, int16_t bit) {
    if (!flags || bit < 0 || uint32_t(bit / 8) >= flags->width)
        return;
    record[flags->offset + uint32_t(bit / 8)] |= uint8_t(1u << (bit % 8));
}

} // namespace

// ---- Opening -----------------------------------------------------------------------------------

dbf_recordset::dbf_recordset(std::u16string path, int32_t mode, uint32_t encoding,
                             udb_database* database, uint32_t default_codepage,
                             const udb_run_context* context)
    : udb_recordset(path, database), path_(tk_to_ansi(path)),
      errors_(context ? context->errors : this->context().errors),
      narrow_text_(context ? context->target.narrow_text : this->context().target.narrow_text) {
    open(mode, encoding, default_codepage);
}

dbf_recordset::dbf_recordset(const std::string& path, int32_t mode, uint32_t encoding,
                             udb_database* database, uint32_t default_codepage,
                             const udb_run_context* context)
    : udb_recordset(wide_path(path), database), path_(path),
      errors_(context ? context->errors : this->context().errors),
      narrow_text_(context ? context->target.narrow_text : this->context().target.narrow_text) {
    open(mode, encoding, default_codepage);
}

dbf_recordset::~dbf_recordset() = default;

void dbf_recordset::open(int32_t mode, uint32_t encoding, uint32_t default_codepage) {
    TK_TRACE(2, "dbf_recordset::ctor(%s, cp=%u)", path_.c_str(), unsigned(encoding));
    if (mode != mode_read && mode != mode_write) {
        TK_TRACE(2, "a_mode=%d, returning...", int(mode));
        file_ = std::make_unique<tk_huge_file>(path_, true);
        return;
    }
    if (!tk_is_file_exist(path_)) {
        const std::string real = dbf_find_file(path_);
        if (!real.empty())
            path_ = real;
    }
    try {
        file_ = std::make_unique<tk_huge_file>(path_, mode == mode_write);
    } catch (const tk_exception& e) {
        // Say which file: the table's name alone does not tell.
        throw tk_exception(path_ + ": " + e.message(), e.level());
    }
    const uint64_t file_size = file_->size();

    uint8_t fixed[dbf_header_size];
    const uint32_t fixed_size = uint32_t(std::min<uint64_t>(file_size, sizeof fixed));
    file_->get_at(0, fixed, fixed_size);
    header_ = dbf_decode_header(std::span<const uint8_t>(fixed, fixed_size), file_size);

    std::vector<uint8_t> head(dbf_descriptor_area(header_, file_size));
    file_->get_at(0, head.data(), uint32_t(head.size()));
    descriptors_ = dbf_decode_descriptors(head, header_, file_size);
    dbf_layout_fields(header_, descriptors_);
    if (header_.is_cut_short())
        report_at_open(dbf_exception(cut_short_message()), path_, errors_);
    // The memo file first: its text counts in telling UTF-8 from the default code page.
    init_memo_file(memo_kind_for_fields(dbf_get_memo_type(header_.version, header_.flags)),
                   mode == mode_write);
    find_binary_memos();
    init_codepage(encoding, default_codepage);
    init_schema();
    if (memo_missing_)
        report_missing_memo();
    record_count_ = uint32_t(header_.last_rec);
    // A small table takes no more than it holds (one record at least, for appending).
    const int64_t window_records = std::clamp<int64_t>(
        header_.last_rec, 1, std::max<uint32_t>(1, window_bytes / header_.rec_size));
    window_.resize(size_t(window_records) * header_.rec_size);
    record_ = std::make_unique<dbf_record>(descriptors_, memo_.get(), codepage_, &notes_);
    record_->set_narrow_text(narrow_text_);
    init_indexes();
}

// Names are read in the table's code page (or the user's), so that the names of tables written
// in a DOS code page come out right whatever the system's code page is.
void dbf_recordset::init_schema() {
    udb_schema& schema = mutable_schema();
    schema.clear();
    schema.reserve(descriptors_.size());
    std::vector<char> unknown_letters;
    std::vector<std::u16string> names = dbf_field::column_names(descriptors_, *text_codepage_);
    for (const dbf_field_descriptor& fd : descriptors_) {
        if (!fd.is_column())
            continue;
        schema.push_back(t_ftd(fd.size, std::move(names[schema.size()]), fd.vartype, false,
                               fd.auto_number, ole_variant(), fd.reserved));
        unknown_letters.push_back(fd.kind == k::unknown ? char(fd.field_type) : 0);
    }
    notes_.reset(schema.size());
    for (size_t i = 0; i < unknown_letters.size(); ++i)
        if (unknown_letters[i] >= 0x20 && unknown_letters[i] < 0x7F)
            notes_.set_detail(i, std::string(1, unknown_letters[i]));
    std::string source =
        codepage_ == tk_cp_utf8 ? std::string("UTF-8") : "code page " + std::to_string(codepage_);
    if (codepage_guessed_)
        source += " (the table names no code page)";
    notes_.set_text_source(std::move(source));
}

void dbf_recordset::init_codepage(uint32_t encoding, uint32_t default_codepage) {
    language_driver_ = header_.language_driver;
    TK_TRACE(2, "DBF file has codepage: %d", int(language_driver_));
    codepage_ = dbf_codepage_of(language_driver_);
    if (codepage_ == 0 && header_.layout() == dbf_layout::level7)
        codepage_ = dbf_codepage_of_driver_name(header_.driver_name());
    if (encoding != 0) {
        TK_TRACE(2, "Setting user-defined codepage: %u", unsigned(encoding));
        if (encoding <= 0xFF)
            language_driver_ = uint8_t(encoding);
        codepage_ = dbf_codepage_of_setting(encoding);
    }
    codepage_guessed_ = codepage_ == 0;
    if (codepage_guessed_) {
        codepage_ = text_is_utf8() ? tk_cp_utf8 : default_codepage;
        if (!tk_codepage::find(codepage_))
            codepage_ = dbf_default_codepage;
    }
    text_codepage_ = &dbf_text_codepage(codepage_);
}

// Some writers keep pictures and other files in memo fields typed as text (M). Such a field
// is told by its first memo: a FoxPro block typed as picture or object, or bytes that go on
// after a zero byte, make it a binary field, carried as VARBINARY. The records of the first
// megabyte are looked at (one read) and one memo per field; a later memo that is no text is
// reported as it is read.
void dbf_recordset::find_binary_memos() {
    constexpr uint64_t scan_bytes = 1024 * 1024;
    if (!memo_)
        return;
    std::vector<dbf_field_descriptor*> open_fields;
    for (dbf_field_descriptor& fd : descriptors_)
        if (fd.kind == k::memo_text && fd.width > 0)
            open_fields.push_back(&fd);
    const uint64_t records =
        std::min<uint64_t>(uint64_t(header_.last_rec), scan_bytes / header_.rec_size);
    if (open_fields.empty() || records == 0)
        return;
    std::vector<uint8_t> bytes(size_t(records * header_.rec_size));
    file_->get_at(header_.data_offset, bytes.data(), uint32_t(bytes.size()));
    std::string data;
    for (size_t at = 0; at < bytes.size() && !open_fields.empty(); at += header_.rec_size) {
        for (auto it = open_fields.begin(); it != open_fields.end();) {
            dbf_field_descriptor& fd = **it;
            if (fd.offset + fd.width > header_.rec_size) {
                it = open_fields.erase(it);
                continue;
            }
            const uint32_t block = memo_->get_block_number(
                std::string_view(reinterpret_cast<const char*>(&bytes[at + fd.offset]), fd.width));
            const dbf_memo_block kind = block == 0
                                            ? dbf_memo_block::invalid
                                            : memo_->read_memo(block, data, dbf_memo_read::binary);
            if (kind == dbf_memo_block::invalid || data.empty()) {
                ++it;
                continue;
            }
            const size_t zero = data.find('\0');
            if (kind != dbf_memo_block::text ||
                (zero != std::string::npos &&
                 data.find_first_not_of('\0', zero) != std::string::npos)) {
                TK_TRACE(2, "Memo field %s holds binary data", fd.name.data());
                fd.kind = k::memo_binary;
                fd.vartype = dbf_get_vartype_2(fd);
            }
            it = open_fields.erase(it);
        }
    }
}

// A table that names no code page is UTF-8 when its text says so: some non-ASCII bytes and
// all of them in valid UTF-8 sequences. Legacy code pages almost never give valid UTF-8 by
// chance. The names, the text fields of the records in the first megabyte (one read) and up
// to a megabyte of their memos are looked at; a later value that is not UTF-8 is counted as
// undecodable when it is read.
bool dbf_recordset::text_is_utf8() {
    constexpr uint64_t scan_bytes = 1024 * 1024;
    bool high = false;
    std::vector<const dbf_field_descriptor*> text_fields;
    for (const dbf_field_descriptor& fd : descriptors_) {
        if (!dbf_is_utf8(fd.name_view(), high))
            return false;
        if (fd.kind == k::text || fd.kind == k::varchar || (fd.kind == k::memo_text && memo_))
            text_fields.push_back(&fd);
    }
    const uint64_t records =
        std::min<uint64_t>(uint64_t(header_.last_rec), scan_bytes / header_.rec_size);
    if (text_fields.empty() || records == 0)
        return high;
    std::vector<uint8_t> bytes(size_t(records * header_.rec_size));
    file_->get_at(header_.data_offset, bytes.data(), uint32_t(bytes.size()));
    uint64_t memo_bytes = 0;
    std::string memo;
    for (size_t at = 0; at < bytes.size(); at += header_.rec_size) {
        for (const dbf_field_descriptor* fd : text_fields) {
            if (fd->offset + fd->width > header_.rec_size)
                continue;
            const char* p = reinterpret_cast<const char*>(&bytes[at + fd->offset]);
            std::string_view text(p, fd->width);
            if (fd->kind == k::memo_text) {
                // The memos of the same records, up to a megabyte of them.
                const uint32_t block = memo_->get_block_number(text);
                if (block == 0 || memo_bytes >= scan_bytes ||
                    memo_->read_memo(block, memo, dbf_memo_read::text) == dbf_memo_block::invalid)
                    continue;
                memo_bytes += memo.size();
                text = memo;
            }
            text = text.substr(0, text.find('\0'));
            if (!dbf_is_utf8(text, high))
                return false;
        }
    }
    return high;
}

// Many writers leave the memo flag of the header unset while the table has memo fields and
// the memo file stands beside it; the file is read then.
int32_t dbf_recordset::memo_kind_for_fields(int32_t kind) const {
    if (kind != dbf_memo_none)
        return kind;
    const bool has_memo = std::any_of(descriptors_.begin(), descriptors_.end(), [](auto& fd) {
        return fd.width > 0 && (fd.kind == k::memo_text || fd.kind == k::memo_binary);
    });
    if (!has_memo)
        return dbf_memo_none;
    int32_t candidate = dbf_memo_none;
    if (header_.is_visual_foxpro())
        candidate = (header_.flags & 4) ? dbf_memo_dbc : dbf_memo_vfp;
    else if (header_.layout() == dbf_layout::level7)
        candidate = dbf_memo_dbase4;
    else if (!dbf_memo_file::find(path_, dbf_memo_foxpro).empty())
        candidate = dbf_memo_foxpro;
    else
        candidate = dbf_memo_old;
    if (dbf_memo_file::find(path_, candidate).empty())
        return dbf_memo_none;
    TK_TRACE(2, "Memo fields without memo flag: memo kind %d", int(candidate));
    return candidate;
}

void dbf_recordset::init_memo_file(int32_t kind, bool writable) {
    memo_kind_ = kind;
    if (kind == dbf_memo_none)
        return;
    try {
        memo_ = dbf_memo_file::open(path_, kind, writable);
    } catch (const dbf_no_memo_exception&) {
        memo_missing_ = true;
    }
}

// Said once the names are read: the user needs to know which columns come out empty.
void dbf_recordset::report_missing_memo() const {
    std::string fields;
    const udb_schema& schema = get_schema();
    size_t column = 0;
    for (const dbf_field_descriptor& fd : descriptors_) {
        if (!fd.is_column())
            continue;
        if ((fd.kind == k::memo_text || fd.kind == k::memo_binary) && column < schema.size())
            fields += (fields.empty() ? "" : ", ") + tk_to_utf8(schema[column].name);
        ++column;
    }
    const dbf_no_memo_exception missing;
    report_at_open(fields.empty()
                       ? static_cast<const tk_exception&>(missing)
                       : dbf_exception(missing.message() + "; these fields are NULL: " + fields),
                   path_, errors_);
}

std::string dbf_recordset::cut_short_message() const {
    if (!header_.is_cut_short())
        return std::string();
    return "The table file is cut short: " + std::to_string(header_.last_rec) + " of the " +
           std::to_string(header_.stated_rec) +
           " records its header announces are complete and are read";
}

// Index files are looked for, not read: the schema gets no index definitions from them.
void dbf_recordset::init_indexes() const {
    dbf_find_index_file(path_);
}

// ---- Reading -----------------------------------------------------------------------------------

udb_record* dbf_recordset::get_item() {
    if (!record_ || cursor_ < 0 || cursor_ >= header_.last_rec)
        return nullptr;
    if (cursor_ < window_first_ || cursor_ >= window_first_ + window_count_)
        fill_window();
    const size_t at = size_t(cursor_ - window_first_) * header_.rec_size;
    record_->assign(std::span<const uint8_t>(window_).subspan(at, header_.rec_size));
    return record_.get();
}

void dbf_recordset::fill_window() {
    const int64_t capacity = int64_t(window_.size() / header_.rec_size);
    // Walking backwards the window ends at the cursor, so that prev() reads once per window
    // too; otherwise it starts there.
    const bool backwards = window_count_ > 0 && cursor_ < window_first_;
    const int64_t first = backwards ? std::max<int64_t>(0, cursor_ - capacity + 1) : cursor_;
    const int64_t count = std::min(capacity, int64_t(header_.last_rec) - first);
    const uint64_t offset =
        uint64_t(header_.data_offset) + uint64_t(first) * uint64_t(header_.rec_size);
    TK_TRACE(1, "Reading at %llu", static_cast<unsigned long long>(offset));
    window_count_ = 0; // a failed read leaves no window behind
    file_->get_at(offset, window_.data(), uint32_t(uint64_t(count) * header_.rec_size));
    window_first_ = first;
    window_count_ = count;
}

bool dbf_recordset::is_eof() {
    return cursor_ >= header_.last_rec;
}

void dbf_recordset::next() {
    ++cursor_;
}

void dbf_recordset::prev() {
    if (cursor_ > 0)
        --cursor_;
}

void dbf_recordset::reset() {
    cursor_ = 0;
}

// ---- Writing -----------------------------------------------------------------------------------

void dbf_recordset::write_memo(const ole_variant& value, uint8_t* field, uint32_t width) {
    std::string text;
    text_codepage_->encode(value.to_wstring(), text);
    if (text.empty()) {
        TK_TRACE(1, "Skip empty MEMO");
        return;
    }
    auto* writer = dynamic_cast<old_memo_file*>(memo_.get());
    if (!writer) {
        // Only the dBASE III layout is written; the memo file of another layout is kept as
        // it is rather than broken.
        if (memo_)
            throw dbf_exception("Cannot write into file");
        const std::string found = dbf_memo_file::find(path_, dbf_memo_old);
        auto created = found.empty()
                           ? std::make_unique<old_memo_file>(dbf_replace_extension(path_, "dbt"),
                                                             old_memo_file::mode::create)
                           : std::make_unique<old_memo_file>(found, old_memo_file::mode::write);
        writer = created.get();
        memo_ = std::move(created);
        memo_kind_ = dbf_memo_old;
        memo_missing_ = false;
        record_ = std::make_unique<dbf_record>(descriptors_, memo_.get(), codepage_, &notes_);
        record_->set_narrow_text(narrow_text_);
    }
    const uint32_t block = writer->next_free_block();
    writer->write_memo(block, text);
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%u", block);
    if (uint32_t(n) <= width)
        std::memcpy(field + width - uint32_t(n), digits, size_t(n));
}

void dbf_recordset::append_record(udb_record& record) {
    TK_TRACE(2, "dbf_recordset::append_record");
    TK_ASSERT(record_ != nullptr);
    // The bytes after the complete records are what is left of the lost ones; writing over
    // them, or past them, would make a table whose count and bytes disagree.
    if (header_.is_cut_short())
        throw tk_exception("Cannot write into file: the table file is cut short after its " +
                               std::to_string(header_.last_rec) + " complete records",
                           tk_exception::stop_run);
    // The new record lies past every window, but records are read afresh after a write all
    // the same.
    window_count_ = 0;
    std::vector<uint8_t> rec(header_.rec_size, uint8_t(' '));
    const int32_t flags_index = dbf_null_flags_index(descriptors_);
    const dbf_field_descriptor* flags =
        flags_index >= 0 ? &descriptors_[size_t(flags_index)] : nullptr;
    if (flags)
        std::fill_n(rec.begin() + flags->offset, flags->width, uint8_t(0));

    size_t column = 0;
    for (const dbf_field_descriptor& fd : descriptors_) {
        if (!fd.is_column())
            continue;
        const ole_variant* v = column < record.size() ? &record[column] : nullptr;
        TK_TRACE(1, "Processing field #%d (size=%u): %s", int(column), fd.width,
                 v ? v->to_string().c_str() : "");
        ++column;
        std::span<uint8_t> out(rec.data() + fd.offset, fd.width);
        uint8_t* p = out.data();
        if (is_nothing(v) && fd.null_bit >= 0) {
            set_bit(rec, flags, fd.null_bit);
            continue;
        }
        switch (fd.kind) {
        case k::text:
        case k::varchar: {
            if (is_nothing(v))
                break;
            std::string text;
            text_codepage_->encode(v->to_wstring(), text);
            const size_t n = std::min<size_t>(text.size(), out.size());
            std::memcpy(p, text.data(), n);
            if (fd.kind == k::varchar && n < out.size() && fd.varlen_bit >= 0) {
                p[out.size() - 1] = uint8_t(n);
                set_bit(rec, flags, fd.varlen_bit);
            }
            break;
        }
        case k::varbinary:
        case k::unknown: {
            std::fill(out.begin(), out.end(), uint8_t(0));
            const uint8_t* bytes = nullptr;
            const size_t count =
                is_nothing(v) || !ole_variant::is_binary(v->get_type()) ? 0 : v->get_bytes(bytes);
            const size_t n = std::min(count, out.size());
            if (n > 0)
                std::memcpy(p, bytes, n);
            if (n < out.size() && fd.varlen_bit >= 0) {
                p[out.size() - 1] = uint8_t(n);
                set_bit(rec, flags, fd.varlen_bit);
            }
            break;
        }
        case k::integer_text:
        case k::real_text:
        case k::decimal_text:
            write_number(v, fd.dec, out);
            break;
        case k::date_text: {
            SYSTEMTIME st{};
            if (is_nothing(v) || !date_of(*v, st))
                break;
            char text[16];
            std::snprintf(text, sizeof text, "%04u%02u%02u", unsigned(st.wYear) % 10000,
                          unsigned(st.wMonth) % 100, unsigned(st.wDay) % 100);
            std::memcpy(p, text, std::min<size_t>(8, out.size()));
            break;
        }
        case k::logical:
            if (!is_nothing(v) && !out.empty())
                p[0] = v->to_bool() ? 'T' : 'F';
            break;
        case k::currency: {
            std::fill(out.begin(), out.end(), uint8_t(0));
            CY cy{0};
            DECIMAL d{};
            if (!is_nothing(v)) {
                if (v->get_type() == VT_CY)
                    cy = v->get_cy();
                else if (!decimal_of(*v, d) || FAILED(VarCyFromDec(d, cy)))
                    cy = CY{0};
            }
            if (out.size() >= 8)
                dbf_put_le64(p, uint64_t(cy.int64));
            break;
        }
        case k::int_le:
            std::fill(out.begin(), out.end(), uint8_t(0));
            if (out.size() >= 4)
                dbf_put_le32(p, uint32_t(is_nothing(v) ? 0 : v->to_long()));
            break;
        case k::int_be_flipped:
            std::fill(out.begin(), out.end(), uint8_t(0));
            if (!is_nothing(v) && out.size() >= 4) {
                const uint32_t raw = uint32_t(v->to_long()) ^ 0x80000000u;
                for (int i = 0; i < 4; ++i)
                    p[i] = uint8_t(raw >> (24 - 8 * i));
            }
            break;
        case k::double_le:
            std::fill(out.begin(), out.end(), uint8_t(0));
            if (out.size() >= 8)
                dbf_put_le64(p, std::bit_cast<uint64_t>(is_nothing(v) ? 0.0 : v->to_double()));
            break;
        case k::double_ordered:
            std::fill(out.begin(), out.end(), uint8_t(0));
            if (!is_nothing(v) && out.size() >= 8) {
                const uint64_t raw = std::bit_cast<uint64_t>(v->to_double());
                put_be64(p, (raw & 0x8000000000000000ull) ? ~raw : raw | 0x8000000000000000ull);
            }
            break;
        case k::datetime: {
            std::fill(out.begin(), out.end(), uint8_t(0));
            SYSTEMTIME st{};
            if (is_nothing(v) || out.size() < 8 || !date_of(*v, st))
                break;
            const int64_t day = dbf_days_from_civil(st.wYear, st.wMonth, st.wDay) + dbf_julian_1970;
            dbf_put_le32(p, uint32_t(day));
            dbf_put_le32(p + 4, ms_of_day(st));
            break;
        }
        case k::timestamp: {
            std::fill(out.begin(), out.end(), uint8_t(0));
            SYSTEMTIME st{};
            if (is_nothing(v) || out.size() < 8 || !date_of(*v, st))
                break;
            // Day 1 is 0001-01-01, which lies 719162 days before 1970-01-01.
            const int64_t ordinal = dbf_days_from_civil(st.wYear, st.wMonth, st.wDay) + 719163;
            put_be64(p, std::bit_cast<uint64_t>(double(ordinal) * dbf_ms_per_day +
                                                double(ms_of_day(st))));
            break;
        }
        case k::memo_text:
            if (!is_nothing(v))
                write_memo(*v, p, fd.width);
            break;
        case k::memo_binary:
            if (!is_nothing(v))
                throw dbf_exception("Cannot write into file");
            break;
        case k::null_flags:
            break;
        }
    }

    const uint64_t offset =
        uint64_t(header_.data_offset) + uint64_t(header_.last_rec) * uint64_t(header_.rec_size);
    file_->put_at(offset, rec.data(), header_.rec_size);
    const uint8_t end_of_file = 0x1A;
    file_->put_at(offset + header_.rec_size, &end_of_file, 1);
    ++header_.last_rec;
    uint8_t count[4];
    if (header_.layout() == dbf_layout::dbase2) {
        dbf_put_le16(count, uint16_t(header_.last_rec));
        file_->put_at(1, count, 2);
    } else {
        dbf_put_le32(count, uint32_t(header_.last_rec));
        file_->put_at(4, count, 4);
    }
    record_count_ = uint32_t(header_.last_rec);
}
