// The two window timers that keep the system's new-hardware wizard out of the way while a
// driver is installed: one ends the wizard's processes, one makes the notification area drop
// the icons those processes leave behind. The exported switches and the killer procedure are
// declared in boardkit/operations.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "boardkit/operations.h"
#include "platform/win32.h"

// Both timers fire every 100 ms while they run; a stop waits 200 ms so that a tick already
// queued has been handled before the caller goes on.
constexpr UINT kWizardTimerPeriodMs = 100;
constexpr DWORD kTimerStopWaitMs = 200;

// The text a wizard process's command line must contain, exactly and case-sensitively.
constexpr const char* kWizardCommandLineMark = "rundll32.exe newdev.dll";

// The identifiers of the running timers (0 while stopped), for tests and diagnostics.
UINT_PTR KillerTimerId();
UINT_PTR TrayTimerId();

// The notification-area timer's procedure: posts a mouse move to the tray's toolbar, if the
// whole window chain is there. Arguments are ignored.
void CALLBACK SweepTrayIcons(HWND window, UINT message, UINT_PTR timerId, DWORD time);
