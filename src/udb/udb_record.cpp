#include "udb/udb_record.h"

#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

#include <atomic>
#include <utility>

namespace {

// Name tokens are unique in the process, so that fields of different records or tables never
// share one by accident.
uint64_t new_name_id(const std::u16string& name) noexcept {
    static std::atomic<uint64_t> last{0};
    return name.empty() ? 0 : last.fetch_add(1, std::memory_order_relaxed) + 1;
}

} // namespace

udb_field::udb_field() {
    TK_TRACE(1, "udb_field::empty ctor");
}

udb_field::udb_field(std::u16string name, uint32_t size, const ole_variant& value)
    : ole_variant(value), size_(size), name_(std::move(name)), name_id_(new_name_id(name_)) {
    TK_TRACE(1, "udb_field::ctor #2");
    TK_TRACE(1, "name=%s, size=%d", tk_trace_text(name_).c_str(), int(size_));
}

// A moved-from field is left without name, so that its token cannot vouch for a name it no
// longer holds.
udb_field::udb_field(udb_field&& other) noexcept
    : ole_variant(std::move(other)), size_(other.size_), name_(std::move(other.name_)),
      name_id_(std::exchange(other.name_id_, 0)) {
    other.name_.clear();
}

udb_field& udb_field::operator=(udb_field&& other) noexcept {
    if (this != &other) {
        ole_variant::operator=(std::move(other));
        size_ = other.size_;
        name_ = std::move(other.name_);
        name_id_ = std::exchange(other.name_id_, 0);
        other.name_.clear();
    }
    return *this;
}

void udb_field::set_name(std::u16string name) {
    name_ = std::move(name);
    name_id_ = new_name_id(name_);
}

udb_field& udb_record::add_field(udb_field field) {
    return fields_.emplace_back(std::move(field));
}

udb_field& udb_record::add_field(std::u16string name, uint32_t size, const ole_variant& value) {
    return fields_.emplace_back(std::move(name), size, value);
}

void udb_record::clear() noexcept {
    fields_.clear();
    deleted_ = false;
}

int32_t udb_record::get_field_idx(std::u16string_view name) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        TK_TRACE(1, "Processing %s", tk_trace_text(fields_[i].get_name()).c_str());
        if (tk_equal_nocase(fields_[i].get_name(), name))
            return int32_t(i);
    }
    return -1;
}

bool udb_record::find_field(std::u16string_view name) const {
    TK_TRACE(2, "udb_record::find_field(%s)", tk_trace_text(name).c_str());
    return get_field_idx(name) >= 0;
}

const udb_field& udb_record::get_field(std::u16string_view name) const {
    static const udb_field empty;
    const int32_t i = get_field_idx(name);
    return i < 0 ? empty : fields_[size_t(i)];
}
