#include "gui/sel_tables_page.h"

#include "dbf/dbf_codepages.h"
#include "gui/qt_text.h"
#include "gui/table_overview.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int preview_rows = 5;

QPushButton* button(const char* text, const char* name) {
    auto* b = new QPushButton(QString::fromUtf8(text));
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QStringList texts(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

} // namespace

sel_tables_page::sel_tables_page(wizard_shell& shell)
    : wizard_page(shell, wizard_shell::help_tables) {
    setObjectName(QStringLiteral("sel_tables_page"));
    setTitle(QStringLiteral("Step 3 of 4"));
    setSubTitle(QStringLiteral("Select tables to convert"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("Select DBF tables to convert into MS SQL format."));
    text->setObjectName(QStringLiteral("text"));
    layout->addWidget(text);
    auto* grid = new QGridLayout;
    available_ = new QListWidget;
    available_->setObjectName(QStringLiteral("available"));
    selected_ = new QListWidget;
    selected_->setObjectName(QStringLiteral("selected"));
    auto* available_label = new QLabel(QStringLiteral("&Available tables:"));
    available_label->setObjectName(QStringLiteral("available_label"));
    available_label->setBuddy(available_);
    auto* selected_label = new QLabel(QStringLiteral("&Selected tables:"));
    selected_label->setObjectName(QStringLiteral("selected_label"));
    selected_label->setBuddy(selected_);
    auto* buttons = new QVBoxLayout;
    QPushButton* add_button = button("A&dd >", "add");
    QPushButton* add_all_button = button("Add a&ll >", "add_all");
    QPushButton* remove_button = button("< &Remove", "remove");
    QPushButton* remove_all_button = button("< Re&move all", "remove_all");
    buttons->addStretch();
    for (QPushButton* b : {add_button, add_all_button, remove_button, remove_all_button})
        buttons->addWidget(b);
    buttons->addStretch();
    grid->addWidget(available_label, 0, 0);
    grid->addWidget(selected_label, 0, 2);
    grid->addWidget(available_, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(selected_, 1, 2);
    layout->addLayout(grid, 2);
    details_ = new QLabel;
    details_->setObjectName(QStringLiteral("details"));
    details_->setWordWrap(true);
    layout->addWidget(details_);
    preview_ = new QTableWidget;
    preview_->setObjectName(QStringLiteral("preview"));
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    preview_->verticalHeader()->setVisible(false);
    preview_->horizontalHeader()->setDefaultSectionSize(90);
    layout->addWidget(preview_, 1);

    connect(add_button, &QPushButton::clicked, this, &sel_tables_page::add);
    connect(add_all_button, &QPushButton::clicked, this, &sel_tables_page::add_all);
    connect(remove_button, &QPushButton::clicked, this, &sel_tables_page::remove);
    connect(remove_all_button, &QPushButton::clicked, this, &sel_tables_page::remove_all);
    connect(available_, &QListWidget::itemDoubleClicked, this, &sel_tables_page::add);
    connect(selected_, &QListWidget::itemDoubleClicked, this, &sel_tables_page::remove);
    for (QListWidget* list : {available_, selected_})
        connect(list, &QListWidget::currentItemChanged, this,
                [this](const QListWidgetItem* item) { show_overview(item); });
}

void sel_tables_page::initializePage() {
    overviews_.clear();
    const QSignalBlocker quiet_available(available_);
    const QSignalBlocker quiet_selected(selected_);
    available_->clear();
    selected_->clear();
    std::vector<std::u16string> tables;
    try {
        tables = settings().all_tables();
    } catch (const tk_exception& e) {
        wizard_error(QString::fromUtf8(e.message()));
    }
    for (const std::u16string& name : tables)
        available_->addItem(to_qt(name));
    if (available_->count() != 0)
        available_->setCurrentRow(0);
    // The tables chosen before (or by a profile) are chosen again, in their order.
    for (const std::u16string& name : settings().selected_tables()) {
        TK_TRACE(1, "Processing '%s'", to_qt(name).toUtf8().constData());
        const auto found =
            available_->findItems(to_qt(name), Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!found.isEmpty())
            move_item(available_, selected_, available_->row(found.first()));
    }
    show_overview(available_->currentItem());
}

void sel_tables_page::move_item(QListWidget* from, QListWidget* to, int row) {
    if (row < 0 || row >= from->count())
        return;
    QListWidgetItem* item = from->takeItem(row);
    to->addItem(item);
    if (from->count() != 0)
        from->setCurrentRow(std::min(row, from->count() - 1));
}

void sel_tables_page::add() {
    move_item(available_, selected_, available_->currentRow());
}

void sel_tables_page::add_all() {
    {
        // One description at the end, not one a table.
        const QSignalBlocker quiet_available(available_);
        const QSignalBlocker quiet_selected(selected_);
        while (available_->count() != 0)
            move_item(available_, selected_, 0);
    }
    show_overview(selected_->currentItem());
}

void sel_tables_page::remove() {
    move_item(selected_, available_, selected_->currentRow());
    if (selected_->count() == 0 && available_->count() != 0)
        available_->setCurrentRow(0);
}

void sel_tables_page::remove_all() {
    {
        const QSignalBlocker quiet_available(available_);
        const QSignalBlocker quiet_selected(selected_);
        while (selected_->count() != 0)
            move_item(selected_, available_, 0);
        available_->setCurrentRow(0);
    }
    show_overview(available_->currentItem());
}

QStringList sel_tables_page::available() const {
    return texts(available_);
}

QStringList sel_tables_page::selected() const {
    return texts(selected_);
}

void sel_tables_page::show_overview(const QListWidgetItem* item) {
    preview_->clear();
    preview_->setRowCount(0);
    preview_->setColumnCount(0);
    if (!item) {
        details_->clear();
        return;
    }
    // Each table is read once a visit of the page: the settings do not change meanwhile.
    auto found = overviews_.find(item->text());
    if (found == overviews_.end()) {
        const wizard_source_settings s = settings().source();
        found = overviews_
                    .emplace(item->text(),
                             read_table_overview(s.folder, from_qt(item->text()), s.encoding,
                                                 settings().default_codepage(), preview_rows))
                    .first;
    }
    const table_overview& o = found->second;
    if (!o.failure.isEmpty()) {
        details_->setText(QStringLiteral("%1: cannot be read: %2").arg(item->text(), o.failure));
        return;
    }
    QString codepage = QString::number(o.codepage);
    if (o.codepage == 65001)
        codepage = QStringLiteral("UTF-8");
    if (o.codepage_guessed)
        codepage += QStringLiteral(" (the table names none)");
    QString text = QStringLiteral("%1: %2 records, %3, code page %4")
                       .arg(item->text())
                       .arg(o.records)
                       .arg(o.layout, codepage);
    if (!o.notes.isEmpty())
        text += QStringLiteral("\n") + o.notes.join(QStringLiteral("\n"));
    details_->setText(text);
    preview_->setColumnCount(int(o.columns.size()));
    preview_->setHorizontalHeaderLabels(o.columns);
    preview_->setRowCount(int(o.rows.size()));
    for (size_t r = 0; r < o.rows.size(); ++r)
        for (int c = 0; c < o.rows[r].size() && c < o.columns.size(); ++c)
            preview_->setItem(int(r), c, new QTableWidgetItem(o.rows[r][c]));
    preview_->resizeColumnsToContents();
}

bool sel_tables_page::validatePage() {
    if (available_->count() != 0 && selected_->count() == 0 &&
        !wizard_question(QStringLiteral("There are no tables selected. Continue anyway?"), true))
        return false;
    std::vector<std::u16string> tables;
    for (const QString& name : selected())
        tables.push_back(from_qt(name));
    settings().set_selected_tables(std::move(tables));
    return true;
}

int sel_tables_page::nextId() const {
    return wizard_shell::progress_id;
}
