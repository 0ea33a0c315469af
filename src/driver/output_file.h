// An output file that appears under its name only when it is complete.
//
// The text is written to a temporary file beside the output and renamed over
// it on success, so an interrupted or failed run never leaves a truncated
// file under the output's name: the name holds the complete conversion or
// what it held before.
#pragma once

#include <string>

#include "stream/text_stream.h"

namespace kotran {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Opens a temporary file for the output name; null with last_error set
  // when the output cannot be written (a directory, a file that is not
  // writable, a directory that refuses new files).
  TextStream* open(const std::string& name);
  // Writes out and closes the stream and renames the file to its name; false
  // with last_error set when any of that failed (the temporary file is then
  // removed).
  bool commit();
  // Closes the stream and removes the temporary file.
  void discard();

 private:
  std::string name_;  // where the output goes (a link is followed)
  std::string temp_;
  TextStream* stream_ = nullptr;
};

// Removes a temporary output when the program is stopped by a signal.
void install_output_cleanup();

}  // namespace kotran
