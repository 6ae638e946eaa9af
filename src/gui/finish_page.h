// Page 116: how the run went (success, or the errors it met), what each table got, the
// settings saved as a profile, and the tabrix-cli command that repeats the run.
#pragma once

#include "gui/wizard_page.h"

class QLabel;
class QPlainTextEdit;
class QTreeWidget;
class progress_page;

class finish_page : public wizard_page {
    Q_OBJECT
public:
    finish_page(wizard_shell& shell, const progress_page& progress);

    void initializePage() override;

    bool succeeded() const noexcept { return succeeded_; }
    // The texts listed as errors, oldest first.
    QStringList errors() const { return errors_; }

    // Saves the settings as a profile; tells the user when it cannot be written.
    bool save_settings(const QString& path);
    // The command, as the dialog of "Show the equivalent command line" shows it.
    QString command_line();

private:
    void on_save();
    void on_show_command();
    void fill_summary();

    const progress_page& progress_;
    QLabel* text_ = nullptr;
    QPlainTextEdit* errors_edit_ = nullptr;
    QTreeWidget* summary_ = nullptr;
    QStringList errors_;
    bool succeeded_ = false;
};
