// The tests' helpers that call the host (POSIX): temporary folders, files,
// processes, users, and glibc's iconv as an oracle.
#include "test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <iconv.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kotran::test {

std::string read_file(const std::string& path) {
  std::string data;
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return data;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return data;
}

std::vector<std::string> temporaries(const std::string& dir) {
  std::vector<std::string> found;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strncmp(e->d_name, ".kotran-", 8) == 0) found.push_back(e->d_name);
    closedir(d);
  }
  return found;
}

bool iconv_oracle_here() { return true; }

namespace {
// One descriptor per direction for the whole run: the tables' suites ask
// the oracle once a character.
struct IconvDirection {
  std::string to, from;
  iconv_t cd;
};
struct IconvOpened : std::vector<IconvDirection> {
  ~IconvOpened() {
    for (const auto& d : *this) iconv_close(d.cd);
  }
};
}  // namespace

bool glibc_iconv(const char* to, const char* from, const std::string& in, std::string& out) {
  static IconvOpened opened;
  static std::mutex opened_lock;
  const std::lock_guard<std::mutex> hold(opened_lock);
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  for (const auto& d : opened)
    if (d.to == to && d.from == from) cd = d.cd;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    opened.push_back({to, from, cd});
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // the initial state
  out.assign(in.size() * 2 + 64, '\0');
  size_t used = 0;
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  bool flushing = false;
  bool ok = true;
  for (;;) {
    char* dst = out.data() + used;
    size_t dst_left = out.size() - used;
    const size_t r = flushing ? iconv(cd, nullptr, nullptr, &dst, &dst_left)
                              : iconv(cd, &src, &src_left, &dst, &dst_left);
    used = out.size() - dst_left;
    if (r != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;  // then write the sequence that ends a shifted state
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    ok = false;
    break;
  }
  out.resize(used);
  return ok;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/kotran-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

namespace {

// Removes everything below the directory open as dir_fd, relative to it, so
// that paths longer than PATH_MAX (some tests make them) go too.
void remove_below(int dir_fd) {
  DIR* d = fdopendir(dup(dir_fd));
  if (d == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  for (const auto& n : names) {
    struct stat st;
    if (fstatat(dir_fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      fchmodat(dir_fd, n.c_str(), 0700, 0);  // a test may have made it read-only
      const int sub = openat(dir_fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (sub >= 0) {
        remove_below(sub);
        close(sub);
      }
      unlinkat(dir_fd, n.c_str(), AT_REMOVEDIR);
    } else {
      unlinkat(dir_fd, n.c_str(), 0);
    }
  }
}

}  // namespace

TempDir::~TempDir() {
  chmod(path_.c_str(), 0700);
  const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    remove_below(fd);
    close(fd);
  }
  rmdir(path_.c_str());
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream f(file(name), std::ios::binary);
  f << bytes;
  if (!f) throw std::runtime_error("cannot write " + file(name));
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream f(file(name), std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + file(name));
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool TempDir::exists(const std::string& name) const {
  struct stat st;
  return lstat(file(name).c_str(), &st) == 0;
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> out;
  if (DIR* d = opendir(path_.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

namespace {

std::string slurp(int fd) {
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  return data;
}

}  // namespace

namespace {

struct Child {
  std::vector<std::string> argv;  // the program first
  std::string dir;
  std::vector<std::string> extra_env;
  std::string stdout_path;  // empty: captured
  bool append = false;
  bool as_nobody = false;
};

RunResult run_child(const Child& c) {
  TempDir capture;
  if (c.as_nobody) chmod(capture.path().c_str(), 0777);
  const std::string out_file = c.stdout_path.empty() ? capture.file("stdout") : c.stdout_path;
  const std::string err_file = capture.file("stderr");
  const struct passwd* nobody = c.as_nobody ? getpwnam("nobody") : nullptr;
  if (c.as_nobody && nobody == nullptr) throw std::runtime_error("no user nobody");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(out_file.c_str(), O_WRONLY | O_CREAT | (c.append ? O_APPEND : O_TRUNC), 0666);
    int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || out < 0 || err < 0) _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    // The program starts with the standard descriptors alone, as from a
    // shell, whatever the test runner left open.
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    if (nobody != nullptr && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
      _exit(122);
    if (chdir(c.dir.c_str()) != 0) _exit(120);
    // A variable the test sets replaces the runner's own (KOTRAN_PATH, say, which a CI lane sets).
    auto set_by_test = [&c](const char* e) {
      for (const auto& x : c.extra_env) {
        const size_t eq = x.find('=');
        if (eq != std::string::npos && std::strncmp(e, x.c_str(), eq + 1) == 0) return true;
      }
      return false;
    };
    // The runner's own language does not choose kotran's: the variables
    // that would are passed only when the test sets them.
    auto chooses_language = [](const char* e) {
      for (const char* v : {"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG="})
        if (std::strncmp(e, v, std::strlen(v)) == 0) return true;
      return false;
    };
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e)
      if (!set_by_test(*e) && !chooses_language(*e)) env_strings.emplace_back(*e);
    for (const auto& e : c.extra_env) env_strings.push_back(e);
    env_strings.push_back(std::string("KOTRAN=") + KOTRAN_EXE);
    std::vector<char*> env;
    for (auto& e : env_strings) env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> argv_strings = c.argv;
    std::vector<char*> argv;
    for (auto& a : argv_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    execve(argv[0], argv.data(), env.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (c.stdout_path.empty()) {
    int fd = open(out_file.c_str(), O_RDONLY);
    if (fd >= 0) {
      r.out = slurp(fd);
      close(fd);
    }
  }
  int fd = open(err_file.c_str(), O_RDONLY);
  if (fd >= 0) {
    r.err = slurp(fd);
    close(fd);
  }
  return r;
}

std::vector<std::string> kotran_argv(const std::vector<std::string>& args) {
  std::vector<std::string> argv{KOTRAN_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

RunResult run_kotran_on_host(const std::vector<std::string>& args, const std::string& dir,
                             const std::vector<std::string>& extra_env, const std::string& stdout_path, bool append) {
  return run_child({kotran_argv(args), dir, extra_env, stdout_path, append, false});
}

bool permissions_apply() { return geteuid() != 0; }

bool can_run_as_nobody() { return geteuid() == 0 && getpwnam("nobody") != nullptr; }

RunResult run_kotran_as_nobody(const std::vector<std::string>& args, const std::string& dir) {
  return run_child({kotran_argv(args), dir, {}, "", false, true});
}

bool shell_here() { return true; }

std::string messages_on_standard_output(const std::string& sjis) { return sjis; }

RunResult run_shell(const std::string& command, const std::string& dir) {
  return run_child({{"/bin/sh", "-c", command}, dir, {}, "", false, false});
}

RunResult run_shell_as_nobody(const std::string& command, const std::string& dir) {
  return run_child({{"/bin/sh", "-c", command}, dir, {}, "", false, true});
}

}  // namespace kotran::test
