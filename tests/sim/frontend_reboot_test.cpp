// The restart that -r asks for, seen on the simulated machine: the privilege the program
// enables, the request it leaves pending, and the silence of every failure on the way.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "choke.h"
#include "frontend/entry.h"
#include "machine.h"
#include "platform/win32.h"

namespace {

int32_t handlerResult = 0;

int32_t FixedResult(const char*, const char*, uint32_t, int32_t, char**) {
    return handlerResult;
}

const CommandEntry kTable[] = {
    {"Work", FixedResult, 0, 0},
    {nullptr, nullptr, 0, 0},
};

// Runs the dispatcher with its output sent nowhere; returns the exit code and what went to
// standard error.
int RunWords(std::vector<std::string> words, std::string* err = nullptr) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    int savedOut = dup(1), savedErr = dup(2);
    FILE* sink = std::tmpfile();
    FILE* errFile = std::tmpfile();
    dup2(fileno(sink), 1);
    dup2(fileno(errFile), 2);
    int code = RunCommandLine(kTable, static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    if (err != nullptr) {
        err->clear();
        std::rewind(errFile);
        for (int c = std::fgetc(errFile); c != EOF; c = std::fgetc(errFile)) {
            err->push_back(static_cast<char>(c));
        }
    }
    std::fclose(sink);
    std::fclose(errFile);
    return code;
}

size_t JournalIndex(const std::string& text) {
    const auto& lines = sim::JournalLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(text) != std::string::npos) {
            return i;
        }
    }
    return lines.size();
}

class Reboot : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        handlerResult = EXIT_RET_NEED_REBOOT;
    }
    void TearDown() override { sim::ResetToEmpty(); }
    void FailApi(const char* api, DWORD error) {
        sim::Fault fault;
        fault.api = api;
        fault.error = error;
        sim::Faults().push_back(fault);
    }
};

TEST_F(Reboot, NeedRebootWithRebootOptionRequestsAPlannedHardwareInstallRestart) {
    std::string err;
    EXPECT_EQ(RunWords({"bk.exe", "-r", "Work"}, &err), 1);
    EXPECT_EQ(err, "");
    const sim::PendingShutdown& request = sim::CurrentShutdownRequest();
    ASSERT_TRUE(request.pending);
    EXPECT_TRUE(request.reboot);
    EXPECT_FALSE(request.forceAppsClosed);
    EXPECT_EQ(request.timeout, 0u);
    EXPECT_EQ(request.reason, 0x80010002u);
    EXPECT_EQ(request.message, "");
}

TEST_F(Reboot, ShutdownPrivilegeIsEnabledBeforeTheRequest) {
    RunWords({"bk.exe", "/R", "Work"});
    EXPECT_TRUE(sim::ProcessPrivilegeEnabled("SeShutdownPrivilege"));
    size_t enable = JournalIndex("AdjustTokenPrivileges(SeShutdownPrivilege:2)");
    size_t request = JournalIndex("InitiateSystemShutdownExA(");
    ASSERT_LT(enable, sim::JournalLines().size());
    ASSERT_LT(request, sim::JournalLines().size());
    EXPECT_LT(enable, request);
    // The token is closed again.
    EXPECT_EQ(sim::CallCount("OpenProcessToken"), sim::CallCount("CloseHandle"));
}

TEST_F(Reboot, NeedRebootWithoutRebootOptionOnlyExitsWithOne) {
    EXPECT_EQ(RunWords({"bk.exe", "-f", "Work"}), 1);
    EXPECT_FALSE(sim::CurrentShutdownRequest().pending);
    EXPECT_EQ(sim::CallCount("InitiateSystemShutdownExA"), 0u);
    EXPECT_EQ(sim::CallCount("OpenProcessToken"), 0u);
}

TEST_F(Reboot, OtherResultsNeverRestartEvenWithRebootOption) {
    for (int32_t result : {0, 2, 3, 16, 17, 42}) {
        handlerResult = result;
        EXPECT_EQ(RunWords({"bk.exe", "-r", "Work"}), result);
    }
    EXPECT_EQ(sim::CallCount("InitiateSystemShutdownExA"), 0u);
}

TEST_F(Reboot, TokenThatCannotBeOpenedStillLeadsToTheRequest) {
    FailApi("OpenProcessToken", ERROR_ACCESS_DENIED);
    std::string err;
    EXPECT_EQ(RunWords({"bk.exe", "-r", "Work"}, &err), 1);
    EXPECT_EQ(err, "");
    EXPECT_EQ(sim::CallCount("InitiateSystemShutdownExA"), 1u);
    // Without the enabled privilege the system refuses, and nobody reports it.
    EXPECT_FALSE(sim::CurrentShutdownRequest().pending);
}

TEST_F(Reboot, FailedPrivilegeLookupClosesTheTokenAndCarriesOn) {
    FailApi("LookupPrivilegeValueA", ERROR_NO_SUCH_PRIVILEGE);
    EXPECT_EQ(RunWords({"bk.exe", "-r", "Work"}), 1);
    EXPECT_EQ(sim::CallCount("AdjustTokenPrivileges"), 0u);
    EXPECT_EQ(sim::CallCount("CloseHandle"), 1u);
    EXPECT_EQ(sim::CallCount("InitiateSystemShutdownExA"), 1u);
}

TEST_F(Reboot, RefusedRequestIsSilent) {
    FailApi("InitiateSystemShutdownExA", ERROR_ACCESS_DENIED);
    std::string err;
    EXPECT_EQ(RunWords({"bk.exe", "-r", "Work"}, &err), 1);
    EXPECT_EQ(err, "");
    EXPECT_FALSE(sim::CurrentShutdownRequest().pending);
}

TEST_F(Reboot, StandardUserHoldsTheShutdownPrivilegeToo) {
    sim::Settings().elevated = false;
    EXPECT_EQ(RunWords({"bk.exe", "-r", "Work"}), 1);
    EXPECT_TRUE(sim::CurrentShutdownRequest().pending);
}

TEST_F(Reboot, JournalHoldsOnePrivilegeChangeThenOneRequestWithItsArguments) {
    RunWords({"bk.exe", "-r", "Work"});
    unsigned adjust = 0, requests = 0;
    for (const std::string& line : sim::JournalLines()) {
        adjust += line.find("AdjustTokenPrivileges(") != std::string::npos;
        requests += line.find("InitiateSystemShutdownExA(") != std::string::npos;
    }
    EXPECT_EQ(adjust, 1u);
    EXPECT_EQ(requests, 1u);
    // 0x80010002: planned, hardware, installation; a restart at once, nothing forced closed.
    const size_t request = JournalIndex("InitiateSystemShutdownExA(");
    ASSERT_LT(request, sim::JournalLines().size());
    EXPECT_NE(sim::JournalLines()[request].find("reboot=1,force=0,timeout=0,reason=2147549186"),
              std::string::npos)
        << sim::JournalLines()[request];
}

}  // namespace
