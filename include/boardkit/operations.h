/* The operations boardkit exports: the same functions that its commands run.
   Link against boardkit.dll (import library libboardkit.dll.a, or boardkit.lib from MSVC).
   Every operation has C linkage, so its exported name is its own name. Text arguments are
   modifiable, zero-terminated ANSI strings; long-sized results are 32 bits on every platform. */
#ifndef BOARDKIT_OPERATIONS_H
#define BOARDKIT_OPERATIONS_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#if defined(BOARDKIT_BUILDING)
#define BOARDKIT_API __declspec(dllexport)
#else
#define BOARDKIT_API __declspec(dllimport)
#endif
#else
#define BOARDKIT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Operations are added here as they are built. */

#ifdef __cplusplus
}
#endif

#endif
