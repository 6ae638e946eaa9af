// The tabrix-cli command that repeats a conversion: what the wizard shows its user so that
// the same run can be scripted.
#pragma once

#include <string>
#include <string_view>

class tabrix_converter;

// "tabrix-cli convert --no-stored-settings --source … --script … …" with every setting that
// makes the run what it is spelt out, so that stored settings and defaults do not matter. The
// tables are listed in conversion order. A server password is not written: the command
// names it as '--password PASSWORD' for the user to fill in; the command line has no option
// for a server database yet, so a direct-mode command names none. Words are quoted for a POSIX
// shell where they need it.
std::string tabrix_equivalent_command(const tabrix_converter& converter);

// One word for a POSIX shell: as it stands when it holds only safe characters, otherwise in
// single quotes (a quote inside written as '\'').
std::string tabrix_shell_word(std::string_view word);
