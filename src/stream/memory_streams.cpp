// Text streams over bytes in memory: the tests' and fuzzers', and the
// library's over a caller's text and room.
#include <new>
#include <string>

#include "stream/stream_storage.h"

namespace kotran {

using namespace streams;

TextStream* open_memory_input(const void* bytes, size_t size, bool text, size_t chunk) {
  TextStream* s = new_stream(true, BLOCK_SIZE);
  s->kind = StreamKind::memory;
  s->mem_in = static_cast<const unsigned char*>(bytes);
  s->mem_size = size;
  s->mem_chunk = chunk == 0 ? 1 : chunk;
  s->text = text;
  return s;
}

TextStream* open_memory_output(std::string* sink, bool text) {
  TextStream* s = new_stream(false, BLOCK_SIZE);
  s->kind = StreamKind::memory;
  s->mem_out = sink;
  s->text = text;
  return s;
}

size_t memory_stream_space(bool input, size_t block) {
  return (sizeof(TextStream) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t) +
         storage_for(input, block);
}

TextStream* place_memory_stream(void* space, bool input, size_t block) {
  auto* s = new (space) TextStream;
  set_storage(s, input, block, static_cast<unsigned char*>(space) + memory_stream_space(input, block) - storage_for(input, block));
  s->kind = StreamKind::memory;
  s->mem_chunk = block;
  return s;
}

TextStream* open_memory_stream(bool input, size_t block) {
  TextStream* s = new_stream(input, block);
  s->kind = StreamKind::memory;
  s->mem_chunk = block;
  return s;
}

void reset_memory_input(TextStream* s, const void* bytes, size_t size, bool text) {
  s->mem_in = static_cast<const unsigned char*>(bytes);
  s->mem_size = size;
  s->text = text;
  s->next = s->limit = s->data;
  s->raw_pos = 0;
  s->at_eof = s->failed = s->sub_met = s->held_cr = false;
  s->tell_exact = s->tail_marks_only = true;
  s->error_code = 0;
  s->mark_offset = -1;
  s->tail_read = 0;
}

void reset_memory_output(TextStream* s, void* room, size_t size, bool text) {
  s->mem_out = nullptr;
  s->mem_room = static_cast<unsigned char*>(room);
  s->mem_size = size;
  s->text = text;
  s->next = s->data;
  s->raw_pos = s->text_written = 0;
  s->failed = false;
  s->error_code = 0;
}

}  // namespace kotran
