// The Command Table. Its order is the order of the help listing, and a word that matches two
// rows takes the first.
#include "frontend/command_table.h"

#include "frontend/handlers.h"
#include "platform/win32.h"

namespace {

const CommandEntry kCommandTable[] = {
    {"help", HelpCommand, 0xEAC5, 0},
    {"InstallDemoDevice", InstallDemoDeviceCommand, 0xF243, 0xF242},
    {"UninstallDriver", UninstallDriverCommand, 0xF257, 0xF256},
    {"IsDeviceExistInstalled", IsDeviceExistInstalledCommand, 0xF259, 0xF258},
    {"RemoveDevice", RemoveDeviceCommand, 0xF25B, 0xF25A},
    {"RefreshDevices", RefreshDevicesCommand, 0xF25D, 0xF25C},
    {"InstallIsaDevicePnp", InstallIsaDevicePnpCommand, 0xF275, 0xF274},
    {"InstallDriver", InstallDriverCommand, 0xF24D, 0xF24C},
    {"UpdateDriver", UpdateDriverCommand, 0xF271, 0xF270},
    {"IsDemoDeviceInstalled", IsDemoDeviceInstalledCommand, 0xF273, 0xF272},
    // These seven carry texts of their own, in the free range after the other command texts.
    {"GetDeviceInstalledList", GetDeviceInstalledListCommand, 0xF277, 0xF276},
    {"GetDevicePreinstalledList", GetDevicePreinstalledListCommand, 0xF279, 0xF278},
    {"GetDeviceExistNotInstalledList", GetDeviceExistNotInstalledListCommand, 0xF27B, 0xF27A},
    {"IsDeviceExist", IsDeviceExistCommand, 0xF27D, 0xF27C},
    {"UpdateNewDriver", UpdateNewDriverCommand, 0xF27F, 0xF27E},
    {"UpdateIsaDriver", UpdateIsaDriverCommand, 0xF281, 0xF280},
    {"IsDeviceUsing", IsDeviceUsingCommand, 0xF283, 0xF282},
    {"RemoveConfigurationByKernelKey", RemoveConfigurationByKernelKeyCommand, 0xF245, 0xF244},
    {"RemoveConfigurationByProductID", RemoveConfigurationByProductIDCommand, 0xF247, 0xF246},
    {"RemoveConfigurationByDeviceNum", RemoveConfigurationByDeviceNumCommand, 0xF249, 0xF248},
    {"IsDeviceExistNotInstall", IsDeviceExistNotInstallCommand, 0xF24B, 0xF24A},
    {"KillBoardkitAPTimer", KillBoardkitAPTimerCommand, 0xF253, 0xF252},
    {"UninstallNonePnpDriver", UninstallNonePnpDriverCommand, 0xF255, 0xF254},
    {"EliminateInstalldevIconinSystemTrayTimer", EliminateInstalldevIconinSystemTrayTimerCommand,
     0xF25F, 0xF25E},
    {"UnloadDevice", UnloadDeviceCommand, 0xF265, 0xF264},
    {"EnableOrDisableDevice", EnableOrDisableDeviceCommand, 0xF26B, 0xF26A},
    {"?", HelpCommand, 0, 0},
    {"InstallCertificate", InstallCertificateCommand, 0, 0},
    {nullptr, nullptr, 0, 0},
};

}  // namespace

const CommandEntry* CommandTable() {
    return kCommandTable;
}

const CommandEntry* FindCommand(const CommandEntry* table, const char* word) {
    for (const CommandEntry* row = table; row->name != nullptr; ++row) {
        // The run-time's multibyte compare folds case character by character; lstrcmpiA
        // compares by the locale's word sort, which ignores soft hyphens and the like, so
        // "he\xADlp" would run help.
        if (_mbsicmp(reinterpret_cast<const unsigned char*>(word),
                     reinterpret_cast<const unsigned char*>(row->name)) == 0) {
            return row;
        }
    }
    return nullptr;
}
