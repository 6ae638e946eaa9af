// Page 103: what the wizard does, the choice between a server and a script, and loading a
// profile.
#pragma once

#include "gui/wizard_page.h"

class QRadioButton;

class welcome_page : public wizard_page {
    Q_OBJECT
public:
    explicit welcome_page(wizard_shell& shell);

    void initializePage() override;
    bool validatePage() override;
    int nextId() const override;

    // Loads a profile over the settings and shows its choice of scenario; the other pages
    // show its values when they are next entered. Tells the user when it cannot be read.
    bool load_settings(const QString& path);

private:
    void on_load();

    QRadioButton* direct_ = nullptr;
    QRadioButton* script_ = nullptr;
};
