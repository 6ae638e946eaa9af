// Rules by which the application overrides, column by column and value by value, how the
// destinations type and write a field.
#pragma once

#include "tk/tk_singleton.h"

#include <memory>
#include <string>
#include <vector>

class ole_variant;
struct t_ftd;
// The server destination's description of a column being created; defined by that destination.
struct odb_column_desc;

class udb_conversion_rule {
public:
    virtual ~udb_conversion_rule() = default;
    virtual bool accepts_value(const ole_variant& value) const = 0;
    virtual bool accepts_field(const t_ftd& field) const = 0;
    // The literal written in place of the standard one.
    virtual std::u16string handle2(const ole_variant& value) const = 0;
    // Adjusts the description of a column being created on a server.
    virtual void handle1_1(const t_ftd& field, odb_column_desc& column) const = 0;
};

// The rules of the current run, in insertion order; it owns them. The list exists for the
// length of a run; while there is none, or it is empty, every query answers "no rule" and
// the standard mappings apply.
class udb_custom_conversion : public tk_singleton<udb_custom_conversion> {
public:
    udb_custom_conversion() = default;
    ~udb_custom_conversion();

    void add_rule(std::unique_ptr<udb_conversion_rule> rule);
    size_t size() const noexcept { return rules_.size(); }

    // The first rule that accepts the column or the value; null when none does. Per-value code
    // asks the list its run context holds.
    const udb_conversion_rule* rule_for(const t_ftd& field) const;
    const udb_conversion_rule* rule_for(const ole_variant& value) const;

    // The same questions put to the list of the current run, when there is one.

    // Whether a rule accepts the column.
    static bool is_acceptable1(const t_ftd& field);
    // Whether a rule accepts the value.
    static bool is_acceptable2(const ole_variant& value);
    // The first rule that accepts the column adjusts its description.
    static void handle1_1(const t_ftd& field, odb_column_desc& column);
    // The literal of the first rule that accepts the value; empty without rules. With rules
    // of which none accepts the value it is an internal error: ask is_acceptable2 first.
    static std::u16string handle2(const ole_variant& value);

private:
    std::vector<std::unique_ptr<udb_conversion_rule>> rules_;
};
