// Text streams: CR LF folding and the 0x1A end on input, CR LF on output,
// push-back, positions, error numbers and their texts, and the report line.
#include "stream/text_stream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "stream/error_report.h"
#include "test_util.h"

namespace kotran {
namespace {

using test::hex;
using test::TempDir;
using test::to_hex;

// Everything a stream delivers until EOF.
std::string drain(TextStream* s) {
  std::string got;
  for (int c; (c = read_byte(s)) != EOF;) got += static_cast<char>(c);
  return got;
}

// The stored bytes read through a text-mode memory stream that takes chunk
// bytes per fill.
std::string read_memory(const std::string& stored, size_t chunk) {
  TextStream* s = open_memory_input(stored.data(), stored.size(), true, chunk);
  EXPECT_NE(s, nullptr);
  if (s == nullptr) return {};
  std::string got = drain(s);
  EXPECT_TRUE(stream_eof(s));
  EXPECT_FALSE(stream_error(s));
  close_stream(s);
  return got;
}

// The stored bytes read through a real file opened "rt".
std::string read_file(const std::string& stored) {
  TempDir dir;
  dir.write("in.txt", stored);
  TextStream* s = open_stream(dir.file("in.txt").c_str(), "rt");
  EXPECT_NE(s, nullptr);
  if (s == nullptr) return {};
  std::string got = drain(s);
  EXPECT_TRUE(stream_eof(s));
  EXPECT_FALSE(stream_error(s));
  EXPECT_EQ(close_stream(s), 0);
  return got;
}

// What a memory output stores for the bytes written one by one.
std::string write_memory(const std::string& written) {
  std::string sink;
  TextStream* s = open_memory_output(&sink);
  EXPECT_NE(s, nullptr);
  if (s == nullptr) return {};
  for (unsigned char c : written) EXPECT_EQ(write_byte(c, s), c);
  EXPECT_EQ(close_stream(s), 0);
  return sink;
}

// What a real file opened "wt+" holds for the bytes written one by one.
std::string write_file(const std::string& written) {
  TempDir dir;
  TextStream* s = open_stream(dir.file("out.txt").c_str(), "wt+");
  EXPECT_NE(s, nullptr);
  if (s == nullptr) return {};
  for (unsigned char c : written) EXPECT_EQ(write_byte(c, s), c);
  EXPECT_EQ(close_stream(s), 0);
  return dir.read("out.txt");
}

// Reference reading: the stored bytes up to the first 0x1A, each CR that
// directly precedes an LF dropped.
std::string fold_reference(const std::string& stored) {
  const std::string text = stored.substr(0, stored.find('\x1A'));
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// Reference writing: each LF stored as CR LF.
std::string expand_reference(const std::string& written) {
  std::string out;
  for (char c : written) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Reading: line ends and the end byte.

struct ReadCase {
  const char* stored;
  const char* delivered;
};

const ReadCase kReadCases[] = {
    {"", ""},
    {"61 0D 0A 62", "61 0A 62"},
    {"61 0D 0D 0A", "61 0D 0A"},
    {"61 0D 62", "61 0D 62"},
    {"61 0D", "61 0D"},                       // a final CR is delivered
    {"0D", "0D"},
    {"0D 0A", "0A"},
    {"0A 0D", "0A 0D"},                       // LF CR is no pair
    {"0A", "0A"},
    {"0D 0A 0D 0A", "0A 0A"},
    {"0D 0D 0D 0A 0A", "0D 0D 0A 0A"},
    {"61 0D 0D", "61 0D 0D"},
    {"61 62 1A 63", "61 62"},                 // input ends at 0x1A
    {"1A", ""},
    {"1A 61 62", ""},
    {"61 0D 1A 0A", "61 0D"},                 // the LF after 0x1A does not pair
    {"61 1A 0D 0A 62", "61"},
    {"61 0D 0A 1A", "61 0A"},
    {"00 7F 80 FF FE 1B", "00 7F 80 FF FE 1B"},  // every other byte unchanged
    {"0D 0A 0D 62 0D 0A 0D", "0A 0D 62 0A 0D"},
};

TEST(TextStreamRead, MemoryStreamFoldsLineEndsAtEveryChunkSize) {
  for (const ReadCase& c : kReadCases) {
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{6}, size_t{7},
                         size_t{8}, BLOCK_SIZE}) {
      EXPECT_EQ(to_hex(read_memory(hex(c.stored), chunk)), to_hex(hex(c.delivered)))
          << "stored " << c.stored << ", chunk " << chunk;
    }
  }
}

TEST(TextStreamRead, RealFileFoldsLineEnds) {
  for (const ReadCase& c : kReadCases)
    EXPECT_EQ(to_hex(read_file(hex(c.stored))), to_hex(hex(c.delivered))) << "stored " << c.stored;
}

TEST(TextStreamRead, BinaryMemoryStreamDeliversBytesAsStored) {
  const std::string stored = hex("61 0D 0A 62 1A 63 0D");
  for (size_t chunk : {size_t{1}, size_t{3}, BLOCK_SIZE}) {
    TextStream* s = open_memory_input(stored.data(), stored.size(), false, chunk);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(to_hex(drain(s)), to_hex(stored)) << "chunk " << chunk;
    close_stream(s);
  }
}

// CR LF pairs and lone CRs placed on and around the block edge of a real
// file (named files read FILE_BLOCK_SIZE bytes at a time).
TEST(TextStreamRead, LineEndAcrossTheBlockEdgeOfARealFile) {
  struct EdgeCase {
    size_t before;  // bytes 'a' stored first
    const char* tail;
    const char* delivered_tail;
  };
  constexpr size_t E = FILE_BLOCK_SIZE;
  const EdgeCase cases[] = {
      {E - 1, "0D 0A", "0A"},        // CR last of the first block, LF first of the next
      {E - 1, "0D 0A 62", "0A 62"},
      {E - 2, "0D 0A 62", "0A 62"},  // both in the first block
      {E, "0D 0A 62", "0A 62"},      // both in the second block
      {E - 1, "0D 62", "0D 62"},     // a CR at the edge that is no pair
      {E - 1, "0D", "0D"},           // a CR at the edge that ends the file
      {E - 1, "0D 0D 0A", "0D 0A"},
      {E - 1, "0D 1A 0A", "0D"},
      {E, "1A 62", ""},
      {2 * E - 1, "0D 0A 62", "0A 62"},  // the next edge
  };
  for (const EdgeCase& c : cases) {
    const std::string stored = std::string(c.before, 'a') + hex(c.tail);
    const std::string expected = std::string(c.before, 'a') + hex(c.delivered_tail);
    const std::string got = read_file(stored);
    EXPECT_EQ(got.size(), expected.size()) << c.before << " + " << c.tail;
    EXPECT_TRUE(got == expected) << c.before << " + " << c.tail << ": tail read as "
                                 << to_hex(got.substr(c.before > 4 ? c.before - 4 : 0));
    // A memory stream with the same block size sees the same edge.
    EXPECT_TRUE(read_memory(stored, BLOCK_SIZE) == expected) << "memory " << c.before << " + " << c.tail;
  }
}

// A long run of mixed line ends read at each small chunk size equals the
// reference folding.
TEST(TextStreamRead, MixedLineEndsAtEveryChunkSizeMatchReference) {
  const std::string stored = hex(
      "61 0D 0A 0D 0D 0A 0A 0D 62 0D 0D 0D 0A 63 0A 0A 0D 0A 0D 0A 0D 64 0D 0A 0D 0D 0A 0A 0D 0A 65 0D");
  const std::string expected = fold_reference(stored);
  for (size_t chunk = 1; chunk <= 8; ++chunk)
    EXPECT_EQ(to_hex(read_memory(stored, chunk)), to_hex(expected)) << "chunk " << chunk;
  EXPECT_EQ(to_hex(read_file(stored)), to_hex(expected));
}

class TextStreamLargeInput : public ::testing::Test {
 protected:
  // size random bytes drawn from the alphabet.
  static std::string random_bytes(size_t size, const std::vector<unsigned char>& alphabet, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(alphabet[pick(gen)]);
    return out;
  }
  static std::vector<unsigned char> all_bytes_but(std::initializer_list<unsigned char> left_out) {
    std::vector<unsigned char> v;
    for (int b = 0; b < 256; ++b)
      if (std::find(left_out.begin(), left_out.end(), b) == left_out.end()) v.push_back(static_cast<unsigned char>(b));
    return v;
  }
  static void expect_reads_as_reference(const std::string& stored) {
    const std::string expected = fold_reference(stored);
    const std::string from_file = read_file(stored);
    EXPECT_EQ(from_file.size(), expected.size());
    EXPECT_TRUE(from_file == expected) << "real file differs from the reference";
    for (size_t chunk : {BLOCK_SIZE, BLOCK_SIZE - 1, size_t{7}, size_t{1}}) {
      const std::string from_memory = read_memory(stored, chunk);
      EXPECT_EQ(from_memory.size(), expected.size()) << "chunk " << chunk;
      EXPECT_TRUE(from_memory == expected) << "memory stream differs, chunk " << chunk;
    }
  }
};

TEST_F(TextStreamLargeInput, RandomBytesWithoutLineEndsReadUnchanged) {
  const std::string stored = random_bytes(1 << 20, all_bytes_but({0x0D, 0x0A, 0x1A}), 1);
  ASSERT_EQ(fold_reference(stored), stored);
  expect_reads_as_reference(stored);
}

TEST_F(TextStreamLargeInput, RandomBytesWithManyCrLfMatchReference) {
  // CR and LF make up more than half of the bytes, so pairs fall on every
  // block edge sooner or later.
  std::vector<unsigned char> alphabet = all_bytes_but({0x1A});
  for (int i = 0; i < 200; ++i) {
    alphabet.push_back(0x0D);
    alphabet.push_back(0x0A);
  }
  const std::string stored = random_bytes(1 << 20, alphabet, 2);
  ASSERT_LT(fold_reference(stored).size(), stored.size());
  expect_reads_as_reference(stored);
}

TEST_F(TextStreamLargeInput, RandomBytesEndAtTheFirst1A) {
  std::string stored = random_bytes(300000, all_bytes_but({0x1A}), 3);
  stored[250001] = '\x1A';
  expect_reads_as_reference(stored);
  EXPECT_LE(fold_reference(stored).size(), 250001u);
}

// ---------------------------------------------------------------------------
// The end byte 0x1A, EOF, and positioning.

TEST(TextStreamEnd, ReadsAgainAfterSeekToStart) {
  const std::string stored = hex("61 62 1A 63");
  auto check = [](TextStream* s, const char* what) {
    ASSERT_NE(s, nullptr) << what;
    EXPECT_EQ(read_byte(s), 0x61) << what;
    EXPECT_EQ(read_byte(s), 0x62) << what;
    EXPECT_FALSE(stream_eof(s)) << what;  // delivering the last byte does not set it
    EXPECT_EQ(read_byte(s), EOF) << what;
    EXPECT_TRUE(stream_eof(s)) << what;
    EXPECT_EQ(read_byte(s), EOF) << what;  // and again: the byte after 0x1A is never read
    EXPECT_EQ(stream_seek(s, 0, 0), 0) << what;
    EXPECT_FALSE(stream_eof(s)) << what;
    EXPECT_EQ(to_hex(drain(s)), "61 62") << what;
    EXPECT_FALSE(stream_error(s)) << what;
    close_stream(s);
  };
  check(open_memory_input(stored.data(), stored.size()), "memory");
  check(open_memory_input(stored.data(), stored.size(), true, 1), "memory, chunk 1");
  TempDir dir;
  dir.write("sub.txt", stored);
  check(open_stream(dir.file("sub.txt").c_str(), "rt"), "file");
}

TEST(TextStreamEnd, LastByteDoesNotSetEofButTheReadAfterItDoes) {
  TempDir dir;
  dir.write("a.txt", "ab");
  TextStream* s = open_stream(dir.file("a.txt").c_str(), "rt");
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(stream_eof(s));
  EXPECT_EQ(read_byte(s), 'a');
  EXPECT_EQ(read_byte(s), 'b');
  EXPECT_FALSE(stream_eof(s));
  EXPECT_EQ(read_byte(s), EOF);
  EXPECT_TRUE(stream_eof(s));
  EXPECT_FALSE(stream_error(s));
  EXPECT_EQ(read_byte(s), EOF);
  EXPECT_TRUE(stream_eof(s));
  close_stream(s);
}

// ---------------------------------------------------------------------------
// Push-back.

TEST(TextStreamPushBack, UnreadAfterEofClearsEof) {
  const std::string stored = "a";
  TempDir dir;
  dir.write("a.txt", stored);
  TextStream* streams[] = {open_memory_input(stored.data(), stored.size()),
                           open_stream(dir.file("a.txt").c_str(), "rt")};
  for (TextStream* s : streams) {
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(read_byte(s), 'a');
    EXPECT_EQ(read_byte(s), EOF);
    EXPECT_TRUE(stream_eof(s));
    EXPECT_EQ(unread_byte(0x41, s), 0x41);
    EXPECT_FALSE(stream_eof(s));
    EXPECT_EQ(read_byte(s), 0x41);
    EXPECT_EQ(read_byte(s), EOF);
    EXPECT_TRUE(stream_eof(s));
    close_stream(s);
  }
}

TEST(TextStreamPushBack, TwoBytesAfterEofReadLastPushedFirst) {
  const std::string stored = "xy";
  TextStream* s = open_memory_input(stored.data(), stored.size());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(drain(s), "xy");
  EXPECT_EQ(unread_byte('2', s), '2');
  EXPECT_EQ(unread_byte('1', s), '1');
  EXPECT_EQ(read_byte(s), '1');
  EXPECT_EQ(read_byte(s), '2');
  EXPECT_EQ(read_byte(s), EOF);
  EXPECT_TRUE(stream_eof(s));
  close_stream(s);
}

TEST(TextStreamPushBack, UnreadEofPushesNothing) {
  const std::string stored = "ab";
  TextStream* s = open_memory_input(stored.data(), stored.size());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read_byte(s), 'a');
  EXPECT_EQ(unread_byte(EOF, s), EOF);
  EXPECT_EQ(read_byte(s), 'b');
  EXPECT_EQ(read_byte(s), EOF);
  close_stream(s);
}

TEST(TextStreamPushBack, ResultIsTheLowByteAndAnyByteMayBePushed) {
  const std::string stored = "ab";
  TextStream* s = open_memory_input(stored.data(), stored.size());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read_byte(s), 'a');
  EXPECT_EQ(unread_byte(0x1FF, s), 0xFF);  // not the byte read before
  EXPECT_EQ(read_byte(s), 0xFF);
  EXPECT_EQ(unread_byte(0x0D, s), 0x0D);   // pushed-back bytes are not translated
  EXPECT_EQ(unread_byte(0x1A, s), 0x1A);
  EXPECT_EQ(read_byte(s), 0x1A);
  EXPECT_EQ(read_byte(s), 0x0D);
  EXPECT_EQ(read_byte(s), 'b');
  EXPECT_EQ(read_byte(s), EOF);
  close_stream(s);
}

TEST(TextStreamPushBack, TwoBytesBeforeTheFirstRead) {
  const std::string stored = "ab";
  TextStream* s = open_memory_input(stored.data(), stored.size());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(unread_byte('y', s), 'y');
  EXPECT_EQ(unread_byte('x', s), 'x');
  EXPECT_EQ(drain(s), "xyab");
  close_stream(s);
}

// At every read position of a memory stream with chunk sizes 1-8, two bytes
// read and pushed back, last read first, are read again in their first order.
TEST(TextStreamPushBack, TwoBytesAcrossEveryChunkEdgeReadAgainInOrder) {
  const std::string stored = "0123456789abcdefghijklmnopq";
  for (size_t chunk = 1; chunk <= 8; ++chunk) {
    for (size_t pos = 0; pos + 2 <= stored.size(); ++pos) {
      TextStream* s = open_memory_input(stored.data(), stored.size(), true, chunk);
      ASSERT_NE(s, nullptr);
      std::string got;
      for (size_t i = 0; i < pos; ++i) got += static_cast<char>(read_byte(s));
      const int first = read_byte(s);
      const int second = read_byte(s);
      EXPECT_EQ(unread_byte(second, s), second);
      EXPECT_EQ(unread_byte(first, s), first);
      got += drain(s);
      EXPECT_EQ(got, stored) << "chunk " << chunk << ", position " << pos;
      close_stream(s);
    }
  }
}

// Same with text that has line ends folded: the pushed-back bytes are the
// delivered ones.
TEST(TextStreamPushBack, TwoBytesAcrossEdgesWithFoldedLineEnds) {
  const std::string stored = hex("61 0D 0A 62 0D 0A 0D 0A 63 0D 64 0D 0A");
  const std::string delivered = fold_reference(stored);
  for (size_t chunk = 1; chunk <= 8; ++chunk) {
    for (size_t pos = 0; pos + 2 <= delivered.size(); ++pos) {
      TextStream* s = open_memory_input(stored.data(), stored.size(), true, chunk);
      ASSERT_NE(s, nullptr);
      std::string got;
      for (size_t i = 0; i < pos; ++i) got += static_cast<char>(read_byte(s));
      const int first = read_byte(s);
      const int second = read_byte(s);
      unread_byte(second, s);
      unread_byte(first, s);
      got += drain(s);
      EXPECT_EQ(to_hex(got), to_hex(delivered)) << "chunk " << chunk << ", position " << pos;
      close_stream(s);
    }
  }
}

TEST(TextStreamPushBack, AtTheBlockEdgeOfARealFile) {
  constexpr size_t E = FILE_BLOCK_SIZE;
  std::string stored;
  for (size_t i = 0; i < 3 * E + 100; ++i) stored += static_cast<char>('A' + i % 26);
  TempDir dir;
  dir.write("big.txt", stored);
  // Positions where the two bytes straddle, end at, or start at an edge.
  for (size_t pos : {E - 2, E - 1, E, 2 * E - 2, 2 * E - 1, 2 * E}) {
    TextStream* s = open_stream(dir.file("big.txt").c_str(), "rt");
    ASSERT_NE(s, nullptr);
    std::string got;
    for (size_t i = 0; i < pos; ++i) got += static_cast<char>(read_byte(s));
    const int first = read_byte(s);
    const int second = read_byte(s);
    EXPECT_EQ(unread_byte(second, s), second);
    EXPECT_EQ(unread_byte(first, s), first);
    got += drain(s);
    EXPECT_TRUE(got == stored) << "position " << pos;
    close_stream(s);
  }
  // A whole block read, then two different bytes pushed back at the edge.
  TextStream* s = open_stream(dir.file("big.txt").c_str(), "rt");
  ASSERT_NE(s, nullptr);
  for (size_t i = 0; i < E; ++i) read_byte(s);
  EXPECT_EQ(unread_byte('#', s), '#');
  EXPECT_EQ(unread_byte('!', s), '!');
  EXPECT_EQ(read_byte(s), '!');
  EXPECT_EQ(read_byte(s), '#');
  EXPECT_EQ(read_byte(s), static_cast<unsigned char>(stored[E]));
  close_stream(s);
}

// ---------------------------------------------------------------------------
// Writing.

struct WriteCase {
  const char* written;
  const char* stored;
};

const WriteCase kWriteCases[] = {
    {"", ""},
    {"61 0A", "61 0D 0A"},
    {"0D 0A", "0D 0D 0A"},  // a CR written before an LF is not looked at
    {"0A 0A", "0D 0A 0D 0A"},
    {"0D", "0D"},
    {"1A 61", "1A 61"},     // 0x1A is written like any byte
    {"00 FF 80 1B", "00 FF 80 1B"},
};

TEST(TextStreamWrite, LineEndsStoredAsCrLf) {
  for (const WriteCase& c : kWriteCases) {
    EXPECT_EQ(to_hex(write_memory(hex(c.written))), to_hex(hex(c.stored))) << "memory, written " << c.written;
    EXPECT_EQ(to_hex(write_file(hex(c.written))), to_hex(hex(c.stored))) << "file, written " << c.written;
  }
}

TEST(TextStreamWrite, WriteStringTranslatesLikeWriteByte) {
  TempDir dir;
  TextStream* s = open_stream(dir.file("o.txt").c_str(), "wt+");
  ASSERT_NE(s, nullptr);
  write_string(s, "a\nb\r\n");
  write_string(s, "");
  write_string(s, "\x1b$B");
  EXPECT_EQ(close_stream(s), 0);
  EXPECT_EQ(to_hex(dir.read("o.txt")), "61 0D 0A 62 0D 0D 0A 1B 24 42");
}

TEST(TextStreamWrite, WriteByteResultIsTheLowByte) {
  std::string sink;
  TextStream* s = open_memory_output(&sink);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(write_byte(0x161, s), 0x61);
  EXPECT_EQ(write_byte(0xFF, s), 0xFF);
  EXPECT_EQ(close_stream(s), 0);
  EXPECT_EQ(to_hex(sink), "61 FF");
}

TEST(TextStreamWrite, ManyLineEndsAcrossBlocks) {
  // Whole blocks of LF, each stored as CR LF, and random text around them.
  std::string written(3 * 4096 + 5, '\n');
  std::mt19937 gen(7);
  for (int i = 0; i < 20000; ++i) written += static_cast<char>(gen() % 3 == 0 ? '\n' : 'a' + gen() % 26);
  const std::string expected = expand_reference(written);
  const std::string in_file = write_file(written);
  EXPECT_EQ(in_file.size(), expected.size());
  EXPECT_TRUE(in_file == expected);
  const std::string in_memory = write_memory(written);
  EXPECT_TRUE(in_memory == expected);
}

TEST(TextStreamWrite, SeekWritesOutHeldOutput) {
  TempDir dir;
  TextStream* s = open_stream(dir.file("o.txt").c_str(), "wt+");
  ASSERT_NE(s, nullptr);
  write_string(s, "ab\n");
  EXPECT_EQ(stream_seek(s, 0, 2), 0);
  EXPECT_EQ(to_hex(dir.read("o.txt")), "61 62 0D 0A");  // before the close
  EXPECT_EQ(close_stream(s), 0);
  EXPECT_EQ(to_hex(dir.read("o.txt")), "61 62 0D 0A");
}

TEST(TextStreamWrite, OpenForWritingEmptiesAnExistingFile) {
  TempDir dir;
  dir.write("o.txt", "old contents that are longer");
  TextStream* s = open_stream(dir.file("o.txt").c_str(), "wt+");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(dir.read("o.txt"), "");
  write_byte('x', s);
  EXPECT_EQ(close_stream(s), 0);
  EXPECT_EQ(dir.read("o.txt"), "x");
}

// umask is set for the test and put back whatever happens.
class TextStreamUmask : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = umask(022); }
  void TearDown() override { umask(saved_); }
  mode_t saved_ = 0;
};

TEST_F(TextStreamUmask, NewFileGets0644LessTheMask) {
  SKIP_ON_WINDOWS("Windows keeps no mode bits: an output takes its input's ACL (windows_kotran_test)");
  TempDir dir;
  struct Case {
    mode_t mask;
    mode_t expected;
  };
  for (const Case& c : {Case{022, 0644}, Case{027, 0640}, Case{077, 0600}, Case{0, 0644}}) {
    umask(c.mask);
    const std::string name = dir.file("new" + std::to_string(c.mask) + ".txt");
    TextStream* s = open_stream(name.c_str(), "wt+");
    ASSERT_NE(s, nullptr);
    write_byte('a', s);
    EXPECT_EQ(close_stream(s), 0);
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.expected) << "umask " << std::oct << c.mask;
  }
}

// ---------------------------------------------------------------------------
// Positions.

TEST(TextStreamPosition, TellIsZeroOnAFreshStream) {
  const std::string stored = hex("0D 0A 61");
  TextStream* m = open_memory_input(stored.data(), stored.size());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(stream_tell(m), 0);
  close_stream(m);
  TempDir dir;
  dir.write("a.txt", stored);
  TextStream* f = open_stream(dir.file("a.txt").c_str(), "rt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(stream_tell(f), 0);
  close_stream(f);
  TempDir empty_dir;
  empty_dir.write("e.txt", "");
  TextStream* e = open_stream(empty_dir.file("e.txt").c_str(), "rt");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(stream_tell(e), 0);
  close_stream(e);
}

TEST(TextStreamPosition, SeekOriginsOnARealFile) {
  TempDir dir;
  dir.write("d.txt", "0123456789");
  TextStream* s = open_stream(dir.file("d.txt").c_str(), "rt");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_seek(s, 4, 0), 0);
  EXPECT_EQ(stream_tell(s), 4);
  EXPECT_EQ(read_byte(s), '4');
  EXPECT_EQ(stream_seek(s, -3, 2), 0);
  EXPECT_EQ(stream_tell(s), 7);
  EXPECT_EQ(read_byte(s), '7');
  EXPECT_EQ(stream_seek(s, 2, 0), 0);
  EXPECT_EQ(stream_seek(s, 3, 1), 0);  // from the position of the seek before
  EXPECT_EQ(stream_tell(s), 5);
  EXPECT_EQ(read_byte(s), '5');
  EXPECT_EQ(stream_seek(s, 0, 2), 0);
  EXPECT_EQ(stream_tell(s), 10);
  EXPECT_EQ(read_byte(s), EOF);
  EXPECT_TRUE(stream_eof(s));
  EXPECT_EQ(stream_seek(s, 0, 0), 0);
  EXPECT_FALSE(stream_eof(s));
  EXPECT_EQ(drain(s), "0123456789");
  EXPECT_FALSE(stream_error(s));
  close_stream(s);
}

TEST(TextStreamPosition, SeekOriginsOnAMemoryStream) {
  const std::string stored = "0123456789";
  TextStream* s = open_memory_input(stored.data(), stored.size(), true, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_seek(s, 6, 0), 0);
  EXPECT_EQ(stream_tell(s), 6);
  EXPECT_EQ(read_byte(s), '6');
  EXPECT_EQ(stream_seek(s, -1, 2), 0);
  EXPECT_EQ(stream_tell(s), 9);
  EXPECT_EQ(drain(s), "9");
  EXPECT_EQ(stream_seek(s, 1, 0), 0);
  EXPECT_EQ(stream_seek(s, 1, 1), 0);
  EXPECT_EQ(stream_tell(s), 2);
  EXPECT_EQ(drain(s), "23456789");
  close_stream(s);
}

TEST(TextStreamPosition, UnknownOriginFailsWithInvalidArgument) {
  TempDir dir;
  dir.write("d.txt", "0123");
  TextStream* s = open_stream(dir.file("d.txt").c_str(), "rt");
  ASSERT_NE(s, nullptr);
  for (int origin : {3, -1, 4, 100}) {
    last_error = 0;
    EXPECT_EQ(stream_seek(s, 0, origin), -1) << "origin " << origin;
    EXPECT_EQ(last_error, 22) << "origin " << origin;
  }
  EXPECT_EQ(read_byte(s), '0');  // the stream is still usable
  close_stream(s);
  const std::string stored = "01";
  TextStream* m = open_memory_input(stored.data(), stored.size());
  ASSERT_NE(m, nullptr);
  last_error = 0;
  EXPECT_EQ(stream_seek(m, 0, 3), -1);
  EXPECT_EQ(last_error, 22);
  close_stream(m);
}

TEST(TextStreamPosition, SeekDropsPushedBackBytesAndTheBlockInHand) {
  const std::string stored = hex("61 0D 0A 62 63");
  TextStream* s = open_memory_input(stored.data(), stored.size(), true, 2);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read_byte(s), 0x61);  // the CR of the first chunk waits for the next
  EXPECT_EQ(unread_byte('X', s), 'X');
  EXPECT_EQ(stream_seek(s, 0, 0), 0);
  EXPECT_EQ(to_hex(drain(s)), "61 0A 62 63");
  EXPECT_EQ(stream_seek(s, 1, 0), 0);  // at the stored CR
  EXPECT_EQ(to_hex(drain(s)), "0A 62 63");
  EXPECT_EQ(stream_seek(s, 2, 0), 0);  // at the stored LF
  EXPECT_EQ(to_hex(drain(s)), "0A 62 63");
  close_stream(s);
}

TEST(TextStreamPosition, SeekAfterAReadErrorKeepsTheErrorFlag) {
  SKIP_ON_WINDOWS("a folder read as a file, which POSIX opens and fails with EISDIR");
  TempDir dir;
  const int fd = ::open(dir.path().c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  TextStream* s = open_descriptor(fd, true);
  ASSERT_NE(s, nullptr);
  last_error = 0;
  EXPECT_EQ(read_byte(s), EOF);  // reading a directory fails
  EXPECT_TRUE(stream_error(s));
  EXPECT_EQ(last_error, 21);
  stream_seek(s, 0, 0);
  EXPECT_TRUE(stream_error(s));
  close_stream(s);
  ::close(fd);
}

// ---------------------------------------------------------------------------
// Opening: failures and their numbers.

TEST(TextStreamOpen, FailuresSetLastError) {
  TempDir dir;
  dir.write("file.txt", "x");
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
#if !defined(_WIN32)  // a user makes no symbolic link there (reparse points: windows_kotran_test)
  ASSERT_EQ(symlink("loop", dir.file("loop").c_str()), 0);  // a link to itself
#endif
  struct Case {
    std::string name;
    const char* mode;
    int expected;
  };
  const Case cases[] = {
      {dir.file("missing.txt"), "rt", 2},
      {dir.file("nodir/a.txt"), "rt", 2},
      {dir.file("nodir/a.txt"), "wt+", 2},
      {dir.file("file.txt/a.txt"), "rt", 2},  // a file on the path
      {dir.file("sub"), "rt", 21},            // a directory
      {dir.file("sub"), "wt+", 21},
      {dir.path(), "rt", 21},
#if !defined(_WIN32)
      {dir.file("loop"), "rt", 43},  // too many levels of symbolic links
      {dir.file("loop"), "wt+", 43},
      {dir.file("loop/a.txt"), "rt", 43},
#endif
      {dir.file(std::string(300, 'n')), "rt", 38},
      {dir.file(std::string(300, 'n')), "wt+", 38},
  };
  for (const Case& c : cases) {
    last_error = 0;
    TextStream* s = open_stream(c.name.c_str(), c.mode);
    EXPECT_EQ(s, nullptr) << c.name.substr(dir.path().size()) << " " << c.mode;
    if (s != nullptr) close_stream(s);
    EXPECT_EQ(last_error, c.expected) << c.name.substr(dir.path().size()) << " " << c.mode;
  }
#if defined(_WIN32)
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"file.txt", "sub"}));  // nothing created
#else
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"file.txt", "loop", "sub"}));  // nothing created
#endif
}

TEST(TextStreamOpen, UnreadableFileIsAccessRefused) {
  SKIP_ON_WINDOWS("Windows keeps no mode bits: an ACL keeps readers out (windows_kotran_test)");
  if (!test::permissions_apply()) GTEST_SKIP() << "running as root: permission bits stop nothing";
  TempDir dir;
  dir.write("locked.txt", "x");
  ASSERT_EQ(chmod(dir.file("locked.txt").c_str(), 0), 0);
  last_error = 0;
  EXPECT_EQ(open_stream(dir.file("locked.txt").c_str(), "rt"), nullptr);
  EXPECT_EQ(last_error, 13);
  ASSERT_EQ(chmod(dir.file("locked.txt").c_str(), 0444), 0);
  last_error = 0;
  EXPECT_EQ(open_stream(dir.file("locked.txt").c_str(), "wt+"), nullptr);
  EXPECT_EQ(last_error, 13);
  EXPECT_EQ(dir.read("locked.txt"), "x");
}

// ---------------------------------------------------------------------------
// Error numbers and texts.

TEST(TextStreamErrors, HostErrorNumbers) {
  struct Case {
    int errnum;
    const char* name;
    int expected;
  };
  const Case cases[] = {
      {ENOENT, "ENOENT", 2},   {ENOTDIR, "ENOTDIR", 2},           {EACCES, "EACCES", 13},
      {EPERM, "EPERM", 13},    {EROFS, "EROFS", 30},              {EIO, "EIO", 5},
      {EISDIR, "EISDIR", 21},  {EMFILE, "EMFILE", 24},            {ENFILE, "ENFILE", 24},
      {ENOSPC, "ENOSPC", 28},  {ENAMETOOLONG, "ENAMETOOLONG", 38}, {EINVAL, "EINVAL", 22},
      {ELOOP, "ELOOP", 43},    {EEXIST, "EEXIST", 17},            {EXDEV, "EXDEV", 18},
      {EMLINK, "EMLINK", 31},  {ENOTEMPTY, "ENOTEMPTY", 41},      {ENOSYS, "ENOSYS", 40},
      {EBUSY, "EBUSY", 16},    {EINTR, "EINTR", 4},               {ENOEXEC, "ENOEXEC", 8},
      {EDOM, "EDOM", 33},      {ERANGE, "ERANGE", 34},            {EDEADLK, "EDEADLK", 36},
      {ENOLCK, "ENOLCK", 39},  {ESRCH, "ESRCH", 3},               {ECHILD, "ECHILD", 10},
      {EFAULT, "EFAULT", 14},  {ENOTTY, "ENOTTY", 25},            {E2BIG, "E2BIG", 7},
      {EFBIG, "EFBIG", 27},    {EPIPE, "EPIPE", 32},              {ESPIPE, "ESPIPE", 29},
      {ENOMEM, "ENOMEM", 12},  {EILSEQ, "EILSEQ", 42},            {EAGAIN, "EAGAIN", 11},
      {EBADF, "EBADF", 9},     {ENXIO, "ENXIO", 6},               {ENODEV, "ENODEV", 19},
      {EOPNOTSUPP, "EOPNOTSUPP", 22},    {ENOTSOCK, "ENOTSOCK", 22},
#if defined(EDQUOT)  // a host without disk quotas has no such number
      {EDQUOT, "EDQUOT", 28},
#endif
  };
  for (const Case& c : cases) EXPECT_EQ(error_number_from_errno(c.errnum), c.expected) << c.name;
}

// ---------------------------------------------------------------------------
// The report line, written by a child process whose standard error is a file.

std::string report_in_child(int number, const char* name, const char* written_before = nullptr) {
#if defined(_WIN32)
  static_cast<void>(number), static_cast<void>(name), static_cast<void>(written_before);
  return {};
#else
  TempDir dir;
  const std::string path = dir.file("stderr");
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return {};
  }
  if (pid == 0) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 2) < 0) _exit(3);
    if (written_before != nullptr) write_string(std_err(), written_before);
    last_error = number;
    report_error(name);
    _exit(0);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
  return dir.read("stderr");
#endif
}

// A report line is written by a forked child; on Windows, kotran.exe's own
// messages show it (windows_kotran_test).
#define SKIP_WITHOUT_FORK() SKIP_ON_WINDOWS("a report line written by a forked child, which Windows has not")

TEST(TextStreamReport, NameTextAndCrLf) {
  SKIP_WITHOUT_FORK();
  EXPECT_EQ(report_in_child(2, "a.txt"), "a.txt: No such file or directory\r\n");
  EXPECT_EQ(report_in_child(13, "dir/x y.txt"), "dir/x y.txt: Permission denied\r\n");
  EXPECT_EQ(report_in_child(38, "n"), "n: Filename too long\r\n");
  EXPECT_EQ(report_in_child(43, "loop"), "loop: Too many levels of symbolic links\r\n");
  // Control bytes of the name are shown as hex; 0x80 and up and '\\' stay.
  EXPECT_EQ(report_in_child(2, "a\x1b[31m\nb\x7f\x95\\"),
            "a\\x1B[31m\\x0Ab\\x7F\x95\\: No such file or directory\r\n");
}

TEST(TextStreamReport, EmptyNameGivesTheTextAlone) {
  SKIP_WITHOUT_FORK();
  EXPECT_EQ(report_in_child(2, ""), "No such file or directory\r\n");
}

TEST(TextStreamReport, NumberOutsideTheTable) {
  SKIP_WITHOUT_FORK();
  EXPECT_EQ(report_in_child(-1, "a"), "a: Unknown error\r\n");
  EXPECT_EQ(report_in_child(44, "a"), "a: Unknown error\r\n");
}

TEST(TextStreamReport, EarlierMessagesStandFirst) {
  SKIP_WITHOUT_FORK();
  EXPECT_EQ(report_in_child(2, "b.txt", "first\nsecond\n"),
            "first\r\nsecond\r\nb.txt: No such file or directory\r\n");
}

}  // namespace
}  // namespace kotran
