// FormatMessageA over the program's own message table and over strings, checked the same way
// on the simulated machine and on Wine. The expected texts are the user-visible texts that
// setup programs and users read, typed out here character by character.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

const DWORD kSentinel = 0xdeadbeef;

// Formats message `id` of the running program (source module null, language 0) with the
// inserts that follow, the way the front end does: allocated buffer, va_list inserts.
std::string Message(DWORD id, ...) {
    va_list inserts;
    va_start(inserts, id);
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  nullptr, id, 0, reinterpret_cast<LPSTR>(&text), 0, &inserts);
    va_end(inserts);
    if (length == 0 || text == nullptr) {
        return "<FormatMessageA failed with " + std::to_string(GetLastError()) + ">";
    }
    std::string result(text, length);
    LocalFree(text);
    return result;
}

// The message's stored text, inserts left as written.
std::string RawMessage(DWORD id) {
    char text[2048];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, id, 0, text, sizeof text, nullptr);
    if (length == 0) {
        return "<FormatMessageA failed with " + std::to_string(GetLastError()) + ">";
    }
    return std::string(text, length);
}

// Formats `pattern` (FORMAT_MESSAGE_FROM_STRING) into a caller buffer; `*error` gets the last
// error, which is preset to a sentinel.
std::string FromString(DWORD extraFlags, const char* pattern, DWORD* error, ...) {
    va_list inserts;
    va_start(inserts, error);
    char text[512];
    SetLastError(kSentinel);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | extraFlags, pattern, 0, 0, text,
                                  sizeof text, &inserts);
    *error = GetLastError();
    va_end(inserts);
    return length == 0 ? std::string("<0>") : std::string(text, length);
}

// ---- The front end's messages -----------------------------------------------------------------

TEST(FrontEndMessages, UsageNamesTheProgramThreeTimes) {
    EXPECT_EQ(Message(0xEA60, "boardkit.exe"),
              "boardkit.exe Usage: boardkit.exe [-r] [-m:\\\\<machine>] <command> [<arg>...]\r\n"
              "For more information, type: boardkit.exe help\r\n");
}

TEST(FrontEndMessages, FailureNamesOnlyTheProgram) {
    EXPECT_EQ(Message(0xEA61, "boardkit.exe", "UpdateDriver"), "boardkit.exe failed.\r\n");
}

TEST(FrontEndMessages, InvalidUseNamesProgramAndCommand) {
    EXPECT_EQ(Message(0xEA62, "boardkit.exe", "UpdateDriver"),
              "boardkit.exe: Invalid use of UpdateDriver.\r\n"
              "For more information, type: boardkit.exe help UpdateDriver\r\n");
}

TEST(FrontEndMessages, HelpHeadingKeepsItsTrailingBlank) {
    EXPECT_EQ(Message(0xEAC4, "boardkit.exe", "help"),
              "Device Console Help:\r\n"
              "boardkit.exe [-r] [-m:\\\\<machine>] <command> [<arg>...]\r\n"
              "-r           Reboots the system only when a restart or reboot is required.\r\n"
              "<machine>    Specifies a remote computer. \r\n"
              "<command>    Specifies a Boardkit command (see command list below).\r\n"
              "<arg>...     One or more arguments that modify a command.\r\n"
              "For help with a specific command, type: boardkit.exe help <command>\r\n");
}

TEST(FrontEndMessages, UnknownCommandHasNoInserts) {
    EXPECT_EQ(Message(0xEAC6, "boardkit.exe", "nosuch"), "Unknown command.\r\n");
}

// ---- The help list's padded names
// ----------------------------------------------------------------

TEST(ShortHelp, PadsAShortNameToTwentyColumns) {
    EXPECT_EQ(Message(0xEAC5, "help"), "help                 Display Boardkit help.\r\n");
    EXPECT_EQ(Message(0xF271, "UpdateDriver"), "UpdateDriver         UpdateDriver.\r\n");
}

TEST(ShortHelp, NameOfTwentyCharactersOrMoreGetsNoPadding) {
    EXPECT_EQ(Message(0xEAC5, "ABCDEFGHIJKLMNOPQRST"),
              "ABCDEFGHIJKLMNOPQRST Display Boardkit help.\r\n");
    // 21 and 19 characters.
    EXPECT_EQ(Message(0xF273, "IsDemoDeviceInstalled"),
              "IsDemoDeviceInstalled Is DemoDevice Installed.\r\n");
    EXPECT_EQ(Message(0xF275, "InstallIsaDevicePnp"),
              "InstallIsaDevicePnp  Install Isa device.\r\n");
}

TEST(ShortHelp, NeverCutsALongName) {
    EXPECT_EQ(Message(0xF25F, "EliminateInstalldevIconinSystemTrayTimer"),
              "EliminateInstalldevIconinSystemTrayTimer Eliminate Install devIcon in SystemTray "
              "Timer.\r\n");
    EXPECT_EQ(
        Message(0xF249, "RemoveConfigurationByDeviceNum"),
        "RemoveConfigurationByDeviceNum Remove the device configuration by device number.\r\n");
}

// Every listed row of the command table (name, short id, long id), in table order.
struct HelpRow {
    const char* name;
    DWORD shortId;
    DWORD longId;
};
const HelpRow kHelpRows[] = {
    {"InstallDemoDevice", 0xF243, 0xF242},
    {"UninstallDriver", 0xF257, 0xF256},
    {"IsDeviceExistInstalled", 0xF259, 0xF258},
    {"RemoveDevice", 0xF25B, 0xF25A},
    {"RefreshDevices", 0xF25D, 0xF25C},
    {"InstallIsaDevicePnp", 0xF275, 0xF274},
    {"InstallDriver", 0xF24D, 0xF24C},
    {"UpdateDriver", 0xF271, 0xF270},
    {"IsDemoDeviceInstalled", 0xF273, 0xF272},
    {"GetDeviceInstalledList", 0xF277, 0xF276},
    {"GetDevicePreinstalledList", 0xF279, 0xF278},
    {"GetDeviceExistNotInstalledList", 0xF27B, 0xF27A},
    {"IsDeviceExist", 0xF27D, 0xF27C},
    {"UpdateNewDriver", 0xF27F, 0xF27E},
    {"UpdateIsaDriver", 0xF281, 0xF280},
    {"IsDeviceUsing", 0xF283, 0xF282},
    {"RemoveConfigurationByKernelKey", 0xF245, 0xF244},
    {"RemoveConfigurationByProductID", 0xF247, 0xF246},
    {"RemoveConfigurationByDeviceNum", 0xF249, 0xF248},
    {"IsDeviceExistNotInstall", 0xF24B, 0xF24A},
    {"KillBoardkitAPTimer", 0xF253, 0xF252},
    {"UninstallNonePnpDriver", 0xF255, 0xF254},
    {"EliminateInstalldevIconinSystemTrayTimer", 0xF25F, 0xF25E},
    {"UnloadDevice", 0xF265, 0xF264},
    {"EnableOrDisableDevice", 0xF26B, 0xF26A},
};

// Each long help starts with the heading naming its command, states the short help's
// description (followed by one blank) on its second line, shows the call on the third, and
// ends in a line break.
TEST(CommandHelp, EveryCommandHasAShortAndALongHelpThatAgree) {
    for (const HelpRow& row : kHelpRows) {
        SCOPED_TRACE(row.name);
        std::string name = row.name;
        std::string shortHelp = Message(row.shortId, row.name);
        std::string padded = name.size() < 20 ? name + std::string(20 - name.size(), ' ') : name;
        ASSERT_EQ(shortHelp.compare(0, padded.size() + 1, padded + " "), 0) << shortHelp;
        ASSERT_GE(shortHelp.size(), padded.size() + 3);
        std::string description = shortHelp.substr(padded.size() + 1);
        ASSERT_EQ(description.substr(description.size() - 2), "\r\n");
        description.resize(description.size() - 2);

        std::string longHelp = Message(row.longId, "boardkit.exe", row.name);
        std::string heading = "Boardkit " + name + " Command\r\n";
        ASSERT_EQ(longHelp.compare(0, heading.size(), heading), 0) << longHelp;
        std::string second =
            longHelp.substr(heading.size(), longHelp.find("\r\n", heading.size()) - heading.size());
        // One short help capitalizes a word its long help writes in lower case.
        if (name != "EnableOrDisableDevice") {
            EXPECT_EQ(second, description + " ");
        }
        EXPECT_NE(longHelp.find("\r\nboardkit.exe " + name), std::string::npos) << longHelp;
        EXPECT_EQ(longHelp.substr(longHelp.size() - 2), "\r\n");
    }
}

TEST(CommandHelp, LongHelpOfAQueryListsBothAnswers) {
    EXPECT_EQ(Message(0xF24A, "boardkit.exe", "IsDeviceExistNotInstall"),
              "Boardkit IsDeviceExistNotInstall Command\r\n"
              "Is Device Exist Not Install. \r\n"
              "boardkit.exe IsDeviceExistNotInstall <hardwareID>\r\n"
              "<hardwareID> Type: CHAR*. Specifies the hardware ID of the device.\r\n"
              "The function returns if the specified device is exist without install driver.\r\n"
              "The return value can be the follows:\r\n"
              "EXIT_RET_PARAM_TRUE  (0x10)  //Return success and with a return parameter (value "
              "is TRUE)\r\n"
              "EXIT_RET_PARAM_FALSE (0x11)  //Return success and with a return parameter (value "
              "is FALSE)\r\n");
}

TEST(CommandHelp, LongHelpEndingInAnEmptyLineKeepsBothLineBreaks) {
    EXPECT_EQ(Message(0xF274, "boardkit.exe", "InstallIsaDevicePnp"),
              "Boardkit InstallIsaDevicePnp Command\r\n"
              "Install Isa device. \r\n"
              "boardkit.exe InstallIsaDevicePnp <infFile> <hardwareID> \r\n"
              "<infFile>    Type: CHAR*. Specifies the inf file with full path.\r\n"
              "<hardwareID> Type: CHAR*. Specifies the hardware ID of the device.\r\n"
              "\r\n");
}

TEST(CommandHelp, LongHelpsKeepTheirExamplesAndBlanks) {
    EXPECT_EQ(Message(0xF270, "boardkit.exe", "UpdateDriver"),
              "Boardkit UpdateDriver Command\r\n"
              "UpdateDriver. \r\n"
              "boardkit.exe UpdateDriver <infFile><hardwareID>\r\n"
              "<infFile>    Type: CHAR*. Specify the inf file with full path.\r\n"
              "<hardwareID>  Type: CHAR*. Specifies the hardwareID of the device.\r\n");
    EXPECT_EQ(Message(0xF272, "boardkit.exe", "IsDemoDeviceInstalled"),
              "Boardkit IsDemoDeviceInstalled Command\r\n"
              "Is DemoDevice Installed. \r\n"
              "boardkit.exe IsDemoDeviceInstalled \r\n");
    EXPECT_EQ(RawMessage(0xF24C),
              "Boardkit InstallDriver Command\r\n"
              "Install driver. \r\n"
              "%1 %2 <infFile> <hardwareID>\r\n"
              "<infFile>    Type: CHAR*. Specifies the inf file with full path.\r\n"
              "<hardwareID> Type: CHAR*. Specifies the hardware ID of the device, eg "
              "PCI\\VEN_5AE3\"&\"DEV_1001.\r\n");
    EXPECT_EQ(RawMessage(0xF244),
              "Boardkit RemoveConfigurationByKernelKey Command\r\n"
              "Remove the device configuration by kernel key. \r\n"
              "%1 %2 <kernelKey> \r\n"
              "<kernelKey>    Type: CHAR*. Specifies the kernel key value(eg. TOLPX10S).\r\n");
}

// ---- Finding the message ----------------------------------------------------------------------

TEST(MessageLookup, UnknownIdFailsWithMidNotFoundAndNoBuffer) {
    const DWORD missing[] = {0x1234, 0xEA63, 0xF284, 0xFFFFFFFF};
    for (DWORD id : missing) {
        SCOPED_TRACE(id);
        char* text = reinterpret_cast<char*>(static_cast<ULONG_PTR>(kSentinel));
        SetLastError(kSentinel);
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                      nullptr, id, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
        EXPECT_EQ(text, nullptr);
    }
}

TEST(MessageLookup, OwnModuleHandleAndNullModuleAreTheSameImage) {
    char text[64];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  GetModuleHandleA(nullptr), 0xEA61, 0, text, sizeof text, nullptr);
    ASSERT_NE(length, 0u);
    EXPECT_EQ(std::string(text, length), "%1 failed.\r\n");
}

TEST(MessageLookup, TableIsUsEnglishOnly) {
    char text[64];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0xEA61,
                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr);
    EXPECT_EQ(length, 12u);
    SetLastError(kSentinel);
    length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            0xEA61, 0x0407, text, sizeof text, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

// ---- Buffers and argument forms --------------------------------------------------------------

TEST(MessageBuffers, CallerBufferMustHoldTheTextAndItsNul) {
    char text[16];
    std::memset(text, 'Z', sizeof text);
    const char* name = "abc";
    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(name)};
    // "abc failed.\r\n" is 13 characters.
    SetLastError(kSentinel);
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 0xEA61,
                       0, text, 13, reinterpret_cast<va_list*>(inserts));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(text[0], 'Z');
    length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                            0xEA61, 0, text, 14, reinterpret_cast<va_list*>(inserts));
    EXPECT_EQ(length, 13u);
    EXPECT_STREQ(text, "abc failed.\r\n");
}

TEST(MessageBuffers, ArgumentArrayIndexesInsertsByNumber) {
    const char* program = "bk";
    const char* command = "RemoveDevice";
    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(program),
                           reinterpret_cast<DWORD_PTR>(command)};
    char text[256];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 0xEA62,
                       0, text, sizeof text, reinterpret_cast<va_list*>(inserts));
    EXPECT_EQ(std::string(text, length),
              "bk: Invalid use of RemoveDevice.\r\nFor more information, type: bk help "
              "RemoveDevice\r\n");
}

TEST(MessageBuffers, InsertsWithoutArgumentsAreRefused) {
    char text[64];
    SetLastError(kSentinel);
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, 0xEA61, 0, text, sizeof text, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A message without inserts needs no arguments.
    length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, 0xEAC6, 0, text, sizeof text, nullptr);
    EXPECT_EQ(std::string(text, length), "Unknown command.\r\n");
}

// ---- The message-formatting syntax ------------------------------------------------------------

TEST(MessageSyntax, EscapesStandForTheirCharacters) {
    DWORD error = 0;
    EXPECT_EQ(FromString(0, "100%% done%.%!", &error, "x"), "100% done.!");
    EXPECT_EQ(FromString(0, "a%nb%tc", &error, "x"), "a\r\nb\tc");
    EXPECT_EQ(FromString(0, "prompt: %0ignored", &error, "x"), "prompt: ");
    EXPECT_EQ(error, kSentinel);
}

TEST(MessageSyntax, EveryLineBreakComesOutAsCrLf) {
    DWORD error = 0;
    EXPECT_EQ(FromString(0, "a\nb\r\nc", &error, "x"), "a\r\nb\r\nc");
}

TEST(MessageSyntax, MaxWidthMaskJoinsLinesButKeepsHardBreaks) {
    DWORD error = 0;
    EXPECT_EQ(FromString(FORMAT_MESSAGE_MAX_WIDTH_MASK | FORMAT_MESSAGE_IGNORE_INSERTS,
                         "one\r\ntwo%nthree", &error),
              "one two\r\nthree");
}

TEST(MessageSyntax, IgnoredInsertsAreCopiedUnchanged) {
    DWORD error = 0;
    EXPECT_EQ(FromString(FORMAT_MESSAGE_IGNORE_INSERTS, "%1!-20s! and %2 at 100%%", &error),
              "%1!-20s! and %2 at 100%%");
}

TEST(MessageSyntax, InsertFormatsFollowPrintf) {
    DWORD error = 0;
    EXPECT_EQ(FromString(0, "[%1!-6s!][%2!6s!][%3!.2s!]", &error, "ab", "cd", "efgh"),
              "[ab    ][    cd][ef]");
    EXPECT_EQ(FromString(0, "[%1!d!][%2!x!][%3!04X!][%4!u!]", &error, -7, 255, 0xab, 42u),
              "[-7][ff][00AB][42]");
    EXPECT_EQ(FromString(0, "%2-%1-%2", &error, "one", "two"), "two-one-two");
}

TEST(MessageSyntax, BrokenPatternsAreRefused) {
    DWORD error = 0;
    EXPECT_EQ(FromString(0, "50%", &error, "x"), "<0>");
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FromString(0, "[%1!-20s]", &error, "x"), "<0>");
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
