// Helpers of the wizard's tests: a wizard over a scratch folder, the dialogs it opens
// answered as they come, and DBF tables written for a test.
#pragma once

#include "app/tabrix_converter.h"
#include "gui/server_access.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "support/test_support.h"
#include "tk/tk_error_handler.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

class QWidget;

// Texts in test failures as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* os) {
    *os << '[' << texts.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace tabrix_test {

// A server that answers as the test says.
struct fake_server : server_access {
    int32_t fail_code = -1; // connect raises tk_exception with this code when not -1
    std::string fail_text = "provider's own text";
    bool database_exists_answer = false;
    int connects = 0;
    int delay_ms = 0; // the connection takes this long

    void connect() override;
    bool database_exists(std::u16string_view) override { return database_exists_answer; }
};

// Answers the modal dialogs that appear, in order, each with its own step. A step that
// does not close its dialog leaves that to the code under test. A dialog without a step
// fails the test and is closed.
class dialog_answers {
public:
    dialog_answers();
    ~dialog_answers();

    void then(std::function<void(QWidget*)> step) { steps_.push_back(std::move(step)); }
    size_t pending() const noexcept { return steps_.size(); }
    // The connection dialog closes by itself; it is passed over unless asked for.
    void answer_connect_dialog(bool on) noexcept { answer_connect_ = on; }
    // Every dialog met, as "caption|text".
    const std::vector<std::string>& seen() const noexcept { return seen_; }

private:
    void poll();

    QTimer timer_;
    QPointer<QWidget> last_;
    std::deque<std::function<void(QWidget*)>> steps_;
    std::vector<std::string> seen_;
    bool answer_connect_ = false;
};

// The caption and text of a message box or one of the wizard's own dialogs.
std::string caption_of(QWidget* dialog);
std::string text_of(QWidget* dialog);
// Clicks the button of a dialog whose text is `text` (mnemonics ignored).
void click_button(QWidget* dialog, const QString& text);
// Clicks the default button of a dialog.
void click_default(QWidget* dialog);

// Lets the event loop run until `done` holds or `ms` pass; answers whether it holds.
bool wait_until(const std::function<bool()>& done, int ms = 20000);

// The SQL Server stand-in of the tests (scripts/test-server.sh), in a state folder of its
// own; stopped when the object goes. `started` is false, with the reason in `why_not`, when it
// cannot run here.
struct test_server {
    test_server();
    ~test_server();
    test_server(const test_server&) = delete;
    test_server& operator=(const test_server&) = delete;

    bool started = false;
    std::string why_not;
    std::string host; // "127.0.0.1,PORT"
    std::string login;
    std::string password;

private:
    std::string run(const std::string& args) const;
    scratch_dir state_;
};

// The objects of one wizard, built as the program builds them. `live` connects to a real
// server (converter_server_access) instead of the fake one.
struct wizard_fixture {
    explicit wizard_fixture(bool quick_launch = false, bool live = false);
    ~wizard_fixture();

    void make_shell(bool quick_launch);
    template <class T> T* find(const char* name) const {
        return shell->findChild<T*>(QString::fromLatin1(name));
    }
    // A control of the current page.
    template <class T> T* on_page(const char* name) const {
        return shell->currentPage()->findChild<T*>(QString::fromLatin1(name));
    }

    scratch_dir dir;
    std::unique_ptr<error_handler> handler;
    std::unique_ptr<tabrix_converter> converter;
    std::unique_ptr<wizard_settings> settings;
    fake_server server;
    std::unique_ptr<converter_server_access> live_server;
    server_access* access = &server;
    std::unique_ptr<wizard_shell> shell;
};

// The sample tables in `folder`.
void write_sample(const std::filesystem::path& folder);
// A dBASE III table of `records` records with one text field NAME of 20 characters.
void write_big_table(const std::filesystem::path& file, uint32_t records);

} // namespace tabrix_test
