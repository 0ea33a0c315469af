// The README's recipes for converting an archive across hosts with GNU
// parallel, run as written on a small tree of Shift-JIS and EUC files, and
// every output checked byte for byte against what kotran writes when run on
// the same file directly.
//
// The hosts host1 and host2 are this machine: an `ssh` ahead on PATH runs
// each command as sshd would, through a shell, in the host's own home
// folder under remote/, with the account's HOME and SHELL. So GNU parallel does all it does with real hosts:
// asks each for its number of cores, and in the transfer recipe copies each
// file there with rsync, brings the output back and removes both there.
// (With `-S :` it would copy nothing: it ignores --transferfile and --return
// for the local host.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "sample_text.h"
#include "test_util.h"

namespace kotran {
namespace {

namespace fs = std::filesystem;
using test::run_shell;
using test::TempDir;
using test::to_hex;

// Hosts that see the archive at the same path: each job is kotran as a
// filter, reading and writing there.
const char kFilterRecipe[] =
    R"(cd archive && find "$PWD" -name '*.txt' -print0 |)"
    R"( parallel -0 -S host1,host2 'kotran -u - < {} > {.}.utf8')";
// Hosts with disks of their own: each file is copied there, converted by
// kotran, and its output (kotran's name for it, {utf8}) copied back.
const char kTransferRecipe[] =
    R"(find archive -name '*.txt' -print0 |)"
    R"( RSYNC_OLD_ARGS=1 parallel -0 -S 1/host1,1/host2 --rpl '{utf8} s:\.[^/]*$:.utf8:' --trc {utf8} kotran -u {})";

struct File {
  std::string path;           // under archive/
  std::string bytes;          // as stored
  std::string filter_output;  // {.}.utf8
  std::string kotran_output;  // the name kotran gives the output
};

// A text of tests/corpus in glibc's form of the code.
std::string corpus_in(const std::string& name, const char* code) {
  std::string out;
  EXPECT_TRUE(test::glibc_iconv(code, "UTF-8", test::read_file(std::string(KOTRAN_SOURCE_DIR) + "/tests/corpus/" + name), out))
      << name << " in " << code;
  return out;
}

std::vector<File> archive() {
  return {
      {"notes.txt", test::kSjisText, "notes.utf8", "notes.utf8"},
      {"letters/2019 spring/to my aunt.txt", corpus_in("letter.txt", "EUC-JP"),
       "letters/2019 spring/to my aunt.utf8", "letters/2019 spring/to my aunt.utf8"},
      {"letters/2019 spring/travel notes.v2.txt", corpus_in("travel.txt", "CP932"),
       "letters/2019 spring/travel notes.v2.utf8", "letters/2019 spring/travel notes.utf8"},
      {"manuals/old ones/Ann's manual (1998).txt", corpus_in("manual.txt", "EUC-JP"),
       "manuals/old ones/Ann's manual (1998).utf8", "manuals/old ones/Ann's manual (1998).utf8"},
      {"manuals/old ones/a/b/katakana.txt", corpus_in("katakana.txt", "CP932"),
       "manuals/old ones/a/b/katakana.utf8", "manuals/old ones/a/b/katakana.utf8"},
  };
}

// notes.txt in UTF-8: "日本語の文章です。" / "abc 漢字とカタカナ、表示。", CR LF.
const char kNotesUtf8[] =
    "E6 97 A5 E6 9C AC E8 AA 9E E3 81 AE E6 96 87 E7 AB A0 E3 81 A7 E3 81 99 E3 80 82 0D 0A "
    "61 62 63 20 E6 BC A2 E5 AD 97 E3 81 A8 E3 82 AB E3 82 BF E3 82 AB E3 83 8A E3 80 81 E8 A1 A8 E7 A4 BA E3 80 82 0D 0A";

void write_tree(const TempDir& dir, const std::vector<File>& files) {
  for (const File& f : files) {
    fs::create_directories(fs::path(dir.file("archive/" + f.path)).parent_path());
    dir.write("archive/" + f.path, f.bytes);
  }
}

// The files below the folder, relative to it, sorted.
std::vector<std::string> files_below(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    names.push_back(fs::relative(e.path(), folder).string() + (e.is_directory() ? "/" : ""));
  std::sort(names.begin(), names.end());
  return names;
}

// kotran and the stand-in ssh in bin/, a home for GNU parallel here (its
// citation notice acknowledged, as its manual says, and no one's own
// ~/.parallel/config read) and the homes of host1 and host2.
void set_up_hosts(const TempDir& dir) {
  fs::create_directories(dir.file("bin"));
  fs::create_directories(dir.file("home/.parallel"));
  dir.write("home/.parallel/will-cite", "");
  fs::create_directories(dir.file("remote/host1"));
  fs::create_directories(dir.file("remote/host2"));
  std::error_code made;
  fs::create_symlink(KOTRAN_EXE, dir.file("bin/kotran"), made);
  ASSERT_FALSE(made) << made.message();
  dir.write("bin/ssh",
            "#!/bin/sh\n"
            "# ssh HOST [--] COMMAND...: COMMAND through a shell in HOST's home.\n"
            "host=$1; shift\n"
            "echo \"$host\" >> '" + dir.file("ssh.log") + "'\n"
            "[ \"$1\" = -- ] && shift\n"
            "# sshd sets HOME and SHELL from the account whatever the caller had;\n"
            "# GNU parallel runs each remote job with $SHELL.\n"
            "shell=$(getent passwd \"$(id -u)\" | cut -d: -f7)\n"
            "cd '" + dir.file("remote") + "'/\"$host\" && HOME=$PWD SHELL=${shell:-/bin/sh} exec sh -c \"$*\"\n");
  fs::permissions(dir.file("bin/ssh"), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec, made);
  ASSERT_FALSE(made) << made.message();
}

TEST(ParallelRecipe, EachRecipeWritesWhatKotranWritesFileByFile) {
  SKIP_ON_WINDOWS("GNU parallel, ssh and rsync, run by a POSIX shell");
  const auto gnu = run_shell("parallel --version", ".");
  if (gnu.status != 0 || gnu.out.find("GNU parallel") == std::string::npos)
    GTEST_SKIP() << "GNU parallel is not installed (Debian package parallel)";
  if (run_shell("command -v rsync", ".").status != 0)
    GTEST_SKIP() << "rsync, which GNU parallel copies files with, is not installed";

  const std::vector<File> files = archive();
  TempDir direct;
  write_tree(direct, files);
  for (const File& f : files) {
    const auto r = test::run_kotran({"-u", "archive/" + f.path}, direct.path());
    ASSERT_EQ(r.status, 0) << f.path << "\n" << r.err;
  }
  EXPECT_EQ(to_hex(direct.read("archive/notes.utf8")), kNotesUtf8);

  const struct {
    const char* command;
    std::string File::*output;
  } recipes[] = {{kFilterRecipe, &File::filter_output}, {kTransferRecipe, &File::kotran_output}};
  for (const auto& recipe : recipes) {
    SCOPED_TRACE(recipe.command);
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(set_up_hosts(dir));
    write_tree(dir, files);
    std::vector<std::string> expected_tree;
    for (const File& f : files) {
      for (fs::path p = f.path; !p.parent_path().empty(); p = p.parent_path())
        expected_tree.push_back(p.parent_path().string() + "/");
      expected_tree.push_back(f.path);
      expected_tree.push_back(f.*recipe.output);
    }
    std::sort(expected_tree.begin(), expected_tree.end());
    expected_tree.erase(std::unique(expected_tree.begin(), expected_tree.end()), expected_tree.end());

    const auto r = run_shell(std::string("export HOME=\"$PWD/home\" PATH=\"$PWD/bin:$PATH\"; ") + recipe.command,
                             dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const File& f : files)
      EXPECT_EQ(to_hex(test::read_file(dir.file("archive/" + f.*recipe.output))),
                to_hex(direct.read("archive/" + f.kotran_output)))
          << f.path;
    EXPECT_EQ(files_below(dir.file("archive")), expected_tree) << "every output, and nothing else";
    EXPECT_EQ(files_below(dir.file("remote")), (std::vector<std::string>{"host1/", "host2/"}))
        << "nothing left on the hosts";
    const std::string logins = dir.read("ssh.log");  // one line a login, naming the host
    EXPECT_NE(logins.find("host1"), std::string::npos) << logins;
    EXPECT_NE(logins.find("host2"), std::string::npos) << logins;
  }
}

}  // namespace
}  // namespace kotran
