#include "driver/messages.h"

#include <langinfo.h>
#include <unistd.h>


#include <strings.h>

#include "codes/jis_sjis.h"
#include "codes/unicode_table.h"
#include "stream/error_report.h"

namespace kotran {

const char* const usage_lines[USAGE_LINE_COUNT] = {
    "Usage: kotran [オプション] file ...\n",
    "         -e : EUC に変換\n",
    "         -j : '83-JIS に変換\n",
    "         -j8: '83-JIS に変換\n",
    "         -j7: '78-JIS に変換\n",
    "         -s : シフトJIS に変換\n",
    "       オプションを指定しなければ シフトJIS に変換.\n\n",
    "         -c : 変換結果を画面に表示 (ファイル出力しない)\n",
    "         -f : 半角カタカナを全角に変換\n",
    "\n       変換元漢字コードは自動判別.\n",
    "       パラメタを何も指定しなければ Usage を表示.\n",
};

const char* const help_extension_lines[HELP_EXTENSION_LINE_COUNT] = {
    "\n       拡張オプション:\n",
    "         -u : UTF-8 に変換\n",
    "         -w : UTF-16 (リトルエンディアン, BOM 付き) に変換\n",
    "         -us: UTF-8 から シフトJIS に変換 (自動判別しない)\n",
    "         -ue: UTF-8 から EUC に変換 (自動判別しない)\n",
    "         -uj: UTF-8 から JIS に変換 (自動判別しない)\n",
    "         -ju: JIS から UTF-8 に変換 (自動判別しない)\n",
    "         -eu: EUC から UTF-8 に変換 (自動判別しない)\n",
    "         -l : 改行を LF だけで出力 (CR LF にしない)\n",
    "         -g : 各ファイルの漢字コードを表示 (変換しない)\n",
    "         --unicode=jis: 〜‖−¢£¬— を JIS の Unicode (U+301C ...) で出力\n",
    "                        (既定は --unicode=windows: U+FF5E ...)\n",
    "         --strict: 置き換える文字や不正なバイトのあるファイルは変換しない\n",
    "         -r : フォルダの中のファイルをすべて変換 (シンボリックリンクはたどらない)\n",
    "         --out-dir=DIR: 出力ファイルを DIR の下の同じパスに作る\n",
    "         --in-place: 変換結果で元のファイルを置き換える\n",
    "         --in-place=SUFFIX: 同じく, 元のファイルを 名前+SUFFIX に残す\n",
    "         --jobs=N: N 個のファイルを同時に変換 (既定は 1)\n",
    "         -  : 標準入力を変換して標準出力に書く\n",
    "         -- : これ以降の語はすべてファイル名\n",
    "       UTF-8 と UTF-16 (BOM 付き) のファイルも自動判別.\n",
    "       値のあるオプションは = でつなぐ一語 (--jobs=4).\n",
    "       端末では長い実行の進み具合を表示し, 複数のファイルの後に合計を表示.\n",
};

const char* const MSG_BAD_OPTION = "ERROR: \"%s\" は間違ったオプションです.\n";
const char* const MSG_ASCII_FILE = "%s: これは ASCII ファイルです!\n";
const char* const MSG_NO_NEED = "%s: これは変換の必要がありません!\n";
const char* const MSG_CONVERTING = "%s: %s 変換.\n";
const char* const MSG_WIDENING = "  半角カタカナ->全角 変換.\n";
const char* const MSG_OUTPUT_FILE = "  出力ファイル: %s\n";
const char* const MSG_OUTPUT_IS_INPUT =
    "ERROR: %s: 出力ファイル %s は入力ファイルそのものです. 変換しません.\n";
const char* const MSG_OUTPUT_IS_LATER_INPUT =
    "ERROR: %s: 出力ファイル %s はこれから変換する入力ファイルです. 変換しません.\n";
const char* const MSG_OUTPUT_IS_EARLIER_INPUT =
    "ERROR: %s: 出力ファイル %s はこの実行で先に指定した入力ファイルです. 変換しません.\n";
const char* const MSG_OUTPUT_NOT_REGULAR =
    "ERROR: %s: 出力ファイル %s は通常のファイルではありません (%s). 変換しません.\n";
const char* const MSG_TEXT_ENDED_EARLY =
    "  オフセット %s の 0x1A でテキストが終わり, その後の %s バイトは変換していません.\n";
const char* const MSG_OUTPUT_WRITTEN_TWICE =
    "ERROR: %s: 出力ファイル %s は既にこの実行で出力しました. 変換しません.\n";

const char* const MSG_REPLACED = "  変換できない文字を %s 個 置き換えました.\n";
const char* const MSG_CUT_AT_END = "  テキストが文字の途中で終わり, 最後の切れた文字は書いていません.\n";
const char* const MSG_REPLACED_AT = "  変換できない文字を %s 個 置き換えました (最初は %s 行 %s 桁目).\n";
const char* const MSG_STRICT_REFUSED = "ERROR: %s: %s 行 %s 桁目の文字は正確に変換できません. 変換しません.\n";
const char* const MSG_STRICT_TEXT_ENDED =
    "ERROR: %s: オフセット %s の 0x1A でテキストが終わり, その後に %s バイトあります. 変換しません.\n";

const char* const MSG_OPTIONS_CONFLICT = "ERROR: \"%s\" と \"%s\" は一緒に使えません.\n";
const char* const MSG_STANDARD_INPUT_TWICE = "ERROR: 標準入力 \"-\" は一度しか指定できません.\n";
const char* const MSG_BAD_PATH = "ERROR: KOTRAN_PATH=%s はこのプロセッサで使えません (使えるのは %s).\n";
const char* const MSG_LINK_SKIPPED = "%s: シンボリックリンクはたどりません.\n";
const char* const MSG_SPECIAL_SKIPPED = "%s: 通常のファイルではありません (%s). 変換しません.\n";
const char* const MSG_NOT_TEXT_BINARY =
    "%s: NUL バイトか, バイナリ形式 (ELF, PNG, gzip, ZIP, PDF, JPEG) の印があり, テキストではありません. 変換しません.\n";
const char* const MSG_NOT_JAPANESE = "%s: 日本語のテキストではないようです (%s). 変換しません.\n";
const char* const MSG_NOT_TEXT_INVALID =
    "%s: どの漢字コードとしても正しくなく, テキストではありません. 変換しません.\n";
const char* const MSG_OUTSIDE_TREE = "ERROR: %s: 名前の .. で出力先のフォルダの外に出ます. 変換しません.\n";
const char* const MSG_OUTPUT_FOLDER_BLOCKED =
    "ERROR: %s: 出力先のフォルダ %s はフォルダではありません (%s). 変換しません.\n";
const char* const MSG_BACKUP_FILE = "  元のファイル: %s\n";
const char* const MSG_WORKER_DIED = "ERROR: %s: 変換していたプロセスが終わりました (シグナル %s).\n";
const char* const MSG_INPUT_CHANGED = "ERROR: %s: 一覧を作った後で替わりました (%s). 変換しません.\n";
const char* const MSG_BACKUP_EXISTS = "ERROR: %s: %s がすでにあり, 中身が違います. 上書きしません.\n";
const char* const MSG_ATTRIBUTES_NOT_KEPT = "ERROR: %s: 拡張属性 (ACL) を付けられません (%s). 書きません.\n";
const char* const MSG_SET_ID_DROPPED = "  set-user-ID, set-group-ID ビットを外しました (所有者を保てません).\n";
const char* const MSG_WORKER_EXITED = "ERROR: %s: 変換していたプロセスが終わりました (終了ステータス %s).\n";
const char* const MSG_WORKER_NO_MEMORY = "ERROR: %s: メモリが足りません. 終了します.\n";
const char* const MSG_MESSAGES_LOST =
    "ERROR: %s: 変換を終えたプロセスが終わり, このファイルのメッセージは失われました (シグナル %s).\n";
const char* const MSG_MESSAGES_LOST_EXITED =
    "ERROR: %s: 変換を終えたプロセスが終わり, このファイルのメッセージは失われました (終了ステータス %s).\n";
const char* const MSG_NOT_CONVERTED_NO_MEMORY = "ERROR: %s: メモリが足りず実行を終えたため, 変換していません.\n";
const char* const MSG_SUMMARY = "合計: 変換 %s, スキップ %s, 置き換えた文字 %s, 失敗 %s.\n";
const char* const MSG_SUMMARY_NOT_JAPANESE =
    "合計: 変換 %s, スキップ %s (うち日本語でないもの %s), 置き換えた文字 %s, 失敗 %s.\n";

namespace {

constexpr const char* NOTICE_LINE = "漢字コード変換 kotran: シフトJIS, JIS, EUC\n";

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

std::string format_message(const char* format, std::initializer_list<std::string_view> args,
                           bool display_utf8) {
  std::string out;
  std::string_view rest(format);
  auto arg = args.begin();
  for (;;) {
    const size_t hole = rest.find("%s");
    out += program_text(rest.substr(0, hole), display_utf8);
    if (hole == std::string_view::npos) break;
    if (arg != args.end()) out += shown_name(*arg++);
    rest.remove_prefix(hole + 2);
  }
  return out;
}

namespace {

bool locale_is_utf8() {
  static const bool utf8_locale = [] {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
  }();
  return utf8_locale;
}

}  // namespace

bool shows_utf8(const TextStream* to) { return to->kind == StreamKind::console && locale_is_utf8(); }

void print_out_of_memory() {
  // Made of nothing that needs memory: both forms are stored as they go out.
  static constexpr char sjis[] =
      "ERROR: \x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1. "
      "\x8F" "I\x97\xB9\x82\xB5\x82\xDC\x82\xB7.\r\n";
  static constexpr char utf8[] = "ERROR: メモリが足りません. 終了します.\r\n";
  const bool display_utf8 = isatty(2) && locale_is_utf8();
  if (display_utf8)
    write_all(2, utf8, sizeof utf8 - 1);
  else
    write_all(2, sjis, sizeof sjis - 1);
}

void print_message(const char* format, std::initializer_list<std::string_view> args) {
  const std::string text = format_message(format, args, shows_utf8(std_err()));
  write_bytes(std_err(), text.data(), text.size());
}

void print_banner(TextStream* to) {
  const bool utf8 = shows_utf8(to);
  const std::string text =
      format_message("Yomikae %s\n", {VERSION_TEXT}, utf8) + program_text(NOTICE_LINE, utf8) + "\n";
  write_bytes(to, text.data(), text.size());
}

namespace {

template <size_t N>
void print_lines(TextStream* to, const char* const (&lines)[N]) {
  const bool utf8 = shows_utf8(to);
  for (const char* line : lines) {
    const std::string text = program_text(line, utf8);
    write_bytes(to, text.data(), text.size());
  }
}

}  // namespace

void print_usage(TextStream* to) { print_lines(to, usage_lines); }

void print_help(TextStream* to) {
  print_lines(to, usage_lines);
  print_lines(to, help_extension_lines);
}

}  // namespace kotran
