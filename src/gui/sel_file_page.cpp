#include "gui/sel_file_page.h"

#include "dbf/dbf_codepages.h"
#include "gui/overwrite_dialog.h"
#include "gui/qt_text.h"
#include "gui/server_access.h"
#include "gui/wizard_checks.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_trace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

sel_file_page::sel_file_page(wizard_shell& shell) : wizard_page(shell, wizard_shell::help_source) {
    setObjectName(QStringLiteral("sel_file_page"));
    setTitle(QStringLiteral("Step 2 of 4"));
    setSubTitle(QStringLiteral("Select databases"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral(
        "Enter source and destination database names. Click 'Browse' to find the source\n"
        "database through directory tree.")));
    auto* grid = new QGridLayout;
    folder_ = new QLineEdit;
    folder_->setObjectName(wizard_control_name(&udb_settings::source));
    auto* folder_label = new QLabel(QStringLiteral("DB&F database folder:"));
    folder_label->setBuddy(folder_);
    auto* browse_source = new QPushButton(QStringLiteral("Browse..."));
    browse_source->setObjectName(QStringLiteral("browse_source"));
    grid->addWidget(folder_label, 0, 0, 1, 2);
    grid->addWidget(folder_, 1, 0);
    grid->addWidget(browse_source, 1, 1);
    destination_ = new QLineEdit;
    destination_->setObjectName(wizard_control_name(&udb_settings::destination));
    destination_label_ = new QLabel;
    destination_label_->setObjectName(QStringLiteral("destination_label"));
    destination_label_->setBuddy(destination_);
    browse_destination_ = new QPushButton(QStringLiteral("Browse..."));
    browse_destination_->setObjectName(QStringLiteral("browse_destination"));
    grid->addWidget(destination_label_, 2, 0, 1, 2);
    grid->addWidget(destination_, 3, 0);
    grid->addWidget(browse_destination_, 3, 1);
    layout->addLayout(grid);
    definitions_only_ = new QCheckBox(QStringLiteral("&Convert table definitions only"));
    definitions_only_->setObjectName(wizard_control_name(&udb_settings::table_definitions_only));
    skip_deleted_ = new QCheckBox(QStringLiteral("&Don't convert deleted records"));
    skip_deleted_->setObjectName(wizard_control_name(&udb_settings::skip_deleted));
    bool_as_is_ = new QCheckBox(QStringLiteral("Convert logical &values 'as is'"));
    bool_as_is_->setObjectName(wizard_control_name(&udb_settings::bool_as_is));
    layout->addWidget(definitions_only_);
    layout->addWidget(skip_deleted_);
    layout->addWidget(bool_as_is_);
    auto* group = new QGroupBox(QStringLiteral(" Use &Encoding: "));
    auto* group_layout = new QVBoxLayout(group);
    encoding_ = new QComboBox;
    encoding_->setObjectName(wizard_control_name(&udb_settings::encoding));
    for (const dbf_codepage_entry& e : dbf_codepage_table()) {
        const QString name = e.codepage == 0
                                 ? QStringLiteral("%1 (each table's own)").arg(to_qt(e.name))
                                 : QStringLiteral("%1 (%2)").arg(to_qt(e.name)).arg(e.codepage);
        encoding_->addItem(name, uint(e.language_driver));
    }
    group_layout->addWidget(encoding_);
    layout->addWidget(group);
    layout->addStretch();
    connect(browse_source, &QPushButton::clicked, this, &sel_file_page::on_browse_source);
    connect(browse_destination_, &QPushButton::clicked, this,
            &sel_file_page::on_browse_destination);
}

void sel_file_page::initializePage() {
    const wizard_source_settings s = settings().source();
    const bool direct = settings().direct();
    // A code page given by its number (the command line and profiles take those) is offered
    // as it is: cut to a language-driver byte, it would name another code page.
    while (encoding_->count() > int(dbf_codepage_table().size()))
        encoding_->removeItem(encoding_->count() - 1);
    int found = encoding_->findData(uint(s.encoding));
    if (found < 0 && dbf_codepage_of_setting(s.encoding) != 0) {
        encoding_->addItem(QStringLiteral("Code page %1").arg(s.encoding), uint(s.encoding));
        found = encoding_->count() - 1;
    }
    encoding_->setCurrentIndex(found >= 0 ? found : 0);
    definitions_only_->setChecked(s.definitions_only);
    skip_deleted_->setChecked(s.skip_deleted);
    bool_as_is_->setChecked(s.bool_as_is);
    destination_label_->setText(direct ? QStringLiteral("MS &SQL database name:")
                                       : QStringLiteral("&Destination T-SQL script path:"));
    browse_destination_->setVisible(!direct);
    folder_->setText(to_qt(s.folder));
    destination_->setText(to_qt(s.destination));
}

void sel_file_page::save() {
    QString destination = destination_->text();
    // A script path is kept whole, so that a profile names the same file wherever it is
    // loaded from.
    if (!settings().direct() && !destination.isEmpty())
        destination = QDir::cleanPath(QDir::current().absoluteFilePath(destination));
    QString folder = folder_->text();
    if (!folder.isEmpty())
        folder = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    settings().set_source({from_qt(folder), from_qt(destination), definitions_only_->isChecked(),
                           skip_deleted_->isChecked(), bool_as_is_->isChecked(),
                           encoding_->currentData().toUInt()});
}

bool sel_file_page::validatePage() {
    save();
    try {
        if (const auto problem = wizard_check_source(settings())) {
            wizard_show(*problem);
            return false;
        }
        if (!settings().direct()) {
            // The old script stays until the new one is whole, then the new one replaces it.
            return !wizard_script_exists(settings()) ||
                   wizard_question(QStringLiteral("Destination file already exists. Overwrite?"));
        }
        return choose_mode();
    } catch (const tk_exception& e) {
        const std::string known =
            error_handler::instance().converter().convert(static_cast<uint32_t>(e.code()));
        wizard_error(QString::fromUtf8(known.empty() ? e.message() : known));
        return false;
    }
}

bool sel_file_page::choose_mode() {
    const std::u16string database = settings().source().destination;
    const bool exists = shell().server().database_exists(database);
    TK_TRACE(2, exists ? "MS SQL DB exists..." : "MS SQL DB not exists...");
    if (!exists)
        return true;
    overwrite_dialog dialog(settings().preferred_overwrite_mode(), this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings().set_mode(dialog.mode());
    return true;
}

int sel_file_page::nextId() const {
    return wizard_shell::tables_id;
}

void sel_file_page::on_browse_source() {
    TK_TRACE(2, "sel_file_page::on_browse_src");
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Select DBF database folder"), folder_->text());
    if (!folder.isEmpty())
        folder_->setText(QDir::toNativeSeparators(folder));
}

void sel_file_page::on_browse_destination() {
    QFileDialog dialog(this, QStringLiteral("Select File"), destination_->text(),
                       QStringLiteral("T-SQL Script Files (*.sql);;All Files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("sql"));
    // The question whether to replace the file is asked by Next, once.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        destination_->setText(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}
