#include "driver/run_tally.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "driver/messages.h"
#include "platform/console.h"
#include "stream/text_stream.h"

namespace kotran {
namespace {

using Clock = std::chrono::steady_clock;

// A run shorter than this shows no progress line; a shown line is redrawn
// at most this often.
constexpr auto QUIET_START = std::chrono::seconds(1);
constexpr auto REDRAW_EVERY = std::chrono::milliseconds(100);

std::string mebibytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
  return text;
}

void clear_before_write(void* tally) { static_cast<RunTally*>(tally)->clear_line(); }

}  // namespace

RunTally::RunTally(size_t files, bool show_progress, Reporter& reporter)
    : files_(files), show_(show_progress), reporter_(reporter), start_(Clock::now()), last_draw_(start_) {
  if (show_) {
    std_err()->before_write = clear_before_write;
    std_err()->before_write_arg = this;
  }
}

RunTally::~RunTally() {
  if (std_err()->before_write_arg == this) {
    std_err()->before_write = nullptr;
    std_err()->before_write_arg = nullptr;
  }
}

void RunTally::add(const FileResult& result) {
  ++done_;
  bytes_ += result.bytes;
  replaced_ += result.replaced;
  switch (result.outcome) {
    case Outcome::converted: ++converted_; break;
    case Outcome::skipped: ++skipped_; break;
    case Outcome::failed: ++failed_; break;
    case Outcome::not_japanese:
      ++skipped_;
      ++not_japanese_;
      break;
  }
  if (!show_ || done_ == files_) return;
  const auto now = Clock::now();
  if (now - start_ < QUIET_START || (drawn_ && now - last_draw_ < REDRAW_EVERY)) return;
  last_draw_ = now;
  draw();
}

void RunTally::draw() {
  flush_stream(std_err());
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const std::string text = format_message(
      MSG_PROGRESS, {std::to_string(done_), std::to_string(files_), mebibytes(static_cast<double>(bytes_)),
                                  mebibytes(seconds > 0 ? static_cast<double>(bytes_) / seconds : 0)},
      shows_utf8(std_err()));
  std::string line(1, '\r');
  line.append(text).append("\033[K");
  if (platform::converts_messages())
    platform::write_message(std_err()->fd, line);
  else
    write_all(std_err()->fd, line.data(), line.size());
  drawn_ = true;
}

void RunTally::clear_line() {
  if (!drawn_) return;
  drawn_ = false;
  static constexpr char clear[] = "\r\033[K";
  write_all(std_err()->fd, clear, sizeof clear - 1);
}

void RunTally::finish(bool guess_only, int status) {
  clear_line();
  show_ = false;
  Event summary;
  summary.kind = EventKind::summary;
  const uint64_t counts[] = {files_, converted_, skipped_, not_japanese_, replaced_, failed_,
                             static_cast<uint64_t>(status), guess_only};
  std::copy(std::begin(counts), std::end(counts), summary.n);
  reporter_.report(summary);
}

}  // namespace kotran
