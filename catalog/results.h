// The results the exported operations share, besides 0 for success and the platform's own
// error codes. Setup programs and linked callers read these values, so they are fixed; each
// has one name.
#pragma once
#include <cstdint>

// A null argument, or a hardware ID or kernel key that no catalog row contains; also the plain
// failure of an operation that names no other.
constexpr uint32_t kResultFailed = 2;
// The legacy node's device information set was never created.
constexpr uint32_t kResultNoDeviceInfoSet = 0xE0000000;
// The record exists but is not the demo device's (its ProductID is not 0).
constexpr uint32_t kResultNotDemoRecord = 0xE0000001;
// No record with that device number, or no demo device with its board number.
constexpr uint32_t kResultNoSuchRecord = 0xE0000015;
// A key, list or matching device cannot be found or opened.
constexpr uint32_t kResultNotFound = 0xE0000017;
// What was asked for is taken: no free board number is left, or another device claims the
// resource.
constexpr uint32_t kResultTaken = 0xE000FFFF;
