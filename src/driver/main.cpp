#include <clocale>
#include <string>
#include <vector>

#include "driver/driver.h"

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  std::vector<std::string> words(argv, argv + argc);
  return kotran::run_driver(words);
}
