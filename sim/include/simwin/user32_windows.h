// Top-level and child windows, posted messages, thread timers and Sleep (user32 and kernel32),
// as the simulated machine declares them.
#pragma once
#include "simwin/base.h"

#ifndef WM_TIMER
#define WM_TIMER 0x0113
#endif
#ifndef WM_MOUSEMOVE
#define WM_MOUSEMOVE 0x0200
#endif
#define USER_TIMER_MINIMUM 0x0000000A
#define USER_TIMER_MAXIMUM 0x7FFFFFFF
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L

typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

extern "C" {
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName);
HWND WINAPI FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName);
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR eventId, UINT elapse, TIMERPROC timerProc);
BOOL WINAPI KillTimer(HWND window, UINT_PTR eventId);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetTickCount(void);
}
