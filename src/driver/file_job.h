// One file of a run carried out: opened, recognised, its plan (see
// plan_file) carried out, converted to its output or to standard output,
// with its events told to the reporter. The file's state lives as long as
// the file is in hand: whatever way it ends, what it opened is closed and a
// failure that ends it is told once.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "driver/input_folder.h"
#include "driver/output_tree.h"
#include "driver/reporter.h"
#include "driver/run_options.h"
#include "driver/work_list.h"
#include "driver/workers.h"
#include "kernels/paths.h"

namespace kotran {

// What the files of a run share: its options, the path its conversions and
// recognition take, the folders its outputs go in, and the files it was
// given and has written, which no output may replace.
struct RunFiles {
  const RunOptions& options;
  Path path;
  InputFolder& input;  // the file in hand's folder, held open
  OutputTree& tree;
  const std::unordered_map<FileId, size_t, FileIdHash>& arguments;  // each file's first place in the run
  const std::unordered_set<FileId, FileIdHash>& written;
};

// Carries out item, the run's index-th file, telling its events to
// reporter; what became of it. Telling the reporter the file is done is
// the caller's.
FileResult carry_out_file(const RunFiles& run, const WorkItem& item, size_t index, Reporter& reporter);

// The file as the reports name it.
std::string report_name(const WorkItem& item);

}  // namespace kotran
