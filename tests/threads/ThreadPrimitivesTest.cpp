// The worker hand-off and the thread class, without a toolkit: the test's
// own thread plays the window's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "TSynchronizer.h"
#include "TThread.h"

using namespace std::chrono_literals;
using ksv::TSynchronizer;
using ksv::TThread;

namespace {

class LambdaThread : public TThread {
public:
    explicit LambdaThread(std::function<void(LambdaThread&)> body, bool freeOnTerminate = false)
        : body_(std::move(body))
    {
        FreeOnTerminate = freeOnTerminate;
    }
    ~LambdaThread() override
    {
        if (!FreeOnTerminate) TerminateAndWait();
    }
    using TThread::Sleep;
    using TThread::Synchronize;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(LambdaThread&)> body_;
};

class ThreadPrimitives : public ::testing::Test {
protected:
    void SetUp() override
    {
        TSynchronizer::Instance().BindMainThread();
        TSynchronizer::Instance().SetWakeHook({});
        TSynchronizer::Instance().SetPumpHook({});
    }
};

TEST_F(ThreadPrimitives, SynchronizeRunsStepsOnTheWindowThreadInOrder)
{
    const auto mainId = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<int> wrongThread{0};
    LambdaThread worker([&](LambdaThread& self) {
        for (int i = 0; i < 50; ++i)
            self.Synchronize([&, i] {
                if (std::this_thread::get_id() != mainId) ++wrongThread;
                order.push_back(i);
            });
    });
    worker.Start();
    worker.WaitFor();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_EQ(wrongThread, 0);
}

TEST_F(ThreadPrimitives, StepOnTheWindowThreadRunsAtOnceAndExceptionsReachTheWorker)
{
    bool ran = false;
    TSynchronizer::Instance().Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);

    std::atomic<bool> caught{false};
    LambdaThread worker([&](LambdaThread& self) {
        try {
            self.Synchronize([] { throw std::runtime_error("step failed"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    worker.Start();
    worker.WaitFor();
    EXPECT_TRUE(caught);
}

TEST_F(ThreadPrimitives, OnTerminateRunsOnTheWindowThreadAfterTheBody)
{
    const auto mainId = std::this_thread::get_id();
    std::atomic<bool> bodyDone{false};
    bool terminateSawBodyDone = false;
    bool terminateOnMain = false;
    LambdaThread worker([&](LambdaThread&) { bodyDone = true; });
    worker.OnTerminate = [&] {
        terminateSawBodyDone = bodyDone;
        terminateOnMain = std::this_thread::get_id() == mainId;
    };
    worker.Start();
    worker.WaitFor();
    EXPECT_TRUE(terminateSawBodyDone);
    EXPECT_TRUE(terminateOnMain);
    EXPECT_TRUE(worker.Finished());
}

TEST_F(ThreadPrimitives, TerminateEndsAnIdleBodyAndStopWithHandOffsNeverDeadlocks)
{
    // A worker that keeps handing off steps while the window thread asks it to
    // stop and waits: the wait must serve the hand-offs, or both would block.
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> steps{0};
        auto* worker = new LambdaThread([&](LambdaThread& self) {
            while (!self.Terminated()) {
                self.Synchronize([&] { ++steps; });
                LambdaThread::Sleep(1);
            }
            self.Synchronize([&] { ++steps; }); // the end step, as a measurement's
        });
        worker->Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        worker->Terminate();
        const auto start = std::chrono::steady_clock::now();
        worker->WaitFor();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_GE(steps, 1);
        delete worker;
    }
}

TEST_F(ThreadPrimitives, FreeOnTerminateThreadDeletesItselfAfterOnTerminate)
{
    std::atomic<bool> terminated{false};
    auto* worker = new LambdaThread([](LambdaThread& self) { self.Synchronize([] {}); }, true);
    worker->OnTerminate = [&] { terminated = true; };
    worker->Start();
    TSynchronizer::Instance().ServeUntil([&] { return terminated.load(); });
    EXPECT_TRUE(terminated);
    // The object is gone once it has run OnTerminate; give it the moment to return.
    TSynchronizer::Instance().ServeFor(20ms);
}

TEST_F(ThreadPrimitives, WakeHookIsCalledForEveryHandOffAndServeForServesThem)
{
    std::atomic<int> wakes{0};
    TSynchronizer::Instance().SetWakeHook([&] { ++wakes; });
    int pumps = 0;
    TSynchronizer::Instance().SetPumpHook([&] { ++pumps; });
    std::atomic<int> served{0};
    LambdaThread worker([&](LambdaThread& self) {
        for (int i = 0; i < 5; ++i) self.Synchronize([&] { ++served; });
    });
    worker.Start();
    while (served < 5) TSynchronizer::Instance().ServeFor(10ms);
    worker.WaitFor();
    EXPECT_EQ(wakes, 5);
    EXPECT_EQ(served, 5);
    EXPECT_GE(pumps, 1);
    TSynchronizer::Instance().SetWakeHook({});
    TSynchronizer::Instance().SetPumpHook({});
}

TEST_F(ThreadPrimitives, DestructorOfARunningThreadTerminatesAndWaits)
{
    std::atomic<bool> sawTerminate{false};
    {
        LambdaThread worker([&](LambdaThread& self) {
            while (!self.Terminated()) LambdaThread::Sleep(5);
            sawTerminate = true;
        });
        worker.Start();
    }
    EXPECT_TRUE(sawTerminate);
}

} // namespace
