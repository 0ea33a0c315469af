#include "driver/driver.h"

#include <sys/stat.h>

#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "convert/first_problem.h"
#include "driver/conversion_table.h"
#include "driver/messages.h"
#include "driver/options.h"
#include "driver/output_file.h"
#include "driver/output_name.h"
#include "driver/settings.h"
#include "recognition/recognise.h"
#include "stream/error_report.h"

namespace kotran {

namespace {

constexpr const char* STDOUT_NAME = "standard output";

// A file as the file system knows it: two names of one file compare equal.
struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

struct FileIdHash {
  size_t operator()(const FileId& id) const { return std::hash<uint64_t>()(id.ino * 31 + id.dev); }
};

FileId id_of(const struct stat& st) { return {st.st_dev, st.st_ino}; }

bool file_id_of(const std::string& name, FileId& id) {
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return false;
  id = id_of(st);
  return true;
}

class FileWalk {
 public:
  FileWalk(Settings settings, std::vector<std::string> files) : settings_(settings), files_(std::move(files)) {
    // Every file argument of the run, by the first place it holds: no output
    // may replace one of them, earlier or later.
    for (size_t i = 0; i < files_.size(); ++i) {
      FileId id;
      if (file_id_of(files_[i], id)) arguments_.emplace(id, i);
    }
  }

  // Handles every file in order; the exit status.
  int run() {
    for (current_ = 0; current_ < files_.size(); ++current_) handle(files_[current_]);
    return status_;
  }

 private:
  void fail() { status_ = EXIT_FILE_FAILED; }

  void handle(const std::string& name) {
    // One stream serves recognition and conversion: recognition reads ahead
    // and comes back, which a pipe does over what it kept.
    TextStream* in = open_stream(name.c_str(), "rt");
    if (in == nullptr) {
      report_error(name.c_str());
      fail();
      return;
    }
    if ((settings_ & GUESS_ONLY) != 0) {
      guess(name, in);
      close_stream(in);
      return;
    }
    Code source = source_of(settings_);
    if ((settings_ & SOURCE_FORCED) == 0 && !detect(name, in, source)) {
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
    if ((settings_ & TO_CONSOLE) != 0) {
      convert_to_console(name, entry, in);
      return;
    }
    convert_to_file(name, entry, in);
  }

  // The recognised code of the file; unreadable (and reported) when it
  // cannot be read.
  Recognition recognise(const std::string& name, TextStream* in) {
    const Recognition answer = recognise_code(in);
    if (answer.code == Recognised::unreadable || stream_seek(in, 0, 0) != 0) {
      if (answer.code == Recognised::unreadable) last_error = in->error_code;
      report_error(name.c_str());
      fail();
      return {Recognised::unreadable, Certainty::certain};
    }
    return answer;
  }

  // Standard output has taken what was written to it; otherwise the loss is
  // reported, and the run goes on.
  void check_standard_output() {
    TextStream* out = std_out();
    if (flush_stream(out) == 0 && !stream_error(out)) return;
    last_error = out->error_code;
    report_error(STDOUT_NAME);
    fail();
    out->failed = false;
  }

  // -g: one line on standard output, "name: code (certainty)".
  void guess(const std::string& name, TextStream* in) {
    const Recognition answer = recognise(name, in);
    if (answer.code == Recognised::unreadable) return;
    const std::string line = shown_name(name) + ": " + recognised_name(answer.code) + " (" +
                             certainty_name(answer.certainty) + ")\n";
    // A report for scripts: LF alone, whatever -l says.
    TextStream* out = std_out();
    const bool lf_only = out->lf_only;
    out->lf_only = true;
    check_standard_output();
    write_bytes(out, line.data(), line.size());
    check_standard_output();
    out->lf_only = lf_only;
  }

  // Finds the file's code; false when the file is skipped.
  bool detect(const std::string& name, TextStream* in, Code& source) {
    const Recognised answer = recognise(name, in).code;
    if (answer == Recognised::unreadable) return false;
    if (answer == Recognised::ascii) {
      print_message(MSG_ASCII_FILE, {name});
      return false;
    }
    if (code_of(answer) == target_of(settings_) && !to_fullwidth(settings_)) {
      print_message(MSG_NO_NEED, {name});
      return false;
    }
    source = code_of(answer);
    return true;
  }

  // Turns off the text-mode reading of the stream (CR LF folding, the 0x1A
  // end) from its start; false, reported, when it cannot go back there.
  bool read_as_stored(const std::string& name, TextStream* in) {
    in->text = false;
    if (stream_seek(in, 0, 0) == 0) return true;
    report_error(name.c_str());
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
      report_error(name.c_str());
      fail();
      return false;
    }
    if (place) {
      print_message(MSG_STRICT_REFUSED, {name, std::to_string(place.line), std::to_string(place.column)});
    } else if (after > 0 && !only_marks) {
      print_message(MSG_STRICT_TEXT_ENDED, {name, std::to_string(mark), std::to_string(after)});
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
    return options;
  }

  // Nothing is dropped silently: characters replaced, and text after a 0x1A
  // that ended it. A read error on the way is left to close_input.
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
      if (place)
        print_message(MSG_REPLACED_AT, {std::to_string(found.replaced), std::to_string(place.line),
                                        std::to_string(place.column)});
      else
        print_message(MSG_REPLACED, {std::to_string(found.replaced)});
    }
    if (after > 0 && !only_marks)
      print_message(MSG_TEXT_ENDED_EARLY, {std::to_string(mark), std::to_string(after)});
  }

  // Closes the input; false, with the read error reported, when reading failed.
  bool close_input(const std::string& name, TextStream* in) {
    const bool read_failed = stream_error(in);
    const int code = in->error_code;
    close_stream(in);
    if (!read_failed) return true;
    last_error = code;
    report_error(name.c_str());
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
      print_message(MSG_OUTPUT_IS_INPUT, {name, STDOUT_NAME});
      fail();
      return;
    }
    const ConversionResult found = entry.converter(in, std_out(), convert_options());
    report_losses(in, source_, found);
    close_input(name, in);
    check_standard_output();
  }

  // The message that refuses an output which would destroy a file this run
  // still needs, was given or has made; null when the output may be written.
  const char* overwrite_refusal(const std::string& out_name, const struct stat& in_st) const {
    FileId out_id;
    if (!file_id_of(out_name, out_id)) return nullptr;
    if (id_of(in_st) == out_id) return MSG_OUTPUT_IS_INPUT;
    if (const auto argument = arguments_.find(out_id); argument != arguments_.end())
      return argument->second > current_ ? MSG_OUTPUT_IS_LATER_INPUT : MSG_OUTPUT_IS_EARLIER_INPUT;
    if (written_.count(out_id) != 0) return MSG_OUTPUT_WRITTEN_TWICE;
    return nullptr;
  }

  void refuse(TextStream* in, const char* message,
              std::initializer_list<std::string_view> args) {
    close_stream(in);
    print_message(message, args);
    fail();
  }

  void convert_to_file(const std::string& name, const ConversionEntry& entry, TextStream* in) {
    std::string out_name;
    if (!build_output_name(name, entry.extension, out_name)) {
      close_stream(in);
      last_error = ERR_NAME_TOO_LONG;
      report_error(name.c_str());
      fail();
      return;
    }
    struct stat in_st {};
    fstat(in->fd, &in_st);
    if (const char* refusal = overwrite_refusal(out_name, in_st)) return refuse(in, refusal, {name, out_name});
    // Only a regular file, or nothing, at the output name is replaced.
    struct stat out_st;
    const bool replaces = lstat(out_name.c_str(), &out_st) == 0;
    if (replaces && !S_ISREG(out_st.st_mode))
      return refuse(in, MSG_OUTPUT_NOT_REGULAR, {name, out_name, kind_of_file(out_st.st_mode)});
    print_message(MSG_CONVERTING, {name, entry.description});
    if (to_fullwidth(settings_)) print_message(MSG_WIDENING);
    print_message(MSG_OUTPUT_FILE, {out_name});
    OutputFile output;
    TextStream* out = output.open(out_name, output_mode(replaces ? &out_st : nullptr, in_st.st_mode), replaces);
    if (out == nullptr) {
      report_error(out_name.c_str());
      close_stream(in);
      fail();
      return;
    }
    out->lf_only = (settings_ & LF_LINE_ENDS) != 0;
    out->text = target_of(settings_) != Code::utf16;
    const ConversionResult found = entry.converter(in, out, convert_options());
    report_losses(in, source_, found);
    if (!close_input(name, in)) return;  // the incomplete output is removed
    if (!output.commit()) {
      report_error(out_name.c_str());
      fail();
      return;
    }
    FileId id;
    if (file_id_of(out_name, id)) written_.insert(id);
  }

  const Settings settings_;
  Code source_ = Code::sjis;  // the code of the file being converted
  std::vector<std::string> files_;
  std::unordered_map<FileId, size_t, FileIdHash> arguments_;  // each file argument's first place
  std::unordered_set<FileId, FileIdHash> written_;
  size_t current_ = 0;
  int status_ = EXIT_OK;
};

bool is_option(const std::string& word) { return !word.empty() && word[0] == '-'; }

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
  Settings scratch = 0;
  for (size_t i = 1; i < options_end; ++i) {
    if (words[i] != "--help" && words[i] != "--version") {
      if (parse_option(words[i].c_str(), scratch) == 0) break;
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
    for (size_t i = 1; i < options_end; ++i) {
      if (parse_option(words[i].c_str(), settings) == 0) {
        print_message(MSG_BAD_OPTION, {words[i]});
        status = EXIT_BAD_OPTION;
        options_ok = false;
        break;
      }
    }
    if (options_ok) {
      std_out()->lf_only = (settings & LF_LINE_ENDS) != 0;
      // UTF-16 output writes its own line ends: a byte 0x0A may be half of a character.
      std_out()->text = target_of(settings) != Code::utf16;
      install_output_cleanup();
      FileWalk walk(settings, std::vector<std::string>(words.begin() + static_cast<std::ptrdiff_t>(first_file), words.end()));
      status = walk.run();
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
