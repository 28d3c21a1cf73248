#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "scan/scan.h"

namespace {

using Queue = scan::OrderedQueue<int, int>;

void no_flush() {}

// Workers that take batches of any size and finish them in a random order:
// what they write, each in its turn, is every job in the order it was
// pushed; never two write at once, and the window bounds how far ahead of
// the writing the reader gets.
TEST(ScanOrder, ResultsAreWrittenInInputOrderOneWriterAtATime) {
    for (size_t window : {1u, 3u, 64u}) {
        constexpr int kWorkers = 4;
        Queue queue(window, kWorkers);
        constexpr int kJobs = 3000;
        std::vector<int> out;  // touched by the writing worker only
        std::atomic<bool> writing{false};
        std::atomic<bool> overlapped{false};
        std::atomic<bool> tooFarAhead{false};
        auto write = [&](const std::vector<int> &run) {
            if (writing.exchange(true)) overlapped = true;
            for (int done : run) out.push_back(done);
            if (queue.Pushed() - out.size() > window) tooFarAhead = true;
            writing = false;
        };
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w) {
            workers.emplace_back([&, w] {
                std::mt19937 random(w);
                std::vector<Queue::Numbered> jobs;
                std::vector<Queue::Result> results;
                std::vector<int> run;
                while (queue.Take(1 + random() % 5, &jobs)) {
                    for (const Queue::Numbered &job : jobs) {
                        if (random() % 8 == 0)
                            std::this_thread::sleep_for(std::chrono::microseconds(50));
                        results.emplace_back(job.first, job.second * 2);
                    }
                    bool turn = queue.Finish(&results, &run);
                    while (turn) {
                        write(run);
                        turn = queue.Wrote(&run, no_flush);
                    }
                }
            });
        }
        std::thread reader([&] {
            for (int i = 0; i < kJobs; ++i) ASSERT_TRUE(queue.Push(i));
            queue.Close();
        });
        reader.join();
        for (std::thread &worker : workers) worker.join();
        std::vector<int> rest;
        queue.Drain(&rest);
        EXPECT_TRUE(rest.empty()) << "window " << window;
        ASSERT_EQ(out.size(), static_cast<size_t>(kJobs)) << "window " << window;
        for (int i = 0; i < kJobs; ++i) ASSERT_EQ(out[i], 2 * i) << "window " << window;
        EXPECT_FALSE(overlapped) << "window " << window;
        EXPECT_FALSE(tooFarAhead) << "window " << window;
    }
}

TEST(ScanOrder, AnEmptyRunEndsAtOnce) {
    Queue queue(4);
    queue.Close();
    std::vector<Queue::Numbered> jobs;
    EXPECT_FALSE(queue.Take(8, &jobs));
    std::vector<int> rest{1};
    queue.Drain(&rest);
    EXPECT_TRUE(rest.empty());
    EXPECT_TRUE(queue.Closed());
}

// A worker takes no more than its share of what is queued, so that the
// others are not left idle while it works through a batch.
TEST(ScanOrder, AWorkerTakesItsShare) {
    Queue queue(64, 2);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(queue.Push(i));
    std::vector<Queue::Numbered> jobs;
    ASSERT_TRUE(queue.Take(16, &jobs));
    EXPECT_EQ(jobs.size(), 5u);
    EXPECT_EQ(jobs.front().first, 0u);
    ASSERT_TRUE(queue.Take(3, &jobs));
    EXPECT_EQ(jobs.size(), 2u);  // half of the five left, at least one
    EXPECT_EQ(jobs.front().first, 5u);
    ASSERT_TRUE(queue.Take(16, &jobs));
    ASSERT_TRUE(queue.Take(16, &jobs));
    ASSERT_TRUE(queue.Take(16, &jobs));
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs.front().first, 9u);
}

// A cancelled run writes what was finished before the first gap, and
// nothing after it; a reader waiting for room is released, and the jobs not
// taken are dropped.
TEST(ScanOrder, CancelKeepsWhatWasFinishedAndReleasesTheReader) {
    Queue queue(3);
    for (int i = 10; i < 13; ++i) ASSERT_TRUE(queue.Push(i));
    std::vector<Queue::Numbered> jobs;
    ASSERT_TRUE(queue.Take(2, &jobs));
    ASSERT_EQ(jobs.size(), 2u);
    std::thread reader([&] { EXPECT_FALSE(queue.Push(13)); });  // waits: the window is full
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(queue.Cancelled());
    queue.Cancel();
    reader.join();
    EXPECT_TRUE(queue.Cancelled());
    // The worker finishes the job in hand and drops the rest of its batch.
    std::vector<Queue::Result> results{{jobs[0].first, 100}};
    std::vector<int> run;
    ASSERT_TRUE(queue.Finish(&results, &run));
    EXPECT_EQ(run, std::vector<int>{100});
    int flushes = 0;
    EXPECT_FALSE(queue.Wrote(&run, [&] { ++flushes; }));
    EXPECT_EQ(flushes, 1);
    EXPECT_FALSE(queue.Take(8, &jobs));  // job 2 was dropped
    queue.Drain(&run);
    EXPECT_TRUE(run.empty());
    EXPECT_FALSE(queue.Closed());
}

// While jobs are queued, results wait for a run of them (each turn to write
// ends in a flush); once nothing is queued, any result in order is written
// at once, and the writer flushes whenever the next result is not finished.
TEST(ScanOrder, ResultsAreWrittenInRunsWhileJobsAreQueued) {
    Queue queue(64);  // runs of 16
    constexpr int kJobs = 48;
    for (int i = 0; i < kJobs; ++i) ASSERT_TRUE(queue.Push(i));
    std::vector<Queue::Numbered> jobs;
    std::vector<Queue::Result> results;
    std::vector<int> run;
    std::vector<int> out;
    int turns = 0;
    int flushes = 0;
    for (int i = 0; i < kJobs; ++i) {
        ASSERT_TRUE(queue.Take(1, &jobs));
        results.emplace_back(jobs[0].first, jobs[0].second);
        bool turn = queue.Finish(&results, &run);
        turns += turn;
        while (turn) {
            out.insert(out.end(), run.begin(), run.end());
            turn = queue.Wrote(&run, [&] { ++flushes; });
        }
        EXPECT_EQ(out.size() % 16, 0u) << "after job " << i;
    }
    EXPECT_EQ(out.size(), static_cast<size_t>(kJobs));
    EXPECT_EQ(turns, 3);
    EXPECT_EQ(flushes, 3);
    // Nothing queued now: a new job's result is written without a run.
    ASSERT_TRUE(queue.Push(kJobs));
    ASSERT_TRUE(queue.Take(16, &jobs));
    results.emplace_back(jobs[0].first, jobs[0].second);
    ASSERT_TRUE(queue.Finish(&results, &run));
    EXPECT_EQ(run, std::vector<int>{kJobs});
    EXPECT_FALSE(queue.Wrote(&run, [&] { ++flushes; }));
    EXPECT_EQ(flushes, 4);
}

// One worker writes while another finishes: the results handed in meanwhile
// are written in the same turn, and the turn passes on when it ends.
TEST(ScanOrder, ResultsHandedInDuringATurnAreWrittenInIt) {
    Queue queue(8, 2);
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(queue.Push(i));
    std::vector<Queue::Numbered> first, second;
    ASSERT_TRUE(queue.Take(1, &first));
    ASSERT_TRUE(queue.Take(1, &second));
    std::vector<Queue::Result> results{{first[0].first, 7}};
    std::vector<int> run;
    ASSERT_TRUE(queue.Finish(&results, &run));
    EXPECT_EQ(run, std::vector<int>{7});
    std::vector<Queue::Result> others{{second[0].first, 8}};
    std::vector<int> otherRun;
    EXPECT_FALSE(queue.Finish(&others, &otherRun));  // not its turn
    ASSERT_TRUE(queue.Wrote(&run, no_flush));
    EXPECT_EQ(run, std::vector<int>{8});
    EXPECT_FALSE(queue.Wrote(&run, no_flush));
    ASSERT_TRUE(queue.Push(2));
    ASSERT_TRUE(queue.Take(1, &second));
    others = {{second[0].first, 9}};
    ASSERT_TRUE(queue.Finish(&others, &otherRun));  // the turn is free again
    EXPECT_EQ(otherRun, std::vector<int>{9});
}

}  // namespace
