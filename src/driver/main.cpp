#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <string>
#include <vector>

#include "driver/arg_words.h"
#include "driver/driver.h"

namespace {

// A standard descriptor left closed by the caller would be taken by the next
// file opened, and messages meant for standard error would go into it: each
// closed one is held by /dev/null.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
  std::setlocale(LC_CTYPE, "");
  // The shell has split the words; those it left with wildcards are expanded here.
  const std::vector<std::string> words = kotran::prepare_arguments(argc, argv);
  return kotran::run_driver(words);
}
