#include "driver/file_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "codes/code.h"
#include "convert/first_problem.h"
#include "convert/line_end_setting.h"
#include "driver/conversion_table.h"
#include "driver/convert_in_parts.h"
#include "driver/file_plan.h"
#include "driver/output_file.h"
#include "driver/output_name.h"
#include "driver/settings.h"
#include "recognition/first_invalid_byte.h"
#include "recognition/recognise.h"
#include "stream/error_report.h"

namespace kotran {

namespace {

constexpr const char* STDOUT_NAME = "standard output";
constexpr const char* STDIN_NAME = "standard input";

// How a step of a file ends: the file goes on to the next step, or it ends
// here, either with all there is to tell of it told (a skip, say) or with
// the one failure that ends it, which the file's job tells once what the
// file holds open is closed.
class [[nodiscard]] Step {
 public:
  static Step on() { return Step(Kind::on); }
  static Step ends() { return Step(Kind::ends); }
  static Step fails(Event why) {
    Step s(Kind::fails);
    s.failure_ = std::move(why);
    return s;
  }
  bool goes_on() const { return kind_ == Kind::on; }
  bool failed() const { return kind_ == Kind::fails; }
  const Event& failure() const { return failure_; }

 private:
  enum class Kind : uint8_t { on, ends, fails };
  explicit Step(Kind kind) : kind_(kind) {}
  Kind kind_;
  Event failure_;
};

struct CloseStream {
  void operator()(TextStream* s) const { close_stream(s); }
};

class FileJob {
 public:
  FileJob(const RunFiles& run, const WorkItem& item, size_t index, Reporter& reporter)
      : run_(run),
        settings_(run.options.settings),
        item_(item),
        index_(index),
        name_(report_name(item)),
        reporter_(reporter) {}

  FileResult run() {
    const Step end = carry_out();
    in_.reset();
    if (end.failed()) report_failure(end.failure());
    return result_;
  }

 private:
  Step carry_out() {
    switch (item_.kind) {
      case ItemKind::link:
        tell(skipped_event(item_.path, SkipReason::link));
        return Step::ends();
      case ItemKind::special:
        tell(skipped_event(item_.path, SkipReason::special, kind_of_file(item_.mode)));
        return Step::ends();
      case ItemKind::unreadable:
        last_error = item_.error;
        return system_fails(item_.path);
      case ItemKind::standard_input:
        in_.reset(open_standard_input());
        return convert_or_guess();
      case ItemKind::file: {
        // One stream serves recognition and conversion: recognition reads
        // ahead and comes back, which a pipe does over what it kept.
        const char* became = nullptr;
        in_.reset(run_.input.open(item_, &became));
        if (in_ != nullptr) return convert_or_guess();
        if (became != nullptr) return Step::fails(failed_event(item_.path, FailCause::input_changed, "", became));
        return system_fails(item_.path);
      }
    }
    return Step::ends();
  }

  Step convert_or_guess() {
    if ((settings_ & GUESS_ONLY) != 0) return guess();
    TextStream* const in = in_.get();
    const bool filter = item_.kind == ItemKind::standard_input;
    source_ = source_of(settings_);
    // What a pipe's text began with and went out as it came (see pass_plain_start).
    int64_t passed = 0;
    if (filter && in->kind == StreamKind::pipe && (settings_ & (SOURCE_FORCED | STRICT)) == 0 &&
        target_of(settings_) != Code::utf16) {
      if (const Step s = pass_plain_start(passed); !s.goes_on()) return s;
    }
    if ((settings_ & SOURCE_FORCED) != 0) {
      keep_line_ends(filter);
    } else if (const Step s = detect(filter); !s.goes_on()) {
      return s;
    }
    // The conversion takes the text up from where what went out ends.
    if (passed > 0 && stream_seek(in, passed, 0) != 0) return system_fails(name_);
    // A text not read as text (UTF-16) is read as stored from its start.
    if (!read_as_text(source_)) {
      in->text = false;
      if (stream_seek(in, 0, 0) != 0) return system_fails(name_);
    }
    if ((settings_ & STRICT) != 0) {
      if (const Step s = converts_exactly(); !s.goes_on()) return s;
    }
    stream_forget_history(in);
    const ConversionEntry& entry = conversion_table(source_, target_of(settings_));
    if (filter || (settings_ & TO_CONSOLE) != 0) return convert_to_console(entry);
    return convert_to_file(entry);
  }

  // A pipe is not held back until recognition has seen all of it: while its
  // text is plain ASCII (no ESC, SO or SI, which begin JIS, no NUL, no 8-bit
  // byte), which every target but UTF-16 writes unchanged, each block goes
  // out as it comes. The first block that is not, or that holds the 0x1A
  // that ends the text, stops it. passed becomes the offset of the text that
  // went out, a block edge, where the conversion later starts (recognition
  // still reads the whole text from its start). The file ends when standard
  // output failed.
  Step pass_plain_start(int64_t& passed) {
    TextStream* const in = in_.get();
    int64_t out_to = 0;
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
      out_to = stream_tell(in);
      if (flush_stream(std_out()) != 0 || stream_error(std_out())) {
        in->as_it_comes = false;
        check_standard_output();
        return Step::ends();
      }
    }
    in->as_it_comes = false;
    if (stream_error(in)) return Step::on();  // reported with the recognition
    if (stream_seek(in, 0, 0) != 0) return system_fails(name_);
    passed = out_to;
    return Step::on();
  }

  // The recognised code of the file, into answer. Recognition reads the
  // text with its line ends folded by the stream; what follows reads it
  // again from the start.
  Step recognise(Recognition& answer) {
    TextStream* const in = in_.get();
    answer = recognise_code(in, run_.path);
    if (answer.code == Recognised::unreadable || stream_seek(in, 0, 0) != 0) {
      if (answer.code == Recognised::unreadable) last_error = in->error_code;
      return system_fails(name_);
    }
    return Step::on();
  }

  // The input hands its line ends over to the conversion as the run's
  // setting for the file's output says. The input holds no block yet.
  void keep_line_ends(bool filter) {
    const bool to_standard_output = filter || (settings_ & TO_CONSOLE) != 0;
    carry_line_ends(in_.get(),
                    to_standard_output ? run_.options.standard_output_line_ends : run_.options.line_ends);
  }

  // Standard output has taken what was written to it; otherwise the loss is
  // reported, and the file goes on.
  void check_standard_output() {
    TextStream* out = std_out();
    if (flush_stream(out) == 0 && !stream_error(out)) return;
    last_error = out->error_code;
    report_failure(system_failure(name_, last_error, STDOUT_NAME));
    out->failed = false;
  }

  // -g: the recognised code, with how sure it is; for text that is not
  // valid in it, where the first byte that is not stands.
  Step guess() {
    TextStream* const in = in_.get();
    Recognition answer;
    if (const Step s = recognise(answer); !s.goes_on()) return s;
    Event e;
    e.kind = EventKind::guessed;
    e.file = name_;
    e.code = static_cast<uint8_t>(answer.code);
    e.certainty = static_cast<uint8_t>(answer.certainty);
    e.foreign = static_cast<uint8_t>(answer.foreign);
    e.order = static_cast<uint8_t>(answer.order);
    if (answer.certainty == Certainty::not_valid && names_code(answer.code) && answer.code != Recognised::utf16 &&
        run_.options.json) {
      big_endian_ = answer.order == ByteOrder::big;
      const Code code = code_of(answer.code);
      const TextPlace place = first_problem_in_parts(in, code, code, convert_options());
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
    return Step::ends();
  }

  // Finds the file's code and carries out its plan (see plan_file): the
  // file goes on when it is to be converted.
  Step detect(bool filter) {
    Recognition answer;
    if (const Step s = recognise(answer); !s.goes_on()) return s;
    const FilePlan plan = plan_file(answer, target_of(settings_), to_fullwidth(settings_), item_.in_tree, filter);
    if (answer.code != Recognised::not_japanese) keep_line_ends(filter);
    if (plan.told) {
      tell(skipped_event(name_, *plan.told, plan.seems != nullptr ? plan.seems : ""));
      if (*plan.told == SkipReason::not_japanese) result_.outcome = Outcome::not_japanese;
    }
    source_ = plan.source;
    big_endian_ = plan.big_endian;
    return plan.converts ? Step::on() : Step::ends();
  }

  // --strict: whether the whole text converts exactly, every byte a
  // character that the target holds and nothing after a 0x1A that ends the
  // text; otherwise the file fails at the first place that does not, and
  // nothing is written. The input is read twice (a pipe over what it kept).
  Step converts_exactly() {
    TextStream* const in = in_.get();
    const TextPlace place = first_problem_in_parts(in, source_, target_of(settings_), convert_options());
    bool only_marks = true;
    const int64_t after = stream_bytes_after_end(in, only_marks);
    const int64_t mark = in->mark_offset;
    if (stream_error(in) || stream_seek(in, 0, 0) != 0) {
      last_error = stream_error(in) ? in->error_code : last_error;
      return system_fails(name_);
    }
    if (place) {
      Event e = failed_event(name_, FailCause::not_exact);
      e.n[0] = static_cast<uint64_t>(place.line);
      e.n[1] = static_cast<uint64_t>(place.column);
      return Step::fails(std::move(e));
    }
    if (after > 0 && !only_marks) {
      Event e = failed_event(name_, FailCause::text_after_end);
      e.n[0] = static_cast<uint64_t>(mark);
      e.n[1] = static_cast<uint64_t>(after);
      return Step::fails(std::move(e));
    }
    return Step::on();
  }

  // What the converter needs of the options.
  ConvertOptions convert_options() const {
    ConvertOptions options;
    options.widen = to_fullwidth(settings_);
    options.jis_variant = static_cast<uint8_t>(jis_variant_of(settings_));
    options.jis_forms = (settings_ & JIS_FORMS) != 0;
    options.lf_only = run_.options.line_ends.lf_only;
    options.big_endian = big_endian_;
    options.path = run_.path;
    return options;
  }

  // Nothing is dropped silently: characters replaced, a character cut off by
  // the end of the text, and text after a 0x1A that ended it. A read error on the way is left to close_input.
  // The first place is found by reading the text again, where it can be read
  // again (not a pipe, whose kept bytes are gone by now).
  void report_losses(const ConversionResult& found) {
    TextStream* const in = in_.get();
    bool only_marks = true;
    const int64_t after = stream_bytes_after_end(in, only_marks);
    const int64_t mark = in->mark_offset;
    if (found.replaced > 0) {
      TextPlace place;
      if (!stream_error(in) && stream_seek(in, 0, 0) == 0)
        place = first_problem_in_parts(in, source_, target_of(settings_), convert_options());
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

  // Closes the input; the file fails with the read error where reading failed.
  Step close_input() {
    const bool read_failed = stream_error(in_.get());
    const int code = in_->error_code;
    result_.bytes = static_cast<uint64_t>(in_->raw_pos);
    in_.reset();
    if (!read_failed) return Step::on();
    last_error = code;
    return system_fails(name_);
  }

  // Standard output that is the input file itself (kotran -c a.txt >> a.txt)
  // would be read back as it grows, without end.
  static bool output_is_input(const TextStream* in) {
    struct stat out_st, in_st;
    return fstat(std_out()->fd, &out_st) == 0 && S_ISREG(out_st.st_mode) && fstat(in->fd, &in_st) == 0 &&
           id_of(out_st) == id_of(in_st);
  }

  Step convert_to_console(const ConversionEntry& entry) {
    TextStream* const in = in_.get();
    if (output_is_input(in)) return Step::fails(failed_event(name_, FailCause::output_is_input, STDOUT_NAME));
    // Standard output keeps line ends for this file as its input does.
    if (follow_line_ends(std_out(), in) != 0) {
      in_.reset();
      check_standard_output();
      return Step::ends();
    }
    const ConversionResult found = convert_in_parts(in, std_out(), entry.converter, source_, convert_options());
    result_.replaced = found.replaced;
    report_losses(found);
    // A read error is told before what standard output lost.
    if (const Step closed = close_input(); closed.failed())
      report_failure(closed.failure());
    else
      result_.outcome = Outcome::converted;
    check_standard_output();
    return Step::ends();
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
      return run_.options.in_place ? std::nullopt : std::optional<FailCause>(FailCause::output_is_input);
    if (const auto argument = run_.arguments.find(out_id); argument != run_.arguments.end())
      return argument->second > index_ ? FailCause::output_is_later_input : FailCause::output_is_earlier_input;
    if (run_.written.count(out_id) != 0) return FailCause::output_written_twice;
    return std::nullopt;
  }

  // The output of the file, by the options: beside the input, under the
  // output tree (whose folders are made), or the input's own name; *dirfd
  // is its folder held open, out_name its name there and shown_out its name
  // as the messages show it.
  Step output_name(const ConversionEntry& entry, int* dirfd, std::string& out_name, std::string& shown_out) {
    const RunOptions& options = run_.options;
    if (options.in_place) {
      *dirfd = run_.input.fd();
      out_name = run_.input.name();
      shown_out = name_;
      return Step::on();
    }
    if (options.out_dir.empty()) {
      if (build_output_name(name_, entry.extension, shown_out) &&
          build_output_name(run_.input.name(), entry.extension, out_name)) {
        *dirfd = run_.input.fd();
        return Step::on();
      }
      last_error = ERR_NAME_TOO_LONG;
      return system_fails(name_);
    }
    std::string relative, relative_out;
    if (!path_in_tree(name_, relative)) return Step::fails(failed_event(name_, FailCause::outside_tree));
    if (!build_output_name(relative, entry.extension, relative_out)) {
      last_error = ERR_NAME_TOO_LONG;
      return system_fails(name_);
    }
    if ((*dirfd = run_.tree.folder_for(relative_out)) >= 0) {
      shown_out = run_.tree.dir() + "/" + relative_out;
      const size_t slash = relative_out.rfind('/');
      out_name = slash == std::string::npos ? relative_out : relative_out.substr(slash + 1);
      return Step::on();
    }
    if (run_.tree.blocker_mode() != 0) {
      // A regular file stands in the way as well as a link or a device does.
      const char* kind = kind_of_file(run_.tree.blocker_mode());
      return Step::fails(failed_event(name_, FailCause::output_folder_blocked, run_.tree.failed_path(),
                                      kind != nullptr ? kind : "regular file"));
    }
    return system_fails(run_.tree.failed_path());
  }

  // --in-place=SUFFIX: the name the original is kept under, in the input's
  // folder, checked as an output is; left empty when there is none to make:
  // no suffix, the backup is the input already (a second link), or a backup
  // there holds the same bytes already and is kept as it is. A backup that
  // holds anything else is the user's, and the file fails.
  Step backup_name(const struct stat& in_st, std::string& backup) {
    const RunOptions& options = run_.options;
    if (!options.in_place || options.backup_suffix.empty()) return Step::on();
    const int dirfd = run_.input.fd();
    const std::string name = run_.input.name() + options.backup_suffix;
    const std::string shown = name_ + options.backup_suffix;
    struct stat st;
    if (fstatat(dirfd, name.c_str(), &st, 0) == 0 && id_of(st) == id_of(in_st)) return Step::on();
    const std::optional<FailCause> refusal = overwrite_refusal(dirfd, name, in_st);
    if (!refusal && fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISREG(st.st_mode))
        return Step::fails(failed_event(name_, FailCause::output_not_regular, shown, kind_of_file(st.st_mode)));
      const int fd = openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      const bool same = fd >= 0 && same_bytes(in_->fd, fd);
      if (fd >= 0) close(fd);
      if (same) return Step::on();
      return Step::fails(failed_event(name_, FailCause::backup_exists, shown));
    }
    if (refusal) return Step::fails(failed_event(name_, *refusal, shown));
    backup = name;
    return Step::on();
  }

  Step convert_to_file(const ConversionEntry& entry) {
    TextStream* const in = in_.get();
    const RunOptions& options = run_.options;
    int out_dir = -1;
    std::string out_base, out_name;
    if (const Step s = output_name(entry, &out_dir, out_base, out_name); !s.goes_on()) return s;
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
    if (refusal) return Step::fails(failed_event(name_, *refusal, out_name));
    if (replaces && !S_ISREG(out_st.st_mode))
      return Step::fails(failed_event(name_, FailCause::output_not_regular, out_name, kind_of_file(out_st.st_mode)));
    std::string backup;
    if (const Step s = backup_name(in_st, backup); !s.goes_on()) return s;
    {
      Event e;
      e.kind = EventKind::converting;
      e.file = name_;
      e.code = static_cast<uint8_t>(source_);
      e.target = static_cast<uint8_t>(target_of(settings_));
      e.text = entry.description;
      e.widened = to_fullwidth(settings_);
      e.name = out_name;
      if (!backup.empty()) e.other = name_ + options.backup_suffix;
      tell(e);
    }
    // Until it is committed, the output is a temporary that goes with the file.
    OutputFile output;
    TextStream* out =
        output.open(out_dir, out_base, output_mode(replaces ? &out_st : nullptr, in_st.st_mode), replaces);
    if (out == nullptr) return system_fails(out_name);
    // In place the file keeps its extended attributes; an output beside
    // the input, or in another tree, takes the input's ACL, so that no one
    // it keeps out reads the output.
    if (const int err = output.copy_attributes(in->fd, !options.in_place); err != 0) {
      Event e = failed_event(name_, FailCause::attributes_not_kept, out_name, std::strerror(err));
      e.error = err;
      return Step::fails(std::move(e));
    }
    if (options.in_place) output.keep_owner_and_times(in_st);
    set_output_line_ends(out, run_.options.line_ends);
    follow_line_ends(out, in);
    const ConversionResult found = convert_in_parts(in, out, entry.converter, source_, convert_options());
    result_.replaced = found.replaced;
    report_losses(found);
    if (const Step s = close_input(); !s.goes_on()) return s;  // the incomplete output is removed
    const int dirfd = run_.input.fd();
    if (!backup.empty() && !keep_backup(dirfd, run_.input.name(), backup, in_st)) {
      // The output is removed; the original stays.
      if (last_error == ERR_NONE)
        return Step::fails(failed_event(name_, FailCause::input_changed, "", "another file"));
      return system_fails(name_ + options.backup_suffix);
    }
    if (!output.commit()) {
      const Step failed = system_fails(out_name);
      // A failed file leaves nothing new: not the backup either.
      struct stat st;
      if (!backup.empty() && fstatat(dirfd, backup.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          id_of(st) == id_of(in_st))
        unlinkat(dirfd, backup.c_str(), 0);
      return failed;
    }
    if (output.dropped_set_id()) {
      Event e;
      e.kind = EventKind::set_id_dropped;
      tell(e);
    }
    result_.outcome = Outcome::converted;
    result_.wrote = true;
    result_.written = {output.device(), output.inode()};
    return Step::ends();
  }

  void tell(const Event& e) { reporter_.report(e); }
  // The one place a failure of the file is told: it fails.
  void report_failure(const Event& e) {
    tell(e);
    result_.outcome = Outcome::failed;
  }
  // A failure the system named: last_error, at the path.
  Step system_fails(const std::string& path) const { return Step::fails(system_failure(name_, last_error, path)); }

  const RunFiles& run_;
  const Settings settings_;
  const WorkItem& item_;
  const size_t index_;        // the file's place in the run
  const std::string name_;    // the file as the reports name it
  Reporter& reporter_;        // the run's, or in a worker the worker's
  std::unique_ptr<TextStream, CloseStream> in_;
  Code source_ = Code::sjis;  // the code the text is read as
  bool big_endian_ = false;   // it is UTF-16 without a mark, big-endian
  FileResult result_;
};

}  // namespace

std::string report_name(const WorkItem& item) {
  return item.kind == ItemKind::standard_input ? STDIN_NAME : item.path;
}

FileResult carry_out_file(const RunFiles& run, const WorkItem& item, size_t index, Reporter& reporter) {
  return FileJob(run, item, index, reporter).run();
}

}  // namespace kotran
