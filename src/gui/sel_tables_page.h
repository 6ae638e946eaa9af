// Page 127: the tables to convert and their order, with what each table holds.
#pragma once

#include "gui/table_overview.h"
#include "gui/wizard_page.h"

#include <map>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QTableWidget;

class sel_tables_page : public wizard_page {
    Q_OBJECT
public:
    explicit sel_tables_page(wizard_shell& shell);

    void initializePage() override;
    bool validatePage() override;
    int nextId() const override;

    QStringList available() const;
    QStringList selected() const;

private:
    void add();
    void add_all();
    void remove();
    void remove_all();
    // Moves the row of `from` to the end of `to`, keeping a selection at the same row.
    static void move_item(QListWidget* from, QListWidget* to, int row);
    void show_overview(const QListWidgetItem* item);

    QListWidget* available_ = nullptr;
    QListWidget* selected_ = nullptr;
    QLabel* details_ = nullptr;
    QTableWidget* preview_ = nullptr;
    std::map<QString, table_overview> overviews_;
};
