// The simulated machine starts no processes of a program's own and runs no message loop of the
// caller's, so the timer's work against processes is checked by tests/config over prepared
// processes of the machine instead.
#include "tests/caller/checks.h"

void WizardProcesses(const char*) {}

int LingerAsWizard() {
    return 3;
}
