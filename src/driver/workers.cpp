#include "driver/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <chrono>
#include <cstdio>
#include <cerrno>
#include <cstring>

#include "driver/driver.h"
#include "driver/event_wire.h"
#include "driver/output_file.h"
#include "driver/reporter.h"
#include "stream/text_stream.h"

namespace kotran {
namespace {

// What the workers share: the next file to take, whether memory ran out in
// one of them (then none takes another), and for each file which worker took
// it and, once finished, what became of it. The parent reads a file's slot
// only when the worker that took it has ended without reporting it, so a
// file whose events die with their worker still gets its own outcome.
struct Shared {
  std::atomic<uint32_t> next;
  std::atomic<uint32_t> stop;
};

// A file's slot. state is 0 until a worker takes the file, then the worker's
// number + 1, with FINISHED or NO_MEMORY added when it is done with it. The
// memory comes zeroed from mmap: nothing to construct per file.
struct Slot {
  uint32_t state;
  uint32_t outcome_and_wrote;
  uint64_t replaced, bytes, dev, ino;
};
constexpr uint32_t WORKER_MASK = 0xFFFF;
constexpr uint32_t FINISHED = 1u << 16;
constexpr uint32_t NO_MEMORY = 1u << 17;

uint32_t load_state(Slot& slot) { return std::atomic_ref<uint32_t>(slot.state).load(std::memory_order_acquire); }
void store_state(Slot& slot, uint32_t state) {
  std::atomic_ref<uint32_t>(slot.state).store(state, std::memory_order_release);
}

// The shared page and the slots after it, one mapping.
struct SharedMap {
  void* base = MAP_FAILED;
  size_t size = 0;
  Shared* shared = nullptr;
  Slot* slots = nullptr;

  explicit SharedMap(size_t files) {
    const size_t head = (sizeof(Shared) + alignof(Slot) - 1) / alignof(Slot) * alignof(Slot);
    size = head + files * sizeof(Slot);
    base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return;
    shared = new (base) Shared();
    shared->next.store(0);
    shared->stop.store(0);
    slots = reinterpret_cast<Slot*>(static_cast<char*>(base) + head);
  }
  ~SharedMap() {
    if (base != MAP_FAILED) munmap(base, size);
  }
  SharedMap(const SharedMap&) = delete;
  SharedMap& operator=(const SharedMap&) = delete;
};

// The record that ends each file's events on a worker's pipe: a NUL, the
// fields in hex, and a ';' (an event's frame is a NUL and 'E', which no hex
// digit is). It goes through standard error's block like the events, so
// that a worker writes many files' worth at a time.
struct Record {
  uint64_t index, outcome, wrote, replaced, bytes, dev, ino;
};

std::string record_text(const Record& r) {
  char text[160];
  const int n = std::snprintf(text, sizeof text, "%c%llx %llx %llx %llx %llx %llx %llx;", '\0',
                              static_cast<unsigned long long>(r.index), static_cast<unsigned long long>(r.outcome),
                              static_cast<unsigned long long>(r.wrote), static_cast<unsigned long long>(r.replaced),
                              static_cast<unsigned long long>(r.bytes), static_cast<unsigned long long>(r.dev),
                              static_cast<unsigned long long>(r.ino));
  return std::string(text, static_cast<size_t>(n));
}

// Reads the record whose text (after the NUL, before the ';') is text.
bool parse_record(const std::string& text, Record& r) {
  unsigned long long f[7];
  if (std::sscanf(text.c_str(), "%llx %llx %llx %llx %llx %llx %llx", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5],
                  &f[6]) != 7)
    return false;
  r = {f[0], f[1], f[2], f[3], f[4], f[5], f[6]};
  return true;
}

// A worker hands on what it holds at least this often.
constexpr auto HAND_ON_EVERY = std::chrono::milliseconds(50);

[[noreturn]] void work_as_worker(const SharedMap& map, unsigned worker, const std::vector<size_t>& indices,
                                 const std::function<FileResult(size_t, Reporter&)>& work) {
  Shared* shared = map.shared;
  // The worker's reporter sends each event to the run's process as a frame
  // on standard error, the worker's pipe; the record after a file's events
  // gives its result. The pipe carries frames, not text: nothing in them is
  // a line end.
  std_err()->text = false;
  Reporter sender(ReportForm::sent);
  const uint32_t mine = worker + 1;
  auto handed_on = std::chrono::steady_clock::now();
  for (;;) {
    if (shared->stop.load() != 0) break;
    const uint32_t i = shared->next.fetch_add(1);
    if (i >= indices.size()) break;
    Slot& slot = map.slots[i];
    store_state(slot, mine);
    try {
      const FileResult r = work(indices[i], sender);
      slot.outcome_and_wrote = static_cast<uint32_t>(r.outcome) | (r.wrote ? 0x100u : 0u);
      slot.replaced = r.replaced;
      slot.bytes = r.bytes;
      slot.dev = static_cast<uint64_t>(r.written.dev);
      slot.ino = static_cast<uint64_t>(r.written.ino);
      store_state(slot, mine | FINISHED);
      const std::string rec = record_text({i, static_cast<uint64_t>(r.outcome), r.wrote, r.replaced, r.bytes,
                                           slot.dev, slot.ino});
      write_bytes(std_err(), rec.data(), rec.size());
    } catch (const std::bad_alloc&) {
      // The run ends: no worker takes another file. What this one wrote of
      // its finished files goes on; the parent names the file in hand.
      remove_temporary_output();
      if ((load_state(slot) & FINISHED) == 0) store_state(slot, mine | NO_MEMORY);
      shared->stop.store(1);
      flush_stream(std_err());
      _exit(EXIT_NO_MEMORY);
    }
    if (stream_error(std_err())) _exit(EXIT_FILE_FAILED);
    const auto now = std::chrono::steady_clock::now();
    if (now - handed_on >= HAND_ON_EVERY) {
      flush_stream(std_err());
      handed_on = now;
    }
  }
  flush_stream(std_err());
  _exit(0);
}

struct Worker {
  pid_t pid = -1;
  int fd = -1;
  std::string pending;  // bytes read and not yet handed on
  std::vector<Event> events;  // of the file it has in hand, read whole
};

}  // namespace

// A worker process has one thread, as the run's process has.
unsigned this_worker() { return 0; }

WorkersEnd run_in_workers(const std::vector<size_t>& indices, unsigned jobs,
                          const std::function<FileResult(size_t, Reporter&)>& work,
                          const std::function<void(Report&&)>& done,
                          const std::function<Event(size_t, Loss, int)>& lost) {
  WorkersEnd end;
  if (indices.empty()) {
    end.started = true;
    return end;
  }
  if (jobs > MAX_WORKERS) jobs = MAX_WORKERS;
  if (jobs > indices.size()) jobs = static_cast<unsigned>(indices.size());
  const SharedMap map(indices.size());
  if (map.base == MAP_FAILED) {
    end.untaken = indices;
    return end;
  }
  // Nothing this process holds for standard error may go out twice.
  flush_stream(std_err());

  std::vector<Worker> workers;
  for (unsigned k = 0; k < jobs; ++k) {
    int p[2];
#if defined(KOTRAN_PORTABLE)
    // Without pipe2: both ends are marked close-on-exec straight away; no
    // other thread could exec in between.
    if (pipe(p) != 0) break;
    fcntl(p[0], F_SETFD, FD_CLOEXEC);
    fcntl(p[1], F_SETFD, FD_CLOEXEC);
#else
    if (pipe2(p, O_CLOEXEC) != 0) break;
#endif
    // No stopping signal between the fork and the worker's registration.
    sigset_t all, saved;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &saved);
    const pid_t pid = fork();
    if (pid == 0) {
      forget_workers();
      sigprocmask(SIG_SETMASK, &saved, nullptr);
      for (const Worker& w : workers) close(w.fd);
      close(p[0]);
      dup2(p[1], 2);
      close(p[1]);
      work_as_worker(map, k, indices, work);
    }
    if (pid > 0) forward_signals_to(pid);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    close(p[1]);
    if (pid < 0) {
      close(p[0]);
      break;
    }
    workers.push_back({pid, p[0], {}, {}});
  }
  if (workers.empty()) {
    end.untaken = indices;
    return end;
  }
  end.started = true;

  std::vector<bool> reported(indices.size(), false);
  int last_signal = 0;  // of a worker that ended by one
  std::vector<pollfd> fds;
  size_t open = workers.size();
  while (open > 0) {
    fds.clear();
    for (const Worker& w : workers)
      if (w.fd >= 0) fds.push_back({w.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (size_t f = 0; f < fds.size(); ++f) {
      if (fds[f].revents == 0) continue;
      size_t k = 0;
      while (workers[k].fd != fds[f].fd) ++k;
      Worker& w = workers[k];
      char buffer[65536];
      const ssize_t n = read(w.fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        w.pending.append(buffer, static_cast<size_t>(n));
        // Hand on every whole record with the events before it.
        size_t from = 0;
        for (;;) {
          const std::string_view rest(w.pending.data() + from, w.pending.size() - from);
          if (rest.size() < 2 || rest[0] != '\0') break;
          if (rest[1] == EVENT_FRAME_TAG) {
            Event event;
            const long taken = decode_event(rest, event);
            if (taken <= 0) break;
            w.events.push_back(std::move(event));
            from += static_cast<size_t>(taken);
            continue;
          }
          const size_t rec_end = rest.find(';');
          if (rec_end == std::string::npos) break;
          Record rec;
          if (!parse_record(std::string(rest.substr(1, rec_end - 1)), rec) || rec.index >= indices.size() ||
              reported[rec.index])
            break;
          reported[rec.index] = true;
          Report report;
          report.index = indices[rec.index];
          report.result = {static_cast<Outcome>(rec.outcome), rec.wrote != 0, rec.replaced, rec.bytes,
                           {rec.dev, rec.ino}};
          report.events = std::move(w.events);
          w.events.clear();
          from += rec_end + 1;
          done(std::move(report));
        }
        w.pending.erase(0, from);
        continue;
      }
      // The worker is gone. Every file it took and did not report is
      // reported here: finished (its messages gone with it) or in hand.
      close(w.fd);
      w.fd = -1;
      --open;
      int status = 0;
      while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
      }
      const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      if (sig != 0) last_signal = sig;
      const uint32_t mine = static_cast<uint32_t>(k) + 1;
      // A worker takes its files in the order of the run: the events it
      // sent after its last record are the first of the file it has not
      // reported. Only whole events are kept: the worker's end may have cut
      // the last frame, or the record that would have followed, and the
      // event that says the rest was lost tells the rest.
      std::vector<Event> lead = std::move(w.events);
      w.events.clear();
      w.pending.clear();
      for (size_t i = 0; i < indices.size(); ++i) {
        const uint32_t state = load_state(map.slots[i]);
        if ((state & WORKER_MASK) != mine || reported[i]) continue;
        reported[i] = true;
        Report report;
        report.index = indices[i];
        report.events = std::move(lead);
        lead.clear();
        if ((state & FINISHED) != 0) {
          const Slot& slot = map.slots[i];
          report.result = {static_cast<Outcome>(slot.outcome_and_wrote & 0xFF), (slot.outcome_and_wrote & 0x100) != 0,
                           slot.replaced, slot.bytes,
                           {slot.dev, slot.ino}};
          report.events.push_back(lost(indices[i], Loss::messages_lost, sig));
        } else {
          report.result.outcome = Outcome::failed;
          if ((state & NO_MEMORY) != 0)
            report.events.push_back(lost(indices[i], Loss::no_memory, 0));
          else if (sig != 0)
            report.events.push_back(lost(indices[i], Loss::killed, sig));
          else
            report.events.push_back(lost(indices[i], Loss::exited, WIFEXITED(status) ? WEXITSTATUS(status) : 0));
        }
        if ((state & NO_MEMORY) == 0) end.worker_lost = true;
        done(std::move(report));
      }
    }
  }
  forget_workers();
  end.out_of_memory = map.shared->stop.load() != 0;
  // A file taken by a worker that ended before it could mark the file its own.
  const size_t taken = std::min<size_t>(map.shared->next.load(), indices.size());
  for (size_t i = 0; i < taken; ++i) {
    if (reported[i] || load_state(map.slots[i]) != 0) continue;
    reported[i] = true;
    end.worker_lost = true;
    Report report;
    report.index = indices[i];
    report.result.outcome = Outcome::failed;
    report.events.push_back(lost(indices[i], Loss::killed, last_signal));
    done(std::move(report));
  }
  for (size_t i = taken; i < indices.size(); ++i) end.untaken.push_back(indices[i]);
  return end;
}

}  // namespace kotran
