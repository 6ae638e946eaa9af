// A profile named on the command line: its conversion runs at once, showing only the
// progress and finish pages. Before that, the checks of the pages it skips are made, with
// their messages and questions, and in direct mode the server is connected.
#pragma once

#include <QString>

class server_access;
class wizard_settings;

// Loads the profile and checks it; true when the conversion can start.
bool quick_launch_prepare(wizard_settings& settings, server_access& server, const QString& profile,
                          int connect_timeout_ms = 60000);
