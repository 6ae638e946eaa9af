#include "gui/overwrite_dialog.h"

#include "gui/help_window.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_shell.h"
#include "tk/tk_trace.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

overwrite_dialog::overwrite_dialog(int preselected, QWidget* parent) : QDialog(parent) {
    TK_TRACE(2, "overwrite_dialog2::on_init");
    setObjectName(QStringLiteral("overwrite_dialog"));
    setWindowTitle(wizard_title() + QStringLiteral(" Warning"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QLabel(QStringLiteral("The destination database already exists. Select one "
                                           "of the\noptions below. Click 'Help' button for more "
                                           "information."));
    text->setObjectName(QStringLiteral("message"));
    row->addWidget(text, 1);
    layout->addLayout(row);
    static const char* const labels[] = {"&Overwrite the entire database",
                                         "Overwrite existing &tables only", "&Skip existing tables",
                                         "&Merge"};
    for (int i = 0; i < 4; ++i) {
        buttons_[i] = new QRadioButton(QString::fromLatin1(labels[i]));
        buttons_[i]->setObjectName(QStringLiteral("mode%1").arg(i));
        layout->addWidget(buttons_[i]);
    }
    buttons_[preselected >= 0 && preselected < 4 ? preselected : 1]->setChecked(true);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                     QDialogButtonBox::Help);
    box->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(box, &QDialogButtonBox::helpRequested, this,
            [] { display_help(wizard_shell::help_overwrite); });
    QApplication::beep();
}

int overwrite_dialog::mode() const {
    for (int i = 0; i < 4; ++i)
        if (buttons_[i]->isChecked())
            return i;
    return 1;
}
