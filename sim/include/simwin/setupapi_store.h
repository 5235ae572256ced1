// The driver store functions of SetupAPI (setupapi.h): staging an INF as an OEM copy in the
// INF folder and removing such a copy, with their flags and SetupAPI's error codes.
#pragma once
#include "simwin/base.h"
#include "simwin/setupapi.h"

// OEMSourceMediaType of SetupCopyOEMInfA.
#define SPOST_NONE 0
#define SPOST_PATH 1
#define SPOST_URL 2
#define SPOST_MAX 3

// CopyStyle of SetupCopyOEMInfA (and of the file queue functions).
#define SP_COPY_DELETESOURCE 0x0000001
#define SP_COPY_REPLACEONLY 0x0000002
#define SP_COPY_NEWER 0x0000004
#define SP_COPY_NEWER_OR_SAME SP_COPY_NEWER
#define SP_COPY_NOOVERWRITE 0x0000008
#define SP_COPY_NODECOMP 0x0000010
#define SP_COPY_LANGUAGEAWARE 0x0000020
#define SP_COPY_SOURCE_ABSOLUTE 0x0000040
#define SP_COPY_SOURCEPATH_ABSOLUTE 0x0000080
#define SP_COPY_IN_USE_NEEDS_REBOOT 0x0000100
#define SP_COPY_FORCE_IN_USE 0x0000200
#define SP_COPY_NOSKIP 0x0000400
#define SP_COPY_FORCE_NOOVERWRITE 0x0001000
#define SP_COPY_FORCE_NEWER 0x0002000
#define SP_COPY_WARNIFSKIP 0x0004000
#define SP_COPY_NOBROWSE 0x0008000
#define SP_COPY_NEWER_ONLY 0x0010000
#define SP_COPY_SOURCE_SIS_MASTER 0x0020000
#define SP_COPY_OEMINF_CATALOG_ONLY 0x0040000
#define SP_COPY_REPLACE_BOOT_FILE 0x0080000
#define SP_COPY_NOPRUNE 0x0100000
#define SP_COPY_OEM_F6_INF 0x0200000

// Flags of SetupUninstallOEMInfA.
#define SUOI_FORCEDELETE 0x00000001
#define SUOI_INTERNAL1 0x00000002

// SetupAPI's error codes the INF reader and the driver store report. Guarded: the device
// information set header declares some of the same codes.
#ifndef APPLICATION_ERROR_MASK
#define APPLICATION_ERROR_MASK 0x20000000
#endif
#ifndef ERROR_SEVERITY_ERROR
#define ERROR_SEVERITY_ERROR 0xC0000000
#endif
#define BK_SETUPAPI_ERROR(n) (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | (n))
#ifndef ERROR_EXPECTED_SECTION_NAME
#define ERROR_EXPECTED_SECTION_NAME BK_SETUPAPI_ERROR(0x0)
#endif
#ifndef ERROR_BAD_SECTION_NAME_LINE
#define ERROR_BAD_SECTION_NAME_LINE BK_SETUPAPI_ERROR(0x1)
#endif
#ifndef ERROR_SECTION_NAME_TOO_LONG
#define ERROR_SECTION_NAME_TOO_LONG BK_SETUPAPI_ERROR(0x2)
#endif
#ifndef ERROR_GENERAL_SYNTAX
#define ERROR_GENERAL_SYNTAX BK_SETUPAPI_ERROR(0x3)
#endif
#ifndef ERROR_WRONG_INF_STYLE
#define ERROR_WRONG_INF_STYLE BK_SETUPAPI_ERROR(0x100)
#endif
#ifndef ERROR_SECTION_NOT_FOUND
#define ERROR_SECTION_NOT_FOUND BK_SETUPAPI_ERROR(0x101)
#endif
#ifndef ERROR_LINE_NOT_FOUND
#define ERROR_LINE_NOT_FOUND BK_SETUPAPI_ERROR(0x102)
#endif
#ifndef ERROR_NO_DRIVER_SELECTED
#define ERROR_NO_DRIVER_SELECTED BK_SETUPAPI_ERROR(0x203)
#endif
#ifndef ERROR_NO_INF
#define ERROR_NO_INF BK_SETUPAPI_ERROR(0x20A)
#endif
#ifndef ERROR_NO_SUCH_DEVINST
#define ERROR_NO_SUCH_DEVINST BK_SETUPAPI_ERROR(0x20B)
#endif
#ifndef ERROR_DI_BAD_PATH
#define ERROR_DI_BAD_PATH BK_SETUPAPI_ERROR(0x214)
#endif
#ifndef ERROR_NO_CATALOG_FOR_OEM_INF
#define ERROR_NO_CATALOG_FOR_OEM_INF BK_SETUPAPI_ERROR(0x22F)
#endif
#ifndef ERROR_IN_WOW64
#define ERROR_IN_WOW64 BK_SETUPAPI_ERROR(0x235)
#endif
#ifndef ERROR_NOT_AN_INSTALLED_OEM_INF
#define ERROR_NOT_AN_INSTALLED_OEM_INF BK_SETUPAPI_ERROR(0x23C)
#endif
#ifndef ERROR_INF_IN_USE_BY_DEVICES
#define ERROR_INF_IN_USE_BY_DEVICES BK_SETUPAPI_ERROR(0x23D)
#endif

extern "C" {
// Stages the INF as C:\Windows\INF\oem<N>.inf; FALSE with the last error on failure.
BOOL WINAPI SetupCopyOEMInfA(PCSTR SourceInfFileName, PCSTR OEMSourceMediaLocation,
                             DWORD OEMSourceMediaType, DWORD CopyStyle, PSTR DestinationInfFileName,
                             DWORD DestinationInfFileNameSize, PDWORD RequiredSize,
                             PSTR* DestinationInfFileNameComponent);
// Removes an OEM copy (a bare oem<N>.inf name) and its package from the store.
BOOL WINAPI SetupUninstallOEMInfA(PCSTR InfFileName, DWORD Flags, PVOID Reserved);
}
