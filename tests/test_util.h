// Helpers shared by the tests: hex bytes, memory streams, processes.
#pragma once

#include <string>
#include <vector>

#include "driver/settings.h"
#include "stream/text_stream.h"

namespace kotran::test {

// "61 62 0A" -> the bytes; spaces are ignored.
std::string hex(const std::string& text);
// The bytes as "61 62 0A".
std::string to_hex(const std::string& bytes);

// Runs a converter over the bytes as it reads them (no line-end folding)
// with the given settings, and returns the bytes it writes (before CR LF).
std::string convert_bytes(int (*converter)(TextStream*, TextStream*), const std::string& input,
                          Settings with = 0);

// A temporary directory removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  std::vector<std::string> names() const;  // sorted, hidden ones included

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the kotran executable with the arguments in the directory, standard
// input from /dev/null; stdout and stderr captured as bytes. extra_env holds
// "NAME=value" entries added to the environment.
RunResult run_kotran(const std::vector<std::string>& args, const std::string& dir = ".",
                     const std::vector<std::string>& extra_env = {}, const std::string& stdout_path = "");
// As run_kotran, with standard output appended to the file at stdout_path.
RunResult run_kotran_appending(const std::vector<std::string>& args, const std::string& dir,
                               const std::string& stdout_path);

// Whether this process can be stopped by permission bits (not root).
bool permissions_apply();

}  // namespace kotran::test
