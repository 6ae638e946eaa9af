// The help: one HTML page per topic, kept in the program's resources, shown in a window of
// its own beside the wizard.
#pragma once

#include <QDialog>

class QTextBrowser;

class help_window : public QDialog {
    Q_OBJECT
public:
    explicit help_window(QWidget* parent = nullptr);

    // Whether the topic has a page (0: the first page).
    static bool has_topic(int topic);
    // The resource of a topic: "qrc:/help/1018.html", "qrc:/help/index.html".
    static QString topic_url(int topic);

    void show_topic(int topic);
    int current_topic() const noexcept { return topic_; }
    QTextBrowser* browser() const noexcept { return browser_; }

private:
    QTextBrowser* browser_ = nullptr;
    int topic_ = -1;
};

// Opens the help at a topic: in the wizard's help window, or in one of its own before the
// wizard is up. A topic without a page is an error message.
void display_help(int topic);
