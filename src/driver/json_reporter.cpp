// --json: the reports as JSON Lines on standard output, one object a file
// (the events of a file gathered into it), then one summary object. Strings
// are UTF-8 always: a file name that is not valid UTF-8 is given as
// {"bytes": "<base64>"}, so that it comes back byte for byte. Reasons and
// causes are stable identifiers; the human message beside them is English
// whatever the locale, so that the same run gives the same lines anywhere.
#include <cerrno>
#include <string>
#include <vector>

#include "codes/code.h"
#include "driver/reporter.h"
#include "recognition/recognised.h"
#include "stream/error_report.h"
#include "stream/text_stream.h"

namespace kotran {
namespace {

// The length of the valid UTF-8 character at s[i] (shortest form, no
// surrogate, at most U+10FFFF); 0 when none begins there.
size_t utf8_length(std::string_view s, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned b = at(i);
  if (b < 0x80) return 1;
  size_t n;
  unsigned low = 0x80, high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (size_t k = 2; k < n; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return n;
}

bool valid_utf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8_length(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// A JSON string of UTF-8 text; a byte that begins no character becomes U+FFFD.
void append_string(std::string& out, std::string_view s) {
  static const char digits[] = "0123456789abcdef";
  out += '"';
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8_length(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    const auto b = static_cast<unsigned char>(s[i]);
    if (n > 1) {
      out.append(s.substr(i, n));
    } else if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b == '\n') {
      out += "\\n";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b == '\t') {
      out += "\\t";
    } else if (b < 0x20) {
      out += "\\u00";
      out += digits[b >> 4];
      out += digits[b & 15];
    } else {
      out += static_cast<char>(b);
    }
    i += n;
  }
  out += '"';
}

void append_base64(std::string& out, std::string_view s) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t i = 0;
  for (; i + 3 <= s.size(); i += 3) {
    const uint32_t v = static_cast<unsigned char>(s[i]) << 16 | static_cast<unsigned char>(s[i + 1]) << 8 |
                       static_cast<unsigned char>(s[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += digits[(v >> shift) & 63];
  }
  if (i < s.size()) {
    uint32_t v = static_cast<unsigned char>(s[i]) << 16;
    if (i + 1 < s.size()) v |= static_cast<unsigned char>(s[i + 1]) << 8;
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < s.size() ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
}

// A name as JSON: a string where it is UTF-8, else its bytes in base64.
void append_name(std::string& out, std::string_view name) {
  if (valid_utf8(name)) return append_string(out, name);
  out += "{\"bytes\":\"";
  append_base64(out, name);
  out += "\"}";
}

// The host's name of the error number an ErrorCause stands for.
const char* errno_name(int cause) {
  switch (cause) {
    case ERR_NOT_PERMITTED: return "EPERM";
    case ERR_NO_SUCH_FILE: return "ENOENT";
    case ERR_NO_SUCH_PROCESS: return "ESRCH";
    case ERR_INTERRUPTED: return "EINTR";
    case ERR_IO_ERROR: return "EIO";
    case ERR_NO_SUCH_DEVICE_OR_ADDRESS: return "ENXIO";
    case ERR_ARG_LIST_TOO_LONG: return "E2BIG";
    case ERR_EXEC_FORMAT: return "ENOEXEC";
    case ERR_BAD_DESCRIPTOR: return "EBADF";
    case ERR_NO_CHILD: return "ECHILD";
    case ERR_TRY_AGAIN: return "EAGAIN";
    case ERR_NOT_ENOUGH_SPACE: return "ENOMEM";
    case ERR_PERMISSION_DENIED: return "EACCES";
    case ERR_BAD_ADDRESS: return "EFAULT";
    case ERR_BUSY: return "EBUSY";
    case ERR_FILE_EXISTS: return "EEXIST";
    case ERR_IMPROPER_LINK: return "EXDEV";
    case ERR_NO_SUCH_DEVICE: return "ENODEV";
    case ERR_NOT_A_DIRECTORY: return "ENOTDIR";
    case ERR_IS_A_DIRECTORY: return "EISDIR";
    case ERR_INVALID_ARGUMENT: return "EINVAL";
    case ERR_TOO_MANY_OPEN_FILES_IN_SYSTEM: return "ENFILE";
    case ERR_TOO_MANY_OPEN_FILES: return "EMFILE";
    case ERR_NOT_A_TERMINAL: return "ENOTTY";
    case ERR_FILE_TOO_LARGE: return "EFBIG";
    case ERR_NO_SPACE: return "ENOSPC";
    case ERR_INVALID_SEEK: return "ESPIPE";
    case ERR_READ_ONLY_FILE_SYSTEM: return "EROFS";
    case ERR_TOO_MANY_LINKS: return "EMLINK";
    case ERR_BROKEN_PIPE: return "EPIPE";
    case ERR_DOMAIN_ERROR: return "EDOM";
    case ERR_RESULT_TOO_LARGE: return "ERANGE";
    case ERR_DEADLOCK: return "EDEADLK";
    case ERR_NAME_TOO_LONG: return "ENAMETOOLONG";
    case ERR_NO_LOCKS: return "ENOLCK";
    case ERR_NOT_IMPLEMENTED: return "ENOSYS";
    case ERR_DIRECTORY_NOT_EMPTY: return "ENOTEMPTY";
    case ERR_ILLEGAL_BYTE_SEQUENCE: return "EILSEQ";
    case ERR_SYMLINK_LOOP: return "ELOOP";
    default: return nullptr;
  }
}

// The host's name of an errno value that the attributes' calls give.
const char* host_errno_name(int errnum) {
  switch (errnum) {
#if defined(ENOTSUP)
    case ENOTSUP: return "ENOTSUP";
#endif
#if defined(EOPNOTSUPP) && (!defined(ENOTSUP) || EOPNOTSUPP != ENOTSUP)
    case EOPNOTSUPP: return "EOPNOTSUPP";
#endif
#if defined(EDQUOT)
    case EDQUOT: return "EDQUOT";
#endif
    case ENOTDIR: return "ENOTDIR";
    case ENOENT: return "ENOENT";
    default: return errno_name(error_number_from_errno(errnum));
  }
}

constexpr const char* skip_names[] = {"ascii", "no_conversion_needed", "symbolic_link", "not_regular_file",
                                      "binary", "not_japanese", "not_text"};
constexpr const char* cause_names[] = {
    "system",           "output_is_input",      "output_is_later_input", "output_is_earlier_input",
    "output_written_twice", "output_not_regular", "not_exact",           "text_after_end",
    "outside_output_folder", "output_folder_not_folder", "input_changed", "backup_exists",
    "attributes_not_kept", "worker_killed",     "worker_exited",         "no_memory",
    "messages_lost",    "not_taken_no_memory"};

constexpr const char* certainty_ids[] = {"certain", "likely", "guess", "not_valid"};

// What a text that is not Japanese seems to be ("EUC-KR?"), without the
// question mark that the text form puts after a guess.
std::string_view seems(std::string_view name) {
  if (!name.empty() && name.back() == '?') name.remove_suffix(1);
  return name;
}

class JsonObject {
 public:
  JsonObject() { text_ = "{"; }
  JsonObject& key(const char* k) {
    if (text_.size() > 1) text_ += ',';
    append_string(text_, k);
    text_ += ':';
    return *this;
  }
  JsonObject& string(const char* k, std::string_view v) {
    key(k);
    append_string(text_, v);
    return *this;
  }
  JsonObject& name(const char* k, std::string_view v) {
    key(k);
    append_name(text_, v);
    return *this;
  }
  JsonObject& number(const char* k, uint64_t v) {
    key(k);
    text_ += std::to_string(v);
    return *this;
  }
  JsonObject& boolean(const char* k, bool v) {
    key(k);
    text_ += v ? "true" : "false";
    return *this;
  }
  JsonObject& place(const char* k, uint64_t line, uint64_t column) {
    key(k);
    text_ += "{\"line\":" + std::to_string(line) + ",\"column\":" + std::to_string(column) + "}";
    return *this;
  }
  JsonObject& raw(const std::string& json) {
    text_ += json;
    return *this;
  }
  std::string text() const { return text_ + "}"; }
  std::string line() const { return text_ + "}\n"; }

 private:
  std::string text_;
};

// Standard output holds nothing but these lines, which end with LF alone
// whatever -l says (see the Reporter's constructor).
void write_line(const std::string& line) { write_bytes(std_out(), line.data(), line.size()); }

// The fields of a skip or a failure.
void add_skip(JsonObject& o, const Event& e) {
  o.string("reason", skip_names[e.why]);
  if (e.skip_is(SkipReason::not_japanese)) o.string("seems", seems(e.text));
  if (e.skip_is(SkipReason::special)) o.string("what", e.text);
  o.string("message", english_reason(e));
}

// has_output: the line names the output already (the conversion had begun).
void add_failure(JsonObject& o, const Event& e, const std::string& file, bool has_output) {
  const auto cause = static_cast<FailCause>(e.why);
  o.string("cause", cause_names[e.why]);
  switch (cause) {
    case FailCause::system:
      if (const char* name = errno_name(e.error)) o.string("errno", name);
      if (e.name != file) o.name("path", e.name);
      break;
    case FailCause::output_is_input:
    case FailCause::output_is_later_input:
    case FailCause::output_is_earlier_input:
    case FailCause::output_written_twice: o.name("output", e.name); break;
    case FailCause::output_not_regular: o.name("output", e.name).string("what", e.text); break;
    case FailCause::not_exact: o.place("first_problem", e.n[0], e.n[1]); break;
    case FailCause::text_after_end: o.number("end_offset", e.n[0]).number("bytes_after", e.n[1]); break;
    case FailCause::output_folder_blocked: o.name("folder", e.name).string("what", e.text); break;
    case FailCause::input_changed: o.string("became", e.text); break;
    case FailCause::backup_exists: o.name("backup", e.name); break;
    case FailCause::attributes_not_kept:
      if (!has_output) o.name("output", e.name);
      if (const char* name = host_errno_name(e.error)) o.string("errno", name);
      break;
    case FailCause::worker_killed: o.number("signal", e.n[0]); break;
    case FailCause::worker_exited: o.number("exit_status", e.n[1]); break;
    case FailCause::messages_lost:
      if (e.n[0] != 0)
        o.number("signal", e.n[0]);
      else
        o.number("exit_status", e.n[1]);
      break;
    case FailCause::outside_tree:
    case FailCause::worker_no_memory:
    case FailCause::not_taken_no_memory: break;
  }
  o.string("message", english_reason(e));
}

// -g's answer: the code and how sure, or what a text that is not Japanese
// seems to be.
void add_guess(JsonObject& o, const Event& e) {
  const Recognition answer{static_cast<Recognised>(e.code), static_cast<Certainty>(e.certainty),
                           static_cast<Foreign>(e.foreign), static_cast<ByteOrder>(e.order)};
  o.string("code", answer_name(answer));
  if (answer.code == Recognised::not_japanese) {
    o.string("seems", seems(foreign_name(answer.foreign)));
    return;
  }
  o.string("certainty", certainty_ids[e.certainty]);
  if (e.n[0] == 0 && e.n[2] == 0) return;
  // Where the first sequence that is no character stands: its offset as
  // stored, and its line and column as --strict counts them.
  o.key("first_invalid");
  JsonObject place;
  if (e.n[2] != 0) place.number("offset", e.n[2] - 1);
  if (e.n[0] != 0) place.number("line", e.n[0]).number("column", e.n[1]);
  o.raw(place.text());
}

}  // namespace

void write_json_line(const std::string& file, const FileResult& result, const std::vector<Event>& events) {
  const Event* guessed = nullptr;
  const Event* converting = nullptr;
  const Event* skip = nullptr;
  const Event* failure = nullptr;  // the first: the others follow from it
  const Event* lost = nullptr;
  for (const Event& e : events) {
    if (e.kind == EventKind::guessed && guessed == nullptr) guessed = &e;
    if (e.kind == EventKind::converting && converting == nullptr) converting = &e;
    if (e.kind == EventKind::skipped && skip == nullptr) skip = &e;
    if (e.cause_is(FailCause::messages_lost))
      lost = &e;
    else if (e.kind == EventKind::failed && failure == nullptr)
      failure = &e;
  }
  if (failure == nullptr && result.outcome == Outcome::failed) failure = lost;  // nothing else is known
  const char* type = result.outcome == Outcome::failed      ? "failed"
                     : guessed != nullptr                   ? "guess"
                     : result.outcome == Outcome::converted ? "converted"
                                                            : "skipped";
  JsonObject o;
  o.string("type", type).name("file", file);
  if (guessed != nullptr) add_guess(o, *guessed);
  if (converting != nullptr) {
    o.string("source", info_of(static_cast<Code>(converting->code)).name)
        .string("target", info_of(static_cast<Code>(converting->target)).name)
        .name("output", converting->name);
    if (converting->widened) o.boolean("widened", true);
    if (!converting->other.empty()) o.name("backup", converting->other);
  }
  if (result.outcome == Outcome::converted || converting != nullptr) o.number("replaced", result.replaced);
  for (const Event& e : events) {
    switch (e.kind) {
      case EventKind::replaced:
        if (e.n[1] != 0) o.place("first_replaced", e.n[1], e.n[2]);
        break;
      case EventKind::cut_at_end: o.boolean("cut_at_end", true); break;
      case EventKind::text_ended_early: o.number("end_offset", e.n[0]).number("bytes_after", e.n[1]); break;
      case EventKind::set_id_dropped: o.boolean("set_id_dropped", true); break;
      default: break;
    }
  }
  if (skip != nullptr && result.outcome != Outcome::failed && result.outcome != Outcome::converted)
    add_skip(o, *skip);
  if (failure != nullptr) add_failure(o, *failure, file, converting != nullptr);
  if (lost != nullptr && lost != failure) {
    // The file was done, but what its worker said of it was lost with the worker.
    if (lost->n[0] != 0)
      o.number("messages_lost_signal", lost->n[0]);
    else
      o.number("messages_lost_exit_status", lost->n[1]);
  }
  write_line(o.line());
}

void write_json_summary(const Event& e) {
  // files, converted, skipped, not Japanese, replaced, failed, status, guess_only
  JsonObject o;
  o.string("type", "summary").number("files", e.n[0]);
  if (e.n[7] != 0) {
    o.number("guessed", e.n[2]);
  } else {
    o.number("converted", e.n[1]).number("skipped", e.n[2]).number("not_japanese", e.n[3]);
    o.number("replaced", e.n[4]);
  }
  o.number("failed", e.n[5]).number("status", e.n[6]);
  write_line(o.line());
}

}  // namespace kotran
