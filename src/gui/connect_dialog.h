// "Connecting to MS SQL server. Please wait...": the server connection runs on a worker
// thread while this dialog turns its animation. Cancel, or the time-out, give up waiting: the
// page stays, and a connection that comes later is not used.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

class QLabel;
class server_access;

class connect_dialog : public QDialog {
    Q_OBJECT
public:
    enum class outcome { connected, failed, cancelled, timed_out };

    explicit connect_dialog(QWidget* parent = nullptr);
    ~connect_dialog() override;

    // Connects through `server` and reports a failure as the user is to see it (an unknown
    // server, a login refused, the error handler's text). True only when connected.
    static bool connect_to(server_access& server, QWidget* parent, int timeout_ms = 60000);

    // Runs the connection with this dialog shown; `timeout_ms` ends the wait.
    outcome run(server_access& server, int timeout_ms);
    // The failure of a failed connection, raised again (tk_exception or a standard one).
    void rethrow_failure() const;

private:
    struct attempt;

    QLabel* icon_ = nullptr;
    QTimer animation_;
    QTimer poll_;
    QTimer deadline_;
    bool timed_out_ = false;
    int frame_ = 0;
    std::shared_ptr<attempt> attempt_;
};
