#include "gui/dump_settings_page.h"

#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_trace.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QSpinBox* number_box(uint32_t udb_settings::*member) {
    auto* box = new QSpinBox;
    box->setObjectName(wizard_control_name(member));
    const wizard_number_range range = wizard_control_range(member);
    box->setRange(range.least, range.most);
    box->setGroupSeparatorShown(true);
    return box;
}

} // namespace

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
    layout->addSpacing(8);

    records_ = new QGroupBox(QStringLiteral(" Records: "));
    auto* form = new QFormLayout(records_);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    // The setting counts 0 as one record a statement; 1 itself, without rows per batch, would
    // still write the head of the format that loads fast (NOCOUNT, XACT_ABORT). The control
    // offers 1 and saves it as 0: the classic layout.
    rows_per_insert_ = number_box(&udb_settings::rows_per_insert);
    rows_per_insert_->setMinimum(std::max(rows_per_insert_->minimum(), 1));
    rows_per_insert_->setToolTip(QStringLiteral(
        "How many records one INSERT statement carries. 1 writes a statement for every "
        "record, as scripts always were; up to 1,000 (the most MS SQL takes in one VALUES "
        "list) make a smaller script that loads much faster."));
    rows_per_batch_ = number_box(&udb_settings::rows_per_batch);
    rows_per_batch_->setSpecialValueText(QStringLiteral("each statement"));
    rows_per_batch_->setToolTip(QStringLiteral(
        "How many records the server receives in one batch, between two GO lines. 'each "
        "statement' ends a batch after every INSERT statement; a larger number saves round "
        "trips when the script runs."));
    auto* insert_label = new QLabel(QStringLiteral("&Rows per INSERT statement:"));
    insert_label->setBuddy(rows_per_insert_);
    auto* batch_label = new QLabel(QStringLiteral("Rows per batch (&GO):"));
    batch_label->setBuddy(rows_per_batch_);
    form->addRow(insert_label, rows_per_insert_);
    form->addRow(batch_label, rows_per_batch_);
    auto* note = new QLabel(QStringLiteral("1 and 'each statement' keep one INSERT statement "
                                           "and one batch for every record."));
    note->setObjectName(QStringLiteral("records_note"));
    note->setWordWrap(true);
    form->addRow(note);
    layout->addWidget(records_);
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
    rows_per_insert_->setValue(int(s.rows_per_insert));
    rows_per_batch_->setValue(int(s.rows_per_batch));
}

void dump_settings_page::entered() {
    // A script of table definitions only has no records to group.
    records_->setEnabled(!settings().source().definitions_only);
}

void dump_settings_page::save() {
    TK_TRACE(2, "mssql_converter_impl::mss_dump_set_insert_create_tab(%d)",
             int(create_table_->isChecked()));
    TK_TRACE(2, "mssql_converter_impl::mss_dump_set_insert_comments(%d)",
             int(comments_->isChecked()));
    const int rows_per_insert = rows_per_insert_->value();
    settings().set_script(
        {create_database_->isChecked(), create_table_->isChecked(), comments_->isChecked(),
         uint32_t(rows_per_insert == 1 ? 0 : rows_per_insert), uint32_t(rows_per_batch_->value())});
}

bool dump_settings_page::validatePage() {
    save();
    return true;
}

int dump_settings_page::nextId() const {
    return wizard_shell::source_id;
}
