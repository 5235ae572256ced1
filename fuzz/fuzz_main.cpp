// The libFuzzer entry of one target, chosen when the program is built (BK_FUZZ_TARGET).
#include "fuzz/targets/fuzz_targets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::BK_FUZZ_TARGET(data, size);
}
