#include <gtest/gtest.h>

#include "platform/ui/MessageBox.h"
#include "platform/ui/RecordingMessageBoxSink.h"

namespace {

TEST(MessageBox, SinkRecordsRequestsAndAnswersFromItsScript) {
    int window;
    {
        plat::RecordingMessageBoxSink outer(plat::kIdNo);
        {
            plat::RecordingMessageBoxSink inner;
            inner.QueueAnswer(plat::kIdRetry);
            EXPECT_EQ(plat::MessageBox(&window, "first", "cap", plat::kMbRetryCancel),
                      plat::kIdRetry);
            EXPECT_EQ(plat::MessageBox(nullptr, "second", "cap", plat::kMbOk), plat::kIdOk);
            ASSERT_EQ(inner.Requests().size(), 2u);
            EXPECT_EQ(inner.Requests()[0].owner, &window);
            EXPECT_EQ(inner.Requests()[0].text, "first");
            EXPECT_EQ(inner.Requests()[0].flags, plat::kMbRetryCancel);
        }
        // The inner sink gave the outer one back.
        EXPECT_EQ(plat::MessageBox(nullptr, "third", "cap", plat::kMbYesNo), plat::kIdNo);
        ASSERT_EQ(outer.Requests().size(), 1u);
        EXPECT_EQ(outer.Requests()[0].text, "third");
    }
    EXPECT_EQ(plat::SetMessageBoxSinkForTests(nullptr), nullptr);
}

TEST(MessageBox, UnknownButtonSetsShowNothing) {
    EXPECT_EQ(plat::MessageBox(nullptr, "text", "cap", 0x7), 0);
    EXPECT_EQ(plat::MessageBox(nullptr, "text", "cap", 0xF | plat::kMbIconStop), 0);
}

} // namespace
