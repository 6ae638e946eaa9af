// The server path: the MS SQL settings page, the connection dialog with its failures, Cancel
// and time-out, and the overwrite dialog, over a server that answers as the test says.
#include "gui/help_window.h"
#include "gui/mssql_settings_page.h"
#include "gui_test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace tabrix_test;

namespace {

void go_to_server_page(wizard_fixture& f) {
    f.on_page<QRadioButton>("direct")->setChecked(true);
    f.shell->next();
    ASSERT_EQ(f.shell->currentId(), 118);
}

} // namespace

TEST(WizardServer, TheSettingsPageConnectsAndReportsEachFailure) {
    wizard_fixture f;
    wizard_shell& shell = *f.shell;
    go_to_server_page(f);
    auto* windows = f.on_page<QRadioButton>("windows_auth");
    auto* sql = f.on_page<QRadioButton>("sql_auth");
    EXPECT_TRUE(windows->isChecked());
    EXPECT_FALSE(f.on_page<QLineEdit>("login")->isEnabled());
    sql->setChecked(true);
    EXPECT_TRUE(f.on_page<QLineEdit>("login")->isEnabled());
    f.on_page<QLineEdit>("host")->setText(QStringLiteral("db.example"));
    f.on_page<QLineEdit>("login")->setText(QStringLiteral("sa"));
    f.on_page<QLineEdit>("password")->setText(QStringLiteral("secret"));

    dialog_answers answers;
    // An unknown server or one that refuses.
    f.server.fail_code = 0x80000 | 0x4005;
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Tabrix 2.3 Error");
        EXPECT_EQ(text_of(w), "MS SQL Server does not exist or access denied.\nCheck to verify "
                              "the correct host was given.");
        click_default(w);
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 118);
    // A login refused: the message table's text.
    f.server.fail_code = 0x80E4D;
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "Invalid user name or password.");
        click_default(w);
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 118);
    // Another failure of the provider brings its own text.
    f.server.fail_code = 0x80001;
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "provider's own text");
        click_default(w);
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 118);
    EXPECT_EQ(answers.pending(), 0u);
    EXPECT_EQ(f.converter->settings().host, u"db.example");
    EXPECT_EQ(f.converter->settings().login, u"sa");
    EXPECT_FALSE(f.converter->settings().windows_auth);

    // Cancel while connecting: the page stays; the late connection is not used.
    f.server.fail_code = -1;
    f.server.delay_ms = 400;
    answers.answer_connect_dialog(true);
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "Connecting to MS SQL server. Please wait...");
        click_button(w, QStringLiteral("Cancel"));
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 118);
    // The attempt given up on still runs: no second one meanwhile.
    answers.answer_connect_dialog(false);
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "The previous attempt to connect has not ended yet.\nPlease try "
                              "again in a moment.");
        click_default(w);
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 118);
    EXPECT_EQ(f.server.connects, 4);
    wait_until([] { return false; }, 600);
    answers.answer_connect_dialog(true);
    // A server that does not answer in time.
    static_cast<mssql_settings_page*>(shell.currentPage())->set_connect_timeout(100);
    answers.then([](QWidget*) {});
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "MS SQL Server did not answer within 1 second.\nCheck to verify "
                              "the correct host was given.");
        click_default(w);
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 118);
    answers.answer_connect_dialog(false);
    wait_until([] { return false; }, 600); // the late connection ends
    static_cast<mssql_settings_page*>(shell.currentPage())->set_connect_timeout(5000);
    f.server.delay_ms = 0;
    shell.next();
    EXPECT_EQ(shell.currentId(), 105);
    EXPECT_EQ(f.on_page<QLabel>("destination_label")->text(), "MS &SQL database name:");
    EXPECT_TRUE(f.on_page<QPushButton>("browse_destination")->isHidden());
    shell.back();
    EXPECT_EQ(shell.currentId(), 118);
}

TEST(WizardServer, AnExistingDatabaseAsksHowAndDropsNothingBeforeTheRun) {
    wizard_fixture f;
    wizard_shell& shell = *f.shell;
    write_sample(f.dir / "db");
    go_to_server_page(f);
    shell.next();
    ASSERT_EQ(shell.currentId(), 105);
    f.on_page<QLineEdit>("folder")->setText(QString::fromStdString((f.dir / "db").string()));
    dialog_answers answers;
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "You should enter MS SQL database name");
        click_default(w);
    });
    shell.next();
    f.on_page<QLineEdit>("destination")->setText(QStringLiteral("Sales"));
    f.server.database_exists_answer = true;
    f.converter->settings().mode = udb_mode(0);
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Tabrix 2.3 Warning");
        EXPECT_EQ(text_of(w), "The destination database already exists. Select one of the\n"
                              "options below. Click 'Help' button for more information.");
        // Nothing that destroys the whole database is offered first.
        auto* tables_only = w->findChild<QRadioButton*>(QStringLiteral("mode1"));
        EXPECT_EQ(tables_only->text(), "Overwrite existing &tables only");
        EXPECT_TRUE(tables_only->isChecked());
        EXPECT_EQ(w->findChild<QRadioButton*>(QStringLiteral("mode0"))->text(),
                  "&Overwrite the entire database");
        click_button(w, QStringLiteral("Cancel"));
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 105);
    EXPECT_EQ(f.converter->settings().mode, udb_mode(0)); // Cancel changes nothing
    answers.then([](QWidget* w) {
        w->findChild<QRadioButton*>(QStringLiteral("mode3"))->setChecked(true);
        click_default(w); // OK
    });
    shell.next();
    EXPECT_EQ(shell.currentId(), 127);
    EXPECT_EQ(f.converter->settings().mode, udb_mode(3));
    // The next time, the last choice comes first.
    shell.back();
    answers.then([](QWidget* w) {
        EXPECT_TRUE(w->findChild<QRadioButton*>(QStringLiteral("mode3"))->isChecked());
        click_button(w, QStringLiteral("Help"));
        click_button(w, QStringLiteral("Cancel"));
    });
    shell.next();
    ASSERT_NE(shell.current_help(), nullptr);
    EXPECT_EQ(shell.current_help()->current_topic(), wizard_shell::help_overwrite);
    EXPECT_EQ(answers.pending(), 0u);
}
