#include "platform/standard_streams.h"

namespace kotran::platform {

// POSIX reads and writes every byte as it is.
void binary_standard_streams() {}

}  // namespace kotran::platform
