#include "gui/wizard_shell.h"

#include "gui/dump_settings_page.h"
#include "gui/finish_page.h"
#include "gui/help_window.h"
#include "gui/mssql_settings_page.h"
#include "gui/progress_page.h"
#include "gui/sel_file_page.h"
#include "gui/sel_tables_page.h"
#include "gui/welcome_page.h"
#include "gui/wizard_art.h"
#include "gui/wizard_messages.h"
#include "tk/tk_trace.h"

#include <QAbstractButton>

wizard_shell::wizard_shell(wizard_settings& settings, server_access& server, bool quick_launch,
                           QWidget* parent)
    : QWizard(parent), settings_(settings), server_(server) {
    setObjectName(QStringLiteral("wizard_shell"));
    setWindowTitle(wizard_title());
    setWindowIcon(wizard_icon());
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::HaveHelpButton, true);
    setOption(QWizard::NoBackButtonOnStartPage, true);
    setPixmap(QWizard::LogoPixmap, wizard_logo());
    setPixmap(QWizard::BannerPixmap, wizard_banner());
    // One size for every page, so that the window does not jump from page to page.
    setMinimumSize(720, 540);
    setButtonText(QWizard::NextButton, QStringLiteral("&Next >"));
    setButtonText(QWizard::BackButton, QStringLiteral("< &Back"));
    setButtonText(QWizard::FinishButton, QStringLiteral("Finish"));
    setButtonText(QWizard::CancelButton, QStringLiteral("Cancel"));
    setButtonText(QWizard::HelpButton, QStringLiteral("Help"));

    if (!quick_launch) {
        setPage(welcome_id, new welcome_page(*this));
        setPage(mssql_id, new mssql_settings_page(*this));
        setPage(script_id, new dump_settings_page(*this));
        setPage(source_id, new sel_file_page(*this));
        setPage(tables_id, new sel_tables_page(*this));
    }
    progress_ = new progress_page(*this);
    setPage(progress_id, progress_);
    setPage(finish_id, new finish_page(*this, *progress_));
    setStartId(quick_launch ? int(progress_id) : int(welcome_id));

    connect(this, &QWizard::helpRequested, this, [this] {
        const auto* page = qobject_cast<const wizard_page*>(currentPage());
        display_help(page ? page->help_topic() : help_index);
    });
    connect(this, &QWizard::currentIdChanged, this, &wizard_shell::on_page_changed);
}

wizard_shell::~wizard_shell() = default;

void wizard_shell::showEvent(QShowEvent* event) {
    initialized_ = true;
    QWizard::showEvent(event);
}

void wizard_shell::on_page_changed(int id) {
    // The run cannot be gone back on; the finish page has only Finish.
    if (id == progress_id)
        setButtonLayout(
            {QWizard::Stretch, QWizard::NextButton, QWizard::CancelButton, QWizard::HelpButton});
    else if (id == finish_id)
        setButtonLayout({QWizard::Stretch, QWizard::FinishButton});
    else
        setButtonLayout({QWizard::Stretch, QWizard::BackButton, QWizard::NextButton,
                         QWizard::CancelButton, QWizard::HelpButton});
    if (auto* page = qobject_cast<wizard_page*>(currentPage()))
        page->entered();
}

void wizard_shell::display_help(int topic) {
    if (!help_window::has_topic(topic)) {
        wizard_error(QStringLiteral("Help file does not exist. Reinstall the program."));
        return;
    }
    if (!help_)
        help_ = std::make_unique<help_window>(this);
    help_->show_topic(topic);
}

bool wizard_shell::is_running() const {
    return progress_->is_running();
}

void wizard_shell::reject() {
    TK_TRACE(2, "wizard_page::on_cancel");
    if (currentId() != finish_id &&
        !wizard_question(QStringLiteral("Are you sure you want to exit the wizard?"), true))
        return;
    if (progress_->is_running())
        progress_->stop_and_wait();
    if (help_)
        help_->close();
    QWizard::reject();
}
