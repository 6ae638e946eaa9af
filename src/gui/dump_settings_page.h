// Page 109: what the T-SQL script holds besides the records, and how it groups the records
// into statements and batches.
#pragma once

#include "gui/wizard_page.h"

class QCheckBox;
class QGroupBox;
class QSpinBox;

class dump_settings_page : public wizard_page {
    Q_OBJECT
public:
    explicit dump_settings_page(wizard_shell& shell);

    void initializePage() override;
    void save() override;
    bool validatePage() override;
    int nextId() const override;
    void entered() override;

private:
    QCheckBox* create_database_ = nullptr;
    QCheckBox* create_table_ = nullptr;
    QCheckBox* comments_ = nullptr;
    QGroupBox* records_ = nullptr;
    QSpinBox* rows_per_insert_ = nullptr;
    QSpinBox* rows_per_batch_ = nullptr;
};
