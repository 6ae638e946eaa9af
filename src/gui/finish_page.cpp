#include "gui/finish_page.h"

#include "app/progress_line.h"
#include "app/tabrix_command_line.h"
#include "app/tabrix_converter.h"
#include "gui/progress_page.h"
#include "gui/qt_text.h"
#include "gui/wizard_art.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_trace.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

namespace {

QString count_text(uint64_t n) {
    return QString::fromStdString(format_count(n));
}

} // namespace

finish_page::finish_page(wizard_shell& shell, const progress_page& progress)
    : wizard_page(shell, wizard_shell::help_index), progress_(progress) {
    setObjectName(QStringLiteral("finish_page"));
    setPixmap(QWizard::WatermarkPixmap, wizard_watermark());
    setFinalPage(true);
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(QStringLiteral("Conversion is Completed"));
    caption->setObjectName(QStringLiteral("caption"));
    caption->setFont(caption_font());
    layout->addWidget(caption);
    text_ = new QLabel;
    text_->setObjectName(QStringLiteral("text"));
    text_->setWordWrap(true);
    layout->addWidget(text_);
    errors_edit_ = new QPlainTextEdit;
    errors_edit_->setObjectName(QStringLiteral("errors"));
    errors_edit_->setReadOnly(true);
    layout->addWidget(errors_edit_, 1);
    summary_ = new QTreeWidget;
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setRootIsDecorated(false);
    summary_->setHeaderLabels({QStringLiteral("Table"), QStringLiteral("Written"),
                               QStringLiteral("Skipped"), QStringLiteral("Failed")});
    summary_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        summary_->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(summary_, 1);
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("&Save Settings..."));
    save->setObjectName(QStringLiteral("save_settings"));
    auto* command = new QPushButton(QStringLiteral("Show the equivalent &command line"));
    command->setObjectName(QStringLiteral("show_command"));
    buttons->addWidget(save);
    buttons->addWidget(command);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &finish_page::on_save);
    connect(command, &QPushButton::clicked, this, &finish_page::on_show_command);
}

void finish_page::initializePage() {
    TK_TRACE(2, "gui_finish_page::page_init");
    const run_outcome& outcome = progress_.outcome();
    const tabrix_converter& converter = settings().converter();
    errors_.clear();
    if (!outcome.failure.isEmpty())
        errors_ << outcome.failure;
    const std::vector<std::string> reported = error_handler::instance().errors();
    for (const std::string& e : reported)
        errors_ << QString::fromUtf8(e);
    if (outcome.stopped) {
        QString text = QStringLiteral("The conversion was stopped before its end.");
        if (!settings().direct())
            text += QStringLiteral(" The T-SQL script was not written; the part written is in "
                                   "'%1'.")
                        .arg(QString::fromStdString(converter.working_script()));
        errors_ << text;
    }
    // Whatever the run said, a script that is not there is no success.
    std::error_code ec;
    if (outcome.ran && !outcome.stopped && !settings().direct() &&
        !std::filesystem::exists(to_qt(converter.settings().destination).toStdString(), ec))
        errors_ << QStringLiteral("The T-SQL script '%1' was not written.")
                       .arg(to_qt(converter.settings().destination));
    succeeded_ = errors_.isEmpty();
    if (succeeded_) {
        TK_TRACE(2, "Display success-message");
        text_->setText(QStringLiteral("Wizard has converted your DBF file into\nMS SQL database "
                                      "successfully.\n\nClick 'Finish' to exit the wizard."));
    } else {
        TK_TRACE(2, "Display errors");
        text_->setText(QStringLiteral("There were some errors while converting the database.\n"
                                      "Click 'Finish' to exit the wizard."));
    }
    QString list;
    for (const QString& e : errors_)
        list += QString(e).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QStringLiteral("\n\n");
    if (reported.size() >= error_handler::max_errors)
        list += QStringLiteral("(Only the first %1 errors are listed.)\n")
                    .arg(error_handler::max_errors);
    errors_edit_->setPlainText(list);
    errors_edit_->setVisible(!succeeded_);
    fill_summary();
    summary_->setVisible(outcome.ran);
    // Enter ends the wizard, rather than landing in the list of errors.
    QTimer::singleShot(0, this, [this] {
        if (wizard())
            wizard()->button(QWizard::FinishButton)->setFocus();
    });
}

void finish_page::fill_summary() {
    summary_->clear();
    const tabrix_converter& converter = settings().converter();
    const tabrix_run_totals& totals = converter.totals();
    const bool skip_deleted = converter.settings().skip_deleted;
    for (const std::u16string& name : converter.settings().selected_tables) {
        auto* item = new QTreeWidgetItem(summary_);
        item->setText(0, to_qt(name));
        const tabrix_table_totals* t = nullptr;
        for (const tabrix_table_totals& entry : totals.tables)
            if (entry.name == name)
                t = &entry;
        if (!t || !t->created) {
            item->setText(1, QStringLiteral("not converted"));
            continue;
        }
        const uint64_t skipped = skip_deleted ? t->records_deleted : 0;
        const uint64_t handled = t->records_written + skipped;
        item->setText(1, count_text(t->records_written));
        item->setText(2, count_text(skipped));
        item->setText(3, count_text(t->records_read > handled ? t->records_read - handled : 0));
        for (int column = 1; column < 4; ++column)
            item->setTextAlignment(column, Qt::AlignRight);
    }
}

bool finish_page::save_settings(const QString& path) {
    TK_TRACE(2, "gui_finish_page_t::on_store(%s)", path.toUtf8().constData());
    if (settings().store_profile(path.toStdString()))
        return true;
    wizard_error(QStringLiteral("Cannot write the profile '%1'.").arg(path));
    return false;
}

void finish_page::on_save() {
    QFileDialog dialog(this, QStringLiteral("Select Profile File"), QString(),
                       QStringLiteral("Profile Files (*.tbx);;All Files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("tbx"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        save_settings(dialog.selectedFiles().first());
}

QString finish_page::command_line() {
    return QString::fromStdString(tabrix_equivalent_command(settings().converter()));
}

void finish_page::on_show_command() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("command_dialog"));
    dialog.setWindowTitle(wizard_title() + QStringLiteral(" Command Line"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("This command repeats the conversion without "
                                                "the wizard:")));
    auto* text = new QPlainTextEdit(command_line());
    text->setObjectName(QStringLiteral("command"));
    text->setReadOnly(true);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(copy, &QPushButton::clicked, &dialog,
            [text] { QApplication::clipboard()->setText(text->toPlainText()); });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.resize(560, 200);
    dialog.exec();
}
