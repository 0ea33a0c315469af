#include "stream/error_report.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <string>

#include "stream/text_stream.h"

namespace kotran {

const char* const error_messages[ERROR_MESSAGE_COUNT] = {
    "No error",
    "Operation not permitted",
    "No such file or directory",
    "No such process",
    "Interrupted function call",
    "Input/output error",
    "No such device or address",
    "Arg list too long",
    "Exec format error",
    "Bad file descriptor",
    "No child processes",
    "Resource temporarily unavailable",
    "Not enough space",
    "Permission denied",
    "Bad address",
    "Unknown error",
    "Resource device",
    "File exists",
    "Improper link",
    "No such device",
    "Not a directory",
    "Is a directory",
    "Invalid argument",
    "Too many open files in system",
    "Too many open files",
    "Inappropriate I/O control operation",
    "Unknown error",
    "File too large",
    "No space left on device",
    "Invalid seek",
    "Read-only file system",
    "Too many links",
    "Broken pipe",
    "Domain error",
    "Result too large",
    "Unknown error",
    "Resource deadlock avoided",
    "Unknown error",
    "Filename too long",
    "No locks available",
    "Function not implemented",
    "Directory not empty",
    "Illegal byte sequence",
    "Too many levels of symbolic links",
};

const char* error_text(int number) {
  if (number < 0 || number >= ERROR_MESSAGE_COUNT) return "Unknown error";
  return error_messages[number];
}

int error_number_from_errno(int errnum) {
  switch (errnum) {
    // A missing file or path.
    case ENOENT:
    case ENOTDIR:
      return 2;
    // Access refused.
    case EACCES:
    case EPERM:
      return 13;
    case EMFILE:
    case ENFILE:
      return 24;
    case ENOSPC:
    case EDQUOT:
      return 28;
    case ENAMETOOLONG:
      return 38;
    // Causes that have a text of their own, so that a report names them.
    case EIO:
      return 5;
    case EISDIR:
      return 21;
    case EROFS:
      return 30;
    case ELOOP:
      return 43;
    case EFBIG:
      return 27;
    case EPIPE:
      return 32;
    case ESPIPE:
      return 29;
    case ENOMEM:
      return 12;
    case EILSEQ:
      return 42;
    case EAGAIN:
      return 11;
    case EBADF:
      return 9;
    case ENXIO:
      return 6;
    case ENODEV:
      return 19;
    case EEXIST:
      return 17;
    case EXDEV:
      return 18;
    case EMLINK:
      return 31;
    case ENOTEMPTY:
      return 41;
    case ENOSYS:
      return 40;
    case EBUSY:
      return 16;
    case EINTR:
      return 4;
    case ENOEXEC:
      return 8;
    case EDOM:
      return 33;
    case ERANGE:
      return 34;
    case EDEADLK:
      return 36;
    case ENOLCK:
      return 39;
    case ESRCH:
      return 3;
    case ECHILD:
      return 10;
    case EFAULT:
      return 14;
    case ENOTTY:
      return 25;
    case E2BIG:
      return 7;
    default:
      return 22;
  }
}

void set_last_error_from_errno(int errnum) { last_error = error_number_from_errno(errnum); }

std::string shown_name(std::string_view name) {
  static const char digits[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(name.size());
  for (const char ch : name) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x20 && b != 0x7F) {
      shown += ch;
      continue;
    }
    shown += "\\x";
    shown += digits[b >> 4];
    shown += digits[b & 15];
  }
  return shown;
}

void report_error(const char* name) {
  TextStream* err = std_err();
  // What standard output and standard error still hold was written before
  // this report, standard output in whole blocks.
  settle_standard_output();
  flush_stream(err);
  std::string line;
  if (name != nullptr && name[0] != '\0') {
    line += shown_name(name);
    line += ": ";
  }
  line += error_text(last_error);
  line += err->lf_only ? "\n" : "\r\n";
  // Straight to the descriptor, past the block.
  write_all(err->fd, line.data(), line.size());
}

}  // namespace kotran
