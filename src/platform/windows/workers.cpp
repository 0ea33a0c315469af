// Windows has no fork: the workers are threads of this process. Each takes
// the next file from a shared count and keeps the file's events in memory
// (its reporter writes nothing); this thread hands each file's report on as
// it comes. A worker hands on one file at a time: it waits, its next file
// done, until this thread has taken the last, so that what waits to be
// handed on is one report a worker, whatever the run's size.
//
// The lock and its conditions are the system's own (a slim reader/writer
// lock and condition variables): MinGW's std::mutex and
// std::condition_variable emulate them with semaphores and events, kernel
// objects, whose every wait and wake under Wine is a call to its server.
#include "driver/workers.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>
#include <thread>

#include "driver/output_file.h"
#include "driver/reporter.h"

namespace kotran {
namespace {

thread_local unsigned t_worker = 0;  // see this_worker

// The run's lock held for a scope, let go and taken again within it.
class Held {
 public:
  explicit Held(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~Held() {
    if (held_) ReleaseSRWLockExclusive(&lock_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  void unlock() {
    ReleaseSRWLockExclusive(&lock_);
    held_ = false;
  }
  void lock() {
    AcquireSRWLockExclusive(&lock_);
    held_ = true;
  }
  // Waits on condition, the lock let go meanwhile, until ready() holds.
  template <class Ready>
  void wait(CONDITION_VARIABLE& condition, Ready ready) {
    while (!ready()) SleepConditionVariableSRW(&condition, &lock_, INFINITE, 0);
  }

 private:
  SRWLOCK& lock_;
  bool held_ = true;
};

// What a worker hands this thread: the report of a file it finished, or
// (no_memory) the file it had in hand when memory ran out, with the events
// it had of it; and whether it has ended.
struct Outbox {
  bool full = false;
  bool no_memory = false;
  bool ended = false;
  bool counted = false;  // its end seen by this thread
  Report report;
};

struct Run {
  Run(const std::vector<size_t>& files, const std::function<FileResult(size_t, Reporter&)>& to_do, unsigned jobs)
      : indices(files), work(to_do), outboxes(jobs) {}

  const std::vector<size_t>& indices;
  const std::function<FileResult(size_t, Reporter&)>& work;
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};  // memory ran out in a worker: none takes another file
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE handed_on = CONDITION_VARIABLE_INIT;  // an outbox filled, or a worker ended
  CONDITION_VARIABLE taken = CONDITION_VARIABLE_INIT;      // an outbox emptied
  std::vector<Outbox> outboxes;
};

// Waits until the outbox is empty, then puts the report in it.
void hand_on(Run& run, Outbox& box, Report&& report, bool no_memory) {
  Held hold(run.lock);
  hold.wait(run.taken, [&] { return !box.full; });
  box.report = std::move(report);
  box.no_memory = no_memory;
  box.full = true;
  WakeConditionVariable(&run.handed_on);
}

void work_as_worker(Run& run, unsigned worker) {
  t_worker = worker + 1;
  Outbox& box = run.outboxes[worker];
  // The file in hand, and the report that will name it; made before the
  // file is taken, so that a report can be handed on whatever runs out.
  Report report;
  try {
    Reporter keeper(ReportForm::kept);
    while (!run.stop.load()) {
      const size_t i = run.next.fetch_add(1);
      if (i >= run.indices.size()) break;
      report.index = run.indices[i];
      try {
        report.result = run.work(run.indices[i], keeper);
        report.events = keeper.take_events();
        hand_on(run, box, std::move(report), false);
      } catch (const std::bad_alloc&) {
        // The run ends: no worker takes another file. What the file in
        // hand had open went with the unwinding, its temporary too; this
        // thread names it.
        remove_temporary_output();
        run.stop.store(true);
        report.result = FileResult{};
        report.result.outcome = Outcome::failed;
        report.events = keeper.take_events();
        hand_on(run, box, std::move(report), true);
        break;
      }
      report = Report{};
    }
  } catch (const std::bad_alloc&) {
    // Memory ran out outside a file's work: no file is in hand, and no
    // worker takes another.
    run.stop.store(true);
  }
  Held hold(run.lock);
  box.ended = true;
  WakeConditionVariable(&run.handed_on);
}

}  // namespace

unsigned this_worker() { return t_worker; }

WorkersEnd run_in_workers(const std::vector<size_t>& indices, unsigned jobs,
                          const std::function<FileResult(size_t, Reporter&)>& work,
                          const std::function<void(Report&&)>& done,
                          const std::function<Event(size_t, Loss, int)>& lost) {
  WorkersEnd end;
  if (indices.empty()) {
    end.started = true;
    return end;
  }
  if (jobs > MAX_WORKERS) jobs = MAX_WORKERS;
  if (jobs > indices.size()) jobs = static_cast<unsigned>(indices.size());
  Run run(indices, work, jobs);
  std::vector<std::thread> threads;
  threads.reserve(jobs);
  // Whatever way this ends (done or lost out of memory, say), no worker
  // outlives it: the workers take no more files, what they hand on is let
  // go, and each is waited for.
  struct JoinAll {
    Run& run;
    std::vector<std::thread>& threads;
    ~JoinAll() {
      run.stop.store(true);
      {
        Held hold(run.lock);
        for (Outbox& box : run.outboxes) box.full = false;
      }
      WakeAllConditionVariable(&run.taken);
      for (std::thread& t : threads)
        if (t.joinable()) t.join();
    }
  } join_all{run, threads};
  for (unsigned k = 0; k < jobs; ++k) {
    try {
      threads.emplace_back(work_as_worker, std::ref(run), k);
    } catch (const std::system_error&) {
      break;
    }
  }
  if (threads.empty()) {
    end.untaken = indices;
    return end;
  }
  end.started = true;

  // Each report as it comes; a worker's end is counted once its last
  // report is taken.
  size_t running = threads.size();
  Held hold(run.lock);
  while (running > 0) {
    hold.wait(run.handed_on, [&] {
      for (size_t k = 0; k < threads.size(); ++k)
        if (run.outboxes[k].full || (run.outboxes[k].ended && !run.outboxes[k].counted)) return true;
      return false;
    });
    for (size_t k = 0; k < threads.size(); ++k) {
      Outbox& box = run.outboxes[k];
      if (box.full) {
        Report report = std::move(box.report);
        const bool no_memory = box.no_memory;
        box.full = false;
        WakeAllConditionVariable(&run.taken);
        hold.unlock();
        if (no_memory) report.events.push_back(lost(report.index, Loss::no_memory, 0));
        done(std::move(report));
        hold.lock();
      }
      if (!box.full && box.ended && !box.counted) {
        box.counted = true;
        --running;
      }
    }
  }
  const bool out_of_memory = run.stop.load();
  hold.unlock();
  for (std::thread& t : threads) t.join();
  end.out_of_memory = out_of_memory;
  const size_t taken = std::min(run.next.load(), indices.size());
  for (size_t i = taken; i < indices.size(); ++i) end.untaken.push_back(indices[i]);
  return end;
}

}  // namespace kotran
