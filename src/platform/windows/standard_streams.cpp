#include "platform/standard_streams.h"

#include <fcntl.h>
#include <io.h>

#include <initializer_list>

namespace kotran::platform {

void binary_standard_streams() {
  for (const int fd : {0, 1, 2}) _setmode(fd, _O_BINARY);
}

}  // namespace kotran::platform
