#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sip/DiagnosticRateLimit.h"

using sipua::DiagnosticRateLimit;

TEST(DiagnosticRateLimitTest, LetsThroughAFixedNumberPerWindowAndCountsTheRest) {
    struct Step {
        uint32_t now;
        bool pass;
        unsigned droppedBefore;
    };
    struct Case {
        const char* name;
        uint32_t start;
        std::vector<Step> steps;
    };
    // Two lines per 1000 ms window.
    const Case cases[] = {
        {"within the limit", 0, {{0, true, 0}, {999, true, 0}}},
        {"one over, then the next window notes it",
         0,
         {{0, true, 0}, {1, true, 0}, {2, false, 0}, {999, false, 0}, {1000, true, 2}}},
        {"window edge: 999 ms is the same window, 1000 ms a new one",
         100,
         {{100, true, 0}, {101, true, 0}, {1099, false, 0}, {1100, true, 1}, {1101, true, 0}}},
        {"the clock wraps inside a window",
         0xFFFFFF00u,
         {{0xFFFFFF00u, true, 0}, {0xFFFFFF01u, true, 0}, {50, false, 0}, {0x2E8, true, 1}}},
        {"the clock steps back: a new window",
         5000,
         {{5000, true, 0}, {5001, true, 0}, {5002, false, 0}, {4000, true, 1}}},
    };
    for (const Case& c : cases) {
        DiagnosticRateLimit limit(2, 1000);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            DiagnosticRateLimit::Verdict v = limit.offer(step.now);
            EXPECT_EQ(step.pass, v.pass) << c.name << " step " << i;
            EXPECT_EQ(step.droppedBefore, v.droppedBefore) << c.name << " step " << i;
        }
    }
}
