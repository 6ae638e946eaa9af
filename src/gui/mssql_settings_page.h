// Page 118: the MS SQL server, how to log in to it, how the records are loaded, and the
// connection that Next makes.
#pragma once

#include "gui/wizard_page.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class mssql_settings_page : public wizard_page {
    Q_OBJECT
public:
    explicit mssql_settings_page(wizard_shell& shell);

    void initializePage() override;
    void save() override;
    bool validatePage() override;
    int nextId() const override;
    void entered() override;

    // How long Next waits for the server before giving up.
    void set_connect_timeout(int ms) noexcept { timeout_ms_ = ms; }

private:
    void update_login_controls();

    QLineEdit* host_ = nullptr;
    QRadioButton* windows_ = nullptr;
    QRadioButton* sql_ = nullptr;
    QLineEdit* login_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* as_dbo_ = nullptr;
    QGroupBox* records_ = nullptr;
    QCheckBox* fast_load_ = nullptr;
    QSpinBox* batch_size_ = nullptr;
    int timeout_ms_ = 60000;
};
