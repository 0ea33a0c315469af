// An output that appears whole or not at all: the text goes to a temporary
// file in the output's folder, which takes the output's name only when the
// text is complete.
#pragma once

#include <string>

namespace kotran::platform {

// Why an output could not be begun or put in place.
enum class OutputFault {
  none,
  not_a_file,  // a folder or a device stands at the name
  link,        // a link stands at the name (on Windows any reparse point:
               // a symbolic link, a junction, a mount point)
  taken,       // the name was free, and another took it meanwhile
  system,      // the host refused (code says why)
};

struct OutputError {
  OutputFault fault = OutputFault::none;
  unsigned long code = 0;  // the host's error number (GetLastError on Windows, errno on POSIX)
  explicit operator bool() const { return fault != OutputFault::none; }
};

class AtomicOutput {
 public:
  AtomicOutput() = default;
  // An output not put in place is discarded: its temporary is removed.
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Begins the output at `name` (the program's form of names): refuses
  // what is neither a regular file nor nothing at the name, and opens the
  // temporary (".kotran-" and random letters) in the output's folder, on
  // Windows with no sharing, so that no other program opens it meanwhile.
  OutputError open(const std::string& name);
  // The temporary's descriptor, written in binary; -1 before open.
  int fd() const { return fd_; }
  // Puts the complete text in place: for a new output the temporary takes
  // the name (MoveFileExW with MOVEFILE_WRITE_THROUGH on Windows), which
  // fails if another took the name meanwhile; an existing output is
  // replaced (ReplaceFileW, which keeps its attributes, ACL and streams).
  // The temporary is gone afterwards whatever happened.
  OutputError commit();
  // Removes the temporary; the name is left as it was.
  void discard();

 private:
  int fd_ = -1;
  bool replaces_ = false;
  std::wstring name_;
  std::wstring temporary_;
};

}  // namespace kotran::platform
