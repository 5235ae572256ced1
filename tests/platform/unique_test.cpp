// The owners of platform/unique.h: what each takes for "nothing to close".
#include <gtest/gtest.h>

#include "machine.h"
#include "platform/unique.h"

namespace {

TEST(Owners, ADeviceInformationSetOwnerTakesNullAndInvalidForEmpty) {
    sim::ResetToEmpty();
    {
        platform::UniqueDevInfo never(nullptr);
        platform::UniqueDevInfo failed(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(static_cast<bool>(never));
        EXPECT_FALSE(static_cast<bool>(failed));
    }
    EXPECT_EQ(sim::CallCount("SetupDiDestroyDeviceInfoList"), 0u);
}

}  // namespace
