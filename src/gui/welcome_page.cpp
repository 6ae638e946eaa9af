#include "gui/welcome_page.h"

#include "gui/wizard_art.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

welcome_page::welcome_page(wizard_shell& shell) : wizard_page(shell, wizard_shell::help_welcome) {
    setObjectName(QStringLiteral("welcome_page"));
    setPixmap(QWizard::WatermarkPixmap, wizard_watermark());
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(QStringLiteral("DBase/FoxPro to Microsoft SQL\nConversion Wizard"));
    caption->setObjectName(QStringLiteral("caption"));
    caption->setFont(caption_font());
    layout->addWidget(caption);
    layout->addSpacing(12);
    layout->addWidget(new QLabel(QStringLiteral("This wizard helps you to convert DBase/FoxPro "
                                                "(.dbf) files\ninto Microsoft SQL or SQL Azure "
                                                "database.")));
    layout->addSpacing(8);
    auto* load = new QPushButton(QStringLiteral("&Load Settings..."));
    load->setObjectName(QStringLiteral("load_settings"));
    load->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addWidget(load);
    layout->addSpacing(8);
    layout->addWidget(new QLabel(QStringLiteral("Select conversion scenario:")));
    direct_ = new QRadioButton(QStringLiteral("&Migrate to MS SQL server directly"));
    direct_->setObjectName(wizard_control_name(&udb_settings::direct));
    script_ = new QRadioButton(QStringLiteral("&Export into local T-SQL script file"));
    script_->setObjectName(QStringLiteral("script"));
    layout->addWidget(direct_);
    layout->addWidget(script_);
    layout->addStretch();
    layout->addWidget(new QLabel(QStringLiteral("Click 'Next' to continue.")));
    connect(load, &QPushButton::clicked, this, &welcome_page::on_load);
}

void welcome_page::initializePage() {
    (settings().direct() ? direct_ : script_)->setChecked(true);
}

bool welcome_page::validatePage() {
    TK_TRACE(2, "welcome_page::on_next");
    settings().set_direct(direct_->isChecked());
    return true;
}

int welcome_page::nextId() const {
    return direct_->isChecked() ? wizard_shell::mssql_id : wizard_shell::script_id;
}

void welcome_page::on_load() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Select Profile File"), QString(),
                                     QStringLiteral("Profile Files (*.tbx);;All Files (*)"));
    if (!path.isEmpty())
        load_settings(path);
}

bool welcome_page::load_settings(const QString& path) {
    TK_TRACE(2, "welcome_page_t::on_load(%s)", path.toUtf8().constData());
    try {
        if (!settings().load_profile(path.toStdString())) {
            wizard_error(QStringLiteral("Cannot read the profile '%1'.").arg(path));
            return false;
        }
    } catch (const tk_exception& e) {
        wizard_error(QString::fromUtf8(e.message()));
        return false;
    }
    initializePage();
    return true;
}
