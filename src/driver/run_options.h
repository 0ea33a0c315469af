// The options of a run: the settings word, and the words that say which
// files a run takes and where their outputs go, whose values join them with
// '=' (every option is one word; a word after the options is a file name).
#pragma once

#include <string>
#include <vector>

#include "convert/line_end_setting.h"
#include "driver/settings.h"

namespace kotran {

struct RunOptions {
  Settings settings = 0;
  bool recursive = false;     // -r: directories among the file words are walked
  std::string out_dir;        // --out-dir=DIR: outputs under DIR, at the input's path
  bool in_place = false;      // --in-place: each output replaces its input
  std::string backup_suffix;  // --in-place=SUFFIX: the input is kept as NAME+SUFFIX
  unsigned jobs = 1;          // --jobs=N: files converted at once
  bool json = false;          // --json: the reports as JSON lines on standard output
  // The line ends of the run's outputs, decided once (resolve_line_ends):
  // of output files, and of standard output.
  LineEndSetting line_ends;
  LineEndSetting standard_output_line_ends;
};

inline constexpr unsigned MAX_JOBS = 256;

// Folds one option word into the options; false when the word is no option
// (the options are then unchanged).
bool parse_run_option(const std::string& word, RunOptions& options);

// Decides the line ends of the run's outputs from its settings (the
// target, -l). Standard output carries no CR LF through where nothing else
// can tell: to a terminal, which takes line ends as they come, and where it
// shares a file with standard error, whose blocks interleave with its own.
void resolve_line_ends(RunOptions& options);

// Two option words given that cannot go together, set in first and second;
// false when the options agree. words are the option words as given.
bool conflicting_options(const RunOptions& options, std::string& first, std::string& second);

// The option that cannot go with a file word of the run ("-", standard
// input, with --in-place, --out-dir, or --json but for -g), set in option;
// false when none.
bool conflicting_file_word(const RunOptions& options, const std::vector<std::string>& files, std::string& option);

}  // namespace kotran
