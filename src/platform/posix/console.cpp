#include "platform/console.h"

#include <langinfo.h>
#include <strings.h>
#include <unistd.h>

#include "stream/text_stream.h"

namespace kotran::platform {

bool converts_messages() { return false; }

MessageForm message_form(int fd) {
  const char* codeset = nl_langinfo(CODESET);
  const bool utf8 = codeset != nullptr && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
  return isatty(fd) && utf8 ? MessageForm::utf8 : MessageForm::shift_jis;
}

bool write_message(int fd, std::string_view text) { return write_all(fd, text.data(), text.size()); }

}  // namespace kotran::platform
