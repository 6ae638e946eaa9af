#include "gui/help_window.h"

#include "gui/wizard_messages.h"
#include "gui/wizard_shell.h"

#include <QFile>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

// Outside any namespace: the resource's registration function is a global one.
static void init_help_resources() {
    // The pages live in the library's resources, which a static library registers by hand.
    static const bool done = [] {
        Q_INIT_RESOURCE(help);
        return true;
    }();
    (void)done;
}

namespace {

QString resource_path(int topic) {
    return topic == 0 ? QStringLiteral(":/help/index.html")
                      : QStringLiteral(":/help/%1.html").arg(topic);
}

} // namespace

help_window::help_window(QWidget* parent) : QDialog(parent) {
    init_help_resources();
    setObjectName(QStringLiteral("help_window"));
    setWindowTitle(wizard_title() + QStringLiteral(" Help"));
    setModal(false);
    resize(560, 480);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    browser_ = new QTextBrowser;
    browser_->setObjectName(QStringLiteral("browser"));
    browser_->setOpenLinks(true);
    browser_->document()->setDocumentMargin(12);
    layout->addWidget(browser_);
}

bool help_window::has_topic(int topic) {
    init_help_resources();
    return QFile::exists(resource_path(topic));
}

QString help_window::topic_url(int topic) {
    return QStringLiteral("qrc") + resource_path(topic);
}

void help_window::show_topic(int topic) {
    topic_ = topic;
    browser_->setSource(QUrl(topic_url(topic)));
    show();
    raise();
    activateWindow();
}

void display_help(int topic) {
    if (wizard_shell* shell = wizard_shell::try_instance()) {
        shell->display_help(topic);
        return;
    }
    if (!help_window::has_topic(topic)) {
        wizard_error(QStringLiteral("Help file does not exist. Reinstall the program."));
        return;
    }
    // Before the wizard is up, the window belongs to the dialog that asked for it.
    auto* window = new help_window(wizard_dialog_owner());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show_topic(topic);
}
