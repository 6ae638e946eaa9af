// The server path against the SQL Server stand-in of the tests: a login refused, a database
// filled through the pages, then a quick launch of the saved profile that meets the database
// it filled and asks what to do with it.
#include "gui/finish_page.h"
#include "gui/quick_launch.h"
#include "gui_test_support.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>

using namespace tabrix_test;
namespace fs = std::filesystem;

TEST(WizardLiveServer, PagesAndQuickLaunchFillADatabase) {
    test_server server;
    if (!server.started)
        GTEST_SKIP() << "no test server: " << server.why_not;
    scratch_dir dir;
    write_sample(dir / "db");
    const fs::path profile = dir / "server.tbx";
    {
        wizard_fixture f(false, true);
        wizard_shell& shell = *f.shell;
        f.on_page<QRadioButton>("direct")->setChecked(true);
        shell.next();
        ASSERT_EQ(shell.currentId(), 118);
        f.on_page<QLineEdit>("host")->setText(QString::fromStdString(server.host));
        f.on_page<QRadioButton>("sql_auth")->setChecked(true);
        f.on_page<QLineEdit>("login")->setText(QString::fromStdString(server.login));
        // Bulk copy in batches of 1,000 unless asked: here statements, in batches of 2.
        auto* fast_load = f.on_page<QCheckBox>("fast_load");
        auto* batch_size = f.on_page<QSpinBox>("batch_size");
        EXPECT_TRUE(fast_load->isChecked());
        EXPECT_EQ(batch_size->value(), 1000);
        EXPECT_EQ(batch_size->minimum(), 1);
        fast_load->setChecked(false);
        batch_size->setValue(2);
        f.on_page<QLineEdit>("password")->setText(QStringLiteral("not the password"));
        dialog_answers answers;
        answers.then([](QWidget* w) {
            EXPECT_EQ(caption_of(w), "Tabrix 2.3 Error");
            EXPECT_NE(text_of(w).find("Invalid user name or password."), std::string::npos)
                << text_of(w);
            click_default(w);
        });
        shell.next();
        ASSERT_EQ(shell.currentId(), 118);
        EXPECT_EQ(answers.pending(), 0u);
        f.on_page<QLineEdit>("password")->setText(QString::fromStdString(server.password));
        shell.next();
        ASSERT_EQ(shell.currentId(), 105);
        f.on_page<QLineEdit>("folder")->setText(QString::fromStdString((dir / "db").string()));
        f.on_page<QLineEdit>("destination")->setText(QStringLiteral("wizard_sales"));
        shell.next(); // a new database: nothing to ask
        ASSERT_EQ(shell.currentId(), 127);
        f.on_page<QPushButton>("add_all")->click();
        shell.next();
        ASSERT_TRUE(wait_until([&] { return shell.currentId() == 116; }, 60000));
        auto* finish = static_cast<finish_page*>(shell.currentPage());
        // The refused login came before the run: it is not among the run's errors.
        ASSERT_TRUE(finish->succeeded())
            << finish->errors().join(QStringLiteral(" | ")).toStdString();
        auto* summary = f.on_page<QTreeWidget>("summary");
        ASSERT_EQ(summary->topLevelItemCount(), 3);
        EXPECT_NE(summary->topLevelItem(0)->text(1), "not converted");
        const QString command = finish->command_line();
        EXPECT_NE(command.indexOf(QStringLiteral("--database wizard_sales")), -1);
        EXPECT_NE(command.indexOf(QStringLiteral(" --no-fast-load --batch-size 2 ")), -1)
            << command.toStdString();
        ASSERT_TRUE(finish->save_settings(QString::fromStdString(profile.string())));
        const std::string saved = read_file(profile);
        EXPECT_NE(saved.find("fast load=0\r\nbatch size=2\r\n"), std::string::npos) << saved;
    }

    wizard_fixture f(true, true);
    dialog_answers answers;
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Tabrix 2.3 Warning");
        EXPECT_TRUE(w->findChild<QRadioButton*>(QStringLiteral("mode1"))->isChecked());
        click_default(w); // OK: overwrite the tables only
    });
    ASSERT_TRUE(
        quick_launch_prepare(*f.settings, *f.access, QString::fromStdString(profile.string())));
    EXPECT_EQ(answers.pending(), 0u);
    EXPECT_EQ(f.converter->settings().mode, udb_mode(1));
    EXPECT_FALSE(f.converter->settings().fast_load);
    EXPECT_EQ(f.converter->settings().batch_size, 2u);
    f.make_shell(true);
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }, 60000));
    auto* finish = static_cast<finish_page*>(f.shell->currentPage());
    EXPECT_TRUE(finish->succeeded()) << finish->errors().join(QStringLiteral(" | ")).toStdString();
}
