/* The copy floor of a conversion: what reading its input and writing an
 * output of its size costs, with no conversion between.
 *
 *   copy_floor INPUT OUTPUT_BYTES OUTPUT
 *
 * Reads INPUT through one buffer of 64 KiB (kotran's block for files) and,
 * after each read, writes from the same buffer as much of OUTPUT_BYTES as
 * is due by then, so that reads and writes interleave as a converter's do.
 * OUTPUT "-" is standard output. Exits 1 on any failure.
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { BLOCK = 64 * 1024 };

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
  static char buffer[BLOCK];
  unsigned long long read_so_far = 0, written = 0;
  for (;;) {
    const ssize_t n = read(in, buffer, BLOCK);
    if (n < 0) {
      perror("read");
      return 1;
    }
    read_so_far += (unsigned long long)n;
    const unsigned long long due = n == 0 ? out_bytes : out_bytes * read_so_far / (unsigned long long)st.st_size;
    while (written < due) {
      const size_t k = due - written < BLOCK ? (size_t)(due - written) : BLOCK;
      if (write_all(out, buffer, k) != 0) {
        perror("write");
        return 1;
      }
      written += k;
    }
    if (n == 0) break;
  }
  return close(in) == 0 && (out == 1 || close(out) == 0) ? 0 : 1;
}
