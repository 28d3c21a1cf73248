#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "scan/scan.h"

namespace {

using Queue = scan::OrderedQueue<int, int>;

// Workers that finish in a random order: the writer still sees every job in
// the order it was pushed, and the window bounds how far ahead they get.
TEST(ScanOrder, ResultsComeBackInInputOrder) {
    for (size_t window : {1u, 3u, 64u}) {
        Queue queue(window);
        constexpr int kJobs = 2000;
        std::atomic<int> ahead{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < 4; ++w) {
            workers.emplace_back([&, w] {
                std::mt19937 random(w);
                uint64_t number;
                int job;
                while (queue.Take(&number, &job)) {
                    if (random() % 8 == 0)
                        std::this_thread::sleep_for(std::chrono::microseconds(50));
                    queue.Finish(number, job * 2);
                }
            });
        }
        std::thread reader([&] {
            for (int i = 0; i < kJobs; ++i) ASSERT_TRUE(queue.Push(i));
            queue.Close();
        });
        int expected = 0;
        while (std::optional<int> done = queue.Next()) {
            ASSERT_EQ(*done, 2 * expected) << "window " << window;
            ++expected;
            EXPECT_LE(queue.Pushed() - static_cast<uint64_t>(expected), window);
        }
        EXPECT_EQ(expected, kJobs);
        reader.join();
        for (std::thread &worker : workers) worker.join();
        (void)ahead;
    }
}

TEST(ScanOrder, AnEmptyRunEndsAtOnce) {
    Queue queue(4);
    queue.Close();
    EXPECT_FALSE(queue.Next().has_value());
    uint64_t number;
    int job;
    EXPECT_FALSE(queue.Take(&number, &job));
    EXPECT_TRUE(queue.Closed());
}

// A cancelled run writes what was taken before the cancel, in order, and
// nothing after a gap; a reader waiting for room is released.
TEST(ScanOrder, CancelKeepsWhatWasTakenAndReleasesTheReader) {
    Queue queue(2);
    ASSERT_TRUE(queue.Push(10));
    ASSERT_TRUE(queue.Push(11));
    uint64_t number;
    int job;
    ASSERT_TRUE(queue.Take(&number, &job));
    EXPECT_EQ(number, 0u);
    std::thread reader([&] { EXPECT_FALSE(queue.Push(12)); });  // waits: the window is full
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue.Cancel();
    reader.join();
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.Finish(0, 100);
    });
    std::optional<int> first = queue.Next();  // waits for the job in hand
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, 100);
    EXPECT_FALSE(queue.Next().has_value());  // job 1 was dropped
    EXPECT_FALSE(queue.Take(&number, &job));
    EXPECT_FALSE(queue.Closed());
    late.join();
}

TEST(ScanOrder, TheWriterFlushesBeforeItWaits) {
    Queue queue(4);
    std::atomic<int> flushes{0};
    ASSERT_TRUE(queue.Push(1));
    uint64_t number;
    int job;
    ASSERT_TRUE(queue.Take(&number, &job));
    queue.Finish(number, 7);
    EXPECT_EQ(*queue.Next([&] { ++flushes; }), 7);
    EXPECT_EQ(flushes, 0);  // it was ready
    // Closed once the writer has flushed (or after ten seconds, when a writer
    // that waits without flushing then fails the count below).
    std::thread closer([&] {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (flushes.load() == 0 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        queue.Close();
    });
    EXPECT_FALSE(queue.Next([&] { ++flushes; }).has_value());
    EXPECT_EQ(flushes, 1);
    closer.join();
}

// While jobs are queued the writer is woken for runs of results, not for each
// one (each wake-up is a flush and two system calls); once the queue is
// empty each result reaches it at once.
TEST(ScanOrder, TheWriterWakesForRunsWhileJobsAreQueued) {
    Queue queue(64);  // runs of 16
    constexpr int kJobs = 48;
    for (int i = 0; i < kJobs; ++i) ASSERT_TRUE(queue.Push(i));
    int flushes = 0;
    std::atomic<int> written{0};
    std::thread writer([&] {
        while (std::optional<int> done = queue.Next([&] { ++flushes; })) {
            EXPECT_EQ(*done, written.load());
            ++written;
        }
    });
    uint64_t number;
    int job;
    ASSERT_TRUE(queue.Take(&number, &job));
    for (int i = 1; i < kJobs; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(queue.FinishAndTake(number, job, &number, &job));
    }
    queue.Finish(number, job);
    // Nothing queued now: a new job's result is written without a run.
    ASSERT_TRUE(queue.Push(kJobs));
    ASSERT_TRUE(queue.Take(&number, &job));
    queue.Finish(number, job);
    for (int i = 0; i < 5000 && written.load() <= kJobs; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(written.load(), kJobs + 1);
    queue.Close();
    writer.join();
    EXPECT_LE(flushes, 10);  // one per result without runs
}

}  // namespace
