#include "tk/tk_error_converter.h"

#include "tk/tk_exception.h"
#include "tk/tk_product.h"
#include "tk/tk_trace.h"

namespace {

// Messages for the OLE DB failures users meet; the others show the provider's own text.
constexpr tk_error_pair odb_errors[] = {
    {0x80E03, "Given values violate the database schema."},
    {0x80E07,
     "Literal value could not be converted to the correct type.Contact to " TK_SUPPORT_EMAIL
     " for the solution."},
    {0x80E09, "You are not allowed to access MS SQL database. Ask your\nsystem administrator to "
              "grant you necessary privileges."},
    {0x80E11, "Invalid column ID. Contact to " TK_SUPPORT_EMAIL " for the solution."},
    {0x80E13, "Invalid value. Contact to " TK_SUPPORT_EMAIL " for the solution."},
    {0x80E17, "Data source with the specified name already exists."},
    {0x80E1D, "Requested conversion is not supported."},
    {0x80E21, "Errors occurred. Contact to " TK_SUPPORT_EMAIL " for the solution."},
    {0x80E2F, "The specified record violates the integrity constraints.\nSee 'Troubleshooting' "
              "article of the product documentation\nfor solution."},
    {0x80E30, "The given type name is unrecognized."},
    {0x80E34, "The specified index already exists."},
    {0x80E35, "The specified index does not exist."},
    {0x80E37, "The specified table does not exist."},
    {0x80E3A, "The specified precision is invalid."},
    {0x80E3B, "The specified scale is invalid."},
    {0x80E3C, "Invalid table ID. Contact to " TK_SUPPORT_EMAIL " for the solution."},
    {0x80E3D, "The specified type is invalid."},
    {0x80E3E, "The column ID is occurred more than once in the specification."},
    {0x80E3F, "The specified table already exists. Try to connect as database owner\nusing the "
              "appropriate checkbox on 'Connect to MS SQL server' wizard page."},
    {0x80E42, "The specified record number is invalid."},
    {0x80E4D, "Invalid user name or password."},
    {0x80E55, "The specified column did not exist."},
    {0x80E57, "Literal value overflowed the range of the type of the associated column.\nContact "
              "to " TK_SUPPORT_EMAIL " for the solution."},
    {0x80E65, "The supplied columnID is invalid."},
    {0x80E72, "The index ID is invalid. Contact to " TK_SUPPORT_EMAIL "\nfor the solution."},
    {0x80EC1, "One or more column types are incompatible; conversion errors will\noccur during "
              "copying."},
    {0x80EDA, "Errors occurred. Contact to " TK_SUPPORT_EMAIL " for the solution."},
};

} // namespace

std::span<const tk_error_pair> tk_odb_error_table() noexcept {
    return odb_errors;
}

tk_error_converter::tk_error_converter(const tk_error_pair* pairs, size_t count) {
    load_map(pairs, count);
    TK_TRACE(2, "tk_error_converter::ctor (map size=%d)", static_cast<int>(map_.size()));
}

void tk_error_converter::load_map(const tk_error_pair* pairs, size_t count) {
    TK_ASSERT(pairs != nullptr);
    for (size_t i = 0; i < count; ++i)
        map_[pairs[i].code] = pairs[i].message ? pairs[i].message : "";
    TK_TRACE(2, "tk_error_converter::load_map (map size=%d)", static_cast<int>(map_.size()));
}

std::string tk_error_converter::convert(uint32_t code) const {
    TK_TRACE(2, "tk_error_converter::convert(%d)", static_cast<int>(code));
    auto it = map_.find(code);
    if (it == map_.end()) {
        TK_TRACE(1, "Error message not found!");
        return {};
    }
    TK_TRACE(1, "Error message has been found: %s", it->second.c_str());
    return it->second;
}
