#include "gui/connect_dialog.h"

#include "gui/server_access.h"
#include "gui/wizard_art.h"
#include "gui/wizard_messages.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_thread.h"
#include "tk/tk_trace.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>
#include <list>

// One connection attempt: the thread and what it ended with. An attempt given up on is kept
// until its thread ends, so that the dialog never waits for a server that does not answer.
struct connect_dialog::attempt : tk_thread_functor {
    explicit attempt(server_access& s) : server(s) {}

    int run() override {
        TK_TRACE(2, "mssql_settings_page::animation::operator()");
        try {
            server.connect();
            connected.store(true, std::memory_order_release);
        } catch (...) {
            failure = std::current_exception();
        }
        ended.store(true, std::memory_order_release);
        return 0;
    }

    server_access& server;
    std::atomic<bool> connected{false};
    std::atomic<bool> ended{false};
    std::exception_ptr failure; // written before `ended`
    tk_thread thread;
};

namespace {

// Attempts given up on, with threads still running; collected when they have ended.
std::list<std::shared_ptr<void>>& abandoned_attempts() {
    static std::list<std::shared_ptr<void>> list;
    return list;
}

// The code of an OLE DB failure: 0x80000 with the low 16 bits of its result code.
bool is_server_failure(int32_t code) {
    return (code & ~0xFFFF) == 0x80000;
}

} // namespace

connect_dialog::connect_dialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("connect_dialog"));
    setWindowTitle(wizard_title());
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    icon_ = new QLabel;
    icon_->setPixmap(wizard_connect_frame(0));
    row->addWidget(icon_);
    auto* text = new QLabel(QStringLiteral("Connecting to MS SQL server. Please wait..."));
    text->setObjectName(QStringLiteral("text"));
    row->addWidget(text, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    animation_.setInterval(500);
    connect(&animation_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % 8;
        icon_->setPixmap(wizard_connect_frame(frame_));
    });
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        timed_out_ = true;
        reject();
    });
    poll_.setInterval(20);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (attempt_ && attempt_->ended.load(std::memory_order_acquire))
            done(QDialog::Accepted);
    });
}

connect_dialog::~connect_dialog() {
    if (attempt_ && !attempt_->ended.load(std::memory_order_acquire))
        abandoned_attempts().push_back(attempt_);
}

connect_dialog::outcome connect_dialog::run(server_access& server, int timeout_ms) {
    attempt_ = std::make_shared<attempt>(server);
    attempt_->thread.start(*attempt_);
    timed_out_ = false;
    deadline_.start(timeout_ms);
    animation_.start();
    poll_.start();
    const int result = exec();
    animation_.stop();
    poll_.stop();
    deadline_.stop();
    if (result != QDialog::Accepted)
        return timed_out_ ? outcome::timed_out : outcome::cancelled;
    attempt_->thread.join();
    return attempt_->connected.load() ? outcome::connected : outcome::failed;
}

void connect_dialog::rethrow_failure() const {
    if (attempt_ && attempt_->failure)
        std::rethrow_exception(attempt_->failure);
}

bool connect_dialog::connect_to(server_access& server, QWidget* parent, int timeout_ms) {
    // One connection at a time: an attempt given up on may still be using the connection.
    auto& abandoned = abandoned_attempts();
    abandoned.remove_if([](const std::shared_ptr<void>& a) {
        return static_cast<attempt*>(a.get())->ended.load(std::memory_order_acquire);
    });
    if (!abandoned.empty()) {
        wizard_error(QStringLiteral("The previous attempt to connect has not ended yet.\nPlease "
                                    "try again in a moment."));
        return false;
    }
    connect_dialog dialog(parent);
    switch (dialog.run(server, timeout_ms)) {
    case outcome::connected:
        return true;
    case outcome::cancelled:
        return false;
    case outcome::timed_out: {
        const int seconds = std::max(1, (timeout_ms + 999) / 1000);
        wizard_error(QStringLiteral("MS SQL Server did not answer within %1 second%2.\nCheck to "
                                    "verify the correct host was given.")
                         .arg(seconds)
                         .arg(seconds == 1 ? "" : "s"));
        return false;
    }
    case outcome::failed:
        break;
    }
    try {
        dialog.rethrow_failure();
    } catch (const tk_exception& e) {
        if (is_server_failure(e.code()) && (e.code() & 0xFFFF) == 0x4005) {
            wizard_error(QStringLiteral("MS SQL Server does not exist or access denied.\nCheck "
                                        "to verify the correct host was given."));
        } else if (is_server_failure(e.code())) {
            const std::string known =
                error_handler::instance().converter().convert(static_cast<uint32_t>(e.code()));
            wizard_error(QString::fromUtf8(known.empty() ? e.message() : known));
        } else {
            error_handler::instance().handle(e, true);
        }
    } catch (const std::exception& e) {
        wizard_error(QString::fromUtf8(e.what()));
    }
    return false;
}
