// The wizard program, `tabrix`: start-up, the optional quick launch, the wizard, and the
// settings stored at exit.
#pragma once

// Whether a window can be shown: a display is named (DISPLAY, WAYLAND_DISPLAY) or a
// platform is given (QT_QPA_PLATFORM, -platform).
bool wizard_has_display(int argc, char** argv);

// The text that tells a user without a display to use tabrix-cli.
const char* wizard_no_display_text();

int wizard_main(int argc, char** argv);
