// Converting many files at once: worker processes forked from this one take
// the files one at a time, and this process hands on what each reports,
// messages included, as each file is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// A file's result with its place in the run and its messages.
struct Report {
  size_t index = 0;
  FileResult result;
  std::string messages;  // as written to standard error
};

// Runs work(index) for each of indices in `jobs` worker processes; each
// worker's standard error is taken as it writes it and handed with the
// file's result to done(report), in this process, as each file is done. A
// worker that ends without a result for its file reports it failed, with
// died(index, signal) giving the message. False when no worker could be
// started (fork failed): the caller does the work itself.
bool run_in_workers(const std::vector<size_t>& indices, unsigned jobs,
                    const std::function<FileResult(size_t)>& work,
                    const std::function<void(Report&&)>& done,
                    const std::function<std::string(size_t, int)>& died);

}  // namespace kotran
