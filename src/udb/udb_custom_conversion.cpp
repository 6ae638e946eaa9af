#include "udb/udb_custom_conversion.h"

#include "tk/tk_trace.h"

udb_custom_conversion::~udb_custom_conversion() {
    TK_TRACE(2, "udb_custom_conversion::dtor");
}

void udb_custom_conversion::add_rule(std::unique_ptr<udb_conversion_rule> rule) {
    TK_ASSERT(rule != nullptr);
    rules_.push_back(std::move(rule));
}

const udb_conversion_rule* udb_custom_conversion::rule_for(const t_ftd& field) const {
    for (const auto& rule : rules_)
        if (rule->accepts_field(field))
            return rule.get();
    return nullptr;
}

const udb_conversion_rule* udb_custom_conversion::rule_for(const ole_variant& value) const {
    for (const auto& rule : rules_)
        if (rule->accepts_value(value))
            return rule.get();
    return nullptr;
}

bool udb_custom_conversion::is_acceptable1(const t_ftd& field) {
    TK_TRACE(2, "udb_custom_conversion::is_acceptable1");
    const udb_custom_conversion* list = try_instance();
    return list != nullptr && list->rule_for(field) != nullptr;
}

bool udb_custom_conversion::is_acceptable2(const ole_variant& value) {
    TK_TRACE(2, "udb_custom_conversion::is_acceptable2");
    const udb_custom_conversion* list = try_instance();
    return list != nullptr && list->rule_for(value) != nullptr;
}

void udb_custom_conversion::handle1_1(const t_ftd& field, odb_column_desc& column) {
    TK_TRACE(2, "udb_custom_conversion::handle1_1");
    const udb_custom_conversion* list = try_instance();
    if (const udb_conversion_rule* rule = list ? list->rule_for(field) : nullptr)
        rule->handle1_1(field, column);
}

std::u16string udb_custom_conversion::handle2(const ole_variant& value) {
    TK_TRACE(2, "udb_custom_conversion::handle2");
    const udb_custom_conversion* list = try_instance();
    if (list == nullptr || list->rules_.empty())
        return std::u16string();
    const udb_conversion_rule* rule = list->rule_for(value);
    TK_ASSERT(rule != nullptr);
    return rule->handle2(value);
}
