// An internal error: the program ends once this dialog closes. The user can copy the message
// (the dialog stays open, so the text is on the clipboard while the program still runs to
// hand it over) or send it to the maker as a bug report.
#pragma once

#include <QDialog>

class QLabel;

class error_dialog : public QDialog {
    Q_OBJECT
public:
    explicit error_dialog(const QString& text, QWidget* parent = nullptr);

    // Shows the dialog over the active window until the user closes it.
    static void show_error(const QString& text);

private:
    void on_copy();
    void on_send_bug();

    QString text_;
    QLabel* status_ = nullptr;
};
