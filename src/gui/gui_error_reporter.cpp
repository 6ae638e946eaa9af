#include "gui/gui_error_reporter.h"

#include "gui/continue_dialog.h"
#include "gui/error_dialog.h"
#include "gui/wizard_messages.h"

#include <QCoreApplication>
#include <QThread>

void run_on_gui_thread(const std::function<void()>& f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(app, f, Qt::BlockingQueuedConnection);
}

void gui_error_reporter::show_error(const std::string& text) {
    run_on_gui_thread([&] { wizard_error(QString::fromUtf8(text)); });
}

tk_continue_answer gui_error_reporter::ask_continue(const std::string& text) {
    tk_continue_answer answer;
    run_on_gui_thread([&] { answer = continue_dialog::ask(QString::fromUtf8(text)); });
    return answer;
}

void gui_error_reporter::show_internal_error(const std::string& text) {
    run_on_gui_thread([&] { error_dialog::show_error(QString::fromUtf8(text)); });
}
