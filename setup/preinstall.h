// Pre-installing driver packages and the software demo device. The exported operations
// (PreInstallDriver, DeletePreInstallDriverFiles, InstallDemoDevice, IsDemoDeviceInstalled)
// are declared in boardkit/operations.h.
#pragma once
#include <cstddef>
#include <cstdint>

// Board numbers of demo devices run from 0 to this value.
constexpr uint32_t kLastBoardNumber = 999;
// "%03d" and two zero bytes: the location text as the node carries it.
constexpr std::size_t kBoardNumberTextSize = 5;

// The smallest board number that no demo record of the configuration store holds. Returns 0
// and writes the number, or 0xE0000017 (some record's number cannot be learnt, so any number
// may be taken) or 0xE000FFFF (0 to 999 all taken), leaving `boardNumber` alone.
uint32_t AllocateBoardNumber(uint32_t* boardNumber);

// Writes "%03d" of the number into a zero-filled buffer of kBoardNumberTextSize bytes.
void FormatBoardNumber(uint32_t boardNumber, char (&text)[kBoardNumberTextSize]);
