// Pictures of every page and dialog for the documentation: run with TABRIX_SCREENSHOTS set to
// a folder, on a real display (scripts/screenshots.sh runs it under Xvfb). Skipped otherwise.
#include "gui/finish_page.h"
#include "gui/gui_error_reporter.h"
#include "gui/help_window.h"
#include "gui_test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <algorithm>
#include <thread>

using namespace tabrix_test;
namespace fs = std::filesystem;

namespace {

class shots {
public:
    explicit shots(const char* folder) : folder_(folder) { fs::create_directories(folder_); }
    void take(QWidget* w, const std::string& name) {
        QApplication::processEvents();
        const QString path = QString::fromStdString((folder_ / (name + ".png")).string());
        EXPECT_TRUE(w->grab().save(path)) << path.toStdString();
    }

private:
    fs::path folder_;
};

} // namespace

TEST(WizardScreens, EveryPageAndDialog) {
    const char* folder_env = std::getenv("TABRIX_SCREENSHOTS");
    if (!folder_env)
        GTEST_SKIP() << "TABRIX_SCREENSHOTS is not set (scripts/screenshots.sh sets it)";
    shots shot(folder_env);
    wizard_fixture f;
    wizard_shell& shell = *f.shell;
    const fs::path db = f.dir / "sample";
    write_sample(db);
    const fs::path script = f.dir / "sample.sql";
    dialog_answers answers;

    shot.take(&shell, "page-103-welcome");
    f.on_page<QRadioButton>("direct")->setChecked(true);
    shell.next();
    f.on_page<QLineEdit>("host")->setText(QStringLiteral("sql.example.com"));
    f.on_page<QRadioButton>("sql_auth")->setChecked(true);
    f.on_page<QLineEdit>("login")->setText(QStringLiteral("sa"));
    f.on_page<QLineEdit>("password")->setText(QStringLiteral("secret"));
    shot.take(&shell, "page-118-mssql-settings");
    f.server.delay_ms = 700;
    answers.answer_connect_dialog(true);
    answers.then([&](QWidget* w) {
        QThread::msleep(50);
        shot.take(w, "dialog-connect");
    });
    shell.next();
    answers.answer_connect_dialog(false);
    f.server.delay_ms = 0;
    f.on_page<QLineEdit>("folder")->setText(QString::fromStdString(db.string()));
    f.on_page<QLineEdit>("destination")->setText(QStringLiteral("Sales"));
    shot.take(&shell, "page-105-source-direct");
    f.server.database_exists_answer = true;
    answers.then([&](QWidget* w) {
        shot.take(w, "dialog-overwrite");
        click_button(w, QStringLiteral("Cancel"));
    });
    shell.next();
    shell.back();
    shell.back();

    f.on_page<QRadioButton>("script")->setChecked(true);
    shell.next();
    shot.take(&shell, "page-109-script-settings");
    shell.next();
    f.on_page<QLineEdit>("folder")->clear();
    answers.then([&](QWidget* w) {
        shot.take(w, "dialog-message");
        click_default(w);
    });
    shell.next();
    f.on_page<QLineEdit>("folder")->setText(QString::fromStdString(db.string()));
    f.on_page<QLineEdit>("destination")->setText(QString::fromStdString(script.string()));
    shot.take(&shell, "page-105-source-script");
    write_file(script, "old");
    answers.then([&](QWidget* w) {
        shot.take(w, "dialog-question");
        click_button(w, QStringLiteral("Yes"));
    });
    shell.next();
    f.on_page<QListWidget>("available")->setCurrentRow(0);
    f.on_page<QPushButton>("add")->click();
    f.on_page<QListWidget>("available")->setCurrentRow(1);
    shot.take(&shell, "page-127-tables");
    f.on_page<QPushButton>("add_all")->click();
    shell.button(QWizard::HelpButton)->click();
    shell.current_help()->resize(560, 480);
    shot.take(shell.current_help(), "dialog-help");
    shell.current_help()->close();
    shell.next();
    ASSERT_TRUE(wait_until([&] { return shell.currentId() == 116; }));
    shot.take(&shell, "page-116-finish");
    answers.then([&](QWidget* w) {
        shot.take(w, "dialog-command-line");
        click_button(w, QStringLiteral("Close"));
    });
    shell.currentPage()->findChild<QPushButton*>(QStringLiteral("show_command"))->click();

    // A run that meets errors: the question, the progress page behind it, the finish page.
    for (int i = 0; i < 3; ++i)
        write_file(db / ("broken" + std::to_string(i) + ".dbf"), "not a table");
    std::vector<std::u16string> tables = f.settings->all_tables();
    std::stable_partition(tables.begin(), tables.end(),
                          [](const std::u16string& t) { return t.starts_with(u"broken"); });
    f.settings->set_selected_tables(tables);
    shell.setStartId(wizard_shell::tables_id);
    shell.restart();
    answers.then([&](QWidget* w) {
        // The progress page's timer shows the table behind the question.
        wait_until([] { return false; }, 300);
        shot.take(&shell, "page-106-progress");
        shot.take(w, "dialog-continue");
        click_button(w, QStringLiteral("Continue"));
    });
    answers.then([&](QWidget* w) { click_button(w, QStringLiteral("Continue")); });
    answers.then([&](QWidget* w) { click_button(w, QStringLiteral("Continue")); });
    shell.next();
    ASSERT_TRUE(wait_until([&] { return shell.currentId() == 116; }));
    shot.take(&shell, "page-116-finish-errors");

    int exit_status = 0;
    f.handler->set_exit_function([&](int status) { exit_status = status; });
    answers.then([&](QWidget* w) {
        shot.take(w, "dialog-internal-error");
        click_button(w, QStringLiteral("OK"));
    });
    f.handler->handle(tk_mail_assertion("wizard_shell.cpp", 42), false);
    EXPECT_EQ(exit_status, -1);
    EXPECT_EQ(answers.pending(), 0u);
}
