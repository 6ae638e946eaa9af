// Page 109: what the T-SQL script holds besides the records.
#pragma once

#include "gui/wizard_page.h"

class QCheckBox;

class dump_settings_page : public wizard_page {
    Q_OBJECT
public:
    explicit dump_settings_page(wizard_shell& shell);

    void initializePage() override;
    void save() override;
    bool validatePage() override;
    int nextId() const override;

private:
    QCheckBox* create_database_ = nullptr;
    QCheckBox* create_table_ = nullptr;
    QCheckBox* comments_ = nullptr;
};
