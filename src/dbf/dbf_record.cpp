#include "dbf/dbf_record.h"

#include "dbf/dbf_memo_file.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"
#include "udb/udb_value_notes.h"

#include <cstring>
#include <memory>

namespace {

// What a value that could not be carried as it stands became, by the kind of its field and
// whether it still has a value.
udb_value_notes::kind note_of(dbf_field_kind kind, bool has_value) noexcept {
    switch (kind) {
    case dbf_field_kind::real_text:
        return has_value ? udb_value_notes::approximate_number : udb_value_notes::not_a_number;
    case dbf_field_kind::integer_text:
        return has_value ? udb_value_notes::fraction_dropped : udb_value_notes::not_a_number;
    case dbf_field_kind::decimal_text:
        return udb_value_notes::not_a_number;
    case dbf_field_kind::date_text:
    case dbf_field_kind::datetime:
    case dbf_field_kind::timestamp:
        return udb_value_notes::date_out_of_range;
    default:
        return udb_value_notes::undecodable_text;
    }
}

} // namespace

dbf_record::dbf_record(const std::vector<dbf_field_descriptor>& descriptors, dbf_memo_file* memo,
                       uint32_t codepage, udb_value_notes* notes)
    : descriptors_(&descriptors), memo_(memo), notes_(notes),
      codepage_(&dbf_text_codepage(codepage)), codepage_number_(codepage) {
    reserve(descriptors.size());
    std::vector<std::u16string> names = dbf_field::column_names(descriptors, *codepage_);
    for (size_t i = 0; i < descriptors.size(); ++i) {
        const dbf_field_descriptor& fd = descriptors[i];
        if (!fd.is_column()) {
            null_flags_ = int32_t(i);
            continue;
        }
        add_field(dbf_field(fd, std::move(names[columns_.size()])));
        columns_.push_back(uint32_t(i));
    }
}

dbf_record::dbf_record(const std::vector<dbf_field_descriptor>& descriptors,
                       std::span<const uint8_t> bytes, dbf_memo_file* memo, uint32_t codepage)
    : dbf_record(descriptors, memo, codepage) {
    assign(bytes);
}

void dbf_record::set_narrow_text(bool narrow) noexcept {
    narrow_ = narrow && codepage_->byte_characters() != nullptr;
}

bool dbf_record::flag_set(std::span<const uint8_t> bytes, int16_t bit) const noexcept {
    if (bit < 0 || null_flags_ < 0)
        return false;
    const dbf_field_descriptor& flags = (*descriptors_)[size_t(null_flags_)];
    const uint64_t at = uint64_t(flags.offset) + uint64_t(bit / 8);
    return at < bytes.size() && (bytes[size_t(at)] >> (bit % 8)) & 1;
}

void dbf_record::assign(std::span<const uint8_t> bytes) {
    set_deleted(!bytes.empty() && bytes[0] == '*');
    TK_TRACE(1, "Got deleted flag: %d", int(is_deleted()));
    for (size_t i = 0; i < columns_.size(); ++i) {
        const dbf_field_descriptor& fd = (*descriptors_)[columns_[i]];
        udb_field& f = (*this)[i];
        TK_TRACE(1, "field #%d: type=%08X, size=%u", int(i), unsigned(fd.vartype), fd.size);
        if (uint64_t(fd.offset) + fd.width > bytes.size()) {
            f.clear();
            continue;
        }
        std::span<const uint8_t> value = bytes.subspan(fd.offset, fd.width);
        if (flag_set(bytes, fd.null_bit)) {
            f.set_null();
            continue;
        }
        bool exact = true;
        switch (fd.kind) {
        case dbf_field_kind::memo_text:
        case dbf_field_kind::memo_binary:
            switch (get_memo_field(f, fd, value, true)) {
            case memo_value::exact:
                break;
            case memo_value::unreadable:
                if (notes_)
                    notes_->add(i, udb_value_notes::unreadable_memo);
                break;
            case memo_value::undecodable:
                if (notes_)
                    notes_->add(i, udb_value_notes::undecodable_text);
                break;
            case memo_value::binary:
                if (notes_)
                    notes_->add(i, udb_value_notes::binary_in_text_memo);
                break;
            }
            continue;
        case dbf_field_kind::unknown:
            exact = dbf_field::decode(value, fd, *codepage_, f, narrow_);
            // Carried, but as bytes: said once per field, counted by the values that had any.
            if (notes_ && !value.empty())
                notes_->add(i, udb_value_notes::unknown_type);
            break;
        case dbf_field_kind::varchar:
        case dbf_field_kind::varbinary:
            // A value shorter than the field keeps its length in the field's last byte.
            if (!value.empty() && flag_set(bytes, fd.varlen_bit))
                value = value.first(std::min<size_t>(value.back(), value.size() - 1));
            exact = dbf_field::decode(value, fd, *codepage_, f, narrow_);
            break;
        default:
            exact = dbf_field::decode(value, fd, *codepage_, f, narrow_);
            break;
        }
        if (!exact && notes_)
            notes_->add(i, note_of(fd.kind, f.get_type() != VT_EMPTY));
    }
}

dbf_record::memo_value dbf_record::get_memo_field(ole_variant& out, const dbf_field_descriptor& fd,
                                                  std::span<const uint8_t> bytes, bool as_wide) {
    TK_TRACE(1, "Processing MEMO-data");
    if (!memo_) {
        // Said once, when the table opened without its memo file.
        TK_TRACE(1, "No MEMO file!");
        out.clear();
        return memo_value::exact;
    }
    const uint32_t block = memo_->get_block_number(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    TK_TRACE(1, "Got memo block number: %u", block);
    if (block == 0) {
        out.clear();
        return memo_value::exact;
    }
    // Text is read whole too, so that binary data in a text memo shows.
    const dbf_memo_block kind = memo_->read_memo(block, memo_buffer_, dbf_memo_read::binary);
    if (kind == dbf_memo_block::invalid) {
        out.clear();
        return memo_value::unreadable;
    }
    if (fd.kind == dbf_field_kind::memo_binary) {
        if (memo_buffer_.empty())
            out.attach_binary(0, nullptr);
        else
            std::memcpy(out.allocate_safe_array(memo_buffer_.size()).data(), memo_buffer_.data(),
                        memo_buffer_.size());
        return memo_value::exact;
    }
    // Text ends at a zero byte; zero bytes after it are padding, anything else is data that
    // is no text.
    const size_t zero = memo_buffer_.find('\0');
    if (kind != dbf_memo_block::text ||
        (zero != std::string::npos &&
         memo_buffer_.find_first_not_of('\0', zero) != std::string::npos)) {
        out.clear();
        return memo_value::binary;
    }
    if (zero != std::string::npos)
        memo_buffer_.resize(zero);
    if (as_wide && narrow_) {
        out.attach_narrow(memo_buffer_, *codepage_);
        if (!codepage_->maps_all(memo_buffer_))
            return memo_value::undecodable;
    } else if (as_wide) {
        if (!codepage_->decode_checked(memo_buffer_, out.set_bstr()))
            return memo_value::undecodable;
    } else {
        out.attach_string(memo_buffer_);
    }
    return memo_value::exact;
}
