// pulsegen: the window program. It takes no command line.
#include "ui/program.h"

int main() { return ui::RunProgram(); }
