// Reading the command line of another process, by which the wizard killer knows the wizard.
#pragma once
#include <string>

#include "platform/win32.h"

// Reads the command line of process `processId` into `commandLine` (ANSI, as the process's
// own UTF-16 text converts). False when any step fails or the text does not fit the 260-byte
// buffer with room to spare; the process must then be passed over. A process of another
// account is read only once the caller has enabled the debug privilege.
bool ReadProcessCommandLine(DWORD processId, std::string& commandLine);
