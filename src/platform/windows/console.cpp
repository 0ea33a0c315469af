#include "platform/console.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <clocale>
#include <string>

#include "platform/windows/errors.h"
#include "platform/windows/wide_names.h"

namespace kotran::platform {

namespace {

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

bool is_console(HANDLE h) {
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

bool write_bytes(HANDLE h, const char* bytes, size_t size) {
  while (size > 0) {
    DWORD wrote = 0;
    const DWORD part = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
    if (!WriteFile(h, bytes, part, &wrote, nullptr) || wrote == 0) {
      errno = windows::errno_of(GetLastError());
      return false;
    }
    bytes += wrote;
    size -= wrote;
  }
  return true;
}

}  // namespace

bool converts_messages() { return true; }

const char* host_codeset() {
  static const char* const codeset = [] {
    std::setlocale(LC_CTYPE, "");
    return "UTF-8";
  }();
  return codeset;
}

MessageForm message_form(int fd) {
  if (is_console(handle_of(fd))) return MessageForm::console;
  // Without a console GetConsoleOutputCP gives 0.
  return GetConsoleOutputCP() == 932 ? MessageForm::shift_jis : MessageForm::utf8;
}

bool write_message(int fd, std::string_view utf8) {
  const HANDLE h = handle_of(fd);
  // A standard stream the program was started without (by a program with
  // no console, as Task Scheduler starts one): the C library keeps its
  // number, with no handle (-2) behind it.
  if (h == INVALID_HANDLE_VALUE || h == reinterpret_cast<HANDLE>(-2) || h == nullptr) {
    errno = EBADF;
    return false;
  }
  const MessageForm form = message_form(fd);
  if (form == MessageForm::utf8) return write_bytes(h, utf8.data(), utf8.size());
  std::wstring text;
  if (!windows::to_wide(utf8, text)) {
    errno = EILSEQ;
    return false;
  }
  if (form == MessageForm::console) {
    // The progress line redraws itself with "ESC [ K", which a console
    // window acts on once asked to (Windows 10 and later; an older one
    // refuses, and shows the sequence).
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode) && !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING))
      SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    for (size_t at = 0; at < text.size();) {
      DWORD wrote = 0;
      const DWORD part = text.size() - at > 0x4000 ? 0x4000 : static_cast<DWORD>(text.size() - at);
      if (!WriteConsoleW(h, text.data() + at, part, &wrote, nullptr) || wrote == 0) {
        errno = EIO;
        return false;
      }
      at += wrote;
    }
    return true;
  }
  // Code page 932; a character it lacks is written as '?', as the
  // console itself would show it.
  std::string bytes;
  if (!text.empty()) {
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(932, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0) WideCharToMultiByte(932, 0, text.data(), size, bytes.data(), n, nullptr, nullptr);
  }
  return write_bytes(h, bytes.data(), bytes.size());
}

}  // namespace kotran::platform
