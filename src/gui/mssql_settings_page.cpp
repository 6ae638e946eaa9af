#include "gui/mssql_settings_page.h"

#include "gui/connect_dialog.h"
#include "gui/qt_text.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit* line_edit(std::u16string udb_settings::*member) {
    auto* edit = new QLineEdit;
    edit->setObjectName(wizard_control_name(member));
    return edit;
}

} // namespace

mssql_settings_page::mssql_settings_page(wizard_shell& shell)
    : wizard_page(shell, wizard_shell::help_mssql) {
    setObjectName(QStringLiteral("mssql_settings_page"));
    setTitle(QStringLiteral("Step 1 of 4"));
    setSubTitle(QStringLiteral("Connect to MS SQL server"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Provide necessary information to establish MS SQL server connection.\n"
                       "Leave 'MS SQL Server' field empty to connect to local server.")));
    auto* form = new QFormLayout;
    host_ = line_edit(&udb_settings::host);
    auto* host_label = new QLabel(QStringLiteral("MS &SQL Server:"));
    host_label->setBuddy(host_);
    form->addRow(host_label, host_);
    layout->addLayout(form);

    auto* group = new QGroupBox(QStringLiteral(" Connect using: "));
    auto* group_layout = new QVBoxLayout(group);
    windows_ = new QRadioButton(QStringLiteral("&Windows authentication"));
    windows_->setObjectName(wizard_control_name(&udb_settings::windows_auth));
    sql_ = new QRadioButton(QStringLiteral("S&QL Server authentication"));
    sql_->setObjectName(QStringLiteral("sql_auth"));
    group_layout->addWidget(windows_);
    group_layout->addWidget(sql_);
    auto* login_form = new QFormLayout;
    login_ = line_edit(&udb_settings::login);
    password_ = line_edit(&udb_settings::password);
    password_->setEchoMode(QLineEdit::Password);
    auto* login_label = new QLabel(QStringLiteral("&Login name:"));
    login_label->setBuddy(login_);
    auto* password_label = new QLabel(QStringLiteral("&Password:"));
    password_label->setBuddy(password_);
    login_form->addRow(login_label, login_);
    login_form->addRow(password_label, password_);
    group_layout->addLayout(login_form);
    layout->addWidget(group);
    as_dbo_ = new QCheckBox(QStringLiteral("&Connect as database owner"));
    as_dbo_->setObjectName(wizard_control_name(&udb_settings::as_dbo));
    layout->addWidget(as_dbo_);

    records_ = new QGroupBox(QStringLiteral(" Records: "));
    auto* records_layout = new QFormLayout(records_);
    records_layout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    fast_load_ = new QCheckBox(QStringLiteral("&Fast load (bulk copy)"));
    fast_load_->setObjectName(wizard_control_name(&udb_settings::fast_load));
    fast_load_->setToolTip(QStringLiteral(
        "Sends the records by bulk copy where the ODBC driver offers it, many times faster "
        "than INSERT statements. A record bulk copy cannot carry exactly goes by statement "
        "instead; turned off, every record goes by statement."));
    batch_size_ = new QSpinBox;
    batch_size_->setObjectName(wizard_control_name(&udb_settings::batch_size));
    const wizard_number_range range = wizard_control_range(&udb_settings::batch_size);
    batch_size_->setRange(range.least, range.most);
    batch_size_->setGroupSeparatorShown(true);
    batch_size_->setToolTip(QStringLiteral(
        "How many records the server commits together (1,000 unless you change it). A batch "
        "the server refuses is sent again record by record, so that only the records it "
        "refuses are reported."));
    auto* batch_label = new QLabel(QStringLiteral("Batch si&ze (records):"));
    batch_label->setBuddy(batch_size_);
    records_layout->addRow(fast_load_);
    records_layout->addRow(batch_label, batch_size_);
    layout->addWidget(records_);
    layout->addStretch();
    connect(windows_, &QRadioButton::toggled, this, &mssql_settings_page::update_login_controls);
}

void mssql_settings_page::update_login_controls() {
    const bool sql = sql_->isChecked();
    login_->setEnabled(sql);
    password_->setEnabled(sql);
}

void mssql_settings_page::initializePage() {
    const wizard_server_settings s = settings().server();
    host_->setText(to_qt(s.host));
    login_->setText(to_qt(s.login));
    password_->setText(to_qt(s.password));
    (s.windows_auth ? windows_ : sql_)->setChecked(true);
    as_dbo_->setChecked(s.as_dbo);
    fast_load_->setChecked(s.fast_load);
    batch_size_->setValue(int(s.batch_size));
    update_login_controls();
}

void mssql_settings_page::entered() {
    // Table definitions only: no record is loaded.
    records_->setEnabled(!settings().source().definitions_only);
}

void mssql_settings_page::save() {
    settings().set_server({from_qt(host_->text()), windows_->isChecked(), from_qt(login_->text()),
                           from_qt(password_->text()), as_dbo_->isChecked(),
                           fast_load_->isChecked(), uint32_t(batch_size_->value())});
}

bool mssql_settings_page::validatePage() {
    save();
    return connect_dialog::connect_to(shell().server(), this, timeout_ms_);
}

int mssql_settings_page::nextId() const {
    return wizard_shell::source_id;
}
