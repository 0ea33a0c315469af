#include <clocale>
#include <string>
#include <vector>

#include "driver/arg_words.h"
#include "driver/driver.h"

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  // The shell has split the words; those it left with wildcards are expanded here.
  const std::vector<std::string> words = kotran::prepare_arguments(argc, argv);
  return kotran::run_driver(words);
}
