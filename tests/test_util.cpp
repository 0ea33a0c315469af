// The tests' helpers over bytes in memory, which build for every host.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "convert/converters.h"
#include "kernels/paths.h"

namespace kotran::test {

std::string hex(const std::string& text) {
  std::string bytes;
  int nibbles = 0;
  unsigned value = 0;
  for (char ch : text) {
    if (ch == ' ') continue;
    const int digit = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0'
                      : (ch >= 'A' && ch <= 'F')                   ? ch - 'A' + 10
                      : (ch >= 'a' && ch <= 'f')                   ? ch - 'a' + 10
                                                                   : -1;
    if (digit < 0) throw std::invalid_argument("bad hex: " + text);
    value = value * 16 + static_cast<unsigned>(digit);
    if (++nibbles == 2) {
      bytes += static_cast<char>(value);
      nibbles = 0;
      value = 0;
    }
  }
  if (nibbles != 0) throw std::invalid_argument("odd hex: " + text);
  return bytes;
}

std::string to_hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  if (bytes.empty()) return {};
  // Written through one pointer into text made once: the suites' loops turn
  // whole outputs into hex, and the unoptimised sanitizer build paid a call
  // per character when it was appended.
  std::string text(bytes.size() * 3 - 1, ' ');
  char* out = text.data();
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); ++i) {
    out[3 * i] = digits[in[i] >> 4];
    out[3 * i + 1] = digits[in[i] & 15];
  }
  return text;
}

std::string convert_bytes(Converter converter, const std::string& input, const ConvertOptions& with,
                          ConversionResult* found) {
  std::string output;
  TextStream* in = open_memory_input(input.data(), input.size(), false);
  TextStream* out = open_memory_output(&output, false);
  const ConversionResult result = converter(in, out, with);
  if (found != nullptr) *found = result;
  close_stream(in);
  close_stream(out);
  return output;
}

std::string readable(const std::string& sjis) { return convert_bytes(converter(Code::sjis, Code::utf8), sjis); }

std::string repeat(const std::string& block, size_t times) {
  std::string s;
  s.reserve(block.size() * times);
  for (size_t i = 0; i < times; ++i) s += block;
  return s;
}

std::string summary_line(unsigned converted, unsigned skipped, unsigned replaced, unsigned failed) {
  // 合計: 変換 N, スキップ N, 置き換えた文字 N, 失敗 N.
  return hex("8D 87 8C 76 3A 20 95 CF 8A B7 20") + std::to_string(converted) + hex("2C 20 83 58 83 4C 83 62 83 76 20") +
         std::to_string(skipped) + hex("2C 20 92 75 82 AB 8A B7 82 A6 82 BD 95 B6 8E 9A 20") + std::to_string(replaced) +
         hex("2C 20 8E B8 94 73 20") + std::to_string(failed) + ".\r\n";
}

std::string after_banner(const std::string& text) {
  const std::string first = "Yomikae Ver.3.2\r\n";
  if (text.compare(0, first.size(), first) != 0) {
    ADD_FAILURE() << "no banner at the start: " << to_hex(text.substr(0, 40));
    return text;
  }
  const size_t second_end = text.find("\r\n", first.size());
  if (second_end == std::string::npos) {
    ADD_FAILURE() << "banner ends after its first line";
    return {};
  }
  EXPECT_GT(second_end, first.size()) << "the notice line is empty";
  const size_t third = second_end + 2;
  if (text.compare(third, 2, "\r\n") != 0) {
    ADD_FAILURE() << "no empty line after the notice: " << to_hex(text.substr(third, 20));
    return text.substr(third);
  }
  std::string rest = text.substr(third + 2);
  const std::string summary_head = hex("8D 87 8C 76 3A 20");
  const size_t last = rest.size() < 2 ? std::string::npos : rest.rfind("\r\n", rest.size() - 3);
  const size_t line = last == std::string::npos ? 0 : last + 2;
  if (rest.compare(line, summary_head.size(), summary_head) == 0) rest.erase(line);
  return rest;
}

RunResult run_kotran(const std::vector<std::string>& args, const std::string& dir,
                     const std::vector<std::string>& extra_env, const std::string& stdout_path) {
  return run_kotran_on_host(args, dir, extra_env, stdout_path, false);
}

RunResult run_kotran_appending(const std::vector<std::string>& args, const std::string& dir,
                               const std::string& stdout_path) {
  return run_kotran_on_host(args, dir, {}, stdout_path, true);
}

bool path_taken(Path path) {
  if (path_available(path)) return true;
  static bool said[std::size(PATHS)] = {};
  if (!said[static_cast<size_t>(path)]) {
    said[static_cast<size_t>(path)] = true;
    std::printf("[  SKIPPED ] the %s path: this processor or build lacks it\n", path_name(path));
  }
  return false;
}

}  // namespace kotran::test
