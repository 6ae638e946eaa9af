// The wizard's message boxes: error, message and question, captioned with the wizard's
// title once its window is up ("Tabrix 2.3 Error"), with the bare word before ("Error").
#pragma once

#include <QString>
#include <QStyle>

class QHBoxLayout;
class QWidget;

// "Tabrix 2.3": the window title and the prefix of every caption.
QString wizard_title();

enum class wizard_box_kind { error, message, question, warning };

// "Tabrix 2.3 Error" while the wizard's window exists, "Error" before.
QString wizard_caption(wizard_box_kind kind);

// The window that owns a dialog: the active modal dialog, else the wizard, else none.
QWidget* wizard_dialog_owner();

// The top of a message dialog of our own: the icon, and the text beside it (selectable, so
// that it can be copied into a report), in a row for the dialog's layout.
QHBoxLayout* wizard_message_row(const QWidget& dialog, QStyle::StandardPixmap icon,
                                const QString& text);

void wizard_error(const QString& text);
void wizard_message(const QString& text);
// Yes or No; `no_default` makes No the default button.
bool wizard_question(const QString& text, bool no_default = false);
