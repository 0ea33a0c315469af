#include "driver/driver.h"

#include <sys/stat.h>

#include <algorithm>

#include "driver/conversion_table.h"
#include "convert/writers.h"
#include "driver/detect_code.h"
#include "driver/detect_utf8.h"
#include "driver/messages.h"
#include "driver/options.h"
#include "driver/output_file.h"
#include "driver/output_name.h"
#include "driver/settings.h"
#include "stream/error_report.h"

namespace kotran {

Settings settings = 0;

namespace {

constexpr const char* STDOUT_NAME = "standard output";
// UTF-8 as recognised, apart from detect_code's results (whose 3 means ASCII).
constexpr int RECOGNISED_UTF8 = 4;

// A file as the file system knows it: two names of one file compare equal.
struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

bool file_id_of(const std::string& name, FileId& id) {
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

class FileWalk {
 public:
  explicit FileWalk(std::vector<std::string> files) : files_(std::move(files)) {
    ids_.resize(files_.size());
    known_.resize(files_.size());
    for (size_t i = 0; i < files_.size(); ++i) known_[i] = file_id_of(files_[i], ids_[i]);
  }

  // Handles every file in order; the exit status.
  int run() {
    for (current_ = 0; current_ < files_.size(); ++current_) {
      if (!handle(files_[current_])) break;
    }
    return status_;
  }

 private:
  void fail() { status_ = EXIT_FILE_FAILED; }

  // False when the run must end (the output could not be opened).
  bool handle(const std::string& name) {
    // One stream serves recognition and conversion: recognition reads ahead
    // and comes back, which works for a pipe too while it stays within the
    // first block.
    TextStream* in = open_stream(name.c_str(), "rt");
    if (in == nullptr) {
      report_error(name.c_str());
      fail();
      return true;
    }
    if ((settings & GUESS_ONLY) != 0) {
      guess(name, in);
      close_stream(in);
      return true;
    }
    if ((settings & SOURCE_FORCED) == 0 && !detect(name, in)) {
      close_stream(in);
      return true;
    }
    const ConversionEntry& entry = conversion_table[source_of(settings)][target_of(settings)];
    if ((settings & TO_CONSOLE) != 0) {
      convert_to_console(name, entry, in);
      return true;
    }
    return convert_to_file(name, entry, in);
  }

  // The recognised code of the file, or -1 (reported) when it cannot be read.
  int recognise(const std::string& name, TextStream* in) {
    // detect_code's 3 (7-bit only) is also UTF-8's code number: UTF-8 is
    // settled first and apart.
    const int code = is_utf8_text(in) ? RECOGNISED_UTF8 : detect_code(in);
    if (code == DETECT_FAILED || stream_seek(in, 0, 0) != 0) {
      if (code == DETECT_FAILED) last_error = in->error_code;
      report_error(name.c_str());
      fail();
      return DETECT_FAILED;
    }
    return code;
  }

  // -g: one line on standard output, "name: code".
  void guess(const std::string& name, TextStream* in) {
    static const char* const names[] = {"Shift-JIS", "JIS", "EUC", "ASCII", "UTF-8"};
    const int code = recognise(name, in);
    if (code == DETECT_FAILED) return;
    const std::string line = name + ": " + names[code] + "\n";
    // A report for scripts: LF alone, whatever -l says.
    TextStream* out = std_out();
    const bool lf_only = out->lf_only;
    out->lf_only = true;
    flush_stream(out);
    write_bytes(out, line.data(), line.size());
    flush_stream(out);
    out->lf_only = lf_only;
  }

  // Finds the file's code; false when the file is skipped.
  bool detect(const std::string& name, TextStream* in) {
    int code = recognise(name, in);
    if (code == DETECT_FAILED) return false;
    if (code == DETECT_ASCII) {
      print_message(MSG_ASCII_FILE, {name});
      return false;
    }
    if (code == RECOGNISED_UTF8) code = CODE_UTF8;
    if (static_cast<unsigned>(code) == target_of(settings) && !to_fullwidth(settings)) {
      print_message(MSG_NO_NEED, {name});
      return false;
    }
    settings = with_source(settings, static_cast<unsigned>(code));
    return true;
  }

  // Nothing is replaced silently.
  static void report_replacements() {
    if (replaced_characters > 0) print_message(MSG_REPLACED, {std::to_string(replaced_characters)});
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
           out_st.st_dev == in_st.st_dev && out_st.st_ino == in_st.st_ino;
  }

  void convert_to_console(const std::string& name, const ConversionEntry& entry, TextStream* in) {
    if (output_is_input(in)) {
      close_stream(in);
      print_message(MSG_OUTPUT_IS_INPUT, {name, STDOUT_NAME});
      fail();
      return;
    }
    TextStream* out = std_out();
    replaced_characters = 0;
    if (entry.converter(in, out) == 0) {
      print_message(MSG_NOT_CONVERTED, {name});
      fail();
    }
    report_replacements();
    close_input(name, in);
    if (flush_stream(out) != 0 || stream_error(out)) {
      last_error = out->error_code;
      report_error(STDOUT_NAME);
      fail();
      out->failed = false;
    }
  }

  // The message that refuses an output which would destroy a file this run
  // still needs or has made; null when the output may be written.
  const char* overwrite_refusal(const std::string& out_name, const TextStream* in) const {
    FileId out_id;
    if (!file_id_of(out_name, out_id)) return nullptr;
    struct stat st;
    if (fstat(in->fd, &st) == 0 && FileId{st.st_dev, st.st_ino} == out_id) return MSG_OUTPUT_IS_INPUT;
    for (size_t j = current_ + 1; j < files_.size(); ++j)
      if (known_[j] && ids_[j] == out_id) return MSG_OUTPUT_IS_LATER_INPUT;
    if (std::find(written_.begin(), written_.end(), out_id) != written_.end()) return MSG_OUTPUT_WRITTEN_TWICE;
    return nullptr;
  }

  bool convert_to_file(const std::string& name, const ConversionEntry& entry, TextStream* in) {
    std::string out_name;
    if (!build_output_name(name, entry.extension, out_name)) {
      close_stream(in);
      last_error = 38;
      report_error(name.c_str());
      fail();
      return true;
    }
    if (const char* refusal = overwrite_refusal(out_name, in)) {
      close_stream(in);
      print_message(refusal, {name, out_name});
      fail();
      return true;
    }
    print_message(MSG_CONVERTING, {name, entry.description});
    if (to_fullwidth(settings)) print_message(MSG_WIDENING);
    print_message(MSG_OUTPUT_FILE, {out_name});
    OutputFile output;
    TextStream* out = output.open(out_name);
    if (out == nullptr) {
      report_error(out_name.c_str());
      close_stream(in);
      fail();
      return false;
    }
    replaced_characters = 0;
    const int converted = entry.converter(in, out);
    report_replacements();
    if (!close_input(name, in)) return true;  // the incomplete output is removed
    if (converted == 0) {
      print_message(MSG_NOT_CONVERTED, {name});
      fail();  // what was written stays
    }
    if (!output.commit()) {
      report_error(out_name.c_str());
      fail();
      return true;
    }
    FileId id;
    if (file_id_of(out_name, id)) written_.push_back(id);
    return true;
  }

  std::vector<std::string> files_;
  std::vector<FileId> ids_;
  std::vector<bool> known_;  // whether the file existed when the run began
  std::vector<FileId> written_;
  size_t current_ = 0;
  int status_ = EXIT_OK;
};

bool is_option(const std::string& word) { return !word.empty() && word[0] == '-'; }

}  // namespace

int run_driver(const std::vector<std::string>& words) {
  settings = 0;
  size_t first_file = 1;
  while (first_file < words.size() && is_option(words[first_file])) ++first_file;
  // --help and --version answer on standard output, with nothing on standard
  // error, unless a bad option stands before them.
  Settings scratch = 0;
  for (size_t i = 1; i < first_file; ++i) {
    if (words[i] != "--help" && words[i] != "--version") {
      if (parse_option(words[i].c_str(), scratch) == 0) break;
      continue;
    }
    if (words[i] == "--help")
      print_help(std_out());
    else
      print_banner(std_out());
    return flush_stream(std_out()) == 0 ? EXIT_OK : EXIT_FILE_FAILED;
  }

  print_banner(std_err());
  int status = EXIT_OK;
  if (words.size() < 2) {
    print_usage(std_err());
  } else {
    bool options_ok = true;
    for (size_t i = 1; i < first_file; ++i) {
      if (parse_option(words[i].c_str(), settings) == 0) {
        print_message(MSG_BAD_OPTION, {words[i]});
        status = EXIT_BAD_OPTION;
        options_ok = false;
        break;
      }
    }
    if (options_ok) {
      if ((settings & LF_LINE_ENDS) != 0) set_lf_line_ends(true);
      install_output_cleanup();
      FileWalk walk(std::vector<std::string>(words.begin() + static_cast<std::ptrdiff_t>(first_file), words.end()));
      status = walk.run();
    }
  }
  if (flush_stream(std_out()) != 0) {
    report_error(STDOUT_NAME);
    status = EXIT_FILE_FAILED;
  }
  flush_stream(std_err());
  return status;
}

}  // namespace kotran
