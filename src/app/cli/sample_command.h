// "tabrix-cli sample FOLDER": writes the sample DBF tables to try the program on.
#pragma once

// argv[0] is "sample". Exit status: 0 written, 1 a file could not be written, 64 usage error.
int sample_main(int argc, char** argv);
