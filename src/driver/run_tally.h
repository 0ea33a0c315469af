// What a run has done so far: on a terminal, a progress line that a long run
// keeps redrawn at the foot of standard error; at the end of a run of more
// than one file, a summary line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "driver/reporter.h"
#include "driver/workers.h"

namespace kotran {

class RunTally {
 public:
  // show_progress: standard error is a terminal; the summary goes to reporter.
  RunTally(size_t files, bool show_progress, Reporter& reporter);
  RunTally(const RunTally&) = delete;
  RunTally& operator=(const RunTally&) = delete;
  ~RunTally();

  // Counts one file's result and redraws the line when it is due.
  void add(const FileResult& result);
  // Takes the progress line away, so that other text can be written.
  void clear_line();
  // The end of the run: no more line; the summary, with the run's status
  // (the text form shows it for a run of more than one file that converts).
  void finish(bool guess_only, int status);

  uint64_t failed() const { return failed_; }

 private:
  void draw();

  size_t files_;
  bool show_;
  Reporter& reporter_;
  bool drawn_ = false;
  uint64_t done_ = 0, converted_ = 0, skipped_ = 0, failed_ = 0, replaced_ = 0, bytes_ = 0;
  uint64_t not_japanese_ = 0;  // among the skipped: text of another language
  std::chrono::steady_clock::time_point start_, last_draw_;
};

}  // namespace kotran
