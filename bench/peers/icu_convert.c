/* A peer for the benchmark: ICU's converters streaming a file to standard
 * output through ucnv_convertEx, 64 KiB at a time, as a program that uses
 * libicu would.
 *
 *     icu_convert FROM TO FILE
 *
 * FROM and TO are ICU converter names (windows-31j, EUC-JP, ISO-2022-JP,
 * UTF-8). Unmappable characters take the target's substitute. Status 1 on
 * any error, with ICU's name for it. */
#include <stdio.h>
#include <stdlib.h>
#include <unicode/ucnv.h>

enum { BLOCK = 64 * 1024 };

static void die(const char *what, UErrorCode status) {
  fprintf(stderr, "icu_convert: %s: %s\n", what, u_errorName(status));
  exit(1);
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: icu_convert FROM TO FILE\n");
    return 2;
  }
  UErrorCode status = U_ZERO_ERROR;
  UConverter *from = ucnv_open(argv[1], &status);
  if (U_FAILURE(status)) die(argv[1], status);
  UConverter *to = ucnv_open(argv[2], &status);
  if (U_FAILURE(status)) die(argv[2], status);
  FILE *in = fopen(argv[3], "rb");
  if (in == NULL) {
    perror(argv[3]);
    return 1;
  }
  static char input[BLOCK], output[4 * BLOCK];
  static UChar pivot[BLOCK];
  UChar *pivot_source = pivot, *pivot_target = pivot;
  int reset = 1;
  for (;;) {
    const size_t got = fread(input, 1, BLOCK, in);
    const int flush = got < BLOCK;
    const char *source = input;
    const char *source_limit = input + got;
    do {
      char *target = output;
      status = U_ZERO_ERROR;
      ucnv_convertEx(to, from, &target, output + sizeof output, &source, source_limit, pivot, &pivot_source,
                     &pivot_target, pivot + BLOCK, reset, flush, &status);
      reset = 0;
      if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) die("ucnv_convertEx", status);
      if (fwrite(output, 1, (size_t)(target - output), stdout) != (size_t)(target - output)) {
        perror("standard output");
        return 1;
      }
    } while (status == U_BUFFER_OVERFLOW_ERROR);
    if (flush) break;
  }
  if (ferror(in)) {
    perror(argv[3]);
    return 1;
  }
  if (fflush(stdout) != 0) {
    perror("standard output");
    return 1;
  }
  ucnv_close(from);
  ucnv_close(to);
  return 0;
}
