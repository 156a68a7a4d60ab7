// The thread layer: a thread ended before it copies its argument never reads
// it (the ender frees it at once, as shutdown does with a worker's job); one
// not ended copies it; the end is refused once the thread claims its final
// steps. The threads wait on atomics the test sets, so every order is forced.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/memory.h"
#include "platform/thread.h"

namespace {

struct Probe {
  std::atomic<int> go{0};
  std::atomic<int> copied{-1};  // ThreadCopyArgument's result
  std::atomic<std::int64_t> value{0};
  std::atomic<int> final{-1};  // ThreadBeginFinal's result
  std::int64_t* argument = nullptr;
};

int CopyWhenTold(void* p) {
  auto* probe = static_cast<Probe*>(p);
  while (probe->go.load() == 0) std::this_thread::yield();
  std::int64_t copy = 0;
  probe->copied.store(platform::ThreadCopyArgument(&copy, probe->argument, sizeof copy));
  probe->value.store(copy);
  probe->final.store(platform::ThreadBeginFinal());
  return 0;
}

// Waits (yielding) until the thread has returned; a hang fails by timeout.
void Join(int number) {
  while (platform::ThreadRunning(number)) std::this_thread::yield();
}

TEST(ThreadLayer, EndedBeforeItsCopyTheThreadLeavesTheArgumentAlone) {
  Probe probe;
  probe.argument = static_cast<std::int64_t*>(platform::MemAlloc(sizeof(std::int64_t)));
  *probe.argument = 42;
  const int number = platform::ThreadStart(CopyWhenTold, &probe);
  ASSERT_GE(number, 1);
  ASSERT_EQ(platform::ThreadEnd(number), 1);
  platform::MemFree(probe.argument);  // the ender's now: a read would be a use after free
  probe.go.store(1);
  Join(number);
  EXPECT_EQ(probe.copied.load(), 0);
  EXPECT_EQ(probe.value.load(), 0);
  EXPECT_EQ(probe.final.load(), 0);
  EXPECT_EQ(platform::ThreadEnd(number), 0);  // returned: nothing to end
}

TEST(ThreadLayer, NotEndedTheThreadCopiesAndThenCannotBeEnded) {
  Probe probe;
  std::int64_t argument = 7;
  probe.argument = &argument;
  const int number = platform::ThreadStart(CopyWhenTold, &probe);
  ASSERT_GE(number, 1);
  probe.go.store(1);
  Join(number);
  EXPECT_EQ(probe.copied.load(), 1);
  EXPECT_EQ(probe.value.load(), 7);
  EXPECT_EQ(probe.final.load(), 1);
  EXPECT_EQ(platform::ThreadEnd(number), 0);
}

TEST(ThreadLayer, NumbersGrowAndUnknownNumbersDoNothing) {
  Probe probe;
  std::int64_t argument = 1;
  probe.argument = &argument;
  probe.go.store(1);
  const int first = platform::ThreadStart(CopyWhenTold, &probe);
  Join(first);
  const int second = platform::ThreadStart(CopyWhenTold, &probe);
  Join(second);
  EXPECT_GT(second, first);
  EXPECT_EQ(platform::ThreadRunning(second + 100), 0);
  EXPECT_EQ(platform::ThreadEnd(second + 100), 0);
  EXPECT_EQ(platform::ThreadStart(nullptr, nullptr), 0);
}

}  // namespace
