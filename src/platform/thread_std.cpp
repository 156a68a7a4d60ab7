// Numbered, detached std::threads with a cooperative end.
//
// Each thread has a record shared between the table and the thread itself,
// so the record outlives the table (ThreadLayerEnd) while the thread runs.
// Its state only moves forward:
//
//   Running --ThreadEnd--------> Ended     (the thread returns at its next check)
//   Running --ThreadBeginFinal-> Final     (ThreadEnd can no longer end it)
//   any     --procedure returns-> Returned
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/thread.h"

namespace platform {
namespace {

enum State : int { kRunning, kEnded, kFinal, kReturned };

struct ThreadRecord {
  std::atomic<int> state{kRunning};
  // Held by ThreadEnd and by ThreadCopyArgument: the thread's copy of its
  // argument and an ender freeing that argument never overlap.
  std::mutex endLock;
};

struct ThreadTable {
  std::mutex mutex;
  std::map<int, std::shared_ptr<ThreadRecord>> records;
  int lastNumber = 0;
};

// Never destroyed: detached threads may still call in while the process exits.
ThreadTable& Table() {
  static ThreadTable* table = new ThreadTable;
  return *table;
}

thread_local ThreadRecord* currentRecord = nullptr;

std::shared_ptr<ThreadRecord> FindRecord(int number) {
  ThreadTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.records.find(number);
  return it == table.records.end() ? nullptr : it->second;
}

}  // namespace

int ThreadLayerInit() { return 1; }

void ThreadLayerEnd() {
  ThreadTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.records.clear();
}

int ThreadStart(ThreadProc proc, void* argument) {
  if (proc == nullptr) return 0;
  auto record = std::make_shared<ThreadRecord>();
  int number;
  {
    ThreadTable& table = Table();
    std::lock_guard lock(table.mutex);
    number = ++table.lastNumber;
    table.records[number] = record;
  }
  try {
    std::thread([proc, argument, record] {
      currentRecord = record.get();
      proc(argument);
      record->state.store(kReturned, std::memory_order_release);
      currentRecord = nullptr;
    }).detach();
  } catch (const std::system_error&) {
    ThreadTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.records.erase(number);
    return 0;
  }
  return number;
}

int ThreadRunning(int number) {
  auto record = FindRecord(number);
  return record && record->state.load(std::memory_order_acquire) != kReturned ? 1 : 0;
}

int ThreadEnd(int number) {
  auto record = FindRecord(number);
  if (!record) return 0;
  std::lock_guard lock(record->endLock);
  int expected = kRunning;
  return record->state.compare_exchange_strong(expected, kEnded, std::memory_order_acq_rel) ? 1 : 0;
}

int ThreadCopyArgument(void* copy, const void* argument, std::size_t bytes) {
  if (currentRecord == nullptr) {
    std::memcpy(copy, argument, bytes);
    return 1;
  }
  std::lock_guard lock(currentRecord->endLock);
  if (currentRecord->state.load(std::memory_order_acquire) == kEnded) return 0;
  std::memcpy(copy, argument, bytes);
  return 1;
}

int ThreadWasEnded() {
  return currentRecord != nullptr && currentRecord->state.load(std::memory_order_acquire) == kEnded
             ? 1
             : 0;
}

int ThreadBeginFinal() {
  if (currentRecord == nullptr) return 1;
  int expected = kRunning;
  return currentRecord->state.compare_exchange_strong(expected, kFinal, std::memory_order_acq_rel)
             ? 1
             : 0;
}

namespace {

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

ThreadPacer::ThreadPacer() : dueNs_(MonotonicNs()) {}

void ThreadPacer::SleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  dueNs_ += static_cast<std::int64_t>(milliseconds) * 1'000'000;
  const timespec due{static_cast<time_t>(dueNs_ / 1'000'000'000),
                     static_cast<long>(dueNs_ % 1'000'000'000)};
  // Absolute sleep: restarted after a signal without losing the deadline.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
  }
}

}  // namespace platform
