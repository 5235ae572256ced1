// What the caller programs share: a tally of checks with a line for each one that fails, and
// a count of the device nodes that carry a hardware ID, read through SetupAPI as any program
// would.
#pragma once
#include <string>

void Check(bool ok, const char* what, const std::string& detail = "");
// Prints the tally as "N passed, N failed" and gives the process exit code.
int CheckSummary();

// How many device nodes of the machine, present or not, carry `id` as their first hardware ID;
// -1 when the machine's device list cannot be had.
int NodesWithHardwareId(const char* id);

// The wizard-suppression timer against real processes, with a message loop of the caller's own
// (caller_windows.cpp); the simulated machine has neither, and its own tests cover the timer
// there (caller_sim.cpp). `self` is the caller's program, started again as a wizard stand-in.
void WizardProcesses(const char* self);
// The stand-in: waits to be ended, at most half a minute, and then exits with 3.
int LingerAsWizard();
