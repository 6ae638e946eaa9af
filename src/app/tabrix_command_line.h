// The tabrix-cli command that repeats a conversion: what the wizard shows its user so that
// the same run can be scripted.
#pragma once

#include <string>
#include <string_view>

class tabrix_converter;

// "tabrix-cli convert --no-stored-settings --source … --script … …" with every setting that
// makes the run what it is spelt out, so that stored settings and defaults do not matter. The
// tables are listed in conversion order. A server password is not written: tabrix-cli asks
// for it (or takes it from TABRIX_PASSWORD). Words are quoted for a POSIX
// shell where they need it.
std::string tabrix_equivalent_command(const tabrix_converter& converter);

// One word for a POSIX shell: as it stands when it holds only safe characters, otherwise in
// single quotes (a quote inside written as '\'').
std::string tabrix_shell_word(std::string_view word);
