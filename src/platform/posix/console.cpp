#include "platform/console.h"

#include <langinfo.h>
#include <strings.h>
#include <unistd.h>

#include <clocale>

#include "stream/text_stream.h"

namespace kotran::platform {

bool converts_messages() { return false; }

const char* host_codeset() {
  // The locale is loaded once; its codeset is read each time, as whoever
  // set the locale since (a caller of the library, a test) left it.
  static const bool loaded = std::setlocale(LC_CTYPE, "") != nullptr;
  (void)loaded;
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr ? codeset : "";
}

MessageForm message_form(int fd) {
  if (!isatty(fd)) return MessageForm::shift_jis;
  const char* codeset = host_codeset();
  const bool utf8 = strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0;
  return utf8 ? MessageForm::utf8 : MessageForm::shift_jis;
}

bool write_message(int fd, std::string_view text) { return write_all(fd, text.data(), text.size()); }

}  // namespace kotran::platform
