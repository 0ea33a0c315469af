#include "stream/error_report.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <string>

#include "platform/console.h"
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
      return ERR_NO_SUCH_FILE;
    // Access refused.
    case EACCES:
    case EPERM:
      return ERR_PERMISSION_DENIED;
    case EMFILE:
    case ENFILE:
      return ERR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
#ifdef EDQUOT  // a host without disk quotas has no such number
    case EDQUOT:
#endif
      return ERR_NO_SPACE;
    case ENAMETOOLONG:
      return ERR_NAME_TOO_LONG;
    // Causes that have a text of their own, so that a report names them.
    case EIO:
      return ERR_IO_ERROR;
    case EISDIR:
      return ERR_IS_A_DIRECTORY;
    case EROFS:
      return ERR_READ_ONLY_FILE_SYSTEM;
    case ELOOP:
      return ERR_SYMLINK_LOOP;
    case EFBIG:
      return ERR_FILE_TOO_LARGE;
    case EPIPE:
      return ERR_BROKEN_PIPE;
    case ESPIPE:
      return ERR_INVALID_SEEK;
    case ENOMEM:
      return ERR_NOT_ENOUGH_SPACE;
    case EILSEQ:
      return ERR_ILLEGAL_BYTE_SEQUENCE;
    case EAGAIN:
      return ERR_TRY_AGAIN;
    case EBADF:
      return ERR_BAD_DESCRIPTOR;
    case ENXIO:
      return ERR_NO_SUCH_DEVICE_OR_ADDRESS;
    case ENODEV:
      return ERR_NO_SUCH_DEVICE;
    case EEXIST:
      return ERR_FILE_EXISTS;
    case EXDEV:
      return ERR_IMPROPER_LINK;
    case EMLINK:
      return ERR_TOO_MANY_LINKS;
    case ENOTEMPTY:
      return ERR_DIRECTORY_NOT_EMPTY;
    case ENOSYS:
      return ERR_NOT_IMPLEMENTED;
    case EBUSY:
      return ERR_BUSY;
    case EINTR:
      return ERR_INTERRUPTED;
    case ENOEXEC:
      return ERR_EXEC_FORMAT;
    case EDOM:
      return ERR_DOMAIN_ERROR;
    case ERANGE:
      return ERR_RESULT_TOO_LARGE;
    case EDEADLK:
      return ERR_DEADLOCK;
    case ENOLCK:
      return ERR_NO_LOCKS;
    case ESRCH:
      return ERR_NO_SUCH_PROCESS;
    case ECHILD:
      return ERR_NO_CHILD;
    case EFAULT:
      return ERR_BAD_ADDRESS;
    case ENOTTY:
      return ERR_NOT_A_TERMINAL;
    case E2BIG:
      return ERR_ARG_LIST_TOO_LONG;
    default:
      return ERR_INVALID_ARGUMENT;
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
  // Straight to the descriptor, past the block; through the host where it
  // puts messages in their form (a name in UTF-8 reads right on a console).
  if (err->before_write != nullptr) err->before_write(err->before_write_arg);
  if (platform::converts_messages())
    platform::write_message(err->fd, line);
  else
    write_all(err->fd, line.data(), line.size());
}

}  // namespace kotran
