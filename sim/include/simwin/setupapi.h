// SetupAPI's device information sets and device registry properties (setupapi.h) as the
// simulated machine declares them. ANSI forms only; struct layouts as on Windows x64.
#pragma once
#include "simwin/base.h"
#include "simwin/files.h"
#include "simwin/guid.h"
#include "simwin/registry.h"

typedef PVOID HDEVINFO;

typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;
// Callers set cbSize to exactly this; the x64 layout pads DevInst to 8 bytes before Reserved.
static_assert(sizeof(SP_DEVINFO_DATA) == 32, "SP_DEVINFO_DATA is 32 bytes on x64");
static_assert(offsetof(SP_DEVINFO_DATA, DevInst) == 20, "DevInst follows the class GUID");
static_assert(offsetof(SP_DEVINFO_DATA, Reserved) == 24, "Reserved is pointer-aligned");

typedef DWORD(CALLBACK* PSP_DETSIG_CMPPROC)(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA NewDeviceData,
                                            PSP_DEVINFO_DATA ExistingDeviceData,
                                            PVOID CompareContext);

#define LINE_LEN 256
#define MAX_CLASS_NAME_LEN 32

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010
#define DIGCF_INTERFACEDEVICE DIGCF_DEVICEINTERFACE

#define DICD_GENERATE_ID 0x00000001
#define DICD_INHERIT_CLASSDRVS 0x00000002

#define SPRDI_FIND_DUPS 0x00000001

#define DIREG_DEV 0x00000001
#define DIREG_DRV 0x00000002
#define DIREG_BOTH 0x00000004

#define DICS_FLAG_GLOBAL 0x00000001
#define DICS_FLAG_CONFIGSPECIFIC 0x00000002
#define DICS_FLAG_CONFIGGENERAL 0x00000004

#define SPDRP_DEVICEDESC (0x00000000)
#define SPDRP_HARDWAREID (0x00000001)
#define SPDRP_COMPATIBLEIDS (0x00000002)
#define SPDRP_UNUSED0 (0x00000003)
#define SPDRP_SERVICE (0x00000004)
#define SPDRP_UNUSED1 (0x00000005)
#define SPDRP_UNUSED2 (0x00000006)
#define SPDRP_CLASS (0x00000007)
#define SPDRP_CLASSGUID (0x00000008)
#define SPDRP_DRIVER (0x00000009)
#define SPDRP_CONFIGFLAGS (0x0000000A)
#define SPDRP_MFG (0x0000000B)
#define SPDRP_FRIENDLYNAME (0x0000000C)
#define SPDRP_LOCATION_INFORMATION (0x0000000D)
#define SPDRP_PHYSICAL_DEVICE_OBJECT_NAME (0x0000000E)
#define SPDRP_CAPABILITIES (0x0000000F)
#define SPDRP_UI_NUMBER (0x00000010)
#define SPDRP_UPPERFILTERS (0x00000011)
#define SPDRP_LOWERFILTERS (0x00000012)
#define SPDRP_BUSTYPEGUID (0x00000013)
#define SPDRP_LEGACYBUSTYPE (0x00000014)
#define SPDRP_BUSNUMBER (0x00000015)
#define SPDRP_ENUMERATOR_NAME (0x00000016)
#define SPDRP_SECURITY (0x00000017)
#define SPDRP_SECURITY_SDS (0x00000018)
#define SPDRP_DEVTYPE (0x00000019)
#define SPDRP_EXCLUSIVE (0x0000001A)
#define SPDRP_CHARACTERISTICS (0x0000001B)
#define SPDRP_ADDRESS (0x0000001C)
#define SPDRP_UI_NUMBER_DESC_FORMAT (0X0000001D)
#define SPDRP_DEVICE_POWER_DATA (0x0000001E)
#define SPDRP_REMOVAL_POLICY (0x0000001F)
#define SPDRP_REMOVAL_POLICY_HW_DEFAULT (0x00000020)
#define SPDRP_REMOVAL_POLICY_OVERRIDE (0x00000021)
#define SPDRP_INSTALL_STATE (0x00000022)
#define SPDRP_LOCATION_PATHS (0x00000023)
#define SPDRP_MAXIMUM_PROPERTY (0x00000024)

// SetupAPI's own error codes: APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | n.
#define APPLICATION_ERROR_MASK 0x20000000
#define ERROR_SEVERITY_ERROR 0xC0000000
#define ERROR_INVALID_USER_BUFFER 1784L
#define ERROR_NO_ASSOCIATED_CLASS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x200)
#define ERROR_CLASS_MISMATCH (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x201)
#define ERROR_DUPLICATE_FOUND (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x202)
#define ERROR_NO_DRIVER_SELECTED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x203)
#define ERROR_KEY_DOES_NOT_EXIST (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x204)
#define ERROR_INVALID_DEVINST_NAME (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x205)
#define ERROR_INVALID_CLASS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x206)
#define ERROR_DEVINST_ALREADY_EXISTS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x207)
#define ERROR_DEVINFO_NOT_REGISTERED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x208)
#define ERROR_INVALID_REG_PROPERTY (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x209)
#define ERROR_NO_INF (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20A)
#define ERROR_NO_SUCH_DEVINST (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20B)
#define ERROR_INVALID_HWPROFILE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x210)
#define ERROR_NO_DEVICE_SELECTED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x211)
#define ERROR_DEVINFO_LIST_LOCKED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x212)
#define ERROR_DEVINFO_DATA_LOCKED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x213)
#define ERROR_NO_CLASSINSTALL_PARAMS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x215)
#define ERROR_CANT_REMOVE_DEVINST (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x232)
#define ERROR_NOT_INSTALLED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x1000)

extern "C" {
// Each returns FALSE (or INVALID_HANDLE_VALUE) and sets the thread's last error on failure.
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags);
HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* ClassGuid, HWND hwndParent);
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);
BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize);
BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              const BYTE* PropertyBuffer, DWORD PropertyBufferSize);
BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        PSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                        PDWORD RequiredSize);
BOOL WINAPI SetupDiCreateDeviceInfoA(HDEVINFO DeviceInfoSet, PCSTR DeviceName,
                                     const GUID* ClassGuid, PCSTR DeviceDescription,
                                     HWND hwndParent, DWORD CreationFlags,
                                     PSP_DEVINFO_DATA DeviceInfoData);
BOOL WINAPI SetupDiRegisterDeviceInfo(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                      DWORD Flags, PSP_DETSIG_CMPPROC CompareProc,
                                      PVOID CompareContext, PSP_DEVINFO_DATA DupDeviceInfoData);
BOOL WINAPI SetupDiRemoveDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData);
// DIREG_DEV opens the node's Device Parameters key, DIREG_DRV its driver key.
HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 DWORD Scope, DWORD HwProfile, DWORD KeyType, REGSAM samDesired);
}

// Device installation parameters and property changes (state of a device: enable, disable).
typedef UINT DI_FUNCTION;
typedef PVOID HSPFILEQ;
typedef UINT(CALLBACK* PSP_FILE_CALLBACK_A)(PVOID Context, UINT Notification, UINT_PTR Param1,
                                            UINT_PTR Param2);
typedef PSP_FILE_CALLBACK_A PSP_FILE_CALLBACK;

#define DIF_SELECTDEVICE 0x00000001
#define DIF_INSTALLDEVICE 0x00000002
#define DIF_REMOVE 0x00000005
#define DIF_PROPERTYCHANGE 0x00000012
#define DIF_SELECTBESTCOMPATDRV 0x00000017

#define DICS_ENABLE 0x00000001
#define DICS_DISABLE 0x00000002
#define DICS_PROPCHANGE 0x00000003
#define DICS_START 0x00000004
#define DICS_STOP 0x00000005

#define DI_SHOWOEM 0x00000001L
#define DI_NEEDRESTART 0x00000080L
#define DI_NEEDREBOOT 0x00000100L
#define DI_NOBROWSE 0x00000200L
#define DI_ENUMSINGLEINF 0x00010000L
#define DI_DONOTCALLCONFIGMG 0x00020000L
#define DI_QUIETINSTALL 0x00800000L
#define DI_FLAGSEX_ALLOWEXCLUDEDDRVS 0x00000800L

typedef struct _SP_CLASSINSTALL_HEADER {
    DWORD cbSize;
    DI_FUNCTION InstallFunction;
} SP_CLASSINSTALL_HEADER, *PSP_CLASSINSTALL_HEADER;

typedef struct _SP_PROPCHANGE_PARAMS {
    SP_CLASSINSTALL_HEADER ClassInstallHeader;
    DWORD StateChange;
    DWORD Scope;
    DWORD HwProfile;
} SP_PROPCHANGE_PARAMS, *PSP_PROPCHANGE_PARAMS;

typedef struct _SP_DEVINSTALL_PARAMS_A {
    DWORD cbSize;
    DWORD Flags;
    DWORD FlagsEx;
    HWND hwndParent;
    PSP_FILE_CALLBACK InstallMsgHandler;
    PVOID InstallMsgHandlerContext;
    HSPFILEQ FileQueue;
    ULONG_PTR ClassInstallReserved;
    DWORD Reserved;
    CHAR DriverPath[MAX_PATH];
} SP_DEVINSTALL_PARAMS_A, *PSP_DEVINSTALL_PARAMS_A;
static_assert(sizeof(SP_CLASSINSTALL_HEADER) == 8, "class install header is 8 bytes");
static_assert(sizeof(SP_PROPCHANGE_PARAMS) == 20, "property change parameters are 20 bytes");
// Callers set cbSize to exactly 0x140 on x64; any other size is refused.
static_assert(sizeof(SP_DEVINSTALL_PARAMS_A) == 320, "install parameters are 320 bytes on x64");
static_assert(offsetof(SP_DEVINSTALL_PARAMS_A, DriverPath) == 60, "DriverPath follows Reserved");

extern "C" {
// The element's Flags, FlagsEx and DriverPath; the other fields read back as the set keeps them.
BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                           PSP_DEVINSTALL_PARAMS_A DeviceInstallParams);
BOOL WINAPI SetupDiSetDeviceInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                           PSP_DEVINSTALL_PARAMS_A DeviceInstallParams);
// Only DIF_PROPERTYCHANGE parameters are modelled; null parameters clear the element's.
BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                          PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                          DWORD ClassInstallParamsSize);
// Applies the element's property change parameters (the default DIF_PROPERTYCHANGE handler).
BOOL WINAPI SetupDiChangeState(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData);
}

// Driver selection for one INF: the INF's class, driver lists and the selected driver.
#define SPDIT_NODRIVER 0x00000000
#define SPDIT_CLASSDRIVER 0x00000001
#define SPDIT_COMPATDRIVER 0x00000002
#define ERROR_NO_COMPAT_DRIVERS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x228)

typedef struct _SP_DRVINFO_DATA_V2_A {
    DWORD cbSize;
    DWORD DriverType;
    ULONG_PTR Reserved;
    CHAR Description[LINE_LEN];
    CHAR MfgName[LINE_LEN];
    CHAR ProviderName[LINE_LEN];
    FILETIME DriverDate;
    DWORDLONG DriverVersion;
} SP_DRVINFO_DATA_V2_A, *PSP_DRVINFO_DATA_V2_A;
typedef struct _SP_DRVINFO_DATA_V1_A {
    DWORD cbSize;
    DWORD DriverType;
    ULONG_PTR Reserved;
    CHAR Description[LINE_LEN];
    CHAR MfgName[LINE_LEN];
    CHAR ProviderName[LINE_LEN];
} SP_DRVINFO_DATA_V1_A, *PSP_DRVINFO_DATA_V1_A;
typedef SP_DRVINFO_DATA_V2_A SP_DRVINFO_DATA_A;
typedef PSP_DRVINFO_DATA_V2_A PSP_DRVINFO_DATA_A;
// Both sizes are accepted as cbSize; the V2 form adds the date and version.
static_assert(sizeof(SP_DRVINFO_DATA_V2_A) == 800, "SP_DRVINFO_DATA_V2_A is 800 bytes on x64");
static_assert(sizeof(SP_DRVINFO_DATA_V1_A) == 784, "SP_DRVINFO_DATA_V1_A is 784 bytes on x64");

extern "C" {
// The class name and GUID of the INF's [Version]; FALSE for an INF without a class.
BOOL WINAPI SetupDiGetINFClassA(PCSTR InfName, LPGUID ClassGuid, PSTR ClassName,
                                DWORD ClassNameSize, PDWORD RequiredSize);
BOOL WINAPI SetupDiSetSelectedDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData);
// SPDIT_COMPATDRIVER only, and with DI_ENUMSINGLEINF: the drivers of the one INF DriverPath names.
BOOL WINAPI SetupDiBuildDriverInfoList(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                       DWORD DriverType);
// DIF_SELECTBESTCOMPATDRV only: the driver whose ID matches the device's earliest ID.
BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData);
BOOL WINAPI SetupDiGetSelectedDriverA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                      PSP_DRVINFO_DATA_A DriverInfoData);
}
