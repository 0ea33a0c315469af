/* The copy floor of a conversion: what reading its input and writing an
 * output of its size costs, with no conversion between.
 *
 *   copy_floor INPUT OUTPUT_BYTES OUTPUT
 *
 * Reads INPUT through one buffer of 64 KiB (kotran's block for input files)
 * and, after each read, writes as much of OUTPUT_BYTES as is due by then,
 * so that reads and writes interleave as a converter's do: into a regular
 * file in pieces of 256 KiB (kotran's block for output files), with disk
 * room set aside ahead of the writes on ext4 and what is left of it given
 * back at the end, as kotran does; anywhere else (/dev/null, a pipe) in
 * pieces of 64 KiB, as kotran's standard output. OUTPUT "-" is standard
 * output. Exits 1 on any failure.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

enum { BLOCK = 64 * 1024, OUT_BLOCK = 256 * 1024 };
#define ROOM_STEP_MIN (1LL << 20)
#define ROOM_STEP_MAX (8LL << 20)

static int write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t k = write(fd, p, n);
    if (k < 0) return -1;
    p += k;
    n -= (size_t)k;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: copy_floor INPUT OUTPUT_BYTES OUTPUT\n");
    return 1;
  }
  const int in = open(argv[1], O_RDONLY);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0 || st.st_size <= 0) {
    perror(argv[1]);
    return 1;
  }
  const unsigned long long out_bytes = strtoull(argv[2], NULL, 10);
  const int out = strcmp(argv[3], "-") == 0 ? 1 : open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) {
    perror(argv[3]);
    return 1;
  }
  static char buffer[BLOCK], out_buffer[OUT_BLOCK];
  memset(out_buffer, 'x', sizeof out_buffer);
  struct statfs fs;
  struct stat out_st;
  const int to_file = fstat(out, &out_st) == 0 && S_ISREG(out_st.st_mode);
  const unsigned long long piece = to_file ? OUT_BLOCK : BLOCK;
  int reserving = to_file && fstatfs(out, &fs) == 0 && fs.f_type == 0xEF53;
  long long room_end = 0;
  unsigned long long read_so_far = 0, written = 0;
  for (;;) {
    const ssize_t n = read(in, buffer, BLOCK);
    if (n < 0) {
      perror("read");
      return 1;
    }
    read_so_far += (unsigned long long)n;
    const unsigned long long due = n == 0 ? out_bytes : out_bytes * read_so_far / (unsigned long long)st.st_size;
    while (written < due && (n == 0 || due - written >= piece)) {
      const size_t k = due - written < piece ? (size_t)(due - written) : (size_t)piece;
      if (reserving && written > 0 && (long long)(written + k) > room_end) {
        const long long from = room_end > (long long)written ? room_end : (long long)written;
        long long step = (long long)written;
        step = step < ROOM_STEP_MIN ? ROOM_STEP_MIN : step > ROOM_STEP_MAX ? ROOM_STEP_MAX : step;
        const long long end = (long long)(written + k) > from + step ? (long long)(written + k) : from + step;
        if (fallocate(out, FALLOC_FL_KEEP_SIZE, from, end - from) == 0)
          room_end = end;
        else
          reserving = 0;
      }
      if (write_all(out, out_buffer, k) != 0) {
        perror("write");
        return 1;
      }
      written += k;
    }
    if (n == 0) break;
  }
  if (room_end > (long long)written && ftruncate(out, (off_t)written) != 0) {
    perror("ftruncate");
    return 1;
  }
  return close(in) == 0 && (out == 1 || close(out) == 0) ? 0 : 1;
}
