// The internal-error dialog (copy, bug report), reports from the conversion thread, the help
// of every page, and the program without a display.
#include "gui/bug_report.h"
#include "gui/gui_error_reporter.h"
#include "gui/help_window.h"
#include "gui_test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <thread>

using namespace tabrix_test;
namespace fs = std::filesystem;

TEST(WizardDialogs, InternalErrorCopiesAndSavesABugReport) {
    wizard_fixture f;
    int exit_status = 0;
    f.handler->set_exit_function([&](int status) { exit_status = status; });
    QString status_text;
    dialog_answers answers;
    answers.then([&](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Tabrix 2.3 Error");
        EXPECT_EQ(text_of(w), "Internal error: something broke");
        click_button(w, QStringLiteral("Copy to clipboard"));
        // The dialog stays, so that the text can be pasted while the program still runs.
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(QApplication::clipboard()->text(), "Internal error: something broke");
        // No mail program here: the report is saved and the user told where.
        click_default(w); // Send bug
        status_text = w->findChild<QLabel*>(QStringLiteral("status"))->text();
        click_button(w, QStringLiteral("OK"));
    });
    // Reported from another thread, as the conversion does; it waits for the dialog.
    std::thread worker([&] {
        f.handler->handle(tk_exception("Internal error: something broke", tk_exception::internal),
                          false);
    });
    ASSERT_TRUE(wait_until([&] { return exit_status != 0; }));
    worker.join();
    EXPECT_EQ(exit_status, -1);
    EXPECT_EQ(answers.pending(), 0u);
    const int at = status_text.indexOf(QStringLiteral("saved to "));
    ASSERT_NE(at, -1) << status_text.toStdString();
    const QString path = status_text.mid(at + 9).section(QStringLiteral("; "), 0, 0);
    const std::string report = read_file(path.toStdString());
    EXPECT_NE(report.find("To: support@quorvane.com"), std::string::npos);
    EXPECT_NE(report.find("Subject: Bug report on Tabrix 2.3"), std::string::npos);
    EXPECT_NE(report.find("Internal error: something broke"), std::string::npos);
    EXPECT_TRUE(bug_report_mailto(make_bug_report(QStringLiteral("a b&c")))
                    .startsWith(QStringLiteral("mailto:support@quorvane.com?subject=Bug%20report"
                                               "%20on%20Tabrix%202.3&body=a%20b%26c")));
}

TEST(WizardDialogs, EveryPageOpensItsHelpTopic) {
    for (int topic : {0, 1018, 1010, 1021, 1020, 1015, 1013})
        EXPECT_TRUE(help_window::has_topic(topic)) << topic;
    EXPECT_FALSE(help_window::has_topic(4242));
    wizard_fixture f;
    write_sample(f.dir / "db");
    wizard_shell& shell = *f.shell;
    auto help_of_page = [&] {
        shell.button(QWizard::HelpButton)->click();
        return shell.current_help() ? shell.current_help()->current_topic() : -1;
    };
    EXPECT_EQ(help_of_page(), 1018);
    EXPECT_NE(shell.current_help()->browser()->toPlainText().indexOf(QStringLiteral("Welcome")),
              -1);
    f.on_page<QRadioButton>("script")->setChecked(true);
    shell.next();
    EXPECT_EQ(help_of_page(), 1021);
    shell.back();
    f.on_page<QRadioButton>("direct")->setChecked(true);
    shell.next();
    EXPECT_EQ(help_of_page(), 1010);
    shell.next();
    EXPECT_EQ(help_of_page(), 1020);
    f.settings->set_source({.folder = (f.dir / "db").u16string()});
    shell.setStartId(wizard_shell::tables_id);
    shell.restart();
    EXPECT_EQ(help_of_page(), 1015);
    // A topic without a page says so.
    dialog_answers answers;
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "Help file does not exist. Reinstall the program.");
        click_default(w);
    });
    shell.display_help(4242);
    EXPECT_EQ(answers.pending(), 0u);
}

TEST(WizardDialogs, WithoutADisplayTheProgramPointsToTheCommandLine) {
    const std::string command = "env -i " + std::string(TABRIX_BIN_DIR) + "/tabrix 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(output.find("there is no display"), std::string::npos) << output;
    EXPECT_NE(output.find("tabrix-cli convert"), std::string::npos) << output;
}

TEST(WizardDialogs, FileDialogsHaveTheirTitlesAndFillTheirFields) {
    wizard_fixture f;
    wizard_shell& shell = *f.shell;
    write_sample(f.dir / "db");
    dialog_answers answers;
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Select Profile File");
        static_cast<QFileDialog*>(w)->reject();
    });
    f.on_page<QPushButton>("load_settings")->click();
    f.on_page<QRadioButton>("script")->setChecked(true);
    shell.next();
    shell.next();
    ASSERT_EQ(shell.currentId(), 105);
    const QString folder = QString::fromStdString((f.dir / "db").string());
    answers.then([&](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Select DBF database folder");
        auto* dialog = static_cast<QFileDialog*>(w);
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    f.on_page<QPushButton>("browse_source")->click();
    EXPECT_EQ(f.on_page<QLineEdit>("folder")->text(), folder);
    const QString script = QString::fromStdString((f.dir / "chosen").string());
    answers.then([&](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Select File");
        auto* dialog = static_cast<QFileDialog*>(w);
        EXPECT_EQ(dialog->nameFilters().first(), "T-SQL Script Files (*.sql)");
        dialog->selectFile(script);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    f.on_page<QPushButton>("browse_destination")->click();
    EXPECT_EQ(f.on_page<QLineEdit>("destination")->text(), script + QStringLiteral(".sql"));
    EXPECT_EQ(answers.pending(), 0u);
}
