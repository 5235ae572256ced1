// The process entry over a table of probe commands: echo lines, options, lookup, the
// handler's inputs and the mapping of command results to exit codes and messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/entry.h"
#include "run_capture.h"

namespace {

struct HandlerCall {
    int count = 0;
    std::string program;
    bool hasMachine = false;
    std::string machine;
    uint32_t flags = 0xDEADBEEF;
    int32_t argc = -1;
    std::vector<std::string> args;
    bool nullAfterLast = false;
};

HandlerCall seen;
HandlerCall seenSecond;
int32_t probeResult = 0;

void Record(HandlerCall& call, const char* program, const char* machine, uint32_t flags,
            int32_t argc, char** argv) {
    ++call.count;
    call.program = program;
    call.hasMachine = machine != nullptr;
    call.machine = machine != nullptr ? machine : "";
    call.flags = flags;
    call.argc = argc;
    call.args.assign(argv, argv + argc);
    call.nullAfterLast = argv[argc] == nullptr;
}

int32_t Probe(const char* program, const char* machine, uint32_t flags, int32_t argc, char** argv) {
    Record(seen, program, machine, flags, argc, argv);
    return probeResult;
}

int32_t SecondProbe(const char* program, const char* machine, uint32_t flags, int32_t argc,
                    char** argv) {
    Record(seenSecond, program, machine, flags, argc, argv);
    return EXIT_RET_SUCCESS;
}

const CommandEntry kProbeTable[] = {
    {"Probe", Probe, 0, 0},
    {"PROBE", SecondProbe, 0, 0},  // never reached: the first match wins
    {"?", SecondProbe, 0, 0},
    {nullptr, nullptr, 0, 0},
};

const char* const kProgram = "bk.exe";

std::string Usage(const std::string& program) {
    return program + " Usage: " + program +
           " [-r] [-m:\\\\<machine>] <command> [<arg>...]\r\nFor more information, type: " +
           program + " help\n";
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        seen = HandlerCall{};
        seenSecond = HandlerCall{};
        probeResult = EXIT_RET_SUCCESS;
    }
    CapturedRun Run(std::vector<std::string> words) {
        words.insert(words.begin(), kProgram);
        return RunWords(kProbeTable, words);
    }
};

TEST_F(Dispatch, EchoesEveryArgumentThenTheCommandWord) {
    CapturedRun run = Run({"-f", "Probe", "one", "two words"});
    EXPECT_EQ(run.out,
              "argv[0]=bk.exe\nargv[1]=-f\nargv[2]=Probe\nargv[3]=one\nargv[4]=two words\n"
              "cmd = Probe\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(Dispatch, ProgramNameAloneGivesUsageAndBadUsage) {
    CapturedRun run = Run({});
    EXPECT_EQ(run.out, "argv[0]=bk.exe\n");
    EXPECT_EQ(run.err, Usage("bk.exe"));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(seen.count, 0);
}

TEST_F(Dispatch, OptionsOnlyGiveUsageWithoutCommandEcho) {
    CapturedRun run = Run({"-r", "-f", "-m:\\\\host"});
    EXPECT_EQ(run.out, "argv[0]=bk.exe\nargv[1]=-r\nargv[2]=-f\nargv[3]=-m:\\\\host\n");
    EXPECT_EQ(run.err, Usage("bk.exe"));
    EXPECT_EQ(run.exitCode, 3);
}

TEST_F(Dispatch, UnknownCommandIsEchoedBeforeTheUsage) {
    CapturedRun run = Run({"NoSuchCommand", "x"});
    EXPECT_EQ(run.out, "argv[0]=bk.exe\nargv[1]=NoSuchCommand\nargv[2]=x\ncmd = NoSuchCommand\n");
    EXPECT_EQ(run.err, Usage("bk.exe"));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(seen.count, 0);
}

TEST_F(Dispatch, HandlerGetsTheWordsAfterTheCommandAndANullEnd) {
    Run({"-f", "Probe", "a", "b", "c"});
    ASSERT_EQ(seen.count, 1);
    EXPECT_EQ(seen.program, "bk.exe");
    EXPECT_EQ(seen.argc, 3);
    EXPECT_EQ(seen.args, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(seen.nullAfterLast);
}

TEST_F(Dispatch, CommandWithoutArgumentsGetsCountZero) {
    Run({"Probe"});
    ASSERT_EQ(seen.count, 1);
    EXPECT_EQ(seen.argc, 0);
    EXPECT_TRUE(seen.nullAfterLast);
    EXPECT_FALSE(seen.hasMachine);
    EXPECT_EQ(seen.flags, 0u);
}

TEST_F(Dispatch, LookupIgnoresCaseAndTakesTheFirstMatchingRow) {
    CapturedRun run = Run({"pRoBe"});
    EXPECT_NE(run.out.find("cmd = pRoBe\n"), std::string::npos);
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seenSecond.count, 0);
}

// The lookup compares the characters themselves: a soft hyphen (0xAD) or any other character
// that a locale's word sort would pass over makes another word.
TEST_F(Dispatch, LookupIgnoresNoCharacterOfTheWord) {
    for (const char* word : {"Pro\xAD"
                             "be",
                             "\xAD"
                             "Probe",
                             "Probe\xAD", "Pro-be"}) {
        CapturedRun run = Run({word});
        EXPECT_EQ(run.err, Usage("bk.exe")) << word;
        EXPECT_EQ(run.exitCode, 3) << word;
    }
    EXPECT_EQ(seen.count, 0);
}

TEST_F(Dispatch, OneLeadingDashOrSlashIsDroppedFromTheCommandWord) {
    CapturedRun slash = Run({"/PROBE"});
    EXPECT_NE(slash.out.find("cmd = PROBE\n"), std::string::npos);
    CapturedRun dash = Run({"-?"});
    EXPECT_NE(dash.out.find("cmd = ?\n"), std::string::npos);
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seenSecond.count, 1);
    // Only one character goes: --Probe looks up "-Probe", which is no command.
    CapturedRun twice = Run({"--Probe"});
    EXPECT_NE(twice.out.find("cmd = -Probe\n"), std::string::npos);
    EXPECT_EQ(twice.exitCode, 3);
    EXPECT_EQ(seen.count, 1);
}

}  // namespace

// Options: -m:<name>, -r and -f with either lead character and either case.
namespace {

TEST_F(Dispatch, MachineOptionPassesTheTextAfterTheColon) {
    Run({"-m:\\\\buildhost", "Probe"});
    ASSERT_EQ(seen.count, 1);
    EXPECT_TRUE(seen.hasMachine);
    EXPECT_EQ(seen.machine, "\\\\buildhost");
}

TEST_F(Dispatch, LaterMachineOptionReplacesTheEarlierOne) {
    Run({"-m:first", "/M:second", "Probe"});
    EXPECT_EQ(seen.machine, "second");
}

TEST_F(Dispatch, ForceOptionSetsBitZeroInEitherSpelling) {
    for (const char* spelling : {"-f", "/f", "-F", "/F"}) {
        seen = HandlerCall{};
        Run({spelling, "Probe"});
        EXPECT_EQ(seen.flags, 1u) << spelling;
    }
}

TEST_F(Dispatch, RepeatedAndMixedOptionsAreAllTaken) {
    CapturedRun run = Run({"/R", "-f", "-r", "-M:x", "-F", "Probe", "-f"});
    ASSERT_EQ(seen.count, 1);
    EXPECT_EQ(seen.flags, 1u);
    EXPECT_EQ(seen.machine, "x");
    // A word after the command word is an argument, even when it looks like an option.
    EXPECT_EQ(seen.args, (std::vector<std::string>{"-f"}));
    EXPECT_NE(run.out.find("cmd = Probe\n"), std::string::npos);
}

TEST_F(Dispatch, BareMachineOptionIsTheCommandWord) {
    CapturedRun run = Run({"-m:", "help"});
    EXPECT_EQ(run.out, "argv[0]=bk.exe\nargv[1]=-m:\nargv[2]=help\ncmd = m:\n");
    EXPECT_EQ(run.err, Usage("bk.exe"));
    EXPECT_EQ(run.exitCode, 3);
}

TEST_F(Dispatch, WordsThatOnlyResembleOptionsEndTheOptionList) {
    for (const char* word : {"-x", "-rx", "-fr", "-m", "-mx:host", "/", "-"}) {
        CapturedRun run = Run({"-f", word, "Probe"});
        std::string echoed = std::string(word).substr(1);
        EXPECT_NE(run.out.find("cmd = " + echoed + "\n"), std::string::npos) << word;
        EXPECT_EQ(run.exitCode, 3) << word;
    }
    EXPECT_EQ(seen.count, 0);
}

TEST_F(Dispatch, OptionsAfterAnOptionLikeCommandWordAreArguments) {
    // "-x" ends the options; the probe is never looked up behind it.
    Run({"-x", "-m:host", "Probe"});
    EXPECT_EQ(seen.count, 0);
}

}  // namespace

// Command results: exit codes and the messages the dispatcher prints for them.
namespace {

TEST_F(Dispatch, SilentResultsBecomeTheirOwnExitCodes) {
    for (int32_t result : {0, 1, 16, 17}) {
        probeResult = result;
        CapturedRun run = Run({"Probe"});
        EXPECT_EQ(run.exitCode, result);
        EXPECT_EQ(run.err, "") << result;
    }
}

TEST_F(Dispatch, FailureResultNamesTheProgram) {
    probeResult = EXIT_RET_FAILURE;
    CapturedRun run = Run({"probe"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "bk.exe failed.\n");
}

TEST_F(Dispatch, BadUsageResultNamesTheCommandAsTheTableWritesIt) {
    probeResult = EXIT_RET_BAD_USAGE;
    CapturedRun run = Run({"pROBE", "arg"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err,
              "bk.exe: Invalid use of Probe.\r\nFor more information, type: bk.exe help Probe\n");
}

TEST_F(Dispatch, UnknownResultsAreFailuresAndKeepTheirValue) {
    for (int32_t result : {4, 5, 15, 18, 0x7FFFFFFF, -1, -5}) {
        probeResult = result;
        CapturedRun run = Run({"Probe"});
        EXPECT_EQ(run.exitCode, result);
        EXPECT_EQ(run.err, "bk.exe failed.\n") << result;
    }
}

TEST_F(Dispatch, ResultMessageFollowsEverythingOnStandardOutput) {
    probeResult = EXIT_RET_FAILURE;
    CapturedRun run = Run({"Probe"});
    EXPECT_EQ(run.out, "argv[0]=bk.exe\nargv[1]=Probe\ncmd = Probe\n");
}

}  // namespace

// The program name: the last backslash component of the first argument.
namespace {

TEST(ProgramName, FullPathGivesTheLastComponentWithItsExtension) {
    EXPECT_STREQ(ProgramBaseName("C:\\Program Files\\Maker\\boardkit.exe"), "boardkit.exe");
    EXPECT_STREQ(ProgramBaseName("\\\\server\\share\\bk"), "bk");
}

TEST(ProgramName, BareNameIsUsedUnchanged) {
    EXPECT_STREQ(ProgramBaseName("boardkit.exe"), "boardkit.exe");
    EXPECT_STREQ(ProgramBaseName(""), "");
}

TEST(ProgramName, ForwardSlashIsNoSeparator) {
    EXPECT_STREQ(ProgramBaseName("tools/bin/boardkit"), "tools/bin/boardkit");
    EXPECT_STREQ(ProgramBaseName("C:\\tools/bin\\x/boardkit"), "x/boardkit");
}

TEST(ProgramName, TrailingBackslashLeavesAnEmptyName) {
    EXPECT_STREQ(ProgramBaseName("C:\\tools\\"), "");
}

TEST_F(Dispatch, MessagesUseTheBaseNameOfAFullPath) {
    probeResult = EXIT_RET_FAILURE;
    CapturedRun run = RunWords(kProbeTable, {"D:\\setup\\bin\\bk.exe", "Probe"});
    EXPECT_EQ(seen.program, "bk.exe");
    EXPECT_EQ(run.err, "bk.exe failed.\n");
    EXPECT_EQ(run.out, "argv[0]=D:\\setup\\bin\\bk.exe\nargv[1]=Probe\ncmd = Probe\n");
}

}  // namespace
