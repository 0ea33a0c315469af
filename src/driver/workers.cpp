#include "driver/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cerrno>
#include <cstring>

#include "driver/output_file.h"
#include "stream/text_stream.h"

namespace kotran {
namespace {

// What the workers share: the next file to take, and the file each has in hand.
struct Shared {
  std::atomic<uint32_t> next;
  std::atomic<uint32_t> current[256];
};

// The record that ends each file's messages on a worker's pipe: a NUL (which
// no message holds: names show control bytes as \xNN), the fields in hex,
// and a ';'. It goes through standard error's block like the messages (no
// line end in it to translate), so that a worker writes many files' worth
// at a time.
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

constexpr uint32_t NONE = UINT32_MAX;
// A worker hands on what it holds at least this often.
constexpr auto HAND_ON_EVERY = std::chrono::milliseconds(50);

[[noreturn]] void work_as_worker(Shared* shared, unsigned slot, const std::vector<size_t>& indices,
                                 const std::function<FileResult(size_t)>& work) {
  auto handed_on = std::chrono::steady_clock::now();
  for (;;) {
    const uint32_t i = shared->next.fetch_add(1);
    if (i >= indices.size()) break;
    shared->current[slot].store(i);
    const FileResult r = work(indices[i]);
    const std::string rec = record_text({i, static_cast<uint64_t>(r.outcome), r.wrote, r.replaced, r.bytes,
                                         static_cast<uint64_t>(r.written.dev), static_cast<uint64_t>(r.written.ino)});
    write_bytes(std_err(), rec.data(), rec.size());
    if (stream_error(std_err())) _exit(1);
    shared->current[slot].store(NONE);
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
};

}  // namespace

bool run_in_workers(const std::vector<size_t>& indices, unsigned jobs,
                    const std::function<FileResult(size_t)>& work,
                    const std::function<void(Report&&)>& done,
                    const std::function<std::string(size_t, int)>& died) {
  if (indices.empty()) return true;
  if (jobs > 256) jobs = 256;
  if (jobs > indices.size()) jobs = static_cast<unsigned>(indices.size());
  void* map = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return false;
  auto* shared = new (map) Shared();
  shared->next.store(0);
  for (auto& c : shared->current) c.store(NONE);
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
      work_as_worker(shared, k, indices, work);
    }
    if (pid > 0) forward_signals_to(pid);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    close(p[1]);
    if (pid < 0) {
      close(p[0]);
      break;
    }
    workers.push_back({pid, p[0], {}});
  }
  if (workers.empty()) {
    munmap(map, sizeof(Shared));
    return false;
  }

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
        // Hand on every whole record with the messages before it.
        size_t from = 0;
        for (;;) {
          const size_t nul = w.pending.find('\0', from);
          const size_t end = nul == std::string::npos ? nul : w.pending.find(';', nul);
          if (end == std::string::npos) break;
          Record rec;
          if (!parse_record(w.pending.substr(nul + 1, end - nul - 1), rec) || rec.index >= indices.size()) break;
          Report report;
          report.index = indices[rec.index];
          report.result = {static_cast<Outcome>(rec.outcome), rec.wrote != 0, rec.replaced, rec.bytes,
                           {static_cast<dev_t>(rec.dev), static_cast<ino_t>(rec.ino)}};
          report.messages = w.pending.substr(from, nul - from);
          from = end + 1;
          done(std::move(report));
        }
        w.pending.erase(0, from);
        continue;
      }
      // The worker is gone: a file it had in hand was not finished.
      close(w.fd);
      w.fd = -1;
      --open;
      int status = 0;
      while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
      }
      const uint32_t current = shared->current[k].load();
      if (current != NONE) {
        Report report;
        report.index = indices[current];
        report.result.outcome = Outcome::failed;
        report.messages = w.pending + died(indices[current], WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        done(std::move(report));
      }
    }
  }
  forget_workers();
  munmap(map, sizeof(Shared));
  return true;
}

}  // namespace kotran
