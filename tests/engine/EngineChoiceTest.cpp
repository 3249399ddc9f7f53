#include "engine/EngineChoice.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/StereoProcessor.h"

namespace tarvo {
namespace {

#if !defined(_WIN32)
// The choice is made once per process, so each case runs in a process of
// its own (a death test in the "threadsafe" style re-runs the test binary).
TEST(EngineChoiceDeathTest, TheEnvironmentVariableForcesTheSse2Build) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const KernelCode usable = avx2KernelUsable() ? KernelCode::avx2 : KernelCode::sse2;
    struct Case {
        const char* value;  // nullptr: not set
        KernelCode runs;
    };
    const Case cases[] = {{nullptr, usable}, {"sse2", KernelCode::sse2}, {"SSE2", KernelCode::sse2}, {"sse2 ", usable},
                          {"", usable}, {"avx2", usable}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(not set)");
        EXPECT_EXIT(
            {
                if (c.value) setenv("TARVO_ENGINE", c.value, 1);
                else unsetenv("TARVO_ENGINE");
                const bool right = defaultKernelCode() == c.runs &&
                                   StereoProcessor().kernelCode() == c.runs &&
                                   StereoProcessor(KernelCode::sse2).kernelCode() ==
                                       KernelCode::sse2 &&
                                   StereoProcessor(KernelCode::avx2).kernelCode() == usable;
                std::exit(right ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
    }
}
#endif

}  // namespace
}  // namespace tarvo
