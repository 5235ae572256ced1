// The handlers of the Command Table rows. Each checks its command line, converts its
// arguments, calls one operation and maps its result to a command result; none prints.
#pragma once
#include "frontend/command_table.h"

#define BK_COMMAND_HANDLER(name)                                                         \
    int32_t name(const char* program, const char* machine, uint32_t flags, int32_t argc, \
                 char** argv)

BK_COMMAND_HANDLER(HelpCommand);
BK_COMMAND_HANDLER(InstallDemoDeviceCommand);
BK_COMMAND_HANDLER(UninstallDriverCommand);
BK_COMMAND_HANDLER(IsDeviceExistInstalledCommand);
BK_COMMAND_HANDLER(RemoveDeviceCommand);
BK_COMMAND_HANDLER(RefreshDevicesCommand);
BK_COMMAND_HANDLER(InstallIsaDevicePnpCommand);
BK_COMMAND_HANDLER(InstallDriverCommand);
BK_COMMAND_HANDLER(UpdateDriverCommand);
BK_COMMAND_HANDLER(IsDemoDeviceInstalledCommand);
BK_COMMAND_HANDLER(GetDeviceInstalledListCommand);
BK_COMMAND_HANDLER(GetDevicePreinstalledListCommand);
BK_COMMAND_HANDLER(GetDeviceExistNotInstalledListCommand);
BK_COMMAND_HANDLER(IsDeviceExistCommand);
BK_COMMAND_HANDLER(UpdateNewDriverCommand);
BK_COMMAND_HANDLER(UpdateIsaDriverCommand);
BK_COMMAND_HANDLER(IsDeviceUsingCommand);
BK_COMMAND_HANDLER(RemoveConfigurationByKernelKeyCommand);
BK_COMMAND_HANDLER(RemoveConfigurationByProductIDCommand);
BK_COMMAND_HANDLER(RemoveConfigurationByDeviceNumCommand);
BK_COMMAND_HANDLER(IsDeviceExistNotInstallCommand);
BK_COMMAND_HANDLER(KillBoardkitAPTimerCommand);
BK_COMMAND_HANDLER(UninstallNonePnpDriverCommand);
BK_COMMAND_HANDLER(EliminateInstalldevIconinSystemTrayTimerCommand);
BK_COMMAND_HANDLER(UnloadDeviceCommand);
BK_COMMAND_HANDLER(EnableOrDisableDeviceCommand);
BK_COMMAND_HANDLER(InstallCertificateCommand);
