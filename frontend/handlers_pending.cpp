// Commands whose operations are not built yet: each ends as a failed command.
#include "frontend/handlers.h"

#define BK_PENDING_COMMAND(name)                                        \
    int32_t name(const char*, const char*, uint32_t, int32_t, char**) { \
        return EXIT_RET_FAILURE;                                        \
    }

BK_PENDING_COMMAND(InstallDemoDeviceCommand)
BK_PENDING_COMMAND(UninstallDriverCommand)
BK_PENDING_COMMAND(IsDeviceExistInstalledCommand)
BK_PENDING_COMMAND(RemoveDeviceCommand)
BK_PENDING_COMMAND(RefreshDevicesCommand)
BK_PENDING_COMMAND(InstallIsaDevicePnpCommand)
BK_PENDING_COMMAND(InstallDriverCommand)
BK_PENDING_COMMAND(UpdateDriverCommand)
BK_PENDING_COMMAND(IsDemoDeviceInstalledCommand)
BK_PENDING_COMMAND(GetDeviceInstalledListCommand)
BK_PENDING_COMMAND(GetDevicePreinstalledListCommand)
BK_PENDING_COMMAND(GetDeviceExistNotInstalledListCommand)
BK_PENDING_COMMAND(IsDeviceExistCommand)
BK_PENDING_COMMAND(UpdateNewDriverCommand)
BK_PENDING_COMMAND(UpdateIsaDriverCommand)
BK_PENDING_COMMAND(IsDeviceUsingCommand)
BK_PENDING_COMMAND(RemoveConfigurationByKernelKeyCommand)
BK_PENDING_COMMAND(RemoveConfigurationByProductIDCommand)
BK_PENDING_COMMAND(RemoveConfigurationByDeviceNumCommand)
BK_PENDING_COMMAND(IsDeviceExistNotInstallCommand)
BK_PENDING_COMMAND(KillBoardkitAPTimerCommand)
BK_PENDING_COMMAND(UninstallNonePnpDriverCommand)
BK_PENDING_COMMAND(EliminateInstalldevIconinSystemTrayTimerCommand)
BK_PENDING_COMMAND(UnloadDeviceCommand)
BK_PENDING_COMMAND(EnableOrDisableDeviceCommand)
BK_PENDING_COMMAND(InstallCertificateCommand)
