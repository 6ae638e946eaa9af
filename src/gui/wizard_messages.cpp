#include "gui/wizard_messages.h"

#include "gui/wizard_shell.h"
#include "tk/tk_product.h"
#include "tk/tk_trace.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>

QString wizard_title() {
    // The edition label follows the version only when there is one.
    QString title =
        QStringLiteral("%1 %2.%3").arg(tk_product_name).arg(tk_product_major).arg(tk_product_minor);
    if (tk_product_edition[0] != '\0')
        title += QStringLiteral(" ") + QString::fromUtf8(tk_product_edition);
    return title;
}

QHBoxLayout* wizard_message_row(const QWidget& dialog, QStyle::StandardPixmap icon,
                                const QString& text) {
    auto* row = new QHBoxLayout;
    auto* picture = new QLabel;
    picture->setPixmap(dialog.style()->standardIcon(icon).pixmap(32, 32));
    row->addWidget(picture, 0, Qt::AlignTop);
    auto* message = new QLabel(text);
    message->setObjectName(QStringLiteral("message"));
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message->setMinimumWidth(380);
    row->addWidget(message, 1);
    return row;
}

QString wizard_caption(wizard_box_kind kind) {
    static const char* const words[] = {"Error", "Message", "Question", "Warning"};
    const QString word = QString::fromLatin1(words[int(kind)]);
    const wizard_shell* shell = wizard_shell::try_instance();
    return shell && shell->is_initialized() ? wizard_title() + QStringLiteral(" ") + word : word;
}

QWidget* wizard_dialog_owner() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return wizard_shell::try_instance();
}

namespace {

QMessageBox::StandardButton show_box(wizard_box_kind kind, QMessageBox::Icon icon,
                                     const QString& text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton default_button) {
    QMessageBox box(icon, wizard_caption(kind), text, buttons, wizard_dialog_owner());
    box.setDefaultButton(default_button);
    box.setObjectName(QStringLiteral("wizard_box"));
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

void wizard_error(const QString& text) {
    TK_TRACE(2, "wizard_shell::error(%s)", text.toUtf8().constData());
    show_box(wizard_box_kind::error, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

void wizard_message(const QString& text) {
    TK_TRACE(2, "wizard_shell::message(%s)", text.toUtf8().constData());
    show_box(wizard_box_kind::message, QMessageBox::Information, text, QMessageBox::Ok,
             QMessageBox::Ok);
}

bool wizard_question(const QString& text, bool no_default) {
    TK_TRACE(2, "wizard_shell::question(%s)", text.toUtf8().constData());
    return show_box(wizard_box_kind::question, QMessageBox::Question, text,
                    QMessageBox::Yes | QMessageBox::No,
                    no_default ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
}
