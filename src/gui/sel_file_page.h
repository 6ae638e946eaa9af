// Page 105: the folder of DBF tables, the destination (a database name or a script path),
// the conversion options and the code page of the tables' text.
#pragma once

#include "gui/wizard_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class sel_file_page : public wizard_page {
    Q_OBJECT
public:
    explicit sel_file_page(wizard_shell& shell);

    void initializePage() override;
    void save() override;
    bool validatePage() override;
    int nextId() const override;

private:
    void on_browse_source();
    void on_browse_destination();
    // Direct mode: asks how to treat a database that exists. False when the user cancels.
    bool choose_mode();

    QLineEdit* folder_ = nullptr;
    QLabel* destination_label_ = nullptr;
    QLineEdit* destination_ = nullptr;
    QPushButton* browse_destination_ = nullptr;
    QCheckBox* definitions_only_ = nullptr;
    QCheckBox* skip_deleted_ = nullptr;
    QCheckBox* bool_as_is_ = nullptr;
    QComboBox* encoding_ = nullptr;
};
