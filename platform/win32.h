// The one door from the product to the platform: the real Win32 headers on Windows, the
// simulated machine's declarations of the same names, types and values elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mbstring.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <newdev.h>
#include <wincrypt.h>
#include <tlhelp32.h>
#include <winternl.h>
#else
#include "sim/include/simwin/windows.h"
#endif
