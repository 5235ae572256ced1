// The Configuration Manager (cfgmgr32.h, cfg.h) as the simulated machine declares it: device
// tree navigation, node status and registry properties, re-enumeration. ANSI forms only.
#pragma once
#include "simwin/base.h"

typedef DWORD RETURN_TYPE;
typedef RETURN_TYPE CONFIGRET;
typedef DWORD DEVNODE, DEVINST;
typedef DEVNODE *PDEVNODE, *PDEVINST;
typedef CHAR *DEVNODEID_A, *DEVINSTID_A;
typedef CHAR* PCHAR;

#define MAX_DEVICE_ID_LEN 200

#define CR_SUCCESS (0x00000000)
#define CR_DEFAULT (0x00000001)
#define CR_OUT_OF_MEMORY (0x00000002)
#define CR_INVALID_POINTER (0x00000003)
#define CR_INVALID_FLAG (0x00000004)
#define CR_INVALID_DEVNODE (0x00000005)
#define CR_INVALID_DEVINST CR_INVALID_DEVNODE
#define CR_INVALID_RES_DES (0x00000006)
#define CR_INVALID_LOG_CONF (0x00000007)
#define CR_INVALID_ARBITRATOR (0x00000008)
#define CR_INVALID_NODELIST (0x00000009)
#define CR_DEVNODE_HAS_REQS (0x0000000A)
#define CR_INVALID_RESOURCEID (0x0000000B)
#define CR_NO_SUCH_DEVNODE (0x0000000D)
#define CR_NO_SUCH_DEVINST CR_NO_SUCH_DEVNODE
#define CR_NO_MORE_LOG_CONF (0x0000000E)
#define CR_NO_MORE_RES_DES (0x0000000F)
#define CR_ALREADY_SUCH_DEVNODE (0x00000010)
#define CR_ALREADY_SUCH_DEVINST CR_ALREADY_SUCH_DEVNODE
#define CR_INVALID_RANGE_LIST (0x00000011)
#define CR_INVALID_RANGE (0x00000012)
#define CR_FAILURE (0x00000013)
#define CR_NO_SUCH_LOGICAL_DEV (0x00000014)
#define CR_CREATE_BLOCKED (0x00000015)
#define CR_REMOVE_VETOED (0x00000017)
#define CR_INVALID_LOAD_TYPE (0x00000019)
#define CR_BUFFER_SMALL (0x0000001A)
#define CR_NO_ARBITRATOR (0x0000001B)
#define CR_NO_REGISTRY_HANDLE (0x0000001C)
#define CR_REGISTRY_ERROR (0x0000001D)
#define CR_INVALID_DEVICE_ID (0x0000001E)
#define CR_INVALID_DATA (0x0000001F)
#define CR_INVALID_API (0x00000020)
#define CR_NEED_RESTART (0x00000022)
#define CR_DEVICE_NOT_THERE (0x00000024)
#define CR_NO_SUCH_VALUE (0x00000025)
#define CR_WRONG_TYPE (0x00000026)
#define CR_NOT_DISABLEABLE (0x00000028)
#define CR_NO_SUCH_REGISTRY_KEY (0x0000002E)
#define CR_INVALID_MACHINENAME (0x0000002F)
#define CR_REMOTE_COMM_FAILURE (0x00000030)
#define CR_MACHINE_UNAVAILABLE (0x00000031)
#define CR_NO_CM_SERVICES (0x00000032)
#define CR_ACCESS_DENIED (0x00000033)
#define CR_CALL_NOT_IMPLEMENTED (0x00000034)
#define CR_INVALID_PROPERTY (0x00000035)
#define CR_INVALID_CONFLICT_LIST (0x00000039)
#define CR_INVALID_INDEX (0x0000003A)
#define CR_INVALID_STRUCTURE_SIZE (0x0000003B)

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001
#define CM_LOCATE_DEVNODE_CANCELREMOVE 0x00000002
#define CM_LOCATE_DEVNODE_NOVALIDATION 0x00000004
#define CM_LOCATE_DEVNODE_BITS 0x00000007

#define CM_REENUMERATE_NORMAL 0x00000000
#define CM_REENUMERATE_SYNCHRONOUS 0x00000001
#define CM_REENUMERATE_RETRY_INSTALLATION 0x00000002
#define CM_REENUMERATE_ASYNCHRONOUS 0x00000004
#define CM_REENUMERATE_BITS 0x00000007

// Registry properties: each CM_DRP_ value is the matching SPDRP_ value plus one.
#define CM_DRP_DEVICEDESC (0x00000001)
#define CM_DRP_HARDWAREID (0x00000002)
#define CM_DRP_COMPATIBLEIDS (0x00000003)
#define CM_DRP_UNUSED0 (0x00000004)
#define CM_DRP_SERVICE (0x00000005)
#define CM_DRP_UNUSED1 (0x00000006)
#define CM_DRP_UNUSED2 (0x00000007)
#define CM_DRP_CLASS (0x00000008)
#define CM_DRP_CLASSGUID (0x00000009)
#define CM_DRP_DRIVER (0x0000000A)
#define CM_DRP_CONFIGFLAGS (0x0000000B)
#define CM_DRP_MFG (0x0000000C)
#define CM_DRP_FRIENDLYNAME (0x0000000D)
#define CM_DRP_LOCATION_INFORMATION (0x0000000E)
#define CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME (0x0000000F)
#define CM_DRP_CAPABILITIES (0x00000010)
#define CM_DRP_UI_NUMBER (0x00000011)
#define CM_DRP_UPPERFILTERS (0x00000012)
#define CM_DRP_LOWERFILTERS (0x00000013)
#define CM_DRP_BUSTYPEGUID (0x00000014)
#define CM_DRP_LEGACYBUSTYPE (0x00000015)
#define CM_DRP_BUSNUMBER (0x00000016)
#define CM_DRP_ENUMERATOR_NAME (0x00000017)
#define CM_DRP_SECURITY (0x00000018)
#define CM_DRP_SECURITY_SDS (0x00000019)
#define CM_DRP_DEVTYPE (0x0000001A)
#define CM_DRP_EXCLUSIVE (0x0000001B)
#define CM_DRP_CHARACTERISTICS (0x0000001C)
#define CM_DRP_ADDRESS (0x0000001D)
#define CM_DRP_UI_NUMBER_DESC_FORMAT (0x0000001E)
#define CM_DRP_DEVICE_POWER_DATA (0x0000001F)
#define CM_DRP_REMOVAL_POLICY (0x00000020)
#define CM_DRP_REMOVAL_POLICY_HW_DEFAULT (0x00000021)
#define CM_DRP_REMOVAL_POLICY_OVERRIDE (0x00000022)
#define CM_DRP_INSTALL_STATE (0x00000023)
#define CM_DRP_LOCATION_PATHS (0x00000024)
#define CM_DRP_BASE_CONTAINERID (0x00000025)
#define CM_DRP_MIN (0x00000001)
#define CM_DRP_MAX (0x00000023)

// Node status flags (cfg.h).
#define DN_ROOT_ENUMERATED (0x00000001)
#define DN_DRIVER_LOADED (0x00000002)
#define DN_ENUM_LOADED (0x00000004)
#define DN_STARTED (0x00000008)
#define DN_MANUAL (0x00000010)
#define DN_NEED_TO_ENUM (0x00000020)
#define DN_NOT_FIRST_TIME (0x00000040)
#define DN_HARDWARE_ENUM (0x00000080)
#define DN_LIAR (0x00000100)
#define DN_HAS_MARK (0x00000200)
#define DN_HAS_PROBLEM (0x00000400)
#define DN_FILTERED (0x00000800)
#define DN_MOVED (0x00001000)
#define DN_DISABLEABLE (0x00002000)
#define DN_REMOVABLE (0x00004000)
#define DN_PRIVATE_PROBLEM (0x00008000)
#define DN_MF_PARENT (0x00010000)
#define DN_MF_CHILD (0x00020000)
#define DN_WILL_BE_REMOVED (0x00040000)
#define DN_NT_ENUMERATOR 0x00800000
#define DN_NT_DRIVER 0x01000000

// Problem numbers (cfg.h).
#define CM_PROB_NOT_CONFIGURED (0x00000001)
#define CM_PROB_DEVLOADER_FAILED (0x00000002)
#define CM_PROB_OUT_OF_MEMORY (0x00000003)
#define CM_PROB_ENTRY_IS_WRONG_TYPE (0x00000004)
#define CM_PROB_LACKED_ARBITRATOR (0x00000005)
#define CM_PROB_BOOT_CONFIG_CONFLICT (0x00000006)
#define CM_PROB_FAILED_FILTER (0x00000007)
#define CM_PROB_DEVLOADER_NOT_FOUND (0x00000008)
#define CM_PROB_INVALID_DATA (0x00000009)
#define CM_PROB_FAILED_START (0x0000000A)
#define CM_PROB_LIAR (0x0000000B)
#define CM_PROB_NORMAL_CONFLICT (0x0000000C)
#define CM_PROB_NOT_VERIFIED (0x0000000D)
#define CM_PROB_NEED_RESTART (0x0000000E)
#define CM_PROB_REENUMERATION (0x0000000F)
#define CM_PROB_PARTIAL_LOG_CONF (0x00000010)
#define CM_PROB_UNKNOWN_RESOURCE (0x00000011)
#define CM_PROB_REINSTALL (0x00000012)
#define CM_PROB_REGISTRY (0x00000013)
#define CM_PROB_WILL_BE_REMOVED (0x00000015)
#define CM_PROB_DISABLED (0x00000016)
#define CM_PROB_DEVICE_NOT_THERE (0x00000018)
#define CM_PROB_MOVED (0x00000019)
#define CM_PROB_TOO_EARLY (0x0000001A)
#define CM_PROB_NO_VALID_LOG_CONF (0x0000001B)
#define CM_PROB_FAILED_INSTALL (0x0000001C)
#define CM_PROB_HARDWARE_DISABLED (0x0000001D)
#define CM_PROB_CANT_SHARE_IRQ (0x0000001E)
#define CM_PROB_FAILED_ADD (0x0000001F)
#define CM_PROB_DISABLED_SERVICE (0x00000020)
#define CM_PROB_TRANSLATION_FAILED (0x00000021)
#define CM_PROB_NO_SOFTCONFIG (0x00000022)
#define CM_PROB_BIOS_TABLE (0x00000023)
#define CM_PROB_IRQ_TRANSLATION_FAILED (0x00000024)
#define CM_PROB_FAILED_DRIVER_ENTRY (0x00000025)
#define CM_PROB_DRIVER_FAILED_PRIOR_UNLOAD (0x00000026)
#define CM_PROB_DRIVER_FAILED_LOAD (0x00000027)
#define CM_PROB_DRIVER_SERVICE_KEY_INVALID (0x00000028)
#define CM_PROB_LEGACY_SERVICE_NO_DEVICES (0x00000029)
#define CM_PROB_DUPLICATE_DEVICE (0x0000002A)
#define CM_PROB_FAILED_POST_START (0x0000002B)
#define CM_PROB_HALTED (0x0000002C)
#define CM_PROB_PHANTOM (0x0000002D)
#define CM_PROB_SYSTEM_SHUTDOWN (0x0000002E)
#define CM_PROB_HELD_FOR_EJECT (0x0000002F)
#define CM_PROB_DRIVER_BLOCKED (0x00000030)
#define CM_PROB_REGISTRY_TOO_LARGE (0x00000031)
#define CM_PROB_SETPROPERTIES_FAILED (0x00000032)

extern "C" {
// Every function returns a CR_ code and leaves the thread's last error alone.
CONFIGRET WINAPI CM_Locate_DevNodeA(PDEVINST pdnDevInst, DEVINSTID_A pDeviceID, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Sibling(PDEVINST pdnDevInst, DEVINST DevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG pulStatus, PULONG pulProblemNumber, DEVINST dnDevInst,
                                       ULONG ulFlags);
CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyA(DEVINST dnDevInst, ULONG ulProperty,
                                                   PULONG pulRegDataType, PVOID Buffer,
                                                   PULONG pulLength, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST dnDevInst, PCHAR Buffer, ULONG BufferLen, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags);
}

// Logical configurations, resource descriptors and resource conflicts (cfgmgr32.h), with the
// byte-packed descriptor layouts that Windows x64 uses.
typedef DWORD_PTR LOG_CONF;
typedef LOG_CONF* PLOG_CONF;
typedef DWORD_PTR RES_DES;
typedef RES_DES* PRES_DES;
typedef ULONG RESOURCEID;
typedef RESOURCEID* PRESOURCEID;
typedef HANDLE HMACHINE;
typedef HMACHINE* PHMACHINE;
typedef ULONG_PTR CONFLICT_LIST;
typedef CONFLICT_LIST* PCONFLICT_LIST;
typedef const void* PCVOID;

#define BASIC_LOG_CONF 0x00000000
#define FILTERED_LOG_CONF 0x00000001
#define ALLOC_LOG_CONF 0x00000002
#define BOOT_LOG_CONF 0x00000003
#define FORCED_LOG_CONF 0x00000004
#define OVERRIDE_LOG_CONF 0x00000005

#define ResType_All (0x00000000)
#define ResType_None (0x00000000)
#define ResType_Mem (0x00000001)
#define ResType_IO (0x00000002)
#define ResType_DMA (0x00000003)
#define ResType_IRQ (0x00000004)

#define fIOD_PortType (0x1)
#define fIOD_Memory (0x0)
#define fIOD_IO (0x1)
#define fIOD_DECODE (0x00fc)
#define fIOD_10_BIT_DECODE (0x0004)
#define fIOD_12_BIT_DECODE (0x0008)
#define fIOD_16_BIT_DECODE (0x0010)
#define IO_ALIAS_10_BIT_DECODE (0x00000004)
#define IO_ALIAS_12_BIT_DECODE (0x00000010)
#define IO_ALIAS_16_BIT_DECODE (0x00000000)

#define fIRQD_Exclusive (0x0)
#define fIRQD_Share (0x1)
#define fIRQD_Level (0x0)
#define fIRQD_Edge (0x2)

#define fDD_BYTE (0x0)
#define fDD_WORD (0x1)
#define fDD_NoBusMaster (0x0)
#define fDD_BusMaster (0x4)
#define fDD_TypeStandard (0x00)

#pragma pack(push, 1)
typedef struct IO_Range_s {
    DWORDLONG IOR_Align;
    DWORD IOR_nPorts;
    DWORDLONG IOR_Min;
    DWORDLONG IOR_Max;
    DWORD IOR_RangeFlags;
    DWORDLONG IOR_Alias;
} IO_RANGE, *PIO_RANGE;

typedef struct IO_Des_s {
    DWORD IOD_Count;
    DWORD IOD_Type;
    DWORDLONG IOD_Alloc_Base;
    DWORDLONG IOD_Alloc_End;
    DWORD IOD_DesFlags;
} IO_DES, *PIO_DES;

typedef struct IO_Resource_s {
    IO_DES IO_Header;
    IO_RANGE IO_Data[1];
} IO_RESOURCE, *PIO_RESOURCE;

typedef struct IRQ_Range_s {
    ULONG IRQR_Min;
    ULONG IRQR_Max;
    ULONG IRQR_Flags;
} IRQ_RANGE, *PIRQ_RANGE;

// The 64-bit header: Windows x64 programs see this one as IRQ_DES.
typedef struct IRQ_Des_64_s {
    DWORD IRQD_Count;
    DWORD IRQD_Type;
    DWORD IRQD_Flags;
    ULONG IRQD_Alloc_Num;
    ULONGLONG IRQD_Affinity;
} IRQ_DES_64, *PIRQ_DES_64, IRQ_DES, *PIRQ_DES;

typedef struct IRQ_Resource_64_s {
    IRQ_DES_64 IRQ_Header;
    IRQ_RANGE IRQ_Data[1];
} IRQ_RESOURCE_64, *PIRQ_RESOURCE_64, IRQ_RESOURCE, *PIRQ_RESOURCE;

typedef struct DMA_Range_s {
    ULONG DR_Min;
    ULONG DR_Max;
    ULONG DR_Flags;
} DMA_RANGE, *PDMA_RANGE;

typedef struct DMA_Des_s {
    DWORD DD_Count;
    DWORD DD_Type;
    DWORD DD_Flags;
    ULONG DD_Alloc_Chan;
} DMA_DES, *PDMA_DES;

typedef struct DMA_Resource_s {
    DMA_DES DMA_Header;
    DMA_RANGE DMA_Data[1];
} DMA_RESOURCE, *PDMA_RESOURCE;
#pragma pack(pop)

#define IOType_Range sizeof(struct IO_Range_s)
#define IRQType_Range sizeof(struct IRQ_Range_s)
#define DType_Range sizeof(struct DMA_Range_s)

static_assert(sizeof(IO_DES) == 28 && sizeof(IO_RANGE) == 40, "I/O descriptor parts");
static_assert(sizeof(IO_RESOURCE) == 68, "one I/O range descriptor is 68 bytes");
static_assert(sizeof(IRQ_DES) == 24 && sizeof(IRQ_RANGE) == 12, "IRQ descriptor parts");
static_assert(sizeof(IRQ_RESOURCE) == 36, "one IRQ descriptor is 36 bytes on x64");
static_assert(sizeof(DMA_DES) == 16 && sizeof(DMA_RANGE) == 12, "DMA descriptor parts");
static_assert(sizeof(DMA_RESOURCE) == 28, "one DMA descriptor is 28 bytes");

extern "C" {
// ALLOC_LOG_CONF: the resources of a started device (none while disabled or failed);
// BOOT_LOG_CONF: the same resources while the node is present. A null plcLogConf only asks.
CONFIGRET WINAPI CM_Get_First_Log_Conf(PLOG_CONF plcLogConf, DEVINST dnDevInst, ULONG ulFlags);
// rdResDes is a log conf or a descriptor; ForResource ResType_All walks every descriptor.
CONFIGRET WINAPI CM_Get_Next_Res_Des(PRES_DES prdResDes, RES_DES rdResDes, RESOURCEID ForResource,
                                     PRESOURCEID pResourceID, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Res_Des_Data(RES_DES rdResDes, PVOID Buffer, ULONG BufferLen,
                                     ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Res_Des_Data_Size(PULONG pulSize, RES_DES rdResDes, ULONG ulFlags);
CONFIGRET WINAPI CM_Free_Log_Conf_Handle(LOG_CONF lcLogConf);
CONFIGRET WINAPI CM_Free_Res_Des_Handle(RES_DES rdResDes);
// Only the local machine (a null or empty name) can be connected.
CONFIGRET WINAPI CM_Connect_MachineA(PCSTR UNCServerName, PHMACHINE phMachine);
CONFIGRET WINAPI CM_Disconnect_Machine(HMACHINE hMachine);
// Lists the other present devices whose allocated resources of ResourceID meet the one
// descriptor in ResourceData (I/O ranges overlap; IRQ and DMA numbers are equal).
CONFIGRET WINAPI CM_Query_Resource_Conflict_List(PCONFLICT_LIST pclConflictList, DEVINST dnDevInst,
                                                 RESOURCEID ResourceID, PCVOID ResourceData,
                                                 ULONG ResourceLen, ULONG ulFlags,
                                                 HMACHINE hMachine);
CONFIGRET WINAPI CM_Get_Resource_Conflict_Count(CONFLICT_LIST clConflictList, PULONG pulCount);
CONFIGRET WINAPI CM_Free_Resource_Conflict_Handle(CONFLICT_LIST clConflictList);
}
