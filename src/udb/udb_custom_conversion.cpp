#include "udb/udb_custom_conversion.h"

#include "tk/tk_trace.h"

udb_custom_conversion::~udb_custom_conversion() {
    TK_TRACE(2, "udb_custom_conversion::dtor");
}

void udb_custom_conversion::add_rule(std::unique_ptr<udb_conversion_rule> rule) {
    TK_ASSERT(rule != nullptr);
    rules_.push_back(std::move(rule));
}

bool udb_custom_conversion::is_acceptable1(const t_ftd& field) {
    TK_TRACE(2, "udb_custom_conversion::is_acceptable1");
    const udb_custom_conversion* list = try_instance();
    if (list == nullptr)
        return false;
    for (const auto& rule : list->rules_) {
        if (rule->accepts_field(field))
            return true;
    }
    return false;
}

bool udb_custom_conversion::is_acceptable2(const ole_variant& value) {
    TK_TRACE(2, "udb_custom_conversion::is_acceptable2");
    const udb_custom_conversion* list = try_instance();
    if (list == nullptr)
        return false;
    for (const auto& rule : list->rules_) {
        if (rule->accepts_value(value))
            return true;
    }
    return false;
}

void udb_custom_conversion::handle1_1(const t_ftd& field, odb_column_desc& column) {
    TK_TRACE(2, "udb_custom_conversion::handle1_1");
    const udb_custom_conversion* list = try_instance();
    if (list == nullptr)
        return;
    for (const auto& rule : list->rules_) {
        if (rule->accepts_field(field)) {
            rule->handle1_1(field, column);
            return;
        }
    }
}

std::u16string udb_custom_conversion::handle2(const ole_variant& value) {
    TK_TRACE(2, "udb_custom_conversion::handle2");
    const udb_custom_conversion* list = try_instance();
    if (list == nullptr || list->rules_.empty())
        return std::u16string();
    for (const auto& rule : list->rules_) {
        if (rule->accepts_value(value))
            return rule->handle2(value);
    }
    TK_FAIL();
}
