// The handler frame's check of the command line: argument count and machine option.
#include <gtest/gtest.h>

#include "frontend/handler_frame.h"

namespace {

TEST(HandlerFrame, TooFewArgumentsAreRefused) {
    EXPECT_FALSE(CommandLineFits(nullptr, 1, 2));
    EXPECT_FALSE(CommandLineFits(nullptr, 0, 1));
    EXPECT_TRUE(CommandLineFits(nullptr, 2, 2));
    EXPECT_TRUE(CommandLineFits(nullptr, 3, 2));
}

TEST(HandlerFrame, CommandWithoutArgumentsRefusesAny) {
    EXPECT_TRUE(CommandLineFits(nullptr, 0, 0));
    EXPECT_FALSE(CommandLineFits(nullptr, 1, 0));
}

TEST(HandlerFrame, AnyMachineNameIsRefused) {
    EXPECT_FALSE(CommandLineFits("\\\\host", 2, 2));
    EXPECT_FALSE(CommandLineFits("", 0, 0));
    EXPECT_FALSE(CommandLineFits(".", 1, 1));
}

}  // namespace
