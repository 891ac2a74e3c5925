// The OS layer's thread, semaphore, event and lock, used from real threads.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>

#include "platform/critical_section.h"
#include "platform/event.h"
#include "platform/semaphore.h"
#include "platform/thread.h"

using namespace platform;

TEST(Semaphore, MaximumIsEnforced) {
  Semaphore* s = createSemaphore(1, 2);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(releaseSemaphore(s));
  EXPECT_FALSE(releaseSemaphore(s));  // already at its maximum of 2
  EXPECT_TRUE(tryWaitSemaphore(s));
  EXPECT_TRUE(tryWaitSemaphore(s));
  EXPECT_FALSE(tryWaitSemaphore(s));
  closeSemaphore(s);
  EXPECT_EQ(createSemaphore(3, 2), nullptr);
  EXPECT_EQ(createSemaphore(-1, 2), nullptr);
}

// Many threads pass tokens around; every token is taken exactly once.
TEST(Semaphore, TokensAreNeitherLostNorDuplicated) {
  struct Shared {
    Semaphore* tokens;
    Semaphore* done;
    std::atomic<int> taken{0};
  } shared{createSemaphore(0, 1000), createSemaphore(0, 8), {}};
  for (int t = 0; t < 8; ++t) {
    ASSERT_TRUE(startThread(
        [](void* p) {
          auto* s = static_cast<Shared*>(p);
          for (int i = 0; i < 100; ++i) {
            waitSemaphore(s->tokens);
            s->taken.fetch_add(1);
          }
          releaseSemaphore(s->done);
        },
        &shared));
  }
  for (int i = 0; i < 800; ++i) ASSERT_TRUE(releaseSemaphore(shared.tokens));
  for (int t = 0; t < 8; ++t) waitSemaphore(shared.done);
  EXPECT_EQ(shared.taken.load(), 800);
  EXPECT_FALSE(tryWaitSemaphore(shared.tokens));
  closeSemaphore(shared.tokens);
  closeSemaphore(shared.done);
}

TEST(Event, AutoResetLetsOneWaitThrough) {
  Event* e = createEvent();
  EXPECT_FALSE(waitEventFor(e, 10));
  setEvent(e);
  setEvent(e);  // setting twice still lets only one wait through
  EXPECT_TRUE(waitEventFor(e, 10));
  EXPECT_FALSE(waitEventFor(e, 10));
  delete e;
}

TEST(CriticalSection, SerialisesUpdates) {
  struct Shared {
    CriticalSection lock;
    long counter = 0;
    Semaphore* done;
  } shared;
  shared.done = createSemaphore(0, 4);
  for (int t = 0; t < 4; ++t) {
    ASSERT_TRUE(startThread(
        [](void* p) {
          auto* s = static_cast<Shared*>(p);
          for (int i = 0; i < 10000; ++i) {
            enterCriticalSection(s->lock);
            s->counter += 1;
            leaveCriticalSection(s->lock);
          }
          releaseSemaphore(s->done);
        },
        &shared));
  }
  for (int t = 0; t < 4; ++t) waitSemaphore(shared.done);
  EXPECT_EQ(shared.counter, 40000);
  closeSemaphore(shared.done);
}

TEST(CriticalSectionDeathTest, NestedEntryStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CriticalSection lock;
  EXPECT_DEATH(
      {
        enterCriticalSection(lock);
        enterCriticalSection(lock);
      },
      "critical section entered twice");
  // Entered once and left, the section works as usual.
  enterCriticalSection(lock);
  leaveCriticalSection(lock);
}

TEST(Thread, RunsOnAStackOfEightMegabytes) {
  struct Probe {
    size_t stackBytes = 0;
    Semaphore* done;
  } probe;
  probe.done = createSemaphore(0, 1);
  ASSERT_TRUE(startThread(
      [](void* p) {
        auto* seen = static_cast<Probe*>(p);
        pthread_attr_t attributes;
        if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
          pthread_attr_getstacksize(&attributes, &seen->stackBytes);
          pthread_attr_destroy(&attributes);
        }
        releaseSemaphore(seen->done);
      },
      &probe));
  waitSemaphore(probe.done);
  EXPECT_GE(probe.stackBytes, size_t(8) << 20);
  closeSemaphore(probe.done);
}
