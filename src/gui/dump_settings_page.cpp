#include "gui/dump_settings_page.h"

#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_trace.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

dump_settings_page::dump_settings_page(wizard_shell& shell)
    : wizard_page(shell, wizard_shell::help_script) {
    setObjectName(QStringLiteral("dump_settings_page"));
    setTitle(QStringLiteral("Step 1 of 4"));
    setSubTitle(QStringLiteral("MS SQL script file settings"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("On this page you can specify how to format output T-SQL script file.")));
    layout->addSpacing(8);
    create_database_ = new QCheckBox(QStringLiteral("Insert 'CREATE &DATABASE' statement"));
    create_database_->setObjectName(wizard_control_name(&udb_settings::dmp_ins_db));
    create_table_ = new QCheckBox(QStringLiteral("Insert 'CREATE &TABLE' statements"));
    create_table_->setObjectName(wizard_control_name(&udb_settings::dmp_ins_tab));
    comments_ = new QCheckBox(QStringLiteral("Insert &comments"));
    comments_->setObjectName(wizard_control_name(&udb_settings::dmp_ins_com));
    layout->addWidget(create_database_);
    layout->addWidget(create_table_);
    layout->addWidget(comments_);
    layout->addStretch();
    // A database block without the tables it creates would leave an empty database.
    connect(create_table_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            create_database_->setChecked(false);
        create_database_->setEnabled(on);
        if (on)
            create_database_->setFocus();
    });
}

void dump_settings_page::initializePage() {
    const wizard_script_settings s = settings().script();
    create_table_->setChecked(s.create_table);
    create_database_->setChecked(s.create_database && s.create_table);
    create_database_->setEnabled(s.create_table);
    comments_->setChecked(s.comments);
}

void dump_settings_page::save() {
    TK_TRACE(2, "mssql_converter_impl::mss_dump_set_insert_create_tab(%d)",
             int(create_table_->isChecked()));
    TK_TRACE(2, "mssql_converter_impl::mss_dump_set_insert_comments(%d)",
             int(comments_->isChecked()));
    settings().set_script(
        {create_database_->isChecked(), create_table_->isChecked(), comments_->isChecked()});
}

bool dump_settings_page::validatePage() {
    save();
    return true;
}

int dump_settings_page::nextId() const {
    return wizard_shell::source_id;
}
