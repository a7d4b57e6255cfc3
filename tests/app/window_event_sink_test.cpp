// Progress from other threads reaches the window without flooding its queue, and a post the
// system refuses loses nothing.

#include "app/window_event_sink.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/window_thread.h"

namespace kivrel {
namespace {

struct CountingThread : WindowThread {
    std::vector<unsigned> posted;
    int refuseNext = 0;
    std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override { return 0; }
    bool Post(unsigned message, std::uintptr_t, std::intptr_t) override {
        if (refuseNext > 0) {
            --refuseNext;
            return false;
        }
        posted.push_back(message);
        return true;
    }
};

TEST(WindowEventSink, WrittenBytesWaitBehindOneMessageAndSurviveRefusedPosts) {
    CountingThread thread;
    WindowEventSink sink(thread);
    thread.refuseNext = 3;
    for (int report = 0; report < 100; ++report) sink.TransferWritten(64);
    // Three refusals, then one message stands for every report.
    EXPECT_EQ(thread.posted, std::vector<unsigned>{kWmTransferWritten});
    EXPECT_EQ(sink.TakeWritten(), 6400u);
    sink.TransferWritten(64);
    EXPECT_EQ(thread.posted.size(), 2u);
    EXPECT_EQ(sink.TakeWritten(), 64u);
    EXPECT_EQ(sink.TakeWritten(), 0u);
}

TEST(WindowEventSink, DownloadEventsKeepTheirOrderAndTheirTransfer) {
    CountingThread thread;
    WindowEventSink sink(thread);
    WindowEventSink::Transfer version(sink);
    WindowEventSink::Transfer archive(sink);
    version.SetTransfer(7);
    archive.SetTransfer(8);
    thread.refuseNext = 1;  // the first ring is lost; its event is not
    version.DownloadSize(100, 0);
    version.DownloadFinished(6, 0);
    archive.DownloadSpeed(5, 10);
    const std::vector<DownloadEvent> events = sink.TakeDownloadEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].message, kWmDownloadSize);
    EXPECT_EQ(events[0].transfer, 7u);
    EXPECT_EQ(events[1].message, kWmDownloadFinished);
    EXPECT_EQ(events[1].wParam, 6u);
    EXPECT_EQ(events[2].transfer, 8u);
    EXPECT_TRUE(sink.TakeDownloadEvents().empty());
}

}  // namespace
}  // namespace kivrel
