// A failure the run can go past: Continue (the default) or Abort, and "Do not show this
// dialog box again", which silences the later ones of this session.
#pragma once

#include "tk/tk_error_handler.h"

#include <QDialog>

class QCheckBox;

class continue_dialog : public QDialog {
    Q_OBJECT
public:
    explicit continue_dialog(const QString& text, QWidget* parent = nullptr);

    // Shows the dialog over the active window and answers what the user chose.
    static tk_continue_answer ask(const QString& text);

    bool quiet() const;

private:
    QCheckBox* quiet_ = nullptr;
};
