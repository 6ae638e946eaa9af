// Profiles: saved on the finish page and loaded on the welcome page, every page showing what
// was loaded; quick launch of a script profile and of a server profile.
#include "gui/finish_page.h"
#include "gui/quick_launch.h"
#include "gui/sel_tables_page.h"
#include "gui/welcome_page.h"
#include "gui_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

using namespace tabrix_test;
namespace fs = std::filesystem;

namespace {

// Converts two tables of the sample with options that are not the defaults, and saves the
// settings as a profile from the finish page.
void convert_and_save(const fs::path& folder, const fs::path& script, const fs::path& profile) {
    wizard_fixture f;
    f.settings->set_direct(false);
    f.settings->set_script(
        {.create_database = false, .create_table = true, .comments = false, .rows_per_insert = 20});
    f.settings->set_source({.folder = folder.u16string(),
                            .destination = script.u16string(),
                            .skip_deleted = true,
                            .bool_as_is = true,
                            .encoding = 0x65});
    f.settings->set_selected_tables({u"stock", u"customers"});
    f.shell->setStartId(wizard_shell::tables_id);
    f.shell->restart();
    f.shell->next();
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }));
    auto* finish = static_cast<finish_page*>(f.shell->currentPage());
    ASSERT_TRUE(finish->succeeded()) << finish->errors().join(QStringLiteral(" | ")).toStdString();
    ASSERT_TRUE(finish->save_settings(QString::fromStdString(profile.string())));
}

} // namespace

TEST(WizardProfile, SavedSettingsLoadIntoEveryPage) {
    scratch_dir dir;
    write_sample(dir / "db");
    convert_and_save(dir / "db", dir / "out.sql", dir / "saved.tbx");

    wizard_fixture f;
    wizard_shell& shell = *f.shell;
    auto* welcome = static_cast<welcome_page*>(shell.currentPage());
    EXPECT_TRUE(f.on_page<QRadioButton>("direct")->isChecked());
    {
        dialog_answers answers;
        answers.then([](QWidget* w) {
            EXPECT_EQ(text_of(w),
                      "Profile does not exist. Please verify the correct path/name was given.");
            click_default(w);
        });
        EXPECT_FALSE(welcome->load_settings(QString::fromStdString((dir / "none.tbx").string())));
        write_file(dir / "binary.tbx", std::string("\xff\xfe\x00\x01", 4));
        answers.then([](QWidget* w) {
            EXPECT_EQ(caption_of(w), "Tabrix 2.3 Error");
            click_default(w);
        });
        EXPECT_FALSE(welcome->load_settings(QString::fromStdString((dir / "binary.tbx").string())));
        EXPECT_EQ(answers.pending(), 0u);
    }
    ASSERT_TRUE(welcome->load_settings(QString::fromStdString((dir / "saved.tbx").string())));
    // The welcome page shows the profile's choice at once.
    EXPECT_TRUE(f.on_page<QRadioButton>("script")->isChecked());
    shell.next();
    ASSERT_EQ(shell.currentId(), 109);
    EXPECT_FALSE(f.on_page<QCheckBox>("comments")->isChecked());
    EXPECT_TRUE(f.on_page<QCheckBox>("create_table")->isChecked());
    EXPECT_EQ(f.on_page<QSpinBox>("rows_per_insert")->value(), 20);
    shell.next();
    ASSERT_EQ(shell.currentId(), 105);
    EXPECT_EQ(f.on_page<QLineEdit>("folder")->text().toStdString(), (dir / "db").string());
    EXPECT_EQ(f.on_page<QLineEdit>("destination")->text().toStdString(),
              (dir / "out.sql").string());
    EXPECT_TRUE(f.on_page<QCheckBox>("skip_deleted")->isChecked());
    EXPECT_TRUE(f.on_page<QCheckBox>("bool_as_is")->isChecked());
    EXPECT_FALSE(f.on_page<QCheckBox>("definitions_only")->isChecked());
    EXPECT_EQ(f.on_page<QComboBox>("encoding")->currentData().toUInt(), 0x65u);
    dialog_answers answers;
    answers.then([](QWidget* w) { click_button(w, QStringLiteral("Yes")); });
    shell.next();
    ASSERT_EQ(shell.currentId(), 127);
    EXPECT_EQ(static_cast<sel_tables_page*>(shell.currentPage())->selected(),
              (QStringList{QStringLiteral("stock"), QStringLiteral("customers")}));
}

TEST(WizardProfile, QuickLaunchOfAScriptProfileAsksThenConverts) {
    scratch_dir dir;
    write_sample(dir / "db");
    const fs::path script = dir / "out.sql";
    convert_and_save(dir / "db", script, dir / "saved.tbx");
    write_file(script, "old script");

    wizard_fixture f(true);
    dialog_answers answers;
    // A profile that is not there: the bare caption, as the wizard is not up yet.
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Error");
        EXPECT_EQ(text_of(w),
                  "Profile does not exist. Please verify the correct path/name was given.");
        click_default(w);
    });
    EXPECT_FALSE(quick_launch_prepare(*f.settings, f.server,
                                      QString::fromStdString((dir / "x.tbx").string())));
    // The script exists: asked first, as the source page asks.
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Question");
        EXPECT_EQ(text_of(w), "Destination file already exists. Overwrite?");
        click_button(w, QStringLiteral("No"));
    });
    EXPECT_FALSE(quick_launch_prepare(*f.settings, f.server,
                                      QString::fromStdString((dir / "saved.tbx").string())));
    EXPECT_EQ(read_file(script), "old script");
    answers.then([](QWidget* w) { click_button(w, QStringLiteral("Yes")); });
    ASSERT_TRUE(quick_launch_prepare(*f.settings, f.server,
                                     QString::fromStdString((dir / "saved.tbx").string())));
    EXPECT_EQ(f.server.connects, 0); // a script needs no server
    // What went wrong before the run is not the run's: it does not spoil its outcome.
    EXPECT_FALSE(f.handler->errors().empty());
    f.make_shell(true);
    EXPECT_EQ(f.shell->currentId(), 106);
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }));
    auto* finish = static_cast<finish_page*>(f.shell->currentPage());
    EXPECT_TRUE(finish->succeeded()) << finish->errors().join(QStringLiteral(" | ")).toStdString();
    // The profile's records per statement reach the run.
    EXPECT_NE(read_file(script).find("),\r\n("), std::string::npos);
    EXPECT_EQ(f.settings->selected_tables(), (std::vector<std::u16string>{u"stock", u"customers"}));
}

TEST(WizardProfile, QuickLaunchOfAServerProfileConnectsAndAsksAboutTheDatabase) {
    scratch_dir dir;
    write_sample(dir / "db");
    {
        wizard_fixture f;
        f.settings->set_direct(true);
        f.settings->set_server({.host = u"db.example",
                                .windows_auth = false,
                                .login = u"sa",
                                .password = u"pw",
                                .as_dbo = true});
        f.settings->set_source({.folder = (dir / "db").u16string(), .destination = u"Sales"});
        // A profile keeps the tables of the runs made.
        f.converter->settings().selected_entries.push_back({u"orders", u""});
        ASSERT_TRUE(f.settings->store_profile(dir / "server.tbx"));
    }
    wizard_fixture f(true);
    dialog_answers answers;
    f.server.fail_code = 0x80E4D;
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "Invalid user name or password.");
        click_default(w);
    });
    EXPECT_FALSE(quick_launch_prepare(*f.settings, f.server,
                                      QString::fromStdString((dir / "server.tbx").string())));
    EXPECT_EQ(f.server.connects, 1);
    f.server.fail_code = -1;
    f.server.database_exists_answer = true;
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Tabrix 2.3 Warning");
        click_button(w, QStringLiteral("Cancel"));
    });
    EXPECT_FALSE(quick_launch_prepare(*f.settings, f.server,
                                      QString::fromStdString((dir / "server.tbx").string())));
    answers.then([](QWidget* w) {
        w->findChild<QRadioButton*>(QStringLiteral("mode2"))->setChecked(true);
        click_default(w);
    });
    ASSERT_TRUE(quick_launch_prepare(*f.settings, f.server,
                                     QString::fromStdString((dir / "server.tbx").string())));
    EXPECT_EQ(f.converter->settings().mode, udb_mode(2));
    EXPECT_EQ(f.converter->settings().host, u"db.example");
    EXPECT_EQ(answers.pending(), 0u);
}

TEST(WizardProfile, EverySettingRowsControlIsAControlOfTheWizard) {
    wizard_fixture f;
    int controls = 0;
    for (const udb_setting& row : udb_setting_table()) {
        if (row.wizard_control.empty())
            continue;
        ++controls;
        const std::string name(row.wizard_control);
        EXPECT_NE(f.find<QWidget>(name.c_str()), nullptr) << name;
    }
    EXPECT_GT(controls, 0);
}
