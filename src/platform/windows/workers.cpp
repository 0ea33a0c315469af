// Windows starts no worker processes (it has no fork): every file is
// converted by this process, one after another, in the order of the files,
// whatever --jobs asks for.
#include "driver/workers.h"

namespace kotran {

// The one thread converts every file.
unsigned this_worker() { return 0; }

WorkersEnd run_in_workers(const std::vector<size_t>& indices, unsigned,
                          const std::function<FileResult(size_t, Reporter&)>&, const std::function<void(Report&&)>&,
                          const std::function<Event(size_t, Loss, int)>&) {
  WorkersEnd end;
  end.untaken = indices;
  return end;
}

}  // namespace kotran
