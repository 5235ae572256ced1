// Runs the dispatcher in this process with its standard output and error caught in files, so a
// test sees exactly the bytes the program hands to the C run-time.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/command_table.h"

struct CapturedRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Catches what is written to stdout and stderr between construction and Finish().
class StreamCapture {
  public:
    StreamCapture();
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    // Restores the streams and returns what was written to stdout and stderr.
    void Finish(std::string& out, std::string& err);

  private:
    std::string outPath_, errPath_;
    FILE* outFile_ = nullptr;
    FILE* errFile_ = nullptr;
    int savedOut_ = -1, savedErr_ = -1;
    bool finished_ = false;
};

// Runs `words` (the program name first) through the dispatcher over `table`.
CapturedRun RunWords(const CommandEntry* table, const std::vector<std::string>& words);
// Runs `words` through the program's own Command Table.
CapturedRun RunBoardkit(const std::vector<std::string>& words);
