// Converting text held in memory: a whole text at once, or a text handed
// over in parts (PartConverter), with what crosses from one part to the
// next kept in the converter. Nothing here knows of files: the caller's
// bytes go in, the caller's room is filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codes/code.h"
#include "convert/converter.h"
#include "convert/first_problem.h"
#include "convert/part_cuts.h"
#include "recognition/recognised.h"
#include "stream/text_stream.h"

namespace kotran {

// What a conversion in memory is asked to do.
struct MemoryOptions {
  bool recognise = true;    // the source is recognised from the text
  Code source = Code::sjis;  // without recognise
  Code target = Code::utf8;
  bool strict = false;      // a text that does not convert exactly is refused
  // Widening, the JIS variant, the Unicode forms, line ends (lf_only), the
  // order of UTF-16 without a mark, the path.
  ConvertOptions convert;
  // Bytes of a part at most in a PartConverter (and what recognition reads
  // before it decides): PART_SIZE, smaller where tests cut lines often.
  size_t part_size = 64 * 1024;
};

enum class MemoryStatus : uint8_t {
  done,
  need_room,      // the room is full: call again with more room
  not_japanese,   // recognition found text of another language, or binary
  not_exact,      // strict: the text does not convert exactly
  after_finish,   // the converter has finished
};

// What a conversion found, as the command line reports it.
struct MemoryReport {
  Recognition recognition;  // how the source was recognised (certain where named)
  Code source = Code::sjis;  // the code the text was read as
  uint64_t replaced = 0;    // characters replaced, a character cut off at the end included
  TextPlace first_problem;  // the first replaced (or, strict, refused) place
  bool cut_at_end = false;  // the text ended inside a character
  int64_t ended_at = -1;    // the offset of a 0x1A that ended the text
  bool text_after_end = false;  // bytes other than 0x1A stood after it
};

// The most bytes converting size bytes from source to target can write.
size_t worst_output(Code source, Code target, size_t size);

// Recognises a whole text as -g does.
Recognition recognise_memory(const void* text, size_t size, Path path);

// Converts a whole text into room, as the command line converts a file
// into an output file: written is the output's size; need_room (nothing
// written) when room is smaller than the output.
MemoryStatus convert_memory(const MemoryOptions& options, const void* text, size_t size, void* room,
                            size_t room_size, size_t& written, MemoryReport& report);

// Bytes of a part at most, and what recognition reads before it decides.
inline constexpr size_t PART_SIZE = 64 * 1024;

struct StreamCloser {
  void operator()(TextStream* s) const { close_stream(s); }
};
using StreamHandle = std::unique_ptr<TextStream, StreamCloser>;

// A text converted as its parts come, cut where part_cuts.h says: the
// output is the bytes of the whole text at once, but where text malformed
// all through a line longer than a part leaves no place where a character
// ends for certain (see blind_cuts). Memory is taken when the converter is
// made and never after.
class PartConverter {
 public:
  explicit PartConverter(const MemoryOptions& options);  // std::bad_alloc when memory runs out

  // Takes bytes of the text (read says how many) and writes what they
  // convert to into room; need_room when the room filled before every byte
  // was taken: call again with the bytes not read and more room.
  MemoryStatus convert(const void* text, size_t size, size_t& read, void* room, size_t room_size,
                       size_t& written);
  // The end of the text: writes what the converter still holds; need_room
  // when the room filled first (call again).
  MemoryStatus finish(void* room, size_t room_size, size_t& written);
  const MemoryReport& report() const { return report_; }
  // Parts ended where they were full, in a line longer than a part that
  // held no place where a character ends for certain: where one was, the
  // output may differ from the whole text's there.
  size_t blind_cuts() const { return blind_cuts_; }

 private:
  bool resolve_source(const unsigned char* text, size_t size);
  void begin_order(const unsigned char* text, size_t size);
  PartCuts cuts() const;
  size_t last_cut(const unsigned char* text, size_t size, bool must);
  MemoryStatus convert_part(const unsigned char* text, size_t size, bool last, unsigned char* room,
                            size_t room_size, size_t& written);
  void give_staged(unsigned char* room, size_t room_size, size_t& written);
  void note_after_end(const unsigned char* text, size_t size);

  MemoryOptions options_;
  size_t part_size_;
  ConvertOptions part_;  // the options of the next part
  MemoryReport report_;
  bool known_ = false;     // the source is named or recognised
  bool ended_ = false;     // a 0x1A ended the text
  bool finished_ = false;  // the last part is converted
  MemoryStatus refused_ = MemoryStatus::done;
  std::unique_ptr<unsigned char[]> carried_;  // the text after the last cut, up to PART_SIZE
  size_t carried_size_ = 0;
  std::unique_ptr<unsigned char[]> staged_;   // output that found no room yet
  size_t staged_begin_ = 0, staged_end_ = 0;
  StreamHandle in_, out_;
  int64_t offset_ = 0;         // offset in the text of the next part's first byte
  int64_t lines_before_ = 0;   // line ends before the next part
  size_t blind_cuts_ = 0;
};

}  // namespace kotran
