// The field type descriptor: one column of a table as every source and destination sees it.
#pragma once

#include "ole/ole_variant.h"

#include <cstdint>
#include <string>

// Columns are typed by OLE Automation VT codes. `dw_reserved` carries the detail the code
// alone does not:
//   VT_DATE     2 = date only, 3 = time only, anything else = date and time;
//   VT_BSTR     1 = the text is a GUID, 11 = the text is XML;
//   VT_BLOB     1 = the bytes are a GUID;
//   VT_DECIMAL  precision * 256 + scale; 0 = precision and scale unknown.
// A copy is deep: own strings, own default value.
struct t_ftd {
    enum : uint32_t { date_only = 2, time_only = 3, text_guid = 1, text_xml = 11, blob_guid = 1 };

    uint32_t size = 0; // characters for text, bytes for binary; 0 = no fixed limit
    std::u16string name;
    uint16_t vartype = VT_EMPTY;
    std::u16string native_type; // a destination type chosen by the user, used as it stands
    bool b_auto_num = false;
    bool b_not_null = false;
    ole_variant default_value; // VT_EMPTY when the column has no default
    uint32_t dw_reserved = 0;

    t_ftd() = default;
    t_ftd(uint32_t size, std::u16string name, uint16_t vartype, bool not_null = false,
          bool auto_num = false, const ole_variant& default_value = ole_variant(),
          uint32_t reserved = 0, std::u16string native_type = std::u16string());

    uint8_t decimal_precision() const noexcept { return uint8_t((dw_reserved >> 8) & 0xFF); }
    uint8_t decimal_scale() const noexcept { return uint8_t(dw_reserved & 0xFF); }

    // Whether a column of this type and size can be written into the column `dest`.
    bool conform_to(const t_ftd& dest) const;
};
