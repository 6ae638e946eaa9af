#include "gui_test_support.h"

#include "app/tabrix_sample.h"
#include "dbf/test_table_builder.h"
#include "gui/gui_error_reporter.h"
#include "tk/tk_error_converter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <cstdio>
#include <map>

namespace tabrix_test {

namespace fs = std::filesystem;

void fake_server::connect() {
    ++connects;
    if (delay_ms != 0)
        QThread::msleep(delay_ms);
    if (fail_code != -1)
        throw tk_exception(fail_text, tk_exception::recoverable, fail_code);
}

dialog_answers::dialog_answers() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

dialog_answers::~dialog_answers() = default;

void dialog_answers::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == last_.data() || !modal->isVisible())
        return;
    if (!answer_connect_ && modal->objectName() == QStringLiteral("connect_dialog"))
        return;
    last_ = modal;
    seen_.push_back(caption_of(modal) + "|" + text_of(modal));
    if (steps_.empty()) {
        // A dialog nobody expected would wait for ever: it fails the test and goes.
        ADD_FAILURE() << "unexpected dialog: " << seen_.back();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        return;
    }
    auto step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
}

std::string caption_of(QWidget* dialog) {
    return dialog->windowTitle().toStdString();
}

std::string text_of(QWidget* dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        return box->text().toStdString();
    if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("message")))
        return label->text().toStdString();
    if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("text")))
        return label->text().toStdString();
    return {};
}

void click_button(QWidget* dialog, const QString& text) {
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
        if (QString(b->text()).remove(QLatin1Char('&')) == QString(text).remove(QLatin1Char('&'))) {
            b->click();
            return;
        }
    }
    ADD_FAILURE() << "no button '" << text.toStdString() << "' in " << caption_of(dialog);
}

void click_default(QWidget* dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        box->defaultButton()->click();
        return;
    }
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (b->isDefault()) {
            b->click();
            return;
        }
    }
    ADD_FAILURE() << "no default button in " << caption_of(dialog);
}

bool wait_until(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

test_server::test_server() {
    if (!fs::exists("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so")) {
        why_not = "the FreeTDS ODBC driver (tdsodbc) is not installed";
        return;
    }
    // One line: PORT=... LOGIN=sa PASSWORD=... PID=...
    const std::string out = run("start");
    std::map<std::string, std::string> fields;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find_first_of(" \n", at);
        if (end == std::string::npos)
            end = out.size();
        const std::string item = out.substr(at, end - at);
        if (const size_t eq = item.find('='); eq != std::string::npos)
            fields[item.substr(0, eq)] = item.substr(eq + 1);
        at = end + 1;
    }
    if (fields.count("PORT") == 0) {
        why_not = "the test server did not start: " + out;
        return;
    }
    host = "127.0.0.1," + fields["PORT"];
    login = fields["LOGIN"];
    password = fields["PASSWORD"];
    started = true;
}

test_server::~test_server() {
    if (started)
        run("stop");
}

std::string test_server::run(const std::string& args) const {
    const std::string command = "TABRIX_TEST_SERVER_DIR='" + state_.path().string() + "' '" +
                                std::string(TABRIX_SOURCE_DIR) + "/scripts/test-server.sh' " +
                                args + " 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

wizard_fixture::wizard_fixture(bool quick_launch, bool live) {
    handler = std::make_unique<error_handler>(tk_odb_error_table(),
                                              std::make_unique<gui_error_reporter>());
    converter = std::make_unique<tabrix_converter>();
    settings = std::make_unique<wizard_settings>(*converter);
    if (live) {
        live_server = std::make_unique<converter_server_access>(*converter);
        access = live_server.get();
    }
    if (!quick_launch)
        make_shell(false);
}

void wizard_fixture::make_shell(bool quick_launch) {
    shell = std::make_unique<wizard_shell>(*settings, *access, quick_launch);
    shell->resize(720, 540);
    shell->show();
}

wizard_fixture::~wizard_fixture() {
    shell.reset();
    live_server.reset();
    settings.reset();
    converter.reset();
    handler.reset();
}

void write_sample(const std::filesystem::path& folder) {
    tabrix_write_sample(folder);
}

void write_big_table(const std::filesystem::path& file, uint32_t records) {
    write_file(file, dbf_test::numbered_names(records, 20));
}

} // namespace tabrix_test
