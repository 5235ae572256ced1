// Message output and the help command over the program's own Command Table and message table.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "frontend/messages.h"
#include "run_capture.h"

namespace {

// The general help: `heading`, then the list of commands, each entry followed by a blank line.
std::string GeneralHelpBody(const std::string& heading) {
    std::string text = heading;
    const char* const list[] = {
        "help                 Display Boardkit help.",
        "InstallDemoDevice    Install Demo device.",
        "UninstallDriver      Uninstall Driver.",
        "IsDeviceExistInstalled Is there any Device Exist Installed.",
        "RemoveDevice         Remove device.",
        "RefreshDevices       Refresh Devices.",
        "InstallIsaDevicePnp  Install Isa device.",
        "InstallDriver        Install driver.",
        "UpdateDriver         UpdateDriver.",
        "IsDemoDeviceInstalled Is DemoDevice Installed.",
        "GetDeviceInstalledList Get Device Installed List.",
        "GetDevicePreinstalledList Get Device Preinstalled List.",
        "GetDeviceExistNotInstalledList Get Device Exist Not Installed List.",
        "IsDeviceExist        Is Device Exist.",
        "UpdateNewDriver      Update New Driver.",
        "UpdateIsaDriver      Update Isa Driver.",
        "IsDeviceUsing        Is Device Using.",
        "RemoveConfigurationByKernelKey Remove the device configuration by kernel key.",
        "RemoveConfigurationByProductID Remove the device Configuration by productID.",
        "RemoveConfigurationByDeviceNum Remove the device configuration by device number.",
        "IsDeviceExistNotInstall Is Device Exist Not Install.",
        "KillBoardkitAPTimer  Kill BoardkitAPTimer.",
        "UninstallNonePnpDriver Uninstall NonePnp Driver.",
        "EliminateInstalldevIconinSystemTrayTimer Eliminate Install devIcon in SystemTray Timer.",
        "UnloadDevice         Unload Device.",
        "EnableOrDisableDevice Enable Or Disable Device.",
    };
    for (const char* line : list) {
        text += std::string(line) + "\n\n";
    }
    return text;
}

std::string HelpHeading(const std::string& p) {
    return "Device Console Help:\r\n" + p +
           " [-r] [-m:\\\\<machine>] <command> [<arg>...]\r\n"
           "-r           Reboots the system only when a restart or reboot is required.\r\n"
           "<machine>    Specifies a remote computer. \r\n"
           "<command>    Specifies a Boardkit command (see command list below).\r\n"
           "<arg>...     One or more arguments that modify a command.\r\n"
           "For help with a specific command, type: " +
           p + " help <command>\n";
}

std::string Echo(const std::vector<std::string>& words, const std::string& command) {
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        text += "argv[" + std::to_string(i) + "]=" + words[i] + "\n";
    }
    return text + "cmd = " + command + "\n";
}

const std::string kUpdateDriverHelp =
    "Boardkit UpdateDriver Command\r\nUpdateDriver. \r\nbk.exe UpdateDriver "
    "<infFile><hardwareID>\r\n<infFile>    Type: CHAR*. Specify the inf file with full "
    "path.\r\n<hardwareID>  Type: CHAR*. Specifies the hardwareID of the device.\n";

TEST(Help, WithoutArgumentListsEveryCommandWithHelpText) {
    std::vector<std::string> words = {"C:\\kit\\bk.exe", "help"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.out, Echo(words, "help") + GeneralHelpBody(HelpHeading("bk.exe")));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Help, RowsWithoutLongHelpShowTheGeneralHelp) {
    for (const char* topic : {"help", "?", "InstallCertificate", "installcertificate"}) {
        std::vector<std::string> words = {"bk.exe", "help", topic};
        CapturedRun run = RunBoardkit(words);
        EXPECT_EQ(run.out, Echo(words, "help") + GeneralHelpBody(HelpHeading("bk.exe"))) << topic;
        EXPECT_EQ(run.exitCode, 0);
    }
}

TEST(Help, UnknownTopicSaysSoAndListsTheCommands) {
    std::vector<std::string> words = {"bk.exe", "help", "Frobnicate"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.out, Echo(words, "help") + GeneralHelpBody("Unknown command.\n"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Help, TopicInAnyCaseShowsTheLongHelpWithTheTableName) {
    std::vector<std::string> words = {"bk.exe", "help", "updatedriver"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.out, Echo(words, "help") + kUpdateDriverHelp);
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Help, WordsAfterTheTopicAreIgnored) {
    std::vector<std::string> words = {"bk.exe", "help", "UpdateDriver", "more", "words"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.out, Echo(words, "help") + kUpdateDriverHelp);
}

TEST(Help, LongHelpEndingInABlankLineEndsInOneLineFeed) {
    std::vector<std::string> words = {"bk.exe", "help", "InstallIsaDevicePnp"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.out, Echo(words, "help") +
                           "Boardkit InstallIsaDevicePnp Command\r\nInstall Isa device. \r\n"
                           "bk.exe InstallIsaDevicePnp <infFile> <hardwareID> \r\n"
                           "<infFile>    Type: CHAR*. Specifies the inf file with full path.\r\n"
                           "<hardwareID> Type: CHAR*. Specifies the hardware ID of the device.\n");
}

TEST(Help, LongHelpTakesProgramAndCommandName) {
    std::vector<std::string> words = {"tool", "help", "RefreshDevices"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.out, Echo(words, "help") +
                           "Boardkit RefreshDevices Command\r\nRefresh Devices. \r\n"
                           "tool RefreshDevices \n");
}

TEST(Help, SlashAndDashFormsRunTheHelpCommand) {
    std::vector<std::string> upper = {"bk.exe", "/HELP"};
    CapturedRun run = RunBoardkit(upper);
    EXPECT_EQ(run.out, Echo(upper, "HELP") + GeneralHelpBody(HelpHeading("bk.exe")));
    for (const char* word : {"/?", "-?"}) {
        std::vector<std::string> words = {"bk.exe", word};
        CapturedRun question = RunBoardkit(words);
        EXPECT_EQ(question.out, Echo(words, "?") + GeneralHelpBody(HelpHeading("bk.exe"))) << word;
        EXPECT_EQ(question.exitCode, 0);
    }
}

TEST(Help, MachineAndForceOptionsChangeNothing) {
    std::vector<std::string> words = {"bk.exe", "-m:\\\\host", "-f", "help", "UpdateDriver"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.out, Echo(words, "help") + kUpdateDriverHelp);
    EXPECT_EQ(run.exitCode, 0);
}

}  // namespace

// WriteMessage on its own: inserts, line ends, unknown ids.
namespace {

std::string WrittenTo(void (*write)(FILE*)) {
    std::string out, err;
    StreamCapture capture;
    write(stdout);
    capture.Finish(out, err);
    return out;
}

TEST(WriteMessage, FailureMessageIsProgramNameAndFailedWithOneLineFeed) {
    std::string text = WrittenTo([](FILE* s) { WriteMessage(s, 0xEA61, "setup.exe", "Cmd"); });
    EXPECT_EQ(text, "setup.exe failed.\n");
}

TEST(WriteMessage, InsertsAreRepeatedWhereTheTextRepeatsThem) {
    std::string text = WrittenTo([](FILE* s) { WriteMessage(s, 0xEA62, "p", "UnloadDevice"); });
    EXPECT_EQ(text,
              "p: Invalid use of UnloadDevice.\r\nFor more information, type: p help "
              "UnloadDevice\n");
}

TEST(WriteMessage, PaddedInsertIsNeverCut) {
    std::string shortName = WrittenTo([](FILE* s) { WriteMessage(s, 0xEAC5, "x"); });
    EXPECT_EQ(shortName, "x                    Display Boardkit help.\n");
    std::string longName =
        WrittenTo([](FILE* s) { WriteMessage(s, 0xEAC5, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"); });
    EXPECT_EQ(longName, "ABCDEFGHIJKLMNOPQRSTUVWXYZ Display Boardkit help.\n");
}

TEST(WriteMessage, IdWithoutTextWritesNothing) {
    std::string text = WrittenTo([](FILE* s) { WriteMessage(s, 0xEA63, "a", "b"); });
    EXPECT_EQ(text, "");
    std::string unused = WrittenTo([](FILE* s) { WriteMessage(s, 0x12345678, "a"); });
    EXPECT_EQ(unused, "");
}

TEST(WriteMessage, GoesToTheStreamItIsGiven) {
    std::string out, err;
    {
        StreamCapture capture;
        WriteMessage(stderr, 0xEAC6);
        capture.Finish(out, err);
    }
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "Unknown command.\n");
}

}  // namespace
