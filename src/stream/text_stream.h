// Byte streams in text mode over named files, the standard streams and memory.
//
// Reading delivers stored CR LF as LF and ends the input at a stored 0x1A;
// writing stores each LF as CR LF (or as LF alone in LF mode). Translation
// happens a block at a time when a block is filled or written out, so the
// per-byte operations below are a compare and a load or store: they inline
// into the converters' loops. A conversion may instead take the line ends
// over itself (stream_keep_line_ends), so that a CR LF goes through untouched.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>  // EOF
#include <string>

namespace kotran {

enum class StreamKind : uint8_t {
  file,     // a named file, or a standard stream redirected to one
  pipe,     // a pipe or socket
  console,  // a terminal
  memory,   // bytes held in memory (tests, fuzzing)
};

// Bytes of room kept before the data of an input block, so that bytes can be
// pushed back at any read position, block edges included.
inline constexpr size_t PUSHBACK_ROOM = 16;
// Block size of the standard streams and of memory streams: bytes of
// translated input, or bytes of output counted before translation. How
// standard output and standard error interleave in one file depends on it.
inline constexpr size_t BLOCK_SIZE = 4096;
// Standard output holds up to this many bytes before it writes them (16
// blocks), but only while standard error is silent: before standard error
// writes, standard output writes what it would have written by then in
// blocks of BLOCK_SIZE (its whole blocks, keeping the part of a block), so
// that the two interleave in one file just as they would.
inline constexpr size_t STDOUT_HOLD = 16 * BLOCK_SIZE;
// Block size of named files, where it is not seen and larger blocks mean
// fewer system calls.
inline constexpr size_t FILE_BLOCK_SIZE = 64 * 1024;
// Block size of an output file of the program's own: the file system
// takes larger writes for less a byte.
inline constexpr size_t OUTPUT_FILE_BLOCK_SIZE = 256 * 1024;
// Disk room an output file of the program's own has set aside ahead of its
// writes at the least and at the most (see reserve_room_ahead).
inline constexpr int64_t ROOM_STEP_MIN = 1 << 20;
inline constexpr int64_t ROOM_STEP_MAX = 8 << 20;
// Block size of a named pipe read as input.
inline constexpr size_t PIPE_BLOCK_SIZE = 128 * 1024;
// Bytes of a pipe kept in memory for going back to its start; beyond them
// what was read is kept in an unnamed temporary file.
inline constexpr size_t SPOOL_MEMORY = 256 * 1024;

// The bytes read from an input that cannot seek (a pipe, a terminal), kept so
// that the input can go back to its start after recognition has read ahead.
struct Spool;

struct TextStream {
  // Hot fields first. Input: [next, limit) is translated input not yet
  // delivered, and pushed-back bytes go just before next. Output: [next, limit)
  // is free room of the block; limit equals next for a console, so every byte
  // takes the slow path and goes out at once.
  unsigned char* next = nullptr;
  unsigned char* limit = nullptr;
  unsigned char* data = nullptr;  // start of the block's data area
  unsigned char* floor = nullptr; // lowest address a pushed-back byte may take

  int fd = -1;
  bool input = true;
  StreamKind kind = StreamKind::file;
  bool at_eof = false;     // stream_eof: a read found no more input
  bool failed = false;     // stream_error: a read or write failed
  bool sub_met = false;    // input: a stored 0x1A ended the input
  bool held_cr = false;    // input: a stored CR at the end of a chunk awaits the next byte
  bool text = true;        // translate line ends
  // Text whose line ends the stream leaves as stored (see
  // stream_keep_line_ends): the reader folds CR LF as it reads, the writer
  // stores CR LF itself. 0x1A still ends the input.
  bool line_ends_kept = false;
  bool lf_only = false;    // output: store LF alone instead of CR LF
  bool owns_fd = true;
  bool tell_exact = true;  // input: no CR LF was folded in the current block
  bool tail_marks_only = true;  // input: the bytes read after the 0x1A were all 0x1A
  bool as_it_comes = false;  // input: a pipe's block is what one read gives, not a full block
  bool view = false;         // input: the block is bytes of the caller's, the whole text (see view_input)
  bool ended = false;        // input that cannot seek: a read found its end, and it is not read again

  int error_code = 0;         // error number of the first failure
  int64_t raw_pos = 0;         // offset of the next stored byte to read, or of the end of output written
  int64_t mark_offset = -1;    // input: offset of the stored 0x1A that ended the text
  int64_t tail_read = 0;       // input: bytes after that 0x1A read with it
  int64_t text_written = 0;    // output: bytes of the blocks written out, before line-end translation
  int64_t room_end = 0;        // output: end of the disk room set aside (see reserve_room_ahead)
  bool reserving = false;      // output: room is set aside ahead of the writes
  Spool* spool = nullptr;      // input that cannot seek: what was read, for going back
  size_t block_size = BLOCK_SIZE;
  size_t visible_block = 0;  // output: when set, the block size others see (see STDOUT_HOLD)

  // Memory form.
  const unsigned char* mem_in = nullptr;
  size_t mem_size = 0;
  size_t mem_chunk = BLOCK_SIZE;  // bytes taken per fill, to place block edges in tests
  std::string* mem_out = nullptr;
  unsigned char* mem_room = nullptr;  // output into a caller's room of mem_size bytes, where mem_out is null

  unsigned char* storage = nullptr;  // owned block storage
  size_t storage_size = 0;
  // Output: called before any bytes go out (a progress line that must make
  // room for them, say).
  void (*before_write)(void* arg) = nullptr;
  void* before_write_arg = nullptr;
};

// The number of the last failure on this thread (see error_messages): a
// thread that converts files on its own is told its own failures alone.
extern thread_local int last_error;

// Opens a named file: mode "rt" reads an existing file; "wt+" creates or
// empties it (new files get mode 0644 before the umask). Null on failure, with
// last_error set. Memory for a stream that cannot be had throws
// std::bad_alloc, here and in every function that makes a stream.
TextStream* open_stream(const char* name, const char* mode);
// As open_stream, over the file the caller opened as fd (st its fstat),
// which close_stream closes; closed at once, null with last_error set, when
// it is a directory.
TextStream* open_opened(int fd, const struct stat& st, bool input);
// Wraps a regular file the caller opened, which close_stream closes; as
// open_descriptor with owned set, without asking what the descriptor is.
TextStream* open_file_descriptor(int fd, bool input);
// An output file of the program's own sets aside disk room ahead of its
// writes, as much as it has written (1 to 8 MiB at a time), where the file
// system writes faster into room set aside (platform::room_pays); nothing
// where it cannot be had. give_back_room frees what was set aside and not
// written into (after flush_stream, and before the file's times are set,
// since truncating changes them): 0, or -1 with last_error set.
void reserve_room_ahead(TextStream* s);
int give_back_room(TextStream* s);
// Standard input as an input stream that can go back to its start, whatever
// it is (a file, a pipe, a terminal); not closed by close_stream.
TextStream* open_standard_input();
// Opens an input stream over bytes in memory, delivered chunk bytes per fill.
// With text clear, bytes are delivered as stored (no CR LF folding, no 0x1A end).
TextStream* open_memory_input(const void* bytes, size_t size, bool text = true,
                              size_t chunk = BLOCK_SIZE);
// Opens an output stream that appends to *sink; with text clear nothing is translated.
TextStream* open_memory_output(std::string* sink, bool text = true);
// Memory streams with blocks of block bytes, for converting texts held in
// memory: reset_memory_input points an input at other bytes, from their
// start, as if just opened (it keeps line ends as stored if it did), and
// reset_memory_output points an output at a caller's room of size bytes,
// which it fills from the start; a write that finds no more room fails
// (stream_error) with nothing beyond the room touched. Neither sets
// last_error, so that streams of different threads share nothing.
TextStream* open_memory_stream(bool input, size_t block);
// As open_memory_stream, in memory_stream_space bytes of the caller's,
// aligned as malloc aligns: a stream that needs no memory taken, and is
// not closed (the caller's space is simply let go).
size_t memory_stream_space(bool input, size_t block);
TextStream* place_memory_stream(void* space, bool input, size_t block);
void reset_memory_input(TextStream* s, const void* bytes, size_t size, bool text);
void reset_memory_output(TextStream* s, void* room, size_t size, bool text);
// An input over size bytes of the caller's, read where they lie: they are
// the whole text, delivered as they stand (translated already, as the
// blocks of `like` are, whose line-end settings the view takes). A byte
// pushed back goes where it was read, so the bytes must be writable; none
// goes back before the first.
void view_input(TextStream* view, unsigned char* bytes, size_t size, const TextStream* like);
// Keeps the bytes of the block not yet delivered, moved to its start, and
// reads more after them, translated as a fill translates: the count added,
// 0 at the end of the input (stream_eof), -1 on a read error
// (stream_error). The block must have room for two bytes more (a CR held
// back, and the byte that settles it).
ssize_t stream_read_more(TextStream* s);
// Output bytes a memory output has put in its room so far (after flush_stream).
inline size_t memory_output_size(const TextStream* s) { return static_cast<size_t>(s->raw_pos); }
// Wraps an open descriptor as a text stream: the standard streams, or with
// owned set a file the caller opened, which close_stream closes (and which
// then gets the block size of named files).
TextStream* open_descriptor(int fd, bool input, bool owned = false);
// Writes held output and closes; 0, or -1 when held output could not be
// written or the close failed. The stream is gone either way.
int close_stream(TextStream* s);
// Writes out held output; 0, or -1 when it could not be written.
int flush_stream(TextStream* s);

int read_byte_refill(TextStream* s);
int unread_byte_slow(int ch, TextStream* s);
int write_byte_slow(int ch, TextStream* s);

// Next byte 0-255, or EOF at the end of input or on a read error.
inline int read_byte(TextStream* s) {
  if (s->next < s->limit) [[likely]]
    return *s->next++;
  return read_byte_refill(s);
}

// Makes ch the next byte read. Two bytes pushed back in a row are always kept.
inline int unread_byte(int ch, TextStream* s) {
  if (ch == EOF) return EOF;
  if (s->next > s->floor) [[likely]] {
    *--s->next = static_cast<unsigned char>(ch);
    s->at_eof = false;
    return ch & 0xFF;
  }
  return unread_byte_slow(ch, s);
}

// Writes one byte; ch & 0xFF, or EOF when the write failed.
inline int write_byte(int ch, TextStream* s) {
  if (s->next < s->limit) [[likely]] {
    *s->next++ = static_cast<unsigned char>(ch);
    return ch & 0xFF;
  }
  return write_byte_slow(ch, s);
}

// Writes the bytes of str up to its NUL, stopping at the first that fails.
// A console receives the whole string in one write.
int write_string(TextStream* s, const char* str);
// Writes size bytes as by write_byte (a console receives them in one write).
int write_bytes(TextStream* s, const void* bytes, size_t size);

// From here on the conversion, not the stream, handles line ends: input
// hands over CR LF as stored (0x1A still ends the text), and output writes
// every byte as the writer stored it, CR LF included. Output held so far goes
// out first, translated as before. An input must hold no block (just opened
// or positioned); -1, with nothing changed, when it does. With keep clear,
// an output goes back to translating (after writing what it holds).
int stream_keep_line_ends(TextStream* s, bool keep = true);
int64_t stream_tell(TextStream* s);
// An input that cannot seek (a pipe) can still go back to any offset it has
// delivered since it was opened, until stream_forget_history.
int stream_seek(TextStream* s, int64_t offset, int origin);
// The program will not go back before the current position of an input any
// more: what a pipe's input kept for that is let go as it is passed.
void stream_forget_history(TextStream* s);
// After a stored 0x1A ended the text: reads the input to its end and counts
// the stored bytes after that 0x1A; only_marks tells whether they were all
// 0x1A. -1 on a read error (stream_error set); 0 when no 0x1A ended the text.
int64_t stream_bytes_after_end(TextStream* s, bool& only_marks);
inline bool stream_eof(const TextStream* s) { return s->at_eof; }
inline bool stream_error(const TextStream* s) { return s->failed; }

// Writes size bytes straight to the descriptor, retrying interrupted and
// partial writes; false, errno set, when a write fails. Needs no memory.
bool write_all(int fd, const void* bytes, size_t size);

// Standard output and standard error for the whole run.
TextStream* std_out();
TextStream* std_err();
// Writes the whole blocks that standard output holds, as it would have
// written them by now: called before anything goes to standard error.
void settle_standard_output();

}  // namespace kotran
