// Prints the code of each file named, as `kotran -g` does, with libkotran.
//
//   c++ -std=c++17 recognise.cpp $(pkg-config --cflags --libs kotran) -o recognise
//   ./recognise *.txt
#include <kotran.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    kotran_recognition answer;
    if (!file.good() && !file.eof()) {
      std::cerr << argv[i] << ": cannot read\n";
      status = 1;
      continue;
    }
    if (kotran_recognise(text.data(), text.size(), &answer) != KOTRAN_OK) return 1;
    std::cout << argv[i] << ": " << answer.name << " (" << answer.detail << ")\n";
  }
  return status;
}
