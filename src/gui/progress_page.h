// Page 106: runs the conversion on a worker thread and follows it. A timer of the
// user-interface thread reads the converter's counters every 200 ms; when the run has ended
// the wizard moves on to the finish page by itself.
#pragma once

#include "gui/wizard_page.h"
#include "tk/tk_thread.h"

#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;
class tabrix_converter;

// How a run ended, besides the errors it reported.
struct run_outcome {
    bool ran = false;     // the conversion thread ran
    bool stopped = false; // the user stopped it before its end
    QString failure;      // why no conversion ran, or what failed around it
};

class progress_page : public wizard_page {
    Q_OBJECT
public:
    explicit progress_page(wizard_shell& shell);
    ~progress_page() override;

    void initializePage() override;
    bool isComplete() const override { return done_; }
    int nextId() const override;

    bool is_running() const noexcept { return running_; }
    // Asks the run to stop between two records; the finish page then says it was stopped.
    void stop();
    // Stops the run and waits for it, answering the dialogs it raises meanwhile.
    void stop_and_wait();

    const run_outcome& outcome() const noexcept { return outcome_; }

private:
    void start();
    void on_timer();
    void collect_run();
    void finish();

    tabrix_converter& converter_;
    QProgressBar* bar_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* stop_ = nullptr;
    QTimer timer_;
    tk_thread thread_;
    bool running_ = false;
    bool done_ = false;
    bool stop_asked_ = false;
    run_outcome outcome_;
};
