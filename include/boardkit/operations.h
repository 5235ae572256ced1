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

/* No exception unwinds into a caller, which may be written in C or any other language: one
   that escapes an operation ends the process instead. */
#ifdef __cplusplus
#define BOARDKIT_NOEXCEPT noexcept
#else
#define BOARDKIT_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Presence queries. The three with an out-value always write it (1 yes, 0 no) and return
   true; callers read the out-value. */
BOARDKIT_API bool IsDeviceExist(char* hardwareId) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool IsDeviceExistInstalled(char* hardwareId, int* found) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool IsDeviceExistNotInstall(char* hardwareId, int* found) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool IsDeviceUsing(char* hardwareId) BOARDKIT_NOEXCEPT;

/* Installing and updating drivers on present plug-and-play devices. */
BOARDKIT_API bool InstallDriver(char* infFile, char* hardwareId,
                                int* rebootRequired) BOARDKIT_NOEXCEPT;
BOARDKIT_API int32_t UpdateDriver(char* infFile, char* hardwareId,
                                  int* rebootRequired) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t InstallNonPnpDriver(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool RefreshDevices(void) BOARDKIT_NOEXCEPT;

/* Removes an OEM INF copy (oem<N>.inf, no folder) and its package: 0 or the system error. */
BOARDKIT_API int32_t DeleteOemInfFile(char* oemFile) BOARDKIT_NOEXCEPT;

/* Wizard-suppression timers (100 ms, no window). Their procedures run only while the calling
   thread dispatches messages. 0 stops a timer, anything else starts it; a running timer is
   not started twice. KillBoardkitAPTimer always returns true, the tray switch always false. */
BOARDKIT_API bool KillBoardkitAPTimer(int start) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool EliminateInstalldevIconinSystemTrayTimer(int start) BOARDKIT_NOEXCEPT;
/* The killer timer's procedure: ends every process whose command line contains
   "rundll32.exe newdev.dll". Its five arguments are ignored. */
BOARDKIT_API void KillerInstallProcTimer(uint32_t window, uint32_t message, uint32_t timerId,
                                         uint32_t time, uint32_t reserved) BOARDKIT_NOEXCEPT;

/* The hand-built legacy device node: create it, record its resources, then keep or discard it. */
BOARDKIT_API uint32_t CreateDeviceNode(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t SetResource(uint32_t ioBase, uint32_t ioLength, uint32_t irq, uint32_t irq2,
                                  uint32_t dma) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t DeleteDeviceNode(void) BOARDKIT_NOEXCEPT;
BOARDKIT_API void CloseDeviceNode(void) BOARDKIT_NOEXCEPT;

/* Legacy boards: install on a new node (with the resource dialog, or without it), refresh. */
BOARDKIT_API uint32_t InstallIsaDevice(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t InstallIsaDeviceEx(char* infFile, char* hardwareId,
                                         uint32_t ioLength) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t InstallIsaDevicePnp(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT;
BOARDKIT_API int32_t UpdateIsaDriver(char* infFile, char* hardwareId,
                                     int* ignored) BOARDKIT_NOEXCEPT;

/* Legacy resource checks against the node under construction: 0 free, 0xE000FFFF claimed by
   another device, or the Configuration Manager's code when the machine cannot be reached. */
BOARDKIT_API uint32_t IsaResCheckBaseAddrConflict(uint32_t ioBase,
                                                  uint32_t rangeLength) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t IsaResCheckIrqConflict(uint32_t irq) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t IsaResCheckDmaConflict(uint32_t channel) BOARDKIT_NOEXCEPT;

/* Pre-installed packages and the software demo device. */
BOARDKIT_API bool PreInstallDriver(char* infFile) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool DeletePreInstallDriverFiles(char* infFile) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t InstallDemoDevice(char* infFile) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool IsDemoDeviceInstalled(int* installed) BOARDKIT_NOEXCEPT;

/* The framework's configuration records: read one value of record `deviceNumber` into
   `buffer` (`bufferSize` bytes). 0 also when the record or value is missing (the buffer then
   keeps what the caller preset); 0xE0000017 when the store cannot be opened. */
BOARDKIT_API uint32_t GetConfigurationItem(uint32_t deviceNumber, char* valueName,
                                           uint32_t bufferSize,
                                           unsigned char* buffer) BOARDKIT_NOEXCEPT;

/* Device lists written to a text file, one catalog row a line. The installed and pre-installed
   lists return 1 when the file was written, the driverless list 0; any other value means no
   file was written. */
BOARDKIT_API uint32_t GetDeviceInstalledList(char* path) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t GetDevicePreinstalledList(char* path) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t GetDeviceExistNotInstalledList(char* path) BOARDKIT_NOEXCEPT;

/* Removal of configuration records with their map entries: 0, also when nothing matched;
   0xE0000017 when the store cannot be opened. */
BOARDKIT_API uint32_t RemoveConfigurationByKernelKey(char* kernelKey) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t RemoveConfigurationByProductID(uint32_t productId) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t RemoveConfigurationByDeviceNum(uint32_t deviceNumber) BOARDKIT_NOEXCEPT;

/* Enable, disable or unload the present device of a configuration record. 0 when done (also
   when the record's product is not in the catalog); 0xE0000017 when no present device matches
   or the node cannot be removed; a refused state change gives the platform's error code. */
BOARDKIT_API int32_t EnableOrDisableDevice(uint32_t enable, int32_t deviceNumber,
                                           int* reboot) BOARDKIT_NOEXCEPT;
BOARDKIT_API int32_t EnableDevices(char* kernelKey) BOARDKIT_NOEXCEPT;
BOARDKIT_API int32_t DisableDevices(char* kernelKey) BOARDKIT_NOEXCEPT;
BOARDKIT_API int32_t UnloadDevice(int32_t deviceNumber) BOARDKIT_NOEXCEPT;

/* Adds the maker's publisher certificate, carried in the program, to the local machine's
   "TrustedPublisher" store (a copy already there is kept): 0, or 2 on any failure. */
BOARDKIT_API int32_t InstallCertificate(void) BOARDKIT_NOEXCEPT;

/* Update of a board's driver to a new package, whatever its bus and whether it is plugged in:
   0, 2 (missing or empty argument, no catalog row, INF file not found), or the error of the
   step that failed. The reboot out-value is not written. */
BOARDKIT_API int32_t UpdateNewDriver(char* infFile, char* hardwareId,
                                     int* reboot) BOARDKIT_NOEXCEPT;

/* Uninstallation. UninstallDriver upper-cases the kernel key in place and returns 2 (no
   catalog row), 0xE0000017 (no configuration store) or DeleteDriverFile's result, which is 0,
   2 or the error of the first file that could not be deleted. RemoveDevice refuses an empty
   text. Uninstall takes a record's device number, or a negative number for every demo device.
   UninstallNonePnpDriver refuses an empty prefix with 2. */
BOARDKIT_API int32_t UninstallDriver(char* kernelKey) BOARDKIT_NOEXCEPT;
BOARDKIT_API int32_t DeleteDriverFile(char* kernelKey) BOARDKIT_NOEXCEPT;
BOARDKIT_API bool RemoveDevice(char* hardwareId) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t Uninstall(int32_t deviceNumber) BOARDKIT_NOEXCEPT;
BOARDKIT_API uint32_t UninstallNonePnpDriver(char* infFile,
                                             char* hardwareIdPrefix) BOARDKIT_NOEXCEPT;

#ifdef __cplusplus
}
/* The three-argument form of InstallIsaDevice, for C++ callers. */
inline uint32_t InstallIsaDevice(char* infFile, char* hardwareId,
                                 uint32_t ioLength) BOARDKIT_NOEXCEPT {
    return InstallIsaDeviceEx(infFile, hardwareId, ioLength);
}
#endif

#endif
