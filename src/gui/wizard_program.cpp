#include "gui/wizard_program.h"

#include "app/tabrix_converter.h"
#include "gui/gui_error_reporter.h"
#include "gui/quick_launch.h"
#include "gui/server_access.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_settings.h"
#include "gui/wizard_shell.h"
#include "tk/tk_error_converter.h"
#include "tk/tk_trace.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool wizard_has_display(int argc, char** argv) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

const char* wizard_no_display_text() {
    return "tabrix: there is no display to show the wizard on (DISPLAY and WAYLAND_DISPLAY are "
           "not set).\n"
           "Run it on a desktop, or convert without a display with tabrix-cli:\n"
           "  tabrix-cli convert --source FOLDER --script FILE.sql\n"
           "  tabrix-cli convert PROFILE.tbx\n"
           "('tabrix-cli convert --help' lists every option.)\n";
}

int wizard_main(int argc, char** argv) {
    // The only words that are not a profile's name.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("Usage: tabrix [PROFILE.tbx]\n"
                   "Starts the conversion wizard. With a profile (saved on the wizard's last "
                   "page),\nruns its conversion at once, showing only its progress and "
                   "outcome.\nWithout a display, use tabrix-cli.\n",
                   stdout);
        return 0;
    }
    if (!wizard_has_display(argc, argv)) {
        std::fputs(wizard_no_display_text(), stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tabrix"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    error_handler handler(tk_odb_error_table(), std::make_unique<gui_error_reporter>());
    tabrix_converter converter;
    wizard_settings settings(converter);
    settings.load_stored();
    converter_server_access server(converter);

    int status = 0;
    try {
        // Anything after the program's name is one profile path, spaces and all.
        const QStringList args = QApplication::arguments();
        const bool quick_launch = args.size() > 1;
        if (quick_launch &&
            !quick_launch_prepare(settings, server, args.mid(1).join(QLatin1Char(' '))))
            return -1;
        wizard_shell shell(settings, server, quick_launch);
        shell.resize(720, 540);
        shell.exec();
    } catch (const tk_exception& e) {
        handler.handle(e, true);
        status = -1;
    } catch (const std::exception& e) {
        wizard_error(QString::fromUtf8(e.what()));
        status = -1;
    }
    settings.store_stored();
    return status;
}
