/* Converts standard input to UTF-8 on standard output with libkotran,
 * recognising the code of the text, and tells on standard error what it
 * was and how many characters had to be replaced.
 *
 *   cc convert_file.c $(pkg-config --cflags --libs kotran) -o convert_file
 *   ./convert_file < mail.txt > mail.utf8
 */
#include <kotran.h>
#include <stdio.h>

static int write_out(const char *bytes, size_t size) {
  return fwrite(bytes, 1, size, stdout) == size ? 0 : -1;
}

int main(void) {
  kotran_options options;
  kotran_options_init(&options);
  options.target = KOTRAN_UTF8;
  options.lf = 1;
  kotran_converter *converter;
  int status = kotran_open(&options, &converter);
  if (status != KOTRAN_OK) {
    fprintf(stderr, "convert_file: %s\n", kotran_status_message(status));
    return 1;
  }
  static char in[65536], out[65536];
  size_t got;
  while (status >= 0 && (got = fread(in, 1, sizeof in, stdin)) > 0) {
    size_t taken = 0;
    do {
      size_t read = 0, written = 0;
      status = kotran_convert(converter, in + taken, got - taken, &read, out, sizeof out, &written);
      if (write_out(out, written) != 0) status = -100;
      taken += read;
    } while (status == KOTRAN_NEED_ROOM);
  }
  while (status >= 0) {
    size_t written = 0;
    status = kotran_finish(converter, out, sizeof out, &written);
    if (write_out(out, written) != 0) status = -100;
    if (status == KOTRAN_OK) break;
  }
  kotran_report report;
  kotran_get_report(converter, &report);
  kotran_close(converter);
  if (status == -100 || ferror(stdin) || fflush(stdout) != 0) {
    fprintf(stderr, "convert_file: could not read or write\n");
    return 1;
  }
  if (status != KOTRAN_OK) {
    fprintf(stderr, "convert_file: %s (%s)\n", kotran_status_message(status), report.recognition.detail);
    return 1;
  }
  fprintf(stderr, "convert_file: %s (%s) -> UTF-8, %llu replaced\n", report.recognition.name,
          report.recognition.detail, (unsigned long long)report.replaced);
  return 0;
}
