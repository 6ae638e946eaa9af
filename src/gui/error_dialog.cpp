#include "gui/error_dialog.h"

#include "gui/bug_report.h"
#include "gui/wizard_messages.h"
#include "tk/tk_product.h"
#include "tk/tk_trace.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

error_dialog::error_dialog(const QString& text, QWidget* parent) : QDialog(parent), text_(text) {
    setObjectName(QStringLiteral("error_dialog"));
    setWindowTitle(wizard_caption(wizard_box_kind::error));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(wizard_message_row(*this, QStyle::SP_MessageBoxCritical, text));
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    layout->addWidget(status_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* send = new QPushButton(QStringLiteral("Send bug"));
    send->setObjectName(QStringLiteral("send_bug"));
    send->setDefault(true);
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("ok"));
    auto* copy = new QPushButton(QStringLiteral("Copy to clipboard"));
    copy->setObjectName(QStringLiteral("copy"));
    buttons->addWidget(send);
    buttons->addWidget(ok);
    buttons->addWidget(copy);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(copy, &QPushButton::clicked, this, &error_dialog::on_copy);
    connect(send, &QPushButton::clicked, this, &error_dialog::on_send_bug);
}

void error_dialog::on_copy() {
    QApplication::clipboard()->setText(text_);
    TK_TRACE(2, "OpenClipboard succeeded");
    // The clipboard's text lives in this program until another takes it: the dialog stays
    // until the user has pasted it and closes it.
    status_->setText(QStringLiteral("The message is on the clipboard. Paste it where you need "
                                    "it, then click OK: the program ends then."));
}

void error_dialog::on_send_bug() {
    QString failure;
    const QString saved = send_bug_report(make_bug_report(text_), failure);
    if (saved.isEmpty()) {
        accept();
        return;
    }
    if (failure.isEmpty())
        status_->setText(QStringLiteral("No mail program is set up. The bug report was saved to "
                                        "%1; please send it to %2.")
                             .arg(saved, QStringLiteral(TK_SUPPORT_EMAIL)));
    else
        status_->setText(QStringLiteral("No mail program is set up, and the report could not be "
                                        "saved to %1: %2. Copy the message and send it to %3.")
                             .arg(saved, failure, QStringLiteral(TK_SUPPORT_EMAIL)));
}

void error_dialog::show_error(const QString& text) {
    error_dialog dialog(text, wizard_dialog_owner());
    dialog.exec();
}
