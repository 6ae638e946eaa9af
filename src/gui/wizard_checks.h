// The checks the source page makes before the tables are chosen, shared with the quick
// launch, which runs them before it starts a profile's conversion.
#pragma once

#include <QString>
#include <optional>

class wizard_settings;

struct wizard_problem {
    enum class kind { message, error };
    kind how;
    QString text;
};

// The source folder and the destination, in this order: a folder given, a destination
// given, a folder that exists, is a folder and can be read; in script mode a script path
// that is not a folder, whose folder exists, that is no file of the source folder, and
// settings a script can be written with.
std::optional<wizard_problem> wizard_check_source(const wizard_settings& settings);

// Shows the problem as its kind says.
void wizard_show(const wizard_problem& problem);

// Script mode: the script file exists already (the user is asked before it is replaced).
bool wizard_script_exists(const wizard_settings& settings);
