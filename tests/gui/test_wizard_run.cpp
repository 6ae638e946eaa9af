// A run as the wizard drives it: the continue-or-abort dialog and its "do not show again",
// more errors than the list keeps, Stop, and closing the wizard while it runs.
#include "gui/finish_page.h"
#include "gui_test_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

using namespace tabrix_test;
namespace fs = std::filesystem;

namespace {

// A script run of every table of `folder` into `script`, started on the table page.
void start_on_tables(wizard_fixture& f, const fs::path& folder, const fs::path& script) {
    f.settings->set_direct(false);
    f.settings->set_source({.folder = folder.u16string(), .destination = script.u16string()});
    f.settings->set_selected_tables(f.settings->all_tables());
    f.shell->setStartId(wizard_shell::tables_id);
    f.shell->restart();
}

// The folder holds `bad` files named as tables that are not DBF tables.
void write_bad_tables(const fs::path& folder, int bad) {
    fs::create_directories(folder);
    for (int i = 0; i < bad; ++i)
        write_file(folder / ("bad" + std::to_string(100 + i) + ".dbf"), "not a table");
}

finish_page* finish_of(wizard_fixture& f) {
    return static_cast<finish_page*>(f.shell->page(wizard_shell::finish_id));
}

} // namespace

TEST(WizardRun, ContinueThenQuietListsTheFirstTwentyErrors) {
    wizard_fixture f;
    const fs::path folder = f.dir / "db";
    write_bad_tables(folder, 25);
    start_on_tables(f, folder, f.dir / "out.sql");
    dialog_answers answers;
    answers.then([](QWidget* w) {
        EXPECT_EQ(caption_of(w), "Tabrix 2.3 Error");
        EXPECT_NE(text_of(w).find("File does not comply with DBF format"), std::string::npos);
        auto* quiet = w->findChild<QCheckBox*>(QStringLiteral("quiet"));
        EXPECT_EQ(quiet->text(), "&Do not show this dialog box again");
        EXPECT_FALSE(quiet->isChecked());
        click_default(w); // Continue
    });
    answers.then([](QWidget* w) {
        w->findChild<QCheckBox*>(QStringLiteral("quiet"))->setChecked(true);
        click_button(w, QStringLiteral("Continue"));
    });
    f.shell->next();
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }));
    EXPECT_EQ(answers.seen().size(), 2u); // quiet from the second on
    EXPECT_FALSE(finish_of(f)->succeeded());
    EXPECT_EQ(finish_of(f)->errors().size(), 20);
    EXPECT_NE(f.on_page<QPlainTextEdit>("errors")->toPlainText().indexOf(
                  QStringLiteral("(Only the first 20 errors are listed.)")),
              -1);
    auto* summary = f.on_page<QTreeWidget>("summary");
    ASSERT_EQ(summary->topLevelItemCount(), 25);
    EXPECT_EQ(summary->topLevelItem(0)->text(1), "not converted");
}

TEST(WizardRun, AbortEndsTheRunAsAFailure) {
    wizard_fixture f;
    const fs::path folder = f.dir / "db";
    write_sample(folder);
    write_bad_tables(folder, 2);
    const fs::path script = f.dir / "out.sql";
    write_file(script, "old script");
    start_on_tables(f, folder, script);
    dialog_answers answers;
    answers.then([](QWidget* w) { click_button(w, QStringLiteral("Abort")); });
    f.shell->next();
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }));
    EXPECT_EQ(answers.seen().size(), 1u);
    EXPECT_FALSE(finish_of(f)->succeeded());
    EXPECT_EQ(f.on_page<QLabel>("text")->text(),
              "There were some errors while converting the database.\nClick 'Finish' to exit "
              "the wizard.");
    // The run did not end: the earlier script stays.
    EXPECT_EQ(read_file(script), "old script");
}

TEST(WizardRun, StopEndsTheRunAndKeepsTheEarlierScript) {
    wizard_fixture f;
    const fs::path folder = f.dir / "db";
    write_bad_tables(folder, 1);
    write_sample(folder);
    const fs::path script = f.dir / "out.sql";
    write_file(script, "old script");
    start_on_tables(f, folder, script);
    // The bad table first: its question holds the run while Stop is pressed.
    std::vector<std::u16string> tables = f.settings->all_tables();
    std::stable_partition(tables.begin(), tables.end(),
                          [](const std::u16string& t) { return t.starts_with(u"bad"); });
    f.settings->set_selected_tables(tables);
    auto* progress = f.shell->page(wizard_shell::progress_id);
    dialog_answers answers;
    answers.then([&](QWidget* w) {
        EXPECT_EQ(f.shell->currentId(), 106);
        EXPECT_EQ(f.shell->currentPage()->subTitle(), "Database conversion is in progress");
        progress->findChild<QPushButton*>(QStringLiteral("stop"))->click();
        click_button(w, QStringLiteral("Continue"));
    });
    f.shell->next();
    ASSERT_TRUE(wait_until([&] { return f.shell->currentId() == 116; }));
    EXPECT_FALSE(finish_of(f)->succeeded());
    ASSERT_FALSE(finish_of(f)->errors().isEmpty());
    EXPECT_TRUE(finish_of(f)->errors().last().startsWith(
        QStringLiteral("The conversion was stopped before its end.")));
    EXPECT_EQ(read_file(script), "old script");
}

TEST(WizardRun, ClosingDuringARunAsksThenStopsAndWaits) {
    wizard_fixture f;
    const fs::path folder = f.dir / "db";
    fs::create_directories(folder);
    // Long enough a run for the question to come before its end.
    write_big_table(folder / "big.dbf", 1500000);
    const fs::path script = f.dir / "out.sql";
    start_on_tables(f, folder, script);
    f.shell->next();
    ASSERT_TRUE(f.shell->is_running());
    dialog_answers answers;
    answers.then([](QWidget* w) {
        EXPECT_EQ(text_of(w), "Are you sure you want to exit the wizard?");
        click_default(w); // No
    });
    f.shell->reject();
    EXPECT_TRUE(f.shell->isVisible());
    answers.then([](QWidget* w) { click_button(w, QStringLiteral("Yes")); });
    f.shell->reject();
    EXPECT_FALSE(f.shell->isVisible());
    EXPECT_FALSE(f.shell->is_running());
    EXPECT_TRUE(f.converter->is_finished());
    EXPECT_FALSE(fs::exists(script)); // a stopped run gives no script its name
}
