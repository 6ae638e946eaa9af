// tabrix-cli inspect: the tables of a folder (or one .dbf file) before converting them.
#pragma once

// argv[0] is "inspect". Exit status 0, 1 when a table could not be read, 64 for a usage error.
int inspect_main(int argc, char** argv);
