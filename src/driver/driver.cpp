#include "driver/driver.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "codes/code.h"
#include "driver/conversion_table.h"
#include "driver/file_job.h"
#include "driver/input_folder.h"
#include "driver/messages.h"
#include "driver/options.h"
#include "driver/output_file.h"
#include "driver/output_name.h"
#include "driver/output_tree.h"
#include "driver/reporter.h"
#include "driver/run_options.h"
#include "driver/run_tally.h"
#include "driver/settings.h"
#include "driver/work_list.h"
#include "driver/workers.h"
#include "kernels/paths.h"
#include "stream/error_report.h"

namespace kotran {

namespace {

constexpr const char* STDOUT_NAME = "standard output";

bool file_id_of(const std::string& name, FileId& id) {
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return false;
  id = id_of(st);
  return true;
}

// What a thread handling files holds of its own: the folder of its file in
// hand, the folders of the output tree it has open, and the outputs it has
// written, which no later output of it may replace.
struct Hands {
  explicit Hands(const std::string& out_dir) : tree(out_dir) {}
  InputFolder input;
  OutputTree tree;
  std::unordered_set<FileId, FileIdHash> written;
};

class FileWalk {
 public:
  FileWalk(const RunOptions& options, std::vector<WorkItem> items, Path path, Reporter& reporter)
      : settings_(options.settings),
        options_(options),
        items_(std::move(items)),
        own_(options.out_dir),
        path_(path),
        reporter_(&reporter) {
    // Every file of the run, by the first place it holds: no output may
    // replace one of them, earlier or later.
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].known && items_[i].kind == ItemKind::file) arguments_.emplace(items_[i].id, i);
  }

  // Handles every file; the exit status.
  int run() {
    const bool guess_only = (settings_ & GUESS_ONLY) != 0;
    RunTally tally(items_.size(), std_err()->kind == StreamKind::console, *reporter_);
    // What goes to standard output keeps the order of the files: one at a time.
    bool to_standard_output = (settings_ & (TO_CONSOLE | GUESS_ONLY)) != 0;
    for (const WorkItem& item : items_) to_standard_output = to_standard_output || item.kind == ItemKind::standard_input;
    if (options_.jobs > 1 && !to_standard_output && items_.size() > 1) {
      run_at_once(tally);
    } else {
      for (size_t i = 0; i < items_.size(); ++i) tally.add(handle_and_tell(i));
    }
    tally.finish(guess_only, status_);
    return status_;
  }

 private:
  // --jobs: the files go to worker processes, and each file's messages come
  // out together, in the order of the files unless standard error is a
  // terminal (there as each file is done; JSON lines always in order). A file whose output another
  // file of the run would also write (or that is named twice in place) waits
  // until the workers are done and is then handled here, with every output
  // they wrote known.
  void run_at_once(RunTally& tally) {
    std::vector<size_t> at_once, later;
    {
      std::unordered_set<std::string> claimed;
      for (size_t i = 0; i < items_.size(); ++i) {
        const std::string key = output_key(items_[i]);
        if (key.empty() || claimed.insert(key).second)
          at_once.push_back(i);
        else
          later.push_back(i);
      }
    }
    // JSON lines keep the order of the files wherever standard error is.
    const bool as_done = std_err()->kind == StreamKind::console && !options_.json;
    std::vector<Report> reports(items_.size());
    std::vector<bool> done(items_.size(), false);
    size_t shown = 0;  // files whose events are out
    // Events in order are written many files at a time.
    std::vector<Report> held;
    auto last_write = std::chrono::steady_clock::now();
    auto write_held = [&](bool now) {
      const auto t = std::chrono::steady_clock::now();
      if (held.empty() || (!now && held.size() < HELD_FILES && t - last_write < HOLD_MESSAGES_FOR)) return;
      for (const Report& report : held) show(report, tally);
      held.clear();
      flush_reports();
      last_write = t;
    };
    auto show_ready = [&] {
      while (shown < items_.size() && done[shown]) {
        if (!as_done) held.push_back(std::move(reports[shown]));
        ++shown;
      }
      write_held(false);
    };
    auto take = [&](Report&& r) {
      const size_t i = r.index;
      if (r.result.outcome == Outcome::failed) status_ = EXIT_FILE_FAILED;
      if (r.result.wrote) own_.written.insert(r.result.written);
      tally.add(r.result);
      if (as_done) {
        show(r, tally);
        flush_reports();
      }
      reports[i] = std::move(r);
      reports[i].index = i;
      done[i] = true;
      show_ready();
    };
    // In a worker, the events go to the worker's reporter, which sends or
    // keeps them for this thread.
    auto work = [this](size_t i, Reporter& sender) { return handle(i, sender, worker_hands()); };
    auto lost = [this](size_t i, Loss loss, int detail) {
      Event e = failed_event(items_[i].path, FailCause::worker_killed);
      switch (loss) {
        case Loss::killed: e.n[0] = static_cast<uint64_t>(detail); break;
        case Loss::exited:
          e.why = static_cast<uint8_t>(FailCause::worker_exited);
          e.n[1] = static_cast<uint64_t>(detail);
          break;
        case Loss::no_memory: e.why = static_cast<uint8_t>(FailCause::worker_no_memory); break;
        case Loss::messages_lost:
          // detail: the signal that ended the worker, 0 where it exited
          e.why = static_cast<uint8_t>(FailCause::messages_lost);
          e.n[0] = static_cast<uint64_t>(detail);
          e.n[1] = static_cast<uint64_t>(detail);
          break;
      }
      return e;
    };
    const WorkersEnd end = run_in_workers(at_once, options_.jobs, work, take, lost);
    // What the worker threads held open is let go: the files left are handled here.
    for (std::unique_ptr<Hands>& hands : worker_hands_) hands.reset();
    if (end.worker_lost) status_ = EXIT_FILE_FAILED;
    // The files no worker took are handled here, in order; after memory ran
    // out, none is, and each says so.
    later.insert(later.end(), end.untaken.begin(), end.untaken.end());
    std::sort(later.begin(), later.end());
    for (const size_t i : later) {
      // Everything before this file is out first.
      while (shown < i) {
        if (done[shown] && !as_done) held.push_back(std::move(reports[shown]));
        ++shown;
      }
      write_held(true);
      if (end.out_of_memory) {
        Report not_converted;
        not_converted.index = i;
        not_converted.result.outcome = Outcome::failed;
        not_converted.events.push_back(failed_event(items_[i].path, FailCause::not_taken_no_memory));
        show(not_converted, tally);
        tally.add(not_converted.result);
      } else {
        tally.add(handle_and_tell(i));
      }
      done[i] = true;
      shown = i + 1;
      show_ready();
    }
    show_ready();
    write_held(true);
    if (end.out_of_memory) status_ = EXIT_NO_MEMORY;
  }

  // Reports held for writing in order: written when this many files' are
  // held, or when they have been held this long.
  static constexpr size_t HELD_FILES = 256;
  static constexpr auto HOLD_MESSAGES_FOR = std::chrono::milliseconds(50);

  // Hands a worker's report of a file to the run's reporter.
  void show(const Report& report, RunTally& tally) {
    tally.clear_line();
    for (const Event& e : report.events) reporter_->report(e);
    reporter_->file_done(report_name(items_[report.index]), report.result);
  }

  // What the reporters hold goes out.
  static void flush_reports() {
    flush_stream(std_err());
    flush_stream(std_out());
  }

  // Handles the file here, and tells the reporter it is done.
  FileResult handle_and_tell(size_t index) {
    const FileResult result = handle(index, *reporter_, own_);
    if (result.outcome == Outcome::failed) status_ = EXIT_FILE_FAILED;
    reporter_->file_done(report_name(items_[index]), result);
    return result;
  }

  // Carries out the file of the run at index with what hands holds,
  // telling reporter its events; what became of it.
  FileResult handle(size_t index, Reporter& reporter, Hands& hands) {
    const RunFiles run{options_, path_, hands.input, hands.tree, arguments_, hands.written};
    const FileResult result = carry_out_file(run, items_[index], index, reporter);
    if (result.wrote) hands.written.insert(result.written);
    return result;
  }

  // What the worker this thread is holds: in a worker process, the copy of
  // this thread's it was forked with; on a worker thread, its own, made on
  // its first file (it has written nothing yet, as a worker process had
  // not: the workers start with the run).
  Hands& worker_hands() {
    const unsigned worker = this_worker();
    if (worker == 0) return own_;
    std::unique_ptr<Hands>& hands = worker_hands_[worker - 1];
    if (hands == nullptr) hands = std::make_unique<Hands>(options_.out_dir);
    return *hands;
  }

  // What two files of a run that may not be handled at once share: the
  // output they would write; empty for a file that writes none.
  std::string output_key(const WorkItem& item) {
    if (item.kind != ItemKind::file) return "";
    if (options_.in_place) {
      if (!item.known) return "";
      return "in " + std::to_string(item.id.dev) + ":" + std::to_string(item.id.ino);
    }
    const char* extension = code_info[index_of(target_of(settings_))].extension;
    std::string out;
    if (!options_.out_dir.empty()) {
      std::string relative;
      if (!path_in_tree(item.path, relative) || !build_output_name(relative, extension, out)) return "";
      return "tree " + out;
    }
    if (!build_output_name(item.path, extension, out)) return "";
    const std::string dir = directory_of(out);
    auto known = directory_ids_.find(dir);
    if (known == directory_ids_.end()) {
      FileId id;
      if (!file_id_of(dir, id)) return "";
      known = directory_ids_.emplace(dir, id).first;
    }
    const size_t slash = out.rfind('/');
    return "beside " + std::to_string(known->second.dev) + ":" + std::to_string(known->second.ino) + "/" +
           out.substr(slash == std::string::npos ? 0 : slash + 1);
  }

  const Settings settings_;
  const RunOptions& options_;
  std::vector<WorkItem> items_;
  Hands own_;  // this thread's: every output of the run is among its written
  // Each worker thread's, by its number less one; each touched by its own
  // thread alone while the workers run.
  std::array<std::unique_ptr<Hands>, MAX_WORKERS> worker_hands_;
  std::unordered_map<FileId, size_t, FileIdHash> arguments_;  // each file's first place in the run
  std::unordered_map<std::string, FileId> directory_ids_;  // of outputs' folders, for output_key
  const Path path_;  // the processor's fastest, or KOTRAN_PATH's
  Reporter* reporter_;  // the run's
  int status_ = EXIT_OK;
};

// The path every conversion and recognition of the run takes: the one
// KOTRAN_PATH names, or the fastest this processor has (where it is unset
// or empty). A name of no path,
// or of one this processor lacks, is reported with the paths it has, and
// the run does nothing: a measurement must not measure another path than
// it named.
bool run_path(Path& path) {
  const char* named = std::getenv("KOTRAN_PATH");
  if (named == nullptr || *named == '\0') {
    path = fastest_path();
    return true;
  }
  const std::optional<Path> found = path_named(named);
  if (found && path_available(*found)) {
    path = *found;
    return true;
  }
  std::string available;
  for (const Path p : PATHS)
    if (path_available(p)) available += std::string(available.empty() ? "" : ", ") + path_name(p);
  print_message(MSG_BAD_PATH, {named, available});
  return false;
}

// A word that begins with '-' is an option, but "-" alone names standard input.
bool is_option(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

}  // namespace

int run_driver(const std::vector<std::string>& words) {
  // The options are the leading words that begin with '-', up to the first
  // "--", which ends them and names no file: what follows it are file names
  // whatever they begin with.
  size_t options_end = 1;
  while (options_end < words.size() && is_option(words[options_end]) && words[options_end] != "--")
    ++options_end;
  size_t first_file = options_end;
  if (first_file < words.size() && words[first_file] == "--") ++first_file;
  // --help and --version answer on standard output, with nothing on standard
  // error, unless a bad option stands before them.
  RunOptions scratch;
  for (size_t i = 1; i < options_end; ++i) {
    if (words[i] != "--help" && words[i] != "--version") {
      if (!parse_run_option(words[i], scratch)) break;
      continue;
    }
    if (words[i] == "--help")
      print_help(std_out());
    else
      print_banner(std_out());
    if (flush_stream(std_out()) == 0 && !stream_error(std_out())) return EXIT_OK;
    last_error = std_out()->error_code;
    report_error(STDOUT_NAME);
    flush_stream(std_err());
    return EXIT_FILE_FAILED;
  }

  print_banner(std_err());
  int status = EXIT_OK;
  if (words.size() < 2) {
    print_usage(std_err());
  } else {
    bool options_ok = true;
    RunOptions options;
    for (size_t i = 1; i < options_end; ++i) {
      if (!parse_run_option(words[i], options)) {
        print_message(MSG_BAD_OPTION, {words[i]});
        status = EXIT_BAD_OPTION;
        options_ok = false;
        break;
      }
    }
    std::string first, second;
    if (options_ok && conflicting_options(options, first, second)) {
      print_message(MSG_OPTIONS_CONFLICT, {first, second});
      status = EXIT_BAD_OPTION;
      options_ok = false;
    }
    const std::vector<std::string> file_words(words.begin() + static_cast<std::ptrdiff_t>(first_file), words.end());
    if (options_ok && conflicting_file_word(options, file_words, first)) {
      print_message(MSG_OPTIONS_CONFLICT, {first, "-"});
      status = EXIT_BAD_OPTION;
      options_ok = false;
    }
    // Standard input is read once: a second "-" would find it at its end.
    if (options_ok && std::count(file_words.begin(), file_words.end(), "-") > 1) {
      print_message(MSG_STANDARD_INPUT_TWICE);
      status = EXIT_BAD_OPTION;
      options_ok = false;
    }
    Path path = Path::scalar;
    if (options_ok && !run_path(path)) {
      status = EXIT_BAD_OPTION;
      options_ok = false;
    }
    if (options_ok) {
      resolve_line_ends(options);
      set_output_line_ends(std_out(), options.standard_output_line_ends);
      install_output_cleanup((options.settings & (TO_CONSOLE | GUESS_ONLY)) == 0);
      // An output tree inside a walked tree is not walked.
      FileId out_dir_id;
      const bool skip = !options.out_dir.empty() && file_id_of(options.out_dir, out_dir_id);
      Reporter reporter(options.json ? ReportForm::json : ReportForm::text);
      FileWalk walk(options, list_work(file_words, options.recursive, skip ? &out_dir_id : nullptr), path,
                    reporter);
      try {
        status = walk.run();
      } catch (const std::bad_alloc&) {
        // The run ends for want of memory: the JSON lines of the files done
        // go out (whole lines: a line is made before it is written), then
        // the message, without a summary.
        if (options.json) flush_stream(std_out());
        throw;
      }
    }
  }
  if (flush_stream(std_out()) != 0) {
    last_error = std_out()->error_code;
    report_error(STDOUT_NAME);
    status = EXIT_FILE_FAILED;
  }
  flush_stream(std_err());
  return status;
}

}  // namespace kotran
