#include "gui/wizard_program.h"

int main(int argc, char** argv) {
    return wizard_main(argc, argv);
}
