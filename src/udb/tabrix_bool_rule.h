// Logical values written "as is": 'T' and 'F' instead of numbers.
#pragma once

#include "udb/udb_custom_conversion.h"

class tabrix_bool_rule : public udb_conversion_rule {
public:
    bool accepts_value(const ole_variant& value) const override;
    bool accepts_field(const t_ftd& field) const override;
    // "'T'" or "'F'" (quotes included) for a logical value, empty for any other.
    std::u16string handle2(const ole_variant& value) const override;
    // The column keeps its standard description.
    void handle1_1(const t_ftd& field, odb_column_desc& column) const override;
};
