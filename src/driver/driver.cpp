#include "driver/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "codes/code.h"
#include "convert/first_problem.h"
#include "driver/file_plan.h"
#include "driver/conversion_table.h"
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
#include "recognition/first_invalid_byte.h"
#include "recognition/recognise.h"
#include "stream/error_report.h"

namespace kotran {

namespace {

constexpr const char* STDOUT_NAME = "standard output";
constexpr const char* STDIN_NAME = "standard input";

bool file_id_of(const std::string& name, FileId& id) {
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return false;
  id = id_of(st);
  return true;
}

class FileWalk {
 public:
  FileWalk(const RunOptions& options, std::vector<WorkItem> items, Path path, Reporter& reporter)
      : settings_(options.settings),
        options_(options),
        items_(std::move(items)),
        tree_(options.out_dir),
        path_(path),
        reporter_(&reporter),
        run_reporter_(&reporter) {
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
      if (r.result.outcome == Outcome::failed) fail();
      if (r.result.wrote) written_.insert(r.result.written);
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
    // In a worker, the events go to the worker's reporter, which sends them here.
    auto work = [this](size_t i, Reporter& sender) {
      reporter_ = &sender;
      return handle(i);
    };
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
    for (const Event& e : report.events) run_reporter_->report(e);
    run_reporter_->file_done(name_of(report.index), report.result);
  }

  // What the reporters hold goes out.
  static void flush_reports() {
    flush_stream(std_err());
    flush_stream(std_out());
  }

  // The file as the reports name it.
  std::string name_of(size_t index) const {
    return items_[index].kind == ItemKind::standard_input ? STDIN_NAME : items_[index].path;
  }

  // Handles the file here, and tells the reporter it is done.
  FileResult handle_and_tell(size_t index) {
    const FileResult result = handle(index);
    reporter_->file_done(name_of(index), result);
    return result;
  }

  void tell(const Event& e) { reporter_->report(e); }
  // A failure the system named: last_error, at the path.
  void tell_system_failure(const std::string& path) { tell(system_failure(current_name_, last_error, path)); }

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

  void fail() {
    status_ = EXIT_FILE_FAILED;
    result_.outcome = Outcome::failed;
  }

  // Handles the file of the run at index; what became of it.
  FileResult handle(size_t index) {
    current_ = index;
    current_name_ = name_of(index);
    result_ = FileResult{};
    const WorkItem& item = items_[index];
    switch (item.kind) {
      case ItemKind::link:
        tell(skipped_event(item.path, SkipReason::link));
        break;
      case ItemKind::special:
        tell(skipped_event(item.path, SkipReason::special, kind_of_file(item.mode)));
        break;
      case ItemKind::unreadable:
        last_error = item.error;
        tell_system_failure(item.path);
        fail();
        break;
      case ItemKind::standard_input:
        handle_stream(STDIN_NAME, open_standard_input(), item);
        break;
      case ItemKind::file: {
        // One stream serves recognition and conversion: recognition reads
        // ahead and comes back, which a pipe does over what it kept.
        const char* became = nullptr;
        TextStream* in = input_.open(item, &became);
        if (in != nullptr) {
          handle_stream(item.path, in, item);
        } else {
          if (became != nullptr)
            tell(failed_event(item.path, FailCause::input_changed, "", became));
          else
            tell_system_failure(item.path);
          fail();
        }
        break;
      }
    }
    return result_;
  }

  void handle_stream(const std::string& name, TextStream* in, const WorkItem& item) {
    if ((settings_ & GUESS_ONLY) != 0) {
      guess(name, in);
      close_stream(in);
      return;
    }
    const bool filter = item.kind == ItemKind::standard_input;
    Code source = source_of(settings_);
    big_endian_ = false;
    // What a pipe's text began with and went out as it came (see pass_plain_start).
    int64_t passed = 0;
    if (filter && in->kind == StreamKind::pipe && (settings_ & (SOURCE_FORCED | STRICT)) == 0 &&
        target_of(settings_) != Code::utf16) {
      passed = pass_plain_start(name, in);
      if (passed < 0) {
        close_stream(in);
        return;
      }
    }
    if ((settings_ & SOURCE_FORCED) != 0) keep_line_ends(in, filter);
    if ((settings_ & SOURCE_FORCED) == 0 && !detect(name, in, item, source, filter)) {
      close_stream(in);
      return;
    }
    // The conversion takes the text up from where what went out ends.
    if (passed > 0 && stream_seek(in, passed, 0) != 0) {
      tell_system_failure(name);
      fail();
      close_stream(in);
      return;
    }
    // UTF-16 is read as stored: a byte 0x0A or 0x1A may be half of a character.
    if (source == Code::utf16 && !read_as_stored(name, in)) {
      close_stream(in);
      return;
    }
    if ((settings_ & STRICT) != 0 && !converts_exactly(name, in, source)) {
      close_stream(in);
      return;
    }
    stream_forget_history(in);
    source_ = source;
    const ConversionEntry& entry = conversion_table(source, target_of(settings_));
    if (filter || (settings_ & TO_CONSOLE) != 0) {
      convert_to_console(name, entry, in);
      return;
    }
    convert_to_file(name, entry, in);
  }

  // A pipe is not held back until recognition has seen all of it: while its
  // text is plain ASCII (no ESC, SO or SI, which begin JIS, no NUL, no 8-bit
  // byte), which every target but UTF-16 writes unchanged, each block goes
  // out as it comes. The first block that is not, or that holds the 0x1A
  // that ends the text, stops it. Returns the offset of the text that went
  // out, a block edge, where the conversion later starts (recognition still
  // reads the whole text from its start); -1 when standard output failed,
  // reported.
  int64_t pass_plain_start(const std::string& name, TextStream* in) {
    int64_t passed = 0;
    in->as_it_comes = true;
    for (;;) {
      const int c = read_byte(in);  // the next block, as much as the pipe holds now
      if (c == EOF) break;
      unread_byte(c, in);
      if (in->sub_met) break;
      const unsigned char* const end = in->limit;
      const unsigned char* p = in->next;
      while (p < end && *p < 0x80 && *p != 0x1B && *p != 0x0E && *p != 0x0F && *p != 0) ++p;
      if (p != end) break;
      write_bytes(std_out(), in->next, static_cast<size_t>(end - in->next));
      in->next = in->limit;
      passed = stream_tell(in);
      if (flush_stream(std_out()) != 0 || stream_error(std_out())) {
        in->as_it_comes = false;
        check_standard_output();
        return -1;
      }
    }
    in->as_it_comes = false;
    if (stream_error(in)) return 0;  // reported with the recognition
    if (stream_seek(in, 0, 0) != 0) {
      tell_system_failure(name);
      fail();
      return -1;
    }
    return passed;
  }

  // The recognised code of the file; unreadable (and reported) when it
  // cannot be read. Recognition reads the text with its line ends folded by
  // the stream; the conversion that follows reads it again from the start.
  Recognition recognise(const std::string& name, TextStream* in) {
    const Recognition answer = recognise_code(in, path_);
    if (answer.code == Recognised::unreadable || stream_seek(in, 0, 0) != 0) {
      if (answer.code == Recognised::unreadable) last_error = in->error_code;
      tell_system_failure(name);
      fail();
      return {Recognised::unreadable, Certainty::certain};
    }
    return answer;
  }

  // Whether standard output and standard error are one file that keeps
  // what they write (2>&1 into a file or a pipe), where their blocks
  // interleave as the streams cut them. /dev/null keeps nothing.
  static bool output_shares_error_file() {
    static const bool shared = [] {
      struct stat out_st, err_st;
      if (fstat(1, &out_st) != 0 || fstat(2, &err_st) != 0) return true;
      return id_of(out_st) == id_of(err_st) && !S_ISCHR(out_st.st_mode);
    }();
    return shared;
  }

  // Lets the conversion, not the streams, handle line ends, so that a CR LF
  // goes through as it stands, where nothing else can tell: not from or to
  // a terminal, which takes line ends as they come, and not where standard
  // output shares a file with standard error. Output that ends lines with LF
  // alone (-l, and UTF-16, whose writer makes its own line ends) is left to
  // the folding stream: there a CR LF is no copy. The input holds no block yet.
  void keep_line_ends(TextStream* in, bool filter) {
    if (in->kind == StreamKind::console) return;
    if (!conversion_keeps_line_ends(target_of(settings_), (settings_ & LF_LINE_ENDS) != 0)) return;
    if ((filter || (settings_ & TO_CONSOLE) != 0) &&
        (std_out()->kind == StreamKind::console || output_shares_error_file()))
      return;
    stream_keep_line_ends(in);
  }

  // Standard output has taken what was written to it; otherwise the loss is
  // reported, and the run goes on.
  void check_standard_output() {
    TextStream* out = std_out();
    if (flush_stream(out) == 0 && !stream_error(out)) return;
    last_error = out->error_code;
    tell_system_failure(STDOUT_NAME);
    fail();
    out->failed = false;
  }

  // -g: the recognised code, with how sure it is; for text that is not
  // valid in it, where the first byte that is not stands.
  void guess(const std::string& name, TextStream* in) {
    const Recognition answer = recognise(name, in);
    if (answer.code == Recognised::unreadable) return;
    Event e;
    e.kind = EventKind::guessed;
    e.file = name;
    e.code = static_cast<uint8_t>(answer.code);
    e.certainty = static_cast<uint8_t>(answer.certainty);
    e.foreign = static_cast<uint8_t>(answer.foreign);
    e.order = static_cast<uint8_t>(answer.order);
    if (answer.certainty == Certainty::not_valid && names_code(answer.code) && answer.code != Recognised::utf16 &&
        options_.json) {
      big_endian_ = answer.order == ByteOrder::big;
      const Code code = code_of(answer.code);
      const TextPlace place = first_problem(in, code, code, convert_options());
      if (place && stream_seek(in, 0, 0) == 0) {
        e.n[0] = static_cast<uint64_t>(place.line);
        e.n[1] = static_cast<uint64_t>(place.column);
      }
      // n[2] is the offset + 1: 0 where none is known.
      if (const int64_t offset = first_invalid_byte(in, code); offset >= 0) e.n[2] = static_cast<uint64_t>(offset) + 1;
    }
    check_standard_output();
    tell(e);
    check_standard_output();
  }

  // Finds the file's code and carries out its plan (see plan_file); false
  // when the file is not converted.
  bool detect(const std::string& name, TextStream* in, const WorkItem& item, Code& source, bool filter) {
    const Recognition answer = recognise(name, in);
    if (answer.code == Recognised::unreadable) return false;
    const FilePlan plan = plan_file(answer, target_of(settings_), to_fullwidth(settings_), item.in_tree, filter);
    if (answer.code != Recognised::not_japanese) keep_line_ends(in, filter);
    if (plan.told) {
      tell(skipped_event(name, *plan.told, plan.seems != nullptr ? plan.seems : ""));
      if (*plan.told == SkipReason::not_japanese) result_.outcome = Outcome::not_japanese;
    }
    source = plan.source;
    big_endian_ = plan.big_endian;
    return plan.converts;
  }

  // Turns off the text-mode reading of the stream (CR LF folding, the 0x1A
  // end) from its start; false, reported, when it cannot go back there.
  bool read_as_stored(const std::string& name, TextStream* in) {
    in->text = false;
    if (stream_seek(in, 0, 0) == 0) return true;
    tell_system_failure(name);
    fail();
    return false;
  }

  // --strict: whether the whole text converts exactly, every byte a
  // character that the target holds and nothing after a 0x1A that ends the
  // text; otherwise the first place that does not is reported, and nothing
  // is written. The input is read twice (a pipe over what it kept).
  bool converts_exactly(const std::string& name, TextStream* in, Code source) {
    const TextPlace place = first_problem(in, source, target_of(settings_), convert_options());
    bool only_marks = true;
    const int64_t after = stream_bytes_after_end(in, only_marks);
    const int64_t mark = in->mark_offset;
    if (stream_error(in) || stream_seek(in, 0, 0) != 0) {
      last_error = stream_error(in) ? in->error_code : last_error;
      tell_system_failure(name);
      fail();
      return false;
    }
    if (place) {
      Event e = failed_event(name, FailCause::not_exact);
      e.n[0] = static_cast<uint64_t>(place.line);
      e.n[1] = static_cast<uint64_t>(place.column);
      tell(e);
    } else if (after > 0 && !only_marks) {
      Event e = failed_event(name, FailCause::text_after_end);
      e.n[0] = static_cast<uint64_t>(mark);
      e.n[1] = static_cast<uint64_t>(after);
      tell(e);
    } else {
      return true;
    }
    fail();
    return false;
  }

  // What the converter needs of the options.
  ConvertOptions convert_options() const {
    ConvertOptions options;
    options.widen = to_fullwidth(settings_);
    options.jis_variant = static_cast<uint8_t>(jis_variant_of(settings_));
    options.jis_forms = (settings_ & JIS_FORMS) != 0;
    options.lf_only = (settings_ & LF_LINE_ENDS) != 0;
    options.big_endian = big_endian_;
    options.path = path_;
    return options;
  }

  // Nothing is dropped silently: characters replaced, a character cut off by
  // the end of the text, and text after a 0x1A that ended it. A read error on the way is left to close_input.
  // The first place is found by reading the text again, where it can be read
  // again (not a pipe, whose kept bytes are gone by now).
  void report_losses(TextStream* in, Code source, const ConversionResult& found) {
    bool only_marks = true;
    const int64_t after = stream_bytes_after_end(in, only_marks);
    const int64_t mark = in->mark_offset;
    if (found.replaced > 0) {
      TextPlace place;
      if (!stream_error(in) && stream_seek(in, 0, 0) == 0)
        place = first_problem(in, source, target_of(settings_), convert_options());
      Event e;
      e.kind = EventKind::replaced;
      e.n[0] = found.replaced;
      if (place) {
        e.n[1] = static_cast<uint64_t>(place.line);
        e.n[2] = static_cast<uint64_t>(place.column);
      }
      tell(e);
    }
    if (found.cut_at_end) {
      Event e;
      e.kind = EventKind::cut_at_end;
      tell(e);
    }
    if (after > 0 && !only_marks) {
      Event e;
      e.kind = EventKind::text_ended_early;
      e.n[0] = static_cast<uint64_t>(mark);
      e.n[1] = static_cast<uint64_t>(after);
      tell(e);
    }
  }

  // Closes the input; false, with the read error reported, when reading failed.
  bool close_input(const std::string& name, TextStream* in) {
    const bool read_failed = stream_error(in);
    const int code = in->error_code;
    result_.bytes = static_cast<uint64_t>(in->raw_pos);
    close_stream(in);
    if (!read_failed) return true;
    last_error = code;
    tell_system_failure(name);
    fail();
    return false;
  }

  // Standard output that is the input file itself (kotran -c a.txt >> a.txt)
  // would be read back as it grows, without end.
  static bool output_is_input(const TextStream* in) {
    struct stat out_st, in_st;
    return fstat(std_out()->fd, &out_st) == 0 && S_ISREG(out_st.st_mode) && fstat(in->fd, &in_st) == 0 &&
           id_of(out_st) == id_of(in_st);
  }

  void convert_to_console(const std::string& name, const ConversionEntry& entry, TextStream* in) {
    if (output_is_input(in)) {
      close_stream(in);
      tell(failed_event(name, FailCause::output_is_input, STDOUT_NAME));
      fail();
      return;
    }
    // Standard output keeps line ends for this file as its input does.
    if (stream_keep_line_ends(std_out(), in->line_ends_kept) != 0) {
      close_stream(in);
      check_standard_output();
      return;
    }
    const ConversionResult found = entry.converter(in, std_out(), convert_options());
    result_.replaced = found.replaced;
    report_losses(in, source_, found);
    if (close_input(name, in)) result_.outcome = Outcome::converted;
    check_standard_output();
  }

  // Why an output would destroy a file this run still needs, was given or
  // has made; none when the output may be written.
  std::optional<FailCause> overwrite_refusal(int dirfd, const std::string& out_name, const struct stat& in_st) const {
    struct stat st;
    if (fstatat(dirfd, out_name.c_str(), &st, 0) != 0) return std::nullopt;
    return overwrite_refusal(id_of(st), in_st);
  }
  std::optional<FailCause> overwrite_refusal(const FileId& out_id, const struct stat& in_st) const {
    // In place, the output is meant to replace its input.
    if (id_of(in_st) == out_id)
      return options_.in_place ? std::nullopt : std::optional<FailCause>(FailCause::output_is_input);
    if (const auto argument = arguments_.find(out_id); argument != arguments_.end())
      return argument->second > current_ ? FailCause::output_is_later_input : FailCause::output_is_earlier_input;
    if (written_.count(out_id) != 0) return FailCause::output_written_twice;
    return std::nullopt;
  }

  void refuse(TextStream* in, const Event& why) {
    close_stream(in);
    tell(why);
    fail();
  }

  // The output of the file, by the options: beside the input, under the
  // output tree (whose folders are made), or the input's own name; *dirfd
  // is its folder held open, out_name its name there and shown_out its name
  // as the messages show it. False when there is none, reported.
  bool output_name(const std::string& name, const ConversionEntry& entry, TextStream* in, int* dirfd,
                   std::string& out_name, std::string& shown_out) {
    if (options_.in_place) {
      *dirfd = input_.fd();
      out_name = input_.name();
      shown_out = name;
      return true;
    }
    if (options_.out_dir.empty()) {
      if (build_output_name(name, entry.extension, shown_out) &&
          build_output_name(input_.name(), entry.extension, out_name)) {
        *dirfd = input_.fd();
        return true;
      }
      last_error = ERR_NAME_TOO_LONG;
    } else {
      std::string relative, relative_out;
      if (!path_in_tree(name, relative)) {
        refuse(in, failed_event(name, FailCause::outside_tree));
        return false;
      }
      if (!build_output_name(relative, entry.extension, relative_out)) {
        last_error = ERR_NAME_TOO_LONG;
      } else if ((*dirfd = tree_.folder_for(relative_out)) >= 0) {
        shown_out = tree_.dir() + "/" + relative_out;
        const size_t slash = relative_out.rfind('/');
        out_name = slash == std::string::npos ? relative_out : relative_out.substr(slash + 1);
        return true;
      } else if (tree_.blocker_mode() != 0) {
        // A regular file stands in the way as well as a link or a device does.
        const char* kind = kind_of_file(tree_.blocker_mode());
        refuse(in, failed_event(name, FailCause::output_folder_blocked, tree_.failed_path(),
                                kind != nullptr ? kind : "regular file"));
        return false;
      } else {
        close_stream(in);
        tell_system_failure(tree_.failed_path());
        fail();
        return false;
      }
    }
    close_stream(in);
    tell_system_failure(name);
    fail();
    return false;
  }

  // --in-place=SUFFIX: the name the original is kept under, in the input's
  // folder, checked as an output is; empty when there is none to make: no
  // suffix, the backup is the input already (a second link), or a backup
  // there holds the same bytes already and is kept as it is. A backup that
  // holds anything else is the user's, and refuses the file (reported,
  // *refused set).
  std::string backup_name(const std::string& name, TextStream* in, const struct stat& in_st, bool* refused) {
    *refused = false;
    if (!options_.in_place || options_.backup_suffix.empty()) return "";
    const std::string backup = input_.name() + options_.backup_suffix;
    const std::string shown = name + options_.backup_suffix;
    struct stat st;
    if (fstatat(input_.fd(), backup.c_str(), &st, 0) == 0 && id_of(st) == id_of(in_st)) return "";
    const std::optional<FailCause> refusal = overwrite_refusal(input_.fd(), backup, in_st);
    if (!refusal && fstatat(input_.fd(), backup.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISREG(st.st_mode)) {
        refuse(in, failed_event(name, FailCause::output_not_regular, shown, kind_of_file(st.st_mode)));
        *refused = true;
        return "";
      }
      const int fd = openat(input_.fd(), backup.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      const bool same = fd >= 0 && same_bytes(in->fd, fd);
      if (fd >= 0) close(fd);
      if (same) return "";
      refuse(in, failed_event(name, FailCause::backup_exists, shown));
      *refused = true;
      return "";
    }
    if (refusal) {
      refuse(in, failed_event(name, *refusal, shown));
      *refused = true;
      return "";
    }
    return backup;
  }

  void convert_to_file(const std::string& name, const ConversionEntry& entry, TextStream* in) {
    int out_dir = -1;
    std::string out_base, out_name;
    if (!output_name(name, entry, in, &out_dir, out_base, out_name)) return;
    struct stat in_st {};
    fstat(in->fd, &in_st);
    // What stands at the output name: a file the run still needs is never
    // replaced; only a regular file, or nothing, is.
    struct stat out_st;
    const bool replaces = fstatat(out_dir, out_base.c_str(), &out_st, AT_SYMLINK_NOFOLLOW) == 0;
    std::optional<FailCause> refusal;
    if (replaces && S_ISLNK(out_st.st_mode))
      refusal = overwrite_refusal(out_dir, out_base, in_st);  // where the link leads
    else if (replaces)
      refusal = overwrite_refusal(id_of(out_st), in_st);
    if (refusal) return refuse(in, failed_event(name, *refusal, out_name));
    if (replaces && !S_ISREG(out_st.st_mode))
      return refuse(in, failed_event(name, FailCause::output_not_regular, out_name, kind_of_file(out_st.st_mode)));
    bool backup_refused = false;
    const std::string backup = backup_name(name, in, in_st, &backup_refused);
    if (backup_refused) return;
    {
      Event e;
      e.kind = EventKind::converting;
      e.file = name;
      e.code = static_cast<uint8_t>(source_);
      e.target = static_cast<uint8_t>(target_of(settings_));
      e.text = entry.description;
      e.widened = to_fullwidth(settings_);
      e.name = out_name;
      if (!backup.empty()) e.other = name + options_.backup_suffix;
      tell(e);
    }
    OutputFile output;
    TextStream* out =
        output.open(out_dir, out_base, output_mode(replaces ? &out_st : nullptr, in_st.st_mode), replaces);
    if (out == nullptr) {
      tell_system_failure(out_name);
      close_stream(in);
      fail();
      return;
    }
    // In place the file keeps its extended attributes; an output beside
    // the input, or in another tree, takes the input's ACL, so that no one
    // it keeps out reads the output.
    if (const int err = output.copy_attributes(in->fd, !options_.in_place); err != 0) {
      close_stream(in);
      Event e = failed_event(name, FailCause::attributes_not_kept, out_name, std::strerror(err));
      e.error = err;
      tell(e);
      fail();
      return;
    }
    if (options_.in_place) output.keep_owner_and_times(in_st);
    out->lf_only = (settings_ & LF_LINE_ENDS) != 0;
    out->text = target_of(settings_) != Code::utf16;
    if (in->line_ends_kept) stream_keep_line_ends(out);
    const ConversionResult found = entry.converter(in, out, convert_options());
    result_.replaced = found.replaced;
    report_losses(in, source_, found);
    if (!close_input(name, in)) return;  // the incomplete output is removed
    if (!backup.empty() && !keep_backup(input_.fd(), input_.name(), backup, in_st)) {
      if (last_error == ERR_NONE)
        tell(failed_event(name, FailCause::input_changed, "", "another file"));
      else
        tell_system_failure(name + options_.backup_suffix);
      fail();
      return;  // the output is removed; the original stays
    }
    if (!output.commit()) {
      tell_system_failure(out_name);
      // A failed file leaves nothing new: not the backup either.
      struct stat st;
      if (!backup.empty() && fstatat(input_.fd(), backup.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          id_of(st) == id_of(in_st))
        unlinkat(input_.fd(), backup.c_str(), 0);
      fail();
      return;
    }
    if (output.dropped_set_id()) {
      Event e;
      e.kind = EventKind::set_id_dropped;
      tell(e);
    }
    result_.outcome = Outcome::converted;
    result_.wrote = true;
    result_.written = {output.device(), output.inode()};
    written_.insert(result_.written);
  }

  InputFolder input_;  // the file in hand's folder, held open
  const Settings settings_;
  const RunOptions& options_;
  Code source_ = Code::sjis;  // the code of the file being converted
  bool big_endian_ = false;   // it is UTF-16 without a mark, big-endian
  std::vector<WorkItem> items_;
  OutputTree tree_;
  std::unordered_map<FileId, size_t, FileIdHash> arguments_;  // each file's first place in the run
  std::unordered_set<FileId, FileIdHash> written_;
  std::unordered_map<std::string, FileId> directory_ids_;  // of outputs' folders, for output_key
  size_t current_ = 0;
  FileResult result_;  // of the file in hand
  const Path path_;  // the processor's fastest, or KOTRAN_PATH's
  Reporter* reporter_;      // where the file in hand's events go: the run's, or in a worker the worker's
  Reporter* run_reporter_;  // the run's
  std::string current_name_;  // the file in hand as the reports name it
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
  Settings settings = 0;
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
    settings = options.settings;
    Path path = Path::scalar;
    if (options_ok && !run_path(path)) {
      status = EXIT_BAD_OPTION;
      options_ok = false;
    }
    if (options_ok) {
      std_out()->lf_only = (settings & LF_LINE_ENDS) != 0;
      // UTF-16 output writes its own line ends: a byte 0x0A may be half of a character.
      std_out()->text = target_of(settings) != Code::utf16;
      install_output_cleanup();
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
