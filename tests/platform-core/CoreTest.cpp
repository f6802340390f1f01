#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/core/AutoResetEvent.h"
#include "platform/core/Clock.h"
#include "platform/core/CriticalSection.h"
#include "platform/core/ModuleVersion.h"
#include "platform/core/Paths.h"
#include "platform/core/Thread.h"
#include "platform/core/testing/FakeClock.h"

QUORVEX_VERSION_STAMP("9.8.7.6");

namespace {

TEST(AutoResetEvent, ReleasesOneWaiterThenResets) {
    plat::AutoResetEvent event;
    EXPECT_EQ(event.Wait(0), plat::WaitResult::Timeout);
    event.Set();
    event.Set(); // a second set before any wait is not counted twice
    EXPECT_EQ(event.Wait(0), plat::WaitResult::Signalled);
    EXPECT_EQ(event.Wait(0), plat::WaitResult::Timeout);

    event.Set();
    event.Reset();
    EXPECT_EQ(event.Wait(0), plat::WaitResult::Timeout);
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
    plat::AutoResetEvent event;
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = event.Wait(plat::kInfinite) == plat::WaitResult::Signalled; });
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    plat::CriticalSection cs;
    cs.Enter();
    EXPECT_TRUE(cs.TryEnter()); // same thread may enter again
    std::atomic<bool> otherGotIt{true};
    std::thread other([&] { otherGotIt = cs.TryEnter(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
    cs.Leave();
    cs.Leave();
    std::thread again([&] {
        otherGotIt = cs.TryEnter();
        if (otherGotIt) {
            cs.Leave();
        }
    });
    again.join();
    EXPECT_TRUE(otherGotIt);
}

TEST(Thread, BodyWaitsAtTheGateUntilResumed) {
    plat::Thread thread;
    std::atomic<int> ran{0};
    ASSERT_TRUE(thread.Create([&] { ran++; }));
    EXPECT_FALSE(thread.Create([] {})); // one thread per object until joined
    EXPECT_EQ(ran, 0);
    thread.Resume();
    thread.Join();
    EXPECT_EQ(ran, 1);
    // Joined: the object can run another body.
    ASSERT_TRUE(thread.Start([&] { ran++; }));
    thread.Join();
    EXPECT_EQ(ran, 2);
}

TEST(Thread, DestructorReleasesAGatedThread) {
    std::atomic<bool> ran{false};
    {
        plat::Thread thread;
        ASSERT_TRUE(thread.Create([&] { ran = true; }));
    }
    EXPECT_TRUE(ran);
}

TEST(Thread, PriorityIsBestEffortAndNormalAlwaysWorks) {
    plat::Thread thread;
    plat::AutoResetEvent done;
    ASSERT_TRUE(thread.Create([&] { done.Wait(plat::kInfinite); }));
    EXPECT_TRUE(thread.SetPriority(plat::ThreadPriority::Normal));
    // Real-time scheduling depends on the permissions of the process; whichever answer it
    // gets, the thread still runs afterwards.
    thread.SetPriority(plat::ThreadPriority::TimeCritical);
    thread.Resume();
    done.Set();
    thread.Join();
    EXPECT_FALSE(thread.Joinable());
    plat::Thread none;
    EXPECT_FALSE(none.SetPriority(plat::ThreadPriority::Normal));
}

TEST(Clock, FakeClockWrapsAndRecordsSleeps) {
    plat::FakeClock fake(0xFFFFFFF0u);
    plat::ScopedClock scoped(fake);
    uint32_t start = plat::TimeMs();
    plat::SleepMs(500);
    EXPECT_EQ(plat::TimeMs() - start, 500u); // unsigned difference survives the wrap
    EXPECT_LT(plat::TimeMs(), start);
    EXPECT_EQ(fake.Sleeps(), std::vector<uint32_t>{500});
}

TEST(Clock, ScopedClockRestoresTheSystemClock) {
    plat::Clock* system = &plat::CurrentClock();
    {
        plat::FakeClock fake(42);
        plat::ScopedClock scoped(fake);
        EXPECT_EQ(&plat::CurrentClock(), &fake);
        EXPECT_EQ(plat::TimeMs(), 42u);
    }
    EXPECT_EQ(&plat::CurrentClock(), system);
    plat::FakeClock other(7);
    EXPECT_EQ(plat::SetClock(&other), nullptr); // the system clock was current again
    EXPECT_EQ(plat::SetClock(nullptr), &other);
}

TEST(Paths, HomeVariablePlacesConfigAndDataAndCreatesThem) {
    char tmpl[] = "/tmp/qvpathsXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string home = tmpl;
    setenv("QUORVEX_HOME", home.c_str(), 1);
    EXPECT_EQ(plat::ConfigDir(), home + "/config");
    EXPECT_EQ(plat::DataDir(), home + "/data");
    struct stat st {};
    EXPECT_EQ(stat((home + "/config").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    unsetenv("QUORVEX_HOME");
    EXPECT_EQ(plat::JoinPath("a/", "b"), "a/b");
    EXPECT_EQ(plat::JoinPath("a", "b"), "a/b");
    EXPECT_FALSE(plat::ProgramDir().empty());
    std::system(("rm -rf " + home).c_str());
}

TEST(ModuleVersion, ReadsTheStampOfThisExecutableAndRejectsOtherFiles) {
    std::string version;
    EXPECT_TRUE(plat::ReadModuleVersion(plat::ExecutablePath(), &version));
    EXPECT_EQ(version, "9.8.7.6");
    EXPECT_FALSE(plat::ReadModuleVersion("/etc/hostname", &version));
    EXPECT_TRUE(version.empty());
    EXPECT_FALSE(plat::ReadModuleVersion("/nonexistent/file", &version));
}

} // namespace
