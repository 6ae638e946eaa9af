// How failures reach the user of the wizard: the continue-or-abort dialog (level 0), the
// error box (level 1) and the internal-error dialog (level 2). A report from the conversion
// thread waits while the dialog is shown on the user-interface thread; the worker never
// touches a widget itself.
#pragma once

#include "tk/tk_error_handler.h"

#include <functional>

class gui_error_reporter : public error_reporter {
public:
    void show_error(const std::string& text) override;
    tk_continue_answer ask_continue(const std::string& text) override;
    void show_internal_error(const std::string& text) override;
};

// Runs `f` on the user-interface thread and waits for it; at once when called there.
void run_on_gui_thread(const std::function<void()>& f);
