#include "library/memory_conversion.h"

#include <algorithm>
#include <cstring>

#include "convert/converters.h"
#include "convert/line_end_setting.h"
#include "convert/part_cuts.h"
#include "recognition/recognise.h"

namespace kotran {
namespace {

constexpr unsigned char LF = 0x0A;
constexpr unsigned char SUB = 0x1A;

// Blocks of the streams of a whole text, made for the one call: small for a
// small text, and never so large that their memory is mapped afresh (and
// its pages faulted in) for every call.
size_t block_for(size_t size) {
  size_t block = 1024;
  while (block < size && block < 16 * 1024) block *= 2;
  return block;
}

// The two streams of a whole text: in the caller's stack for a small text,
// so that converting one takes no memory, else of blocks taken for the call.
class WholeTextStreams {
 public:
  explicit WholeTextStreams(size_t size) {
    const size_t block = block_for(size);
    if (memory_stream_space(true, block) <= sizeof in_space_ && memory_stream_space(false, block) <= sizeof out_space_) {
      in_ = place_memory_stream(in_space_, true, block);
      out_ = place_memory_stream(out_space_, false, block);
    } else {
      owned_in_.reset(open_memory_stream(true, block));
      owned_out_.reset(open_memory_stream(false, block));
      in_ = owned_in_.get();
      out_ = owned_out_.get();
    }
  }
  WholeTextStreams(const WholeTextStreams&) = delete;
  WholeTextStreams& operator=(const WholeTextStreams&) = delete;
  TextStream* in() const { return in_; }
  TextStream* out() const { return out_; }

 private:
  alignas(std::max_align_t) unsigned char in_space_[3072];
  alignas(std::max_align_t) unsigned char out_space_[4096];
  StreamHandle owned_in_, owned_out_;
  TextStream* in_;
  TextStream* out_;
};

// The line ends of a conversion's output, as the command line decides them
// for a file.
LineEndSetting line_ends_of(const MemoryOptions& options) {
  return line_end_setting(options.target, options.convert.lf_only);
}

// The streams as the command line sets them up for a file (see
// line_end_setting); UTF-16 is read as stored.
void set_line_ends(TextStream* in, TextStream* out, const MemoryOptions& options) {
  const LineEndSetting setting = line_ends_of(options);
  carry_line_ends(in, setting);
  set_output_line_ends(out, setting);
  follow_line_ends(out, in);
}

// Whether bytes other than 0x1A stand in [text, text + size).
bool holds_other_than_marks(const unsigned char* text, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if (text[i] != SUB) return true;
  return false;
}

// Line ends a reader meets in [text, text + size): LF bytes, or LF units of UTF-16.
int64_t line_ends(const unsigned char* text, size_t size, Code source, bool big_endian) {
  int64_t n = 0;
  if (source == Code::utf16) {
    for (size_t i = 0; i + 1 < size; i += 2) n += (big_endian ? text[i] == 0 && text[i + 1] == LF : text[i] == LF && text[i + 1] == 0);
    return n;
  }
  // In blocks whose count fits a byte, so that the compiler counts many at once.
  for (size_t at = 0; at < size; at += 255) {
    unsigned char block = 0;
    const size_t end = std::min(size, at + 255);
    for (size_t i = at; i < end; ++i) block += text[i] == LF;
    n += block;
  }
  return n;
}

// A source of an answer: ASCII is read as Shift-JIS; UTF-16 without a mark
// in the order found.
bool source_of_answer(const Recognition& answer, Code& source, bool& big_endian) {
  if (answer.code == Recognised::ascii) {
    source = Code::sjis;
    return true;
  }
  if (!names_code(answer.code)) return false;
  source = code_of(answer.code);
  if (answer.order != ByteOrder::marked) big_endian = answer.order == ByteOrder::big;
  return true;
}

}  // namespace

size_t worst_output(Code, Code target, size_t size) {
  // Per byte read: a half-width katakana or a byte that is no character
  // becomes three bytes of UTF-8; a line end four bytes of UTF-16 (CR LF);
  // in JIS a katakana or replaced byte between one-byte characters takes
  // two sequences, nine bytes for two.
  size_t per_byte = 3;
  if (target == Code::utf16) per_byte = 4;
  if (target == Code::jis || target == Code::jis2004) per_byte = 5;
  return size * per_byte + 16;
}

Recognition recognise_memory(const void* text, size_t size, Path path) {
  const WholeTextStreams streams(size);
  reset_memory_input(streams.in(), text, size, true);
  return recognise_code(streams.in(), path);
}

MemoryStatus convert_memory(const MemoryOptions& options, const void* text, size_t size, void* room,
                            size_t room_size, size_t& written, MemoryReport& report) {
  written = 0;
  report = MemoryReport{};
  const WholeTextStreams streams(size);
  TextStream* const in = streams.in();
  TextStream* const out = streams.out();
  ConvertOptions convert = options.convert;
  Code source = options.source;
  if (options.recognise) {
    reset_memory_input(in, text, size, true);
    report.recognition = recognise_code(in, convert.path);
    if (!source_of_answer(report.recognition, source, convert.big_endian)) return MemoryStatus::not_japanese;
  } else {
    report.recognition = {recognised(source), Certainty::certain};
  }
  report.source = source;
  const bool text_mode = read_as_text(source);
  set_line_ends(in, out, options);
  auto problem = [&] {
    reset_memory_input(in, text, size, text_mode);
    return first_problem(in, source, options.target, convert);
  };
  if (options.strict) {
    report.first_problem = problem();
    bool after_end = false;
    reset_memory_input(in, text, size, text_mode);
    while (read_byte(in) != EOF) {
    }
    if (in->sub_met) {
      const auto* bytes = static_cast<const unsigned char*>(text);
      after_end = holds_other_than_marks(bytes + in->mark_offset + 1, size - static_cast<size_t>(in->mark_offset) - 1);
      report.ended_at = in->mark_offset;
      report.text_after_end = after_end;
    }
    if (report.first_problem || after_end) return MemoryStatus::not_exact;
  }
  reset_memory_input(in, text, size, text_mode);
  reset_memory_output(out, room, room_size, !line_ends_of(options).by_writer);
  const ConversionResult found = converter(source, options.target)(in, out, convert);
  if (flush_stream(out) != 0 || stream_error(out)) return MemoryStatus::need_room;
  written = memory_output_size(out);
  report.replaced = found.replaced;
  report.cut_at_end = found.cut_at_end;
  if (in->sub_met) {
    const auto* bytes = static_cast<const unsigned char*>(text);
    report.ended_at = in->mark_offset;
    report.text_after_end =
        holds_other_than_marks(bytes + in->mark_offset + 1, size - static_cast<size_t>(in->mark_offset) - 1);
  }
  if (found.replaced > 0 && !report.first_problem) report.first_problem = problem();
  return MemoryStatus::done;
}

PartConverter::PartConverter(const MemoryOptions& options)
    : options_(options),
      part_size_(std::max<size_t>(options.part_size, 16)),
      part_(options.convert),
      carried_(new unsigned char[part_size_]),
      staged_(new unsigned char[worst_output(options.source, options.target, part_size_)]),
      in_(open_memory_stream(true, std::min(part_size_, PART_SIZE))),
      out_(open_memory_stream(false, std::min(part_size_, PART_SIZE))) {
  set_line_ends(in_.get(), out_.get(), options_);
  if (!options_.recognise) {
    known_ = true;
    report_.source = options_.source;
    report_.recognition = {recognised(options_.source), Certainty::certain};
  }
}

bool PartConverter::resolve_source(const unsigned char* text, size_t size) {
  reset_memory_input(in_.get(), text, size, true);
  report_.recognition = recognise_code(in_.get(), part_.path);
  if (!source_of_answer(report_.recognition, report_.source, part_.big_endian)) {
    refused_ = MemoryStatus::not_japanese;
    return false;
  }
  known_ = true;
  return true;
}

// UTF-16 that starts with a byte-order mark is read in its order; every
// part after the first is read in that order too.
void PartConverter::begin_order(const unsigned char* text, size_t size) {
  if (report_.source != Code::utf16 || offset_ != 0 || size < 2) return;
  if (text[0] == 0xFE && text[1] == 0xFF) part_.big_endian = true;
  if (text[0] == 0xFF && text[1] == 0xFE) part_.big_endian = false;
}

PartCuts PartConverter::cuts() const {
  PartCuts cuts(report_.source, part_.widen);
  cuts.set_big_endian(part_.big_endian);
  return cuts;
}

size_t PartConverter::last_cut(const unsigned char* text, size_t size, bool must) {
  bool blind = false;
  const size_t cut = cuts().last_cut(text, size, offset_, must, blind);
  if (blind) ++blind_cuts_;
  return cut;
}

void PartConverter::give_staged(unsigned char* room, size_t room_size, size_t& written) {
  const size_t n = std::min(staged_end_ - staged_begin_, room_size - written);
  if (n > 0) std::memcpy(room + written, staged_.get() + staged_begin_, n);
  staged_begin_ += n;
  written += n;
  if (staged_begin_ == staged_end_) staged_begin_ = staged_end_ = 0;
}

void PartConverter::note_after_end(const unsigned char* text, size_t size) {
  if (!report_.text_after_end && holds_other_than_marks(text, size)) report_.text_after_end = true;
}

MemoryStatus PartConverter::convert_part(const unsigned char* text, size_t size, bool last, unsigned char* room,
                                         size_t room_size, size_t& written) {
  const Code source = report_.source;
  const bool text_mode = read_as_text(source);
  begin_order(text, size);
  // A 0x1A ends the text: the part that holds one is the last.
  if (text_mode && !last && std::memchr(text, SUB, size) != nullptr) last = true;
  part_.continues = !last;
  const ConvertOptions used = part_;
  auto problem = [&] {
    reset_memory_input(in_.get(), text, size, text_mode);
    TextPlace place = first_problem(in_.get(), source, options_.target, used);
    if (place) place.line += lines_before_;
    return place;
  };
  if (options_.strict) {
    if (const TextPlace place = problem()) {
      report_.first_problem = place;
      refused_ = MemoryStatus::not_exact;
      return refused_;
    }
  }
  // Straight into the caller's room where the part's output fits whatever it is.
  const size_t worst = worst_output(source, options_.target, size);
  const bool direct = room_size - written >= worst;
  reset_memory_input(in_.get(), text, size, text_mode);
  reset_memory_output(out_.get(), direct ? room + written : staged_.get(),
                      direct ? room_size - written : worst, !line_ends_of(options_).by_writer);
  const ConversionResult found = converter(source, options_.target)(in_.get(), out_.get(), used);
  flush_stream(out_.get());
  const size_t made = memory_output_size(out_.get());
  if (direct) {
    written += made;
  } else {
    staged_begin_ = 0;
    staged_end_ = made;
  }
  part_.continued = true;
  part_.jis_read_shift = found.jis_read_shift;
  part_.jis_write_shift = found.jis_write_shift;
  part_.jis_waiting = found.jis_waiting;
  report_.replaced += found.replaced;
  report_.cut_at_end = report_.cut_at_end || found.cut_at_end;
  if (found.replaced > 0 && !report_.first_problem) report_.first_problem = problem();
  if (text_mode && in_->sub_met) {
    ended_ = true;
    report_.ended_at = offset_ + in_->mark_offset;
    note_after_end(text + in_->mark_offset + 1, size - static_cast<size_t>(in_->mark_offset) - 1);
  }
  if (!report_.first_problem) lines_before_ += line_ends(text, size, source, part_.big_endian);
  offset_ += static_cast<int64_t>(size);
  if (options_.strict && report_.text_after_end) refused_ = MemoryStatus::not_exact;
  if (!direct) give_staged(room, room_size, written);
  return refused_;
}

MemoryStatus PartConverter::convert(const void* text, size_t size, size_t& read, void* room_bytes, size_t room_size,
                                    size_t& written) {
  read = written = 0;
  if (finished_) return MemoryStatus::after_finish;
  if (refused_ != MemoryStatus::done) return refused_;
  auto* const room = static_cast<unsigned char*>(room_bytes);
  give_staged(room, room_size, written);
  if (staged_end_ != 0) return MemoryStatus::need_room;
  const auto* p = static_cast<const unsigned char*>(text);
  const auto* const end = p + size;
  MemoryStatus status = MemoryStatus::done;
  while (p < end && status == MemoryStatus::done) {
    if (ended_) {
      note_after_end(p, static_cast<size_t>(end - p));
      if (options_.strict && report_.text_after_end) status = refused_ = MemoryStatus::not_exact;
      p = end;
      break;
    }
    const size_t room_left = part_size_ - carried_size_;
    if (!known_) {
      // Recognition reads the first part_size_ bytes, or the whole text.
      const size_t take = std::min(room_left, static_cast<size_t>(end - p));
      std::memcpy(carried_.get() + carried_size_, p, take);
      carried_size_ += take;
      p += take;
      if (carried_size_ < part_size_) break;
      if (!resolve_source(carried_.get(), carried_size_)) return refused_;
      begin_order(carried_.get(), carried_size_);
      continue;
    }
    if (carried_size_ > 0) {
      // The part carried over goes on up to the first line end of the new
      // bytes; a part that fills up without one is cut where it can be.
      begin_order(carried_.get(), carried_size_);
      const size_t old = carried_size_;
      const size_t take = std::min(room_left, static_cast<size_t>(end - p));
      // Only the new bytes up to their first line end are copied where
      // the part can end there.
      size_t copied = take;
      if (report_.source != Code::utf16)
        if (const void* lf = std::memchr(p, LF, take); lf != nullptr)
          copied = static_cast<size_t>(static_cast<const unsigned char*>(lf) - p) + 1;
      std::memcpy(carried_.get() + old, p, copied);
      size_t cut = cuts().first_cut(carried_.get(), old, old + copied, offset_);
      if (cut == 0 && copied < take) {
        std::memcpy(carried_.get() + old + copied, p + copied, take - copied);
        cut = cuts().first_cut(carried_.get(), old + copied, old + take, offset_);
      }
      if (cut == 0 && old + take < part_size_) {
        carried_size_ = old + take;
        p += take;
        break;
      }
      if (cut == 0) cut = last_cut(carried_.get(), part_size_, true);
      // Bytes taken past the cut are taken again with the next part.
      const size_t text_end = std::max(cut, old);
      p += text_end - old;
      status = convert_part(carried_.get(), cut, false, room, room_size, written);
      std::memmove(carried_.get(), carried_.get() + cut, text_end - cut);
      carried_size_ = text_end - cut;
    } else {
      begin_order(p, static_cast<size_t>(end - p));
      const size_t window = std::min(part_size_, static_cast<size_t>(end - p));
      const size_t cut = last_cut(p, window, window == part_size_);
      if (cut == 0) {
        std::memcpy(carried_.get(), p, window);
        carried_size_ = window;
        p += window;
        continue;
      }
      status = convert_part(p, cut, false, room, room_size, written);
      p += cut;
    }
    if (status == MemoryStatus::done && staged_end_ != 0) status = MemoryStatus::need_room;
  }
  read = static_cast<size_t>(p - static_cast<const unsigned char*>(text));
  return status;
}

MemoryStatus PartConverter::finish(void* room_bytes, size_t room_size, size_t& written) {
  written = 0;
  auto* const room = static_cast<unsigned char*>(room_bytes);
  give_staged(room, room_size, written);
  if (staged_end_ != 0) return MemoryStatus::need_room;
  if (finished_) return MemoryStatus::done;
  if (refused_ != MemoryStatus::done) return refused_;
  if (!known_ && !resolve_source(carried_.get(), carried_size_)) return refused_;
  finished_ = true;
  if (ended_) return refused_;
  const MemoryStatus status = convert_part(carried_.get(), carried_size_, true, room, room_size, written);
  carried_size_ = 0;
  if (status != MemoryStatus::done) return status;
  return staged_end_ != 0 ? MemoryStatus::need_room : MemoryStatus::done;
}

}  // namespace kotran
