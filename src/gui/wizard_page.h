// The base of the wizard's pages: its help topic, and the settings it saves when it is left
// by Next or Back.
#pragma once

#include <QWizardPage>

class wizard_shell;
class wizard_settings;

class wizard_page : public QWizardPage {
    Q_OBJECT
public:
    // `help_topic` 0 opens the help's first page.
    wizard_page(wizard_shell& shell, int help_topic);

    int help_topic() const noexcept { return help_topic_; }

    // Writes the page's controls into the settings; called before Next and on Back.
    virtual void save() {}

    // Back: the page keeps what the user entered, and so do the settings.
    void cleanupPage() override { save(); }

    // Called each time the page becomes the current one, by Next or by Back (which does not
    // initialize it again): for what it shows that depends on the settings of later pages.
    virtual void entered() {}

protected:
    wizard_shell& shell() noexcept { return shell_; }
    wizard_settings& settings() noexcept;
    // The large caption of the pages without a header.
    static QFont caption_font();

private:
    wizard_shell& shell_;
    int help_topic_;
};
