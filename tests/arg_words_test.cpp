// Unit tests of the argument words: the sort of names, wildcard matching and
// expansion (with a scripted listing and in a real directory).
#include "driver/arg_words.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace kotran {
namespace {

using Words = std::vector<Word>;
using Names = std::vector<std::string>;

constexpr CharSet kSingle = CharSet::single_byte;
constexpr CharSet kSjis = CharSet::shift_jis;

const char* charset_name(CharSet cs) { return cs == kSjis ? "shift_jis" : "single_byte"; }

Word plain(std::string text) { return Word{std::move(text), false}; }
Word literal(std::string text) { return Word{std::move(text), true}; }

std::string show(const Words& words) {
  std::string out;
  for (const Word& w : words) {
    out += w.literal ? "L[" : "[";
    for (const unsigned char c : w.text) {
      if (c < 0x20 || c >= 0x7F) {
        static const char hex[] = "0123456789ABCDEF";
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
      } else {
        out += static_cast<char>(c);
      }
    }
    out += "] ";
  }
  return out;
}

}  // namespace

// Readable failure output for words.
void PrintTo(const Word& w, std::ostream* os) { *os << show({w}); }

namespace {

// -------------------------------------------------------------- compare_names

struct CompareCase {
  const char* a;
  const char* b;
  CharSet cs;
  int sign;  // of compare_names(a, b)
};

int sign_of(int v) { return (v > 0) - (v < 0); }

const CompareCase kCompareCases[] = {
    // Letters fold to lower case; other bytes compare by unsigned value.
    {"A.txt", "b.TXT", kSingle, -1},
    {"b.TXT", "c.txt", kSingle, -1},
    {"ABC", "abc", kSingle, 0},
    {"Readme.TXT", "README.txt", kSjis, 0},
    {"_x", "Ax", kSingle, -1},  // '_' (0x5F) before 'a' (0x61), though after 'A'
    {"[", "a", kSingle, -1},
    {"Z", "[", kSingle, 1},
    {"a", "\xE9", kSingle, -1},
    {"\xB1", "a", kSjis, 1},  // half-width katakana is one byte
    {"@", "`", kSingle, -1},  // only A-Z fold, not '@' or '`'
    // A name that ends first sorts first.
    {"ab", "abc", kSingle, -1},
    {"", "a", kSingle, -1},
    {"", "", kSingle, 0},
    {"A", "a.b", kSjis, -1},
    // One-byte characters before any two-byte one.
    {"~", "\x81\x40", kSjis, -1},
    {"\xB1", "\x81\x40", kSjis, -1},
    {"\xFD", "\x81\x40", kSjis, -1},
    {"\xB1", "\x81\x40", kSingle, 1},
    {"x\x88\x9F", "x\x88\x9E", kSjis, 1},
    // Full-width A-Z (0x8260-0x8279) sort as full-width a-z (0x8281-0x829A).
    {"\x82\x60", "\x82\x81", kSjis, 0},
    {"\x82\x79", "\x82\x9A", kSjis, 0},
    {"\x82\x60"
     "B",
     "\x82\x81"
     "b",
     kSjis, 0},
    {"\x82\x60", "\x82\x80", kSjis, 1},
    {"\x82\x79", "\x82\x99", kSjis, 1},
    {"\x82\x5F", "\x82\x80", kSjis, -1},  // just below the range: not raised
    {"\x82\x7A", "\x82\x9B", kSjis, -1},  // just above it: not raised
    {"\x82\x60", "\x82\x81", kSingle, -1},
    // A trail byte in the letter range is not a letter.
    {"\x83\x41", "\x83\x61", kSjis, -1},
    {"\x83\x41", "\x83\x61", kSingle, 0},
    // A lead byte with nothing after it ends the name.
    {"a\x81", "a", kSjis, 0},
    {"a\x81", "a", kSingle, 1},
};

TEST(CompareNames, SignTable) {
  for (const CompareCase& c : kCompareCases) {
    EXPECT_EQ(sign_of(compare_names(c.a, c.b, c.cs)), c.sign)
        << show({plain(c.a)}) << " vs " << show({plain(c.b)}) << " " << charset_name(c.cs);
    EXPECT_EQ(sign_of(compare_names(c.b, c.a, c.cs)), -c.sign)
        << show({plain(c.b)}) << " vs " << show({plain(c.a)}) << " " << charset_name(c.cs);
  }
}

struct SortCase {
  Names input;
  CharSet cs;
  Names expected;
};

const SortCase kSortCases[] = {
    {{"b.TXT", "A.txt", "c.txt"}, kSingle, {"A.txt", "b.TXT", "c.txt"}},
    {{"abc", "a", "", "ab"}, kSingle, {"", "a", "ab", "abc"}},
    {{"\x82\x60", "b", "\x81\x40", "Z", "\xB1"}, kSjis, {"b", "Z", "\xB1", "\x81\x40", "\x82\x60"}},
    {{"\x82\x60", "b", "\x81\x40", "Z", "\xB1"},
     kSingle,
     {"b", "Z", "\x81\x40", "\x82\x60", "\xB1"}},
    // Names that compare equal are ordered by their bytes, whatever order
    // the listing gave.
    {{"B", "b", "a"}, kSingle, {"a", "B", "b"}},
    {{"b", "B", "a"}, kSingle, {"a", "B", "b"}},
    {{"a.txt", "A.TXT", "A.txt", "a.TXT"}, kSingle, {"A.TXT", "A.txt", "a.TXT", "a.txt"}},
    {{"\x82\x81", "\x82\x60", "a"}, kSjis, {"a", "\x82\x60", "\x82\x81"}},
    {{"\x82\x60", "\x82\x81", "a"}, kSjis, {"a", "\x82\x60", "\x82\x81"}},
    {{}, kSingle, {}},
    {{"only"}, kSingle, {"only"}},
};

TEST(SortNames, OrderTable) {
  for (const SortCase& c : kSortCases) {
    Names names = c.input;
    sort_names(names, c.cs);
    EXPECT_EQ(names, c.expected) << charset_name(c.cs);
  }
}

// ------------------------------------------------------------- match_wildcard

struct MatchCase {
  const char* pattern;
  const char* name;
  CharSet cs;
  bool matches;
};

const MatchCase kMatchCases[] = {
    {"*.txt", "a.txt", kSingle, true},
    {"*.txt", ".txt", kSingle, true},
    {"*.txt", "a.TXT", kSingle, false},  // letter case as this file system has it
    {"*.txt", "a.txt.bak", kSingle, false},
    {"?.txt", "a.txt", kSingle, true},
    {"?.txt", "ab.txt", kSingle, false},
    {"?.txt", ".txt", kSingle, false},
    {"*", ".hidden", kSingle, true},  // hidden entries are not special
    {"*", ".", kSingle, true},
    {"a*b*c", "aXXbYc", kSingle, true},
    {"a*b*c", "aXXbYcd", kSingle, false},
    {"a*b", "ab", kSingle, true},
    {"a*b", "abab", kSingle, true},
    {"*a", "aaa", kSingle, true},
    {"*ab", "aab", kSingle, true},
    {"**", "", kSingle, true},
    {"", "", kSingle, true},
    {"", "a", kSingle, false},
    {"a", "", kSingle, false},
    {"a?c", "a*c", kSingle, true},
    {"a*c", "a*c", kSingle, true},
    {"[ab]", "a", kSingle, false},  // brackets and backslashes are plain characters
    {"[ab]", "[ab]", kSingle, true},
    {"a\\*", "a\\x", kSingle, true},
    {"a\\*", "a*", kSingle, false},
    // A two-byte character is one character for '?'.
    {"?", "\x95\x5C", kSjis, true},
    {"?", "\x95\x5C", kSingle, false},
    {"??", "\x95\x5C", kSjis, false},
    {"??", "\x95\x5C", kSingle, true},
    {"\x95\x5C*",
     "\x95\x5C"
     "abc",
     kSjis, true},
    {"a?b",
     "a\x88\x9F"
     "b",
     kSjis, true},
    // '*' does not stop in the middle of a two-byte character.
    {"*\x5C", "\x95\x5C", kSjis, false},
    {"*\x5C", "\x95\x5C", kSingle, true},
    {"*\x40", "x\x81\x40", kSjis, false},
    {"*\x81\x40", "x\x81\x40", kSjis, true},
};

TEST(MatchWildcard, Table) {
  for (const MatchCase& c : kMatchCases) {
    EXPECT_EQ(match_wildcard(c.pattern, c.name, c.cs), c.matches)
        << "pattern " << show({plain(c.pattern)}) << " name " << show({plain(c.name)}) << " "
        << charset_name(c.cs);
  }
}

// ---------------------------------------------- expand_wildcards, scripted

// A listing that answers with a fixed list of entries and records what it
// was asked.
struct ListingCall {
  std::string directory;
  std::string pattern;
  bool operator==(const ListingCall&) const = default;
};
std::vector<ListingCall> g_calls;
Names g_entries;

Names scripted_listing(const std::string& directory, std::string_view pattern, CharSet) {
  g_calls.push_back({directory, std::string(pattern)});
  return g_entries;
}

struct ExpandCase {
  Words input;
  CharSet cs;
  Names entries;                   // what the listing answers
  std::vector<ListingCall> calls;  // what it must be asked
  Words expected;
};

const Names kTxt = {"c.txt", ".", "A.txt", "..", "b.TXT"};

const ExpandCase kExpandCases[] = {
    // Words without wildcards, and literal words, are never looked up.
    {{plain("p"), plain("a.txt")}, kSingle, kTxt, {}, {plain("p"), plain("a.txt")}},
    {{plain("p"), literal("*.txt")}, kSingle, kTxt, {}, {plain("p"), literal("*.txt")}},
    {{plain("p"), literal("a?")}, kSingle, kTxt, {}, {plain("p"), literal("a?")}},
    // The names replace the word, sorted, without "." and "..".
    {{plain("p"), plain("*.txt")},
     kSingle,
     kTxt,
     {{"", "*.txt"}},
     {plain("p"), plain("A.txt"), plain("b.TXT"), plain("c.txt")}},
    {{plain("p"), plain("x"), plain("?.txt"), plain("y")},
     kSingle,
     {"b", "a"},
     {{"", "?.txt"}},
     {plain("p"), plain("x"), plain("a"), plain("b"), plain("y")}},
    // Nothing, or nothing but "." and "..": the word stays.
    {{plain("p"), plain("*.xyz")}, kSingle, {}, {{"", "*.xyz"}}, {plain("p"), plain("*.xyz")}},
    {{plain("p"), plain(".*")}, kSingle, {".", ".."}, {{"", ".*"}}, {plain("p"), plain(".*")}},
    // The prefix, up to the last '/' before the first wildcard, names the
    // directory and is kept as written.
    {{plain("p"), plain("dir/*.txt")},
     kSingle,
     {"A.txt"},
     {{"dir/", "*.txt"}},
     {plain("p"), plain("dir/A.txt")}},
    // A '/' after the first wildcard belongs to the pattern.
    {{plain("p"), plain("d/a*/b")}, kSingle, {}, {{"d/", "a*/b"}}, {plain("p"), plain("d/a*/b")}},
    // A trail byte '/' is no separator, a trail byte '*' no wildcard.
    {{plain("p"), plain("\x81/*")}, kSjis, {"1"}, {{"", "\x81/*"}}, {plain("p"), plain("1")}},
    {{plain("p"), plain("\x81/*")},
     kSingle,
     {"1"},
     {{"\x81/", "*"}},
     {plain("p"), plain("\x81/1")}},
    {{plain("p"), plain("\x81*")}, kSjis, {"\x81*"}, {}, {plain("p"), plain("\x81*")}},
    {{plain("p"), plain("\x81*")},
     kSingle,
     {"\x81x"},
     {{"", "\x81*"}},
     {plain("p"), plain("\x81x")}},
    // Option words are expanded like the others; the program name is literal.
    {{literal("k*"), plain("-*")}, kSingle, {"z"}, {{"", "-*"}}, {literal("k*"), plain("z")}},
};

TEST(ExpandWildcards, ScriptedListing) {
  for (const ExpandCase& c : kExpandCases) {
    g_calls.clear();
    g_entries = c.entries;
    const Words got = expand_wildcards(c.input, c.cs, scripted_listing);
    EXPECT_EQ(got, c.expected) << "input: " << show(c.input) << charset_name(c.cs)
                               << "\n got: " << show(got) << "\nwant: " << show(c.expected);
    EXPECT_EQ(g_calls, c.calls) << "input: " << show(c.input) << charset_name(c.cs);
  }
}

// ------------------------------------------- expansion in a real directory

class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    GTEST_SKIP() << "the POSIX host's listing, with names Windows holds none of ('*', '\\', ':'); Windows' own "
                    "expansion is windows_platform_test's";
#else
    char buf[] = "/tmp/kotran_aw_XXXXXX";
    ASSERT_NE(mkdtemp(buf), nullptr);
    dir_ = buf;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    old_cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
#endif
  }
  void TearDown() override {
#if !defined(_WIN32)
    ASSERT_EQ(chdir(old_cwd_.c_str()), 0);
    const std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
#endif
  }
  static void touch(const std::string& name) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << name;
    close(fd);
  }
  static void make_dir(const std::string& name) { ASSERT_EQ(mkdir(name.c_str(), 0755), 0) << name; }

  static Words expand(const Names& words, CharSet cs = kSingle) {
    Words input;
    for (const std::string& w : words) input.push_back(plain(w));
    return expand_wildcards(input, cs);
  }
  static Names texts(const Words& words) {
    Names out;
    for (const Word& w : words) out.push_back(w.text);
    return out;
  }

  std::string dir_;
  std::string old_cwd_;
};

using ExpandInDirectory = InTempDir;

TEST_F(ExpandInDirectory, SortFoldsLetterCase) {
  touch("b.TXT");
  touch("A.txt");
  touch("c.txt");
  EXPECT_EQ(texts(expand({"p", "*"})), (Names{"p", "A.txt", "b.TXT", "c.txt"}));
  EXPECT_EQ(texts(expand({"p", "?.*"})), (Names{"p", "A.txt", "b.TXT", "c.txt"}));
  // The match itself keeps letter case, as this file system does.
  EXPECT_EQ(texts(expand({"p", "*.txt"})), (Names{"p", "A.txt", "c.txt"}));
}

TEST_F(ExpandInDirectory, HiddenEntriesAndDirectoriesCountDotsDoNot) {
  touch(".hid");
  touch("x");
  make_dir("sub");
  EXPECT_EQ(texts(expand({"p", "*"})), (Names{"p", ".hid", "sub", "x"}));
  EXPECT_EQ(texts(expand({"p", ".*"})), (Names{"p", ".hid"}));
  EXPECT_EQ(texts(expand({"p", "s?b"})), (Names{"p", "sub"}));
  EXPECT_EQ(texts(expand({"p", "sub/*"})), (Names{"p", "sub/*"}));  // only "." and ".."
  EXPECT_EQ(texts(expand({"p", "sub/.*"})), (Names{"p", "sub/.*"}));
  EXPECT_EQ(texts(expand({"p", "?"})), (Names{"p", "x"}));
}

TEST_F(ExpandInDirectory, NoMatchKeepsTheWord) {
  touch("a.txt");
  EXPECT_EQ(texts(expand({"p", "*.xyz", "nodir/*.txt", "a.txt"})),
            (Names{"p", "*.xyz", "nodir/*.txt", "a.txt"}));
}

TEST_F(ExpandInDirectory, PrefixDirectoryIsKeptAsWritten) {
  make_dir("dir");
  touch("dir/b.txt");
  touch("dir/A.txt");
  touch("dir/c.doc");
  EXPECT_EQ(texts(expand({"p", "dir/*.txt"})), (Names{"p", "dir/A.txt", "dir/b.txt"}));
  EXPECT_EQ(texts(expand({"p", "./dir//?.*"})),
            (Names{"p", "./dir//A.txt", "./dir//b.txt", "./dir//c.doc"}));
  EXPECT_EQ(texts(expand({"p", dir_ + "/dir/*.doc"})), (Names{"p", dir_ + "/dir/c.doc"}));
}

TEST_F(ExpandInDirectory, LiteralWordStays) {
  touch("a.txt");
  const Words got = expand_wildcards({plain("p"), literal("*.txt"), plain("*.txt")}, kSingle);
  EXPECT_EQ(got, (Words{plain("p"), literal("*.txt"), plain("a.txt")}));
}

TEST_F(ExpandInDirectory, ShiftJisNames) {
  touch("\x95\x5C");  // one two-byte character
  touch("ab");
  EXPECT_EQ(texts(expand({"p", "?"}, kSjis)), (Names{"p", "\x95\x5C"}));
  EXPECT_EQ(texts(expand({"p", "?"}, kSingle)), (Names{"p", "?"}));
  EXPECT_EQ(texts(expand({"p", "??"}, kSjis)), (Names{"p", "ab"}));
  EXPECT_EQ(texts(expand({"p", "??"}, kSingle)), (Names{"p", "ab", "\x95\x5C"}));
  EXPECT_EQ(texts(expand({"p", "*"}, kSjis)), (Names{"p", "ab", "\x95\x5C"}));
  EXPECT_EQ(texts(expand({"p", "\x95\x5C*"}, kSjis)), (Names{"p", "\x95\x5C"}));
}

TEST_F(ExpandInDirectory, ListDirectory) {
  touch("one");
  touch(".kotran-Ab12Cd");  // a temporary output is never listed
  EXPECT_TRUE(list_directory("no-such-dir", "*", kSingle).empty());
  Names all = list_directory("", "*", kSingle);
  sort_names(all, kSingle);
  EXPECT_EQ(all, (Names{".", "..", "one"}));
  EXPECT_EQ(list_directory(dir_, "o?e", kSingle), (Names{"one"}));
}

// -------------------------------------------------- prepare_arguments

using PrepareInDirectory = InTempDir;

std::vector<std::string> prepare(Names args, CharSet cs = kSingle) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return prepare_arguments(static_cast<int>(args.size()), argv.data(), cs);
}

TEST_F(PrepareInDirectory, WordNamingAnExistingFileIsNotExpanded) {
  touch("a*b");
  touch("a?b");
  touch("aXb");
  EXPECT_EQ(prepare({"k", "a*b"}), (Names{"k", "a*b"}));
  EXPECT_EQ(prepare({"k", "a?b"}), (Names{"k", "a?b"}));
  EXPECT_EQ(prepare({"k", "a*"}), (Names{"k", "a*b", "a?b", "aXb"}));
  // A symbolic link counts as the name it has, even when it leads nowhere.
  make_dir("sub");
#if !defined(_WIN32)
  ASSERT_EQ(symlink("nowhere", "s*"), 0);
#endif
  EXPECT_EQ(prepare({"k", "s*"}), (Names{"k", "s*"}));
  EXPECT_EQ(prepare({"k", "s?b"}), (Names{"k", "sub"}));
}

TEST_F(PrepareInDirectory, BackslashAndColonAreNotSeparatorsHere) {
  touch(R"(d\x)");
  touch("c:y");
  EXPECT_EQ(prepare({"k", R"(d\*)"}), (Names{"k", R"(d\x)"}));
  EXPECT_EQ(prepare({"k", "c:*"}), (Names{"k", "c:y"}));
  EXPECT_EQ(prepare({"k", "?:*"}), (Names{"k", "c:y"}));
}

// A host whose shells leave wildcard words to the program (Windows) has its
// words expanded by expand_host_words, with the host's own expansion; here
// the same steps over this host's.
TEST_F(PrepareInDirectory, HostWordsTakeSlashesThenTheHostsExpansion) {
  make_dir("sub");
  touch("sub/b.txt");
  touch("sub/A.txt");
  touch("sub/c.doc");
  touch("a*b");
  touch("aXb");
  EXPECT_EQ(expand_host_words({R"(C:\k\kotran.exe)", R"(sub\*.txt)", "a*b", "a?b", "*.none", R"(sub\c.doc)"}),
            (Names{R"(C:\k\kotran.exe)", "sub/A.txt", "sub/b.txt", "a*b", "a*b", "aXb", "*.none", "sub/c.doc"}));
}

// ----------------------------------------------------------- character set

struct CodesetCase {
  const char* codeset;
  CharSet cs;
};

const CodesetCase kCodesets[] = {
    {"SHIFT_JIS", kSjis},
    {"shift_jis", kSjis},
    {"Shift-JIS", kSjis},
    {"SJIS", kSjis},
    {"sjis", kSjis},
    {"CP932", kSjis},
    {"cp932", kSjis},
    {"WINDOWS-31J", kSjis},
    {"windows-31j", kSjis},
    {"MS_KANJI", kSjis},
    {"SHIFT_JISX0213", kSjis},
    {"UTF-8", kSingle},
    {"ANSI_X3.4-1968", kSingle},
    {"EUC-JP", kSingle},
    {"ISO-8859-1", kSingle},
    {"", kSingle},
    {"SJIS2", kSingle},
    {"CP9320", kSingle},
    {"ISO-2022-JP", kSingle},
};

TEST(HostCharset, CodesetNames) {
  for (const CodesetCase& c : kCodesets) {
    EXPECT_EQ(charset_for_codeset(c.codeset), c.cs) << c.codeset;
  }
}

TEST(HostCharset, PlainLocalesHaveNoLeadBytes) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  EXPECT_EQ(host_charset(), kSingle);
  if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
    EXPECT_EQ(host_charset(), kSingle);
  }
  std::setlocale(LC_CTYPE, "C");
}

}  // namespace
}  // namespace kotran
