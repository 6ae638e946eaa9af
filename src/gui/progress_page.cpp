#include "gui/progress_page.h"

#include "app/tabrix_converter.h"
#include "gui/qt_text.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_trace.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <filesystem>

progress_page::progress_page(wizard_shell& shell)
    : wizard_page(shell, wizard_shell::help_index), converter_(shell.settings().converter()) {
    setObjectName(QStringLiteral("progress_page"));
    setTitle(QStringLiteral("Step 4 of 4"));
    setSubTitle(QStringLiteral("Database conversion is in progress"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Database conversion is in progress. Please wait until wizard completes\n"
                       "converting your DBF database into MS SQL data source.")));
    layout->addSpacing(16);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    layout->addWidget(status_);
    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("bar"));
    bar_->setRange(0, 100);
    layout->addWidget(bar_);
    stop_ = new QPushButton(QStringLiteral("&Stop"));
    stop_->setObjectName(QStringLiteral("stop"));
    stop_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addWidget(stop_, 0, Qt::AlignRight);
    layout->addStretch();
    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, &progress_page::on_timer);
    connect(stop_, &QPushButton::clicked, this, &progress_page::stop);
}

progress_page::~progress_page() {
    // The window is going with a run in progress (the program is ending): the run stops
    // between two records and is waited for, its dialogs still answered meanwhile.
    if (!running_)
        return;
    converter_.request_stop();
    while (!converter_.is_finished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    try {
        thread_.join();
    } catch (const std::exception&) {
        // The program is ending; what the run left is on disk as far as it got.
    }
}

void progress_page::initializePage() {
    TK_TRACE(2, "progress_page::page_init");
    start();
}

int progress_page::nextId() const {
    return wizard_shell::finish_id;
}

void progress_page::start() {
    outcome_ = run_outcome{};
    done_ = false;
    stop_asked_ = false;
    bar_->setValue(0);
    status_->clear();
    stop_->setEnabled(true);
    // The errors of earlier attempts (a connection, a run before) belong to them.
    error_handler& handler = error_handler::instance();
    handler.clear_errors();
    handler.clear_context();
    wizard_settings& s = settings();
    tabrix_converter& converter = s.converter();
    if (!s.direct())
        s.settle_script_mode();
    try {
        if (s.all_tables().empty())
            outcome_.failure = QStringLiteral("There are no DBF tables in '%1'; nothing was "
                                              "converted.")
                                   .arg(to_qt(s.source().folder));
    } catch (const tk_exception& e) {
        outcome_.failure = QString::fromUtf8(e.message());
    }
    if (outcome_.failure.isEmpty()) {
        converter.prepare_run();
        try {
            thread_.start(converter);
            running_ = true;
            outcome_.ran = true;
        } catch (const tk_exception& e) {
            outcome_.failure = QString::fromUtf8(e.message());
        }
    }
    if (running_) {
        timer_.start();
    } else {
        stop_->setEnabled(false);
        // Moving on from inside the page's own activation would confuse the wizard.
        QTimer::singleShot(0, this, &progress_page::finish);
    }
}

void progress_page::on_timer() {
    TK_TRACE(1, "progress_page::on_timer");
    const tabrix_converter& converter = settings().converter();
    bar_->setValue(int(converter.get_progress_percent()));
    const std::u16string table = converter.get_current_table();
    if (stop_asked_)
        status_->setText(QStringLiteral("Stopping after the current record..."));
    else if (!table.empty())
        status_->setText(QStringLiteral("Processing table '%1'").arg(to_qt(table)));
    else
        status_->clear();
    if (!converter.is_finished())
        return;
    timer_.stop();
    collect_run();
    finish();
}

void progress_page::collect_run() {
    try {
        thread_.join();
    } catch (const std::exception& e) {
        outcome_.failure = QString::fromUtf8(e.what());
    }
    running_ = false;
    const tabrix_converter& converter = settings().converter();
    // A stop that came after the last record left a whole script.
    std::error_code ec;
    const std::string& partial = converter.working_script();
    outcome_.stopped = stop_asked_ && (settings().direct() ||
                                       (!partial.empty() && std::filesystem::exists(partial, ec)));
}

void progress_page::finish() {
    done_ = true;
    stop_->setEnabled(false);
    emit completeChanged();
    if (wizard() && wizard()->currentPage() == this)
        wizard()->next();
}

void progress_page::stop() {
    if (!running_)
        return;
    stop_asked_ = true;
    settings().converter().request_stop();
    stop_->setEnabled(false);
    status_->setText(QStringLiteral("Stopping after the current record..."));
}

void progress_page::stop_and_wait() {
    stop();
    while (running_ && !settings().converter().is_finished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    if (running_) {
        timer_.stop();
        collect_run();
    }
}
