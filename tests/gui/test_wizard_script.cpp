// The script path of the wizard, page by page: texts, checks and their messages, the run and
// its outcome, and the script compared with the one tabrix-cli writes for the same settings.
#include "gui/finish_page.h"
#include "gui/sel_tables_page.h"
#include "gui_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeWidget>

using namespace tabrix_test;
namespace fs = std::filesystem;

namespace {

// Answers the next box: checks its caption and text, then clicks `button`.
void expect_box(dialog_answers& answers, std::string caption, std::string text,
                QString button = QStringLiteral("OK")) {
    answers.then([=](QWidget* w) {
        EXPECT_EQ(caption_of(w), caption);
        EXPECT_EQ(text_of(w), text);
        click_button(w, button);
    });
}

void set_text(wizard_fixture& f, const char* name, const std::string& text) {
    f.on_page<QLineEdit>(name)->setText(QString::fromStdString(text));
}

// Runs a shell command and answers its exit status.
int run_shell(const std::string& command) {
    return std::system(command.c_str());
}

} // namespace

TEST(WizardScript, EveryPageChecksRunsAndWritesTheScriptOfTheCommandLine) {
    wizard_fixture f;
    wizard_shell& shell = *f.shell;
    const fs::path folder = f.dir / "db";
    write_sample(folder);
    const fs::path script = f.dir / "out.sql";
    write_file(script, "old script");

    EXPECT_EQ(shell.windowTitle(), "Tabrix 2.3");
    ASSERT_EQ(shell.currentId(), 103);
    EXPECT_TRUE(f.on_page<QRadioButton>("direct")->isChecked()); // direct mode is the default
    f.on_page<QRadioButton>("script")->setChecked(true);
    shell.next();

    ASSERT_EQ(shell.currentId(), 109);
    auto* create_db = f.on_page<QCheckBox>("create_database");
    auto* create_table = f.on_page<QCheckBox>("create_table");
    EXPECT_TRUE(create_table->isChecked());
    create_table->setChecked(false);
    EXPECT_FALSE(create_db->isEnabled());
    create_table->setChecked(true);
    EXPECT_TRUE(create_db->isEnabled());
    // The classic layout unless asked: a statement and a batch for every record.
    auto* rows_per_insert = f.on_page<QSpinBox>("rows_per_insert");
    auto* rows_per_batch = f.on_page<QSpinBox>("rows_per_batch");
    EXPECT_EQ(rows_per_insert->value(), 1);
    EXPECT_EQ(rows_per_insert->maximum(), 1000);
    EXPECT_EQ(rows_per_batch->text(), "each statement");
    // Statements of two records, cut where a batch of three ends.
    rows_per_insert->setValue(2);
    rows_per_batch->setValue(3);
    shell.next();
    // Leaving the script page keeps Unicode text on.
    EXPECT_TRUE(f.converter->settings().dmp_unicode);

    ASSERT_EQ(shell.currentId(), 105);
    // Table definitions only leave no records to group: back on the script page, its record
    // controls say so.
    f.on_page<QCheckBox>("definitions_only")->setChecked(true);
    shell.back();
    EXPECT_FALSE(rows_per_insert->isEnabled());
    EXPECT_EQ(rows_per_insert->value(), 2);
    shell.next();
    f.on_page<QCheckBox>("definitions_only")->setChecked(false);
    EXPECT_FALSE(f.on_page<QPushButton>("browse_destination")->isHidden());
    set_text(f, "folder", "");
    set_text(f, "destination", "");
    {
        dialog_answers answers;
        expect_box(answers, "Tabrix 2.3 Message", "You should enter path to DBF database");
        shell.next();
        set_text(f, "folder", (folder / "customers.dbf").string());
        expect_box(answers, "Tabrix 2.3 Message", "You should enter T-SQL script file name");
        shell.next();
        set_text(f, "destination", script.string());
        expect_box(answers, "Tabrix 2.3 Error",
                   "You should enter path to DBF database, not a file name");
        shell.next();
        set_text(f, "folder", (f.dir / "missing").string());
        expect_box(answers, "Tabrix 2.3 Error",
                   "Path to DBF database does not exist.\nPlease verify the correct path was "
                   "given.");
        shell.next();
        set_text(f, "folder", folder.string());
        set_text(f, "destination", (folder / "customers.dbf").string());
        expect_box(answers, "Tabrix 2.3 Error",
                   "The T-SQL script '" + (folder / "customers.dbf").string() +
                       "' is a file of the DBF database folder.\nPlease choose another file "
                       "name.");
        shell.next();
        set_text(f, "destination", script.string());
        expect_box(answers, "Tabrix 2.3 Question", "Destination file already exists. Overwrite?",
                   QStringLiteral("No"));
        shell.next();
        EXPECT_EQ(shell.currentId(), 105);
        EXPECT_EQ(answers.pending(), 0u);
        expect_box(answers, "Tabrix 2.3 Question", "Destination file already exists. Overwrite?",
                   QStringLiteral("Yes"));
        shell.next();
    }
    // Yes replaces the file only when the new script is whole.
    EXPECT_EQ(read_file(script), "old script");

    ASSERT_EQ(shell.currentId(), 127);
    auto* tables = static_cast<sel_tables_page*>(shell.currentPage());
    const QStringList all = tables->available();
    ASSERT_GE(all.size(), 2);
    EXPECT_TRUE(tables->selected().isEmpty());
    // The first table is described, with its first records.
    EXPECT_NE(f.on_page<QLabel>("details")->text().indexOf(QStringLiteral("records")), -1);
    EXPECT_GT(f.on_page<QTableWidget>("preview")->rowCount(), 0);
    {
        dialog_answers answers;
        answers.then([](QWidget* w) {
            EXPECT_EQ(text_of(w), "There are no tables selected. Continue anyway?");
            click_default(w); // No
        });
        shell.next();
        EXPECT_EQ(shell.currentId(), 127);
    }
    f.on_page<QPushButton>("add")->click();
    EXPECT_EQ(tables->selected(), QStringList{all[0]});
    f.on_page<QPushButton>("remove_all")->click();
    // A table moved back goes to the end of the list.
    const QStringList order{all[1], all[2], all[0]};
    EXPECT_EQ(tables->available(), order);
    f.on_page<QPushButton>("add_all")->click();
    EXPECT_EQ(tables->selected(), order);
    shell.next();

    ASSERT_TRUE(wait_until([&] { return shell.currentId() == 116; }));
    EXPECT_EQ(f.on_page<QLabel>("text")->text(),
              "Wizard has converted your DBF file into\nMS SQL database successfully.\n\nClick "
              "'Finish' to exit the wizard.");
    EXPECT_TRUE(f.on_page<QPlainTextEdit>("errors")->isHidden());
    auto* summary = f.on_page<QTreeWidget>("summary");
    ASSERT_EQ(summary->topLevelItemCount(), all.size());
    EXPECT_EQ(summary->topLevelItem(0)->text(0), order[0]);
    EXPECT_NE(summary->topLevelItem(0)->text(1), "not converted");
    EXPECT_EQ(summary->topLevelItem(0)->text(3), "0");

    const std::string written = read_file(script);
    EXPECT_NE(written, "old script");
    EXPECT_NE(written.find("NVARCHAR"), std::string::npos);
    EXPECT_NE(written.find("SET XACT_ABORT ON;"), std::string::npos);
    EXPECT_NE(written.find("),\r\n("), std::string::npos);

    // The profile keeps the record grouping, and the command the finish page shows writes the
    // same script.
    auto* finish = static_cast<finish_page*>(shell.currentPage());
    ASSERT_TRUE(finish->save_settings(QString::fromStdString((f.dir / "saved.tbx").string())));
    const std::string profile = read_file(f.dir / "saved.tbx");
    EXPECT_NE(profile.find("dump rows per insert=2\r\n"), std::string::npos) << profile;
    EXPECT_NE(profile.find("dump rows per batch=3\r\n"), std::string::npos) << profile;
    std::string command = finish->command_line().toStdString();
    ASSERT_EQ(command.rfind("tabrix-cli convert ", 0), 0u) << command;
    EXPECT_NE(command.find(" --rows-per-insert 2 --rows-per-batch 3 "), std::string::npos)
        << command;
    // The script names its own path: the command writes the same path, the wizard's script
    // moved aside.
    fs::rename(script, f.dir / "wizard.sql");
    command.replace(0, std::string("tabrix-cli").size(),
                    std::string(TABRIX_BIN_DIR) + "/tabrix-cli");
    ASSERT_EQ(run_shell(command + " --no-progress >/dev/null"), 0) << command;
    EXPECT_TRUE(read_file(script) == written) << "the scripts differ: " << command;
}

TEST(WizardScript, AFolderWithoutTablesIsAnError) {
    wizard_fixture f;
    fs::create_directories(f.dir / "empty");
    f.settings->set_direct(false);
    f.settings->set_source(
        {.folder = (f.dir / "empty").u16string(), .destination = (f.dir / "x.sql").u16string()});
    f.shell->setStartId(wizard_shell::tables_id);
    f.shell->restart();
    ASSERT_EQ(f.shell->currentId(), 127);
    f.shell->next(); // no tables: no question
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }));
    EXPECT_EQ(f.on_page<QLabel>("text")->text(),
              "There were some errors while converting the database.\nClick 'Finish' to exit "
              "the wizard.");
    EXPECT_NE(f.on_page<QPlainTextEdit>("errors")->toPlainText().indexOf(
                  QStringLiteral("There are no DBF tables in")),
              -1);
    EXPECT_FALSE(fs::exists(f.dir / "x.sql"));
}

TEST(WizardScript, AScriptThatCannotBeWrittenIsAnError) {
    wizard_fixture f;
    write_sample(f.dir / "db");
    f.settings->set_direct(false);
    // The folder exists but takes no new file.
    f.settings->set_source(
        {.folder = (f.dir / "db").u16string(), .destination = u"/proc/tabrix-test.sql"});
    f.settings->set_selected_tables(f.settings->all_tables());
    f.shell->setStartId(wizard_shell::tables_id);
    f.shell->restart();
    dialog_answers answers;
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Tabrix 2.3 Error");
        click_default(w);
    });
    f.shell->next();
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }));
    EXPECT_EQ(answers.pending(), 0u);
    auto* finish = static_cast<finish_page*>(f.shell->currentPage());
    EXPECT_FALSE(finish->succeeded());
    EXPECT_FALSE(finish->errors().isEmpty());
}

TEST(WizardScript, PathsLongerThan260CharactersAreKeptWhole) {
    wizard_fixture f;
    fs::path folder = f.dir.path();
    for (int i = 0; i < 6; ++i)
        folder /= std::string(50, char('a' + i));
    write_sample(folder);
    const fs::path script = folder / "out.sql";
    ASSERT_GT(script.string().size(), 300u);
    f.on_page<QRadioButton>("script")->setChecked(true);
    f.shell->next();
    f.shell->next();
    ASSERT_EQ(f.shell->currentId(), 105);
    set_text(f, "folder", folder.string());
    set_text(f, "destination", script.string());
    f.shell->next();
    ASSERT_EQ(f.shell->currentId(), 127);
    EXPECT_EQ(f.converter->settings().source, folder.u16string());
    EXPECT_EQ(f.converter->settings().destination, script.u16string());
}

TEST(WizardScript, AnEncodingGivenAsACodePageNumberIsKept) {
    wizard_fixture f;
    write_sample(f.dir / "db");
    f.converter->settings().encoding = 866;
    f.settings->set_direct(false);
    f.shell->setStartId(wizard_shell::source_id);
    f.shell->restart();
    auto* encoding = f.on_page<QComboBox>("encoding");
    EXPECT_EQ(encoding->currentText(), "Code page 866");
    static_cast<wizard_page*>(f.shell->currentPage())->save();
    EXPECT_EQ(f.converter->settings().encoding, 866u);
    f.converter->settings().encoding = 77777; // nothing this build reads: the first entry
    f.shell->currentPage()->initializePage();
    EXPECT_EQ(encoding->currentIndex(), 0);
    EXPECT_EQ(encoding->findText(QStringLiteral("Code page 866")), -1);
}
