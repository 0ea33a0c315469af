#include "driver/messages.h"

#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "codes/jis_sjis.h"
#include "codes/unicode_table.h"
#include "platform/console.h"
#include "stream/error_report.h"

namespace kotran {

const Message usage_lines[USAGE_LINE_COUNT] = {
    {"Usage: kotran [オプション] file ...\n",
     "Usage: kotran [options] file ...\n"},
    {"         -e : EUC に変換\n",
     "         -e : convert to EUC\n"},
    {"         -j : '83-JIS に変換\n",
     "         -j : convert to '83-JIS\n"},
    {"         -j8: '83-JIS に変換\n",
     "         -j8: convert to '83-JIS\n"},
    {"         -j7: '78-JIS に変換\n",
     "         -j7: convert to '78-JIS\n"},
    {"         -s : シフトJIS に変換\n",
     "         -s : convert to Shift-JIS\n"},
    {"       オプションを指定しなければ シフトJIS に変換.\n\n",
     "       Without an option, converts to Shift-JIS.\n\n"},
    {"         -c : 変換結果を画面に表示 (ファイル出力しない)\n",
     "         -c : show the result on the screen (no output file)\n"},
    {"         -f : 半角カタカナを全角に変換\n",
     "         -f : convert half-width katakana to full-width\n"},
    {"\n       変換元漢字コードは自動判別.\n",
     "\n       The source's kanji code is recognised by itself.\n"},
    {"       パラメタを何も指定しなければ Usage を表示.\n",
     "       With no parameters at all, shows this usage.\n"},
};

const Message help_extension_lines[HELP_EXTENSION_LINE_COUNT] = {
    {"\n       拡張オプション:\n",
     "\n       Extended options:\n"},
    {"         -u : UTF-8 に変換\n",
     "         -u : convert to UTF-8\n"},
    {"         -w : UTF-16 (リトルエンディアン, BOM 付き) に変換\n",
     "         -w : convert to UTF-16 (little-endian, with a BOM)\n"},
    {"         -us: UTF-8 から シフトJIS に変換 (自動判別しない)\n",
     "         -us: convert from UTF-8 to Shift-JIS (no recognition)\n"},
    {"         -ue: UTF-8 から EUC に変換 (自動判別しない)\n",
     "         -ue: convert from UTF-8 to EUC (no recognition)\n"},
    {"         -uj: UTF-8 から JIS に変換 (自動判別しない)\n",
     "         -uj: convert from UTF-8 to JIS (no recognition)\n"},
    {"         -ju: JIS から UTF-8 に変換 (自動判別しない)\n",
     "         -ju: convert from JIS to UTF-8 (no recognition)\n"},
    {"         -eu: EUC から UTF-8 に変換 (自動判別しない)\n",
     "         -eu: convert from EUC to UTF-8 (no recognition)\n"},
    {"         --to=CODE: CODE に変換 (sjis2004, euc2004, jis2004: JIS X 0213 ...)\n",
     "         --to=CODE: convert to CODE (sjis2004, euc2004, jis2004: JIS X 0213 ...)\n"},
    {"         --from=CODE: CODE から変換 (自動判別しない)\n",
     "         --from=CODE: convert from CODE (no recognition)\n"},
    {"         -l : 改行を LF だけで出力 (CR LF にしない)\n",
     "         -l : end output lines with LF alone (not CR LF)\n"},
    {"         -g : 各ファイルの漢字コードを表示 (変換しない)\n",
     "         -g : show each file's kanji code (convert nothing)\n"},
    {"         --unicode=jis: 〜‖−¢£¬— を JIS の Unicode (U+301C ...) で出力\n",
     "         --unicode=jis: write seven characters in the JIS Unicode forms (U+301C ...)\n"},
    {"                        (既定は --unicode=windows: U+FF5E ...)\n",
     "                        (the default is --unicode=windows: U+FF5E ...)\n"},
    {"         --strict: 置き換える文字や不正なバイトのあるファイルは変換しない\n",
     "         --strict: do not convert a file with a character to replace or an invalid byte\n"},
    {"         -r : フォルダの中のファイルをすべて変換 (シンボリックリンクはたどらない)\n",
     "         -r : convert every file in the folders (symbolic links are not followed)\n"},
    {"         --out-dir=DIR: 出力ファイルを DIR の下の同じパスに作る\n",
     "         --out-dir=DIR: make the output files at the same paths under DIR\n"},
    {"         --in-place: 変換結果で元のファイルを置き換える\n",
     "         --in-place: replace each file with its conversion\n"},
    {"         --in-place=SUFFIX: 同じく, 元のファイルを 名前+SUFFIX に残す\n",
     "         --in-place=SUFFIX: the same, keeping the original as name+SUFFIX\n"},
    {"         --jobs=N: N 個のファイルを同時に変換 (既定は 1)\n",
     "         --jobs=N: convert N files at once (default 1)\n"},
    {"         --json: 各ファイルの結果と合計を JSON Lines で標準出力に書く\n",
     "         --json: write each file's outcome and the total as JSON Lines on standard output\n"},
    {"         -  : 標準入力を変換して標準出力に書く\n",
     "         -  : convert standard input to standard output\n"},
    {"         -- : これ以降の語はすべてファイル名\n",
     "         -- : every word after this is a file name\n"},
    {"       UTF-8 と UTF-16 (BOM 付き) のファイルも自動判別.\n",
     "       UTF-8 and UTF-16 (with a BOM) files are recognised too.\n"},
    {"       値のあるオプションは = でつなぐ一語 (--jobs=4).\n",
     "       An option with a value is one word joined by = (--jobs=4).\n"},
    {"       端末では長い実行の進み具合を表示し, 複数のファイルの後に合計を表示.\n",
     "       On a terminal, a long run shows its progress, and several files a total.\n"},
};

const Message MSG_BAD_OPTION = {
    "ERROR: \"%s\" は間違ったオプションです.\n",
    "ERROR: \"%s\" is not a valid option.\n"};
const Message MSG_ASCII_FILE = {
    "%s: これは ASCII ファイルです!\n",
    "%s: This is an ASCII file!\n"};
const Message MSG_NO_NEED = {
    "%s: これは変換の必要がありません!\n",
    "%s: This needs no conversion!\n"};
const Message MSG_CONVERTING = {
    "%s: %s 変換.\n",
    "%s: converting %s.\n"};
const Message MSG_WIDENING = {
    "  半角カタカナ->全角 変換.\n",
    "  half-width katakana -> full-width.\n"};
const Message MSG_OUTPUT_FILE = {
    "  出力ファイル: %s\n",
    "  output file: %s\n"};
const Message MSG_OUTPUT_IS_INPUT = {
    "ERROR: %s: 出力ファイル %s は入力ファイルそのものです. 変換しません.\n",
    "ERROR: %s: the output file %s is the input file itself. Not converted.\n"};
const Message MSG_OUTPUT_IS_LATER_INPUT = {
    "ERROR: %s: 出力ファイル %s はこれから変換する入力ファイルです. 変換しません.\n",
    "ERROR: %s: the output file %s is an input file still to be converted. Not converted.\n"};
const Message MSG_OUTPUT_IS_EARLIER_INPUT = {
    "ERROR: %s: 出力ファイル %s はこの実行で先に指定した入力ファイルです. 変換しません.\n",
    "ERROR: %s: the output file %s is an input file named earlier in this run. Not converted.\n"};
const Message MSG_OUTPUT_NOT_REGULAR = {
    "ERROR: %s: 出力ファイル %s は通常のファイルではありません (%s). 変換しません.\n",
    "ERROR: %s: the output file %s is not a regular file (%s). Not converted.\n"};
const Message MSG_TEXT_ENDED_EARLY = {
    "  オフセット %s の 0x1A でテキストが終わり, その後の %s バイトは変換していません.\n",
    "  the text ends at the 0x1A at offset %s; the %s bytes after it were not converted.\n"};
const Message MSG_OUTPUT_WRITTEN_TWICE = {
    "ERROR: %s: 出力ファイル %s は既にこの実行で出力しました. 変換しません.\n",
    "ERROR: %s: the output file %s was already written in this run. Not converted.\n"};

const Message MSG_REPLACED = {
    "  変換できない文字を %s 個 置き換えました.\n",
    "  replaced %s characters that could not be converted.\n"};
const Message MSG_CUT_AT_END = {
    "  テキストが文字の途中で終わり, 最後の切れた文字は書いていません.\n",
    "  the text ends inside a character; the cut last character was not written.\n"};
const Message MSG_REPLACED_AT = {
    "  変換できない文字を %s 個 置き換えました (最初は %s 行 %s 桁目).\n",
    "  replaced %s characters that could not be converted (the first at line %s, column %s).\n"};
const Message MSG_STRICT_REFUSED = {
    "ERROR: %s: %s 行 %s 桁目の文字は正確に変換できません. 変換しません.\n",
    "ERROR: %s: the character at line %s, column %s cannot be converted exactly. Not converted.\n"};
const Message MSG_STRICT_TEXT_ENDED = {
    "ERROR: %s: オフセット %s の 0x1A でテキストが終わり, その後に %s バイトあります. 変換しません.\n",
    "ERROR: %s: the text ends at the 0x1A at offset %s, and %s bytes follow it. Not converted.\n"};

const Message MSG_OPTIONS_CONFLICT = {
    "ERROR: \"%s\" と \"%s\" は一緒に使えません.\n",
    "ERROR: \"%s\" and \"%s\" cannot be used together.\n"};
const Message MSG_STANDARD_INPUT_TWICE = {
    "ERROR: 標準入力 \"-\" は一度しか指定できません.\n",
    "ERROR: standard input \"-\" can be named only once.\n"};
const Message MSG_BAD_PATH = {
    "ERROR: KOTRAN_PATH=%s はこのプロセッサで使えません (使えるのは %s).\n",
    "ERROR: KOTRAN_PATH=%s cannot be used on this processor (it has %s).\n"};
const Message MSG_LINK_SKIPPED = {
    "%s: シンボリックリンクはたどりません.\n",
    "%s: symbolic links are not followed.\n"};
const Message MSG_SPECIAL_SKIPPED = {
    "%s: 通常のファイルではありません (%s). 変換しません.\n",
    "%s: not a regular file (%s). Not converted.\n"};
const Message MSG_NOT_TEXT_BINARY = {
    "%s: NUL バイトか, バイナリ形式 (ELF, PNG, gzip, ZIP, PDF, JPEG) の印があり, テキストではありません. 変換しません.\n",
    "%s: a NUL byte or the mark of a binary format (ELF, PNG, gzip, ZIP, PDF, JPEG): not text. Not converted.\n"};
const Message MSG_NOT_JAPANESE = {
    "%s: 日本語のテキストではないようです (%s). 変換しません.\n",
    "%s: this does not seem to be Japanese text (%s). Not converted.\n"};
const Message MSG_NOT_TEXT_INVALID = {
    "%s: どの漢字コードとしても正しくなく, テキストではありません. 変換しません.\n",
    "%s: valid in no kanji code: not text. Not converted.\n"};
const Message MSG_OUTSIDE_TREE = {
    "ERROR: %s: 名前の .. で出力先のフォルダの外に出ます. 変換しません.\n",
    "ERROR: %s: the .. in its name leads outside the output folder. Not converted.\n"};
const Message MSG_OUTPUT_FOLDER_BLOCKED = {
    "ERROR: %s: 出力先のフォルダ %s はフォルダではありません (%s). 変換しません.\n",
    "ERROR: %s: the output folder %s is not a folder (%s). Not converted.\n"};
const Message MSG_BACKUP_FILE = {
    "  元のファイル: %s\n",
    "  original file: %s\n"};
const Message MSG_WORKER_DIED = {
    "ERROR: %s: 変換していたプロセスが終わりました (シグナル %s).\n",
    "ERROR: %s: the process converting it ended (signal %s).\n"};
const Message MSG_INPUT_CHANGED = {
    "ERROR: %s: 一覧を作った後で替わりました (%s). 変換しません.\n",
    "ERROR: %s: it changed after the list was made (%s). Not converted.\n"};
const Message MSG_BACKUP_EXISTS = {
    "ERROR: %s: %s がすでにあり, 中身が違います. 上書きしません.\n",
    "ERROR: %s: %s already exists and holds something else. Not overwritten.\n"};
const Message MSG_ATTRIBUTES_NOT_KEPT = {
    "ERROR: %s: 拡張属性 (ACL) を付けられません (%s). 書きません.\n",
    "ERROR: %s: its extended attributes (ACL) cannot be set (%s). Not written.\n"};
const Message MSG_SET_ID_DROPPED = {
    "  set-user-ID, set-group-ID ビットを外しました (所有者を保てません).\n",
    "  the set-user-ID and set-group-ID bits were removed (the owner cannot be kept).\n"};
const Message MSG_WORKER_EXITED = {
    "ERROR: %s: 変換していたプロセスが終わりました (終了ステータス %s).\n",
    "ERROR: %s: the process converting it ended (exit status %s).\n"};
const Message MSG_WORKER_NO_MEMORY = {
    "ERROR: %s: メモリが足りません. 終了します.\n",
    "ERROR: %s: out of memory. Exiting.\n"};
const Message MSG_MESSAGES_LOST = {
    "ERROR: %s: 変換を終えたプロセスが終わり, このファイルのメッセージは失われました (シグナル %s).\n",
    "ERROR: %s: the process that converted it ended, and its messages for this file were lost (signal %s).\n"};
const Message MSG_MESSAGES_LOST_EXITED = {
    "ERROR: %s: 変換を終えたプロセスが終わり, このファイルのメッセージは失われました (終了ステータス %s).\n",
    "ERROR: %s: the process that converted it ended, and its messages for this file were lost (exit status %s).\n"};
const Message MSG_NOT_CONVERTED_NO_MEMORY = {
    "ERROR: %s: メモリが足りず実行を終えたため, 変換していません.\n",
    "ERROR: %s: not converted: the run ended when memory ran out.\n"};
const Message MSG_SUMMARY = {
    "合計: 変換 %s, スキップ %s, 置き換えた文字 %s, 失敗 %s.\n",
    "Total: converted %s, skipped %s, characters replaced %s, failed %s.\n"};
const Message MSG_SUMMARY_NOT_JAPANESE = {
    "合計: 変換 %s, スキップ %s (うち日本語でないもの %s), 置き換えた文字 %s, 失敗 %s.\n",
    "Total: converted %s, skipped %s (not Japanese %s), characters replaced %s, failed %s.\n"};

const Message MSG_PROGRESS = {"%s/%s ファイル, %s, %s/s", "%s/%s files, %s, %s/s"};

namespace {

constexpr Message NOTICE_LINE = {"漢字コード変換 kotran: シフトJIS, JIS, EUC\n",
                                 "Kanji code converter kotran: Shift-JIS, JIS, EUC\n"};

// Decodes one UTF-8 character at s[i]; the program's own texts are valid.
char32_t next_char(std::string_view s, size_t& i) {
  const auto b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
  char32_t u = b & (0x3F >> extra);
  for (int k = 0; k < extra && i < s.size(); ++k) u = (u << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  return u;
}

}  // namespace

std::string program_text(std::string_view utf8, bool display_utf8) {
  if (display_utf8) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char32_t u = next_char(utf8, i);
    if (u < 0x80) {
      out += static_cast<char>(u);
      continue;
    }
    const uint16_t sjis = jis_to_sjis_code(unicode_to_jis(u));
    if (sjis == 0) {
      out += '?';
      continue;
    }
    out += static_cast<char>(sjis >> 8);
    out += static_cast<char>(sjis & 0xFF);
  }
  return out;
}

namespace {

// Whether a locale name, or an entry of LANGUAGE, is English.
bool names_english(std::string_view name) {
  return name == "en" || (name.size() > 2 && name.substr(0, 2) == "en" && std::strchr("_.@", name[2]) != nullptr);
}

bool environment_chooses_english() {
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    std::string_view name(value);
    if (std::strcmp(variable, "LANGUAGE") == 0) name = name.substr(0, name.find(':'));  // a list, the first preferred
    return names_english(name);
  }
  return false;
}

// Fills a format in the program's language.
std::string fill(std::string_view format, const std::string_view* args, size_t count, bool display_utf8) {
  std::string out;
  size_t arg = 0;
  for (;;) {
    const size_t hole = format.find("%s");
    out += program_text(format.substr(0, hole), display_utf8);
    if (hole == std::string_view::npos) break;
    if (arg < count) out += shown_name(args[arg++]);
    format.remove_prefix(hole + 2);
  }
  return out;
}

const char* in_language(const Message& text) { return english_messages() ? text.english : text.japanese; }

}  // namespace

bool english_messages() {
  static const bool english = environment_chooses_english();
  return english;
}

std::string format_message(const Message& format, std::initializer_list<std::string_view> args,
                           bool display_utf8) {
  return fill(in_language(format), args.begin(), args.size(), display_utf8);
}

std::string format_message(const Message& format, const std::string_view* args, size_t count, bool display_utf8) {
  return fill(in_language(format), args, count, display_utf8);
}

std::string english_message(const Message& format, const std::string_view* args, size_t count) {
  return fill(format.english, args, count, true);
}

namespace {

bool locale_is_utf8() {
  static const bool utf8_locale = [] {
    const char* codeset = platform::host_codeset();
    return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0;
  }();
  return utf8_locale;
}

}  // namespace

bool shows_utf8(const TextStream* to) {
  return platform::converts_messages() || (to->kind == StreamKind::console && locale_is_utf8());
}

void write_message_text(TextStream* to, std::string_view text) {
  if (!platform::converts_messages()) {
    write_bytes(to, text.data(), text.size());
    return;
  }
  if (to->before_write != nullptr) to->before_write(to->before_write_arg);
  flush_stream(to);
  // Line ends as the stream's own writes end them: CR LF, but where LF
  // alone is asked for (-g's lines, --json).
  std::string with_crs;
  if (to->text && !to->lf_only && !to->line_ends_kept && text.find('\n') != std::string_view::npos) {
    for (const char c : text) {
      if (c == '\n') with_crs += '\r';
      with_crs += c;
    }
    text = with_crs;
  }
  if (!platform::write_message(to->fd, text)) {
    // The stream's failure, as its own writes record one: -g, --help and
    // --version to a standard output that takes nothing end in status 1.
    set_last_error_from_errno(errno);
    if (!to->failed) to->error_code = last_error;
    to->failed = true;
  }
}

void print_out_of_memory() {
  // Made of nothing that needs memory: every form is stored as it goes out,
  // and the language was chosen at the start.
  static constexpr char sjis[] =
      "ERROR: \x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1. "
      "\x8F" "I\x97\xB9\x82\xB5\x82\xDC\x82\xB7.\r\n";
  static constexpr char utf8[] = "ERROR: メモリが足りません. 終了します.\r\n";
  static constexpr char english[] = "ERROR: out of memory. Exiting.\r\n";
  if (english_messages())
    write_all(2, english, sizeof english - 1);
  else if (platform::converts_messages())
    platform::write_message(2, std::string_view(utf8, sizeof utf8 - 1));
  else if (isatty(2) && locale_is_utf8())
    write_all(2, utf8, sizeof utf8 - 1);
  else
    write_all(2, sjis, sizeof sjis - 1);
}

void print_message(const Message& format, std::initializer_list<std::string_view> args) {
  const std::string text = format_message(format, args, shows_utf8(std_err()));
  write_message_text(std_err(), text);
}

void print_banner(TextStream* to) {
  const bool utf8 = shows_utf8(to);
  const std::string_view version = VERSION_TEXT;
  const std::string text = fill("Yomikae %s\n", &version, 1, utf8) + program_text(in_language(NOTICE_LINE), utf8) + "\n";
  write_message_text(to, text);
}

namespace {

template <size_t N>
void print_lines(TextStream* to, const Message (&lines)[N]) {
  const bool utf8 = shows_utf8(to);
  for (const Message& line : lines) {
    const std::string text = program_text(in_language(line), utf8);
    write_message_text(to, text);
  }
}

}  // namespace

void print_usage(TextStream* to) { print_lines(to, usage_lines); }

void print_help(TextStream* to) {
  print_lines(to, usage_lines);
  print_lines(to, help_extension_lines);
}

}  // namespace kotran
