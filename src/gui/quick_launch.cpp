#include "gui/quick_launch.h"

#include "gui/connect_dialog.h"
#include "gui/overwrite_dialog.h"
#include "gui/qt_text.h"
#include "gui/server_access.h"
#include "gui/wizard_checks.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_settings.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_trace.h"

#include <algorithm>

namespace {

// The table page's checks: every table the profile names is in the folder, and an empty
// choice is confirmed.
bool check_tables(wizard_settings& settings) {
    const std::vector<std::u16string> all = settings.all_tables();
    const std::vector<std::u16string> chosen = settings.selected_tables();
    for (const std::u16string& name : chosen) {
        if (std::find(all.begin(), all.end(), name) == all.end()) {
            wizard_error(QStringLiteral("The profile names the table '%1', which is not in the "
                                        "DBF database folder '%2'.")
                             .arg(to_qt(name), to_qt(settings.source().folder)));
            return false;
        }
    }
    return !chosen.empty() || all.empty() ||
           wizard_question(QStringLiteral("There are no tables selected. Continue anyway?"), true);
}

bool check_destination(wizard_settings& settings, server_access& server, int timeout_ms) {
    if (!settings.direct())
        return !wizard_script_exists(settings) ||
               wizard_question(QStringLiteral("Destination file already exists. Overwrite?"));
    if (!connect_dialog::connect_to(server, nullptr, timeout_ms))
        return false;
    if (!server.database_exists(settings.source().destination))
        return true;
    overwrite_dialog dialog(settings.preferred_overwrite_mode());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings.set_mode(dialog.mode());
    return true;
}

} // namespace

bool quick_launch_prepare(wizard_settings& settings, server_access& server, const QString& profile,
                          int connect_timeout_ms) {
    TK_TRACE(3, "QUICK LAUNCH: profile=%s", profile.toUtf8().constData());
    try {
        if (!settings.load_profile(profile.toStdString())) {
            wizard_error(QStringLiteral("Cannot read the profile '%1'.").arg(profile));
            return false;
        }
        if (const auto problem = wizard_check_source(settings)) {
            wizard_show(*problem);
            return false;
        }
        return check_tables(settings) && check_destination(settings, server, connect_timeout_ms);
    } catch (const tk_exception& e) {
        error_handler::instance().handle(e, true);
        return false;
    }
}
