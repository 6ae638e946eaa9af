// The destination database exists already: how to treat it. The choice becomes the run's
// mode; nothing is dropped here, only when the run starts.
#pragma once

#include <QDialog>

class QRadioButton;

class overwrite_dialog : public QDialog {
    Q_OBJECT
public:
    // `preselected`: the mode whose button is checked first (udb_converter's modes 0 to 3).
    explicit overwrite_dialog(int preselected, QWidget* parent = nullptr);

    // The mode chosen, once the dialog ended with OK.
    int mode() const;

private:
    QRadioButton* buttons_[4] = {};
};
