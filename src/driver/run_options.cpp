#include "driver/run_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "driver/options.h"
#include "driver/work_list.h"
#include "stream/text_stream.h"

namespace kotran {
namespace {

// The value of "--name=value" when word is one, else nullptr-like empty optional.
bool value_of(std::string_view word, std::string_view name, std::string_view& value) {
  if (word.size() <= name.size() || word.substr(0, name.size()) != name || word[name.size()] != '=') return false;
  value = word.substr(name.size() + 1);
  return true;
}

// Whether standard output and standard error are one file that keeps
// what they write (2>&1 into a file or a pipe), where their blocks
// interleave as the streams cut them. /dev/null keeps nothing.
bool output_shares_error_file() {
  struct stat out_st, err_st;
  if (fstat(1, &out_st) != 0 || fstat(2, &err_st) != 0) return true;
  return id_of(out_st) == id_of(err_st) && !S_ISCHR(out_st.st_mode);
}

}  // namespace

void resolve_line_ends(RunOptions& options) {
  options.line_ends = line_end_setting(target_of(options.settings), (options.settings & LF_LINE_ENDS) != 0);
  options.standard_output_line_ends = options.line_ends;
  if (std_out()->kind == StreamKind::console || output_shares_error_file())
    options.standard_output_line_ends.carried = false;
}

bool parse_run_option(const std::string& word, RunOptions& options) {
  std::string_view value;
  if (word == "-r") {
    options.recursive = true;
    return true;
  }
  if (value_of(word, "--out-dir", value)) {
    if (value.empty()) return false;
    options.out_dir = value;
    return true;
  }
  if (word == "--in-place") {
    options.in_place = true;
    options.backup_suffix.clear();
    return true;
  }
  if (value_of(word, "--in-place", value)) {
    // A suffix makes a name beside the file: no '/' in it.
    if (value.empty() || value.find('/') != std::string_view::npos) return false;
    options.in_place = true;
    options.backup_suffix = value;
    return true;
  }
  if (word == "--json") {
    options.json = true;
    return true;
  }
  if (value_of(word, "--jobs", value)) {
    unsigned n = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (error != std::errc() || end != value.data() + value.size() || n < 1 || n > MAX_JOBS) return false;
    options.jobs = n;
    return true;
  }
  return parse_option(word.c_str(), options.settings) != 0;
}

bool conflicting_options(const RunOptions& options, std::string& first, std::string& second) {
  const bool console = (options.settings & TO_CONSOLE) != 0;
  // -g writes no output file: nothing to put in place or under a folder.
  const bool guess = (options.settings & GUESS_ONLY) != 0;
  const char* in_place = "--in-place";
  if (options.in_place && console) {
    first = in_place;
    second = "-c";
  } else if (options.in_place && guess) {
    first = in_place;
    second = "-g";
  } else if (options.in_place && !options.out_dir.empty()) {
    first = in_place;
    second = "--out-dir";
  } else if (!options.out_dir.empty() && console) {
    first = "--out-dir";
    second = "-c";
  } else if (!options.out_dir.empty() && guess) {
    first = "--out-dir";
    second = "-g";
  } else if (options.json && console && !guess) {
    // The reports and the text would share standard output.
    first = "--json";
    second = "-c";
  } else {
    return false;
  }
  return true;
}

bool conflicting_file_word(const RunOptions& options, const std::vector<std::string>& files, std::string& option) {
  // Standard input has no file to replace and no path to keep: its output
  // is standard output.
  if (std::find(files.begin(), files.end(), "-") == files.end()) return false;
  if (options.in_place)
    option = "--in-place";
  else if (!options.out_dir.empty())
    option = "--out-dir";
  else if (options.json && (options.settings & GUESS_ONLY) == 0)  // its text would share standard output with the reports
    option = "--json";
  else
    return false;
  return true;
}

}  // namespace kotran
