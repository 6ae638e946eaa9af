// "tabrix-cli encodings": the language-driver bytes and code pages the program reads text in.
#pragma once

// argv[0] is "encodings". Exit status: 0, or 64 for a usage error.
int encodings_main(int argc, char** argv);
