#include <fcntl.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "driver/arg_words.h"
#include "driver/driver.h"
#include "driver/messages.h"
#include "driver/output_file.h"
#include "platform/console.h"
#include "platform/standard_streams.h"

namespace {

// A standard descriptor left closed by the caller would be taken by the next
// file opened, and messages meant for standard error would go into it: each
// closed one is held. Standard input is held by a descriptor that refuses
// reads and standard output by one that refuses writes, so that a closed
// one is reported ("Bad file descriptor") as cat reports it, rather than
// read as empty text or written into nothing with success. Standard error
// closed by the caller keeps no messages: the status still tells.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    const int null = open("/dev/null", fd == 1 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
  kotran::platform::binary_standard_streams();
  // The language, and on a terminal the locale's codeset, are known before
  // anything can run out of memory: the message that says so needs them.
  kotran::english_messages();
  if (isatty(2)) kotran::platform::host_codeset();
  // The words as the host split them; wildcard words the shell left are
  // expanded here.
  const std::vector<std::string> words = kotran::prepare_arguments(argc, argv);
  try {
    return kotran::run_driver(words);
  } catch (const std::bad_alloc&) {
    // What was being written is gone with the unwinding; the run cannot go on.
    kotran::remove_temporary_output();
    kotran::print_out_of_memory();
    return kotran::EXIT_NO_MEMORY;
  }
}
