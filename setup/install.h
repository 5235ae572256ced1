// Installing and updating drivers on present plug-and-play devices through the system's device
// installer. The exported operations are declared in boardkit/operations.h.
#pragma once
#include <cstdint>

// UpdateDriver on the INF file with the hardware ID "DEMO": the demo device's update.
int32_t UpdateDemoDriver(char* infFile);
