// Asks the system to restart once the command has finished its work.
#pragma once

// Enables the shutdown privilege where it can and requests a restart of the local machine.
// Failures are silent: the caller's exit code already says a restart is due.
void RebootSystem();
