// Converting many files at once: workers take the files one at a time, and
// the run's thread hands on what each reports as each file is done. On
// POSIX the workers are processes forked from this one, which send each
// file's events back over a pipe; on Windows (no fork) they are threads of
// this process, which keep each file's events in memory for the run's
// thread (src/platform/windows/workers.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/report_event.h"
#include "driver/work_list.h"

namespace kotran {

// What became of one file, for the summary and the later checks of the run.
enum class Outcome : uint8_t { converted, skipped, failed, not_japanese };  // not_japanese: a skip too

struct FileResult {
  Outcome outcome = Outcome::skipped;
  bool wrote = false;     // an output was written, with identity written
  uint64_t replaced = 0;  // characters replaced
  uint64_t bytes = 0;     // bytes of input read
  FileId written;
};

// A file's result with its place in the run and its events.
struct Report {
  size_t index = 0;
  FileResult result;
  std::vector<Event> events;  // as the worker made them
};

class Reporter;

// Why a worker gave no report of its own for a file it took.
enum class Loss : uint8_t {
  killed,         // it ended by a signal (detail) with the file in hand
  exited,         // it ended by itself (status detail) with the file in hand
  no_memory,      // memory ran out in it with the file in hand
  messages_lost,  // it finished the file, then ended by a signal (detail)
                  // before it handed the file's messages on
};

// How the workers' part of a run ended.
struct WorkersEnd {
  bool started = false;      // false when no worker could be started (fork failed)
  bool worker_lost = false;  // a worker ended before its files were reported
  bool out_of_memory = false;  // memory ran out in a worker: the run ends
  std::vector<size_t> untaken;  // indices no worker took, in order
};

// The most workers a run starts, whatever --jobs asks for.
inline constexpr unsigned MAX_WORKERS = 256;

// Which worker this thread is: 0 on the run's own thread and in a worker
// process (whose one thread it is), 1 to MAX_WORKERS on worker thread 1 to
// MAX_WORKERS. What a thread holds of its own (its temporary output, its
// folders) is found by it.
unsigned this_worker();

// Runs work(index, reporter) for each of indices in `jobs` workers; each
// worker's reporter sends the events to this process over a pipe (its
// standard error), or keeps them for this thread, where they are handed
// with the file's result to done(report) as each file is done. done and
// lost are called on this thread alone. Every file a worker took gets exactly
// one report: a file it had in hand when it ended is reported failed, and a
// file it had finished but whose events ended with it is reported as it
// ended; lost(index, loss, detail) gives the event that says so. Memory running out in one worker stops every worker
// taking more. The files no worker took come back untaken; the caller does
// the work itself when no worker could be started.
WorkersEnd run_in_workers(const std::vector<size_t>& indices, unsigned jobs,
                          const std::function<FileResult(size_t, Reporter&)>& work,
                          const std::function<void(Report&&)>& done,
                          const std::function<Event(size_t, Loss, int)>& lost);

}  // namespace kotran
