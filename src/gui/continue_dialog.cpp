#include "gui/continue_dialog.h"

#include "gui/wizard_messages.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The dialog's results: Continue 2, Abort 1.
constexpr int result_continue = 2;
constexpr int result_abort = 1;

} // namespace

continue_dialog::continue_dialog(const QString& text, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("continue_dialog"));
    setWindowTitle(wizard_caption(wizard_box_kind::error));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(wizard_message_row(*this, QStyle::SP_MessageBoxWarning, text));
    quiet_ = new QCheckBox(QStringLiteral("&Do not show this dialog box again"));
    quiet_->setObjectName(QStringLiteral("quiet"));
    layout->addWidget(quiet_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* go_on = new QPushButton(QStringLiteral("Continue"));
    go_on->setObjectName(QStringLiteral("continue"));
    go_on->setDefault(true);
    auto* abort = new QPushButton(QStringLiteral("Abort"));
    abort->setObjectName(QStringLiteral("abort"));
    buttons->addWidget(go_on);
    buttons->addWidget(abort);
    layout->addLayout(buttons);
    connect(go_on, &QPushButton::clicked, this, [this] { done(result_continue); });
    connect(abort, &QPushButton::clicked, this, [this] { done(result_abort); });
}

bool continue_dialog::quiet() const {
    return quiet_->isChecked();
}

tk_continue_answer continue_dialog::ask(const QString& text) {
    continue_dialog dialog(text, wizard_dialog_owner());
    const int result = dialog.exec();
    // Closing the window is Abort: nothing is skipped without the user saying so.
    return {result != result_continue, dialog.quiet()};
}
