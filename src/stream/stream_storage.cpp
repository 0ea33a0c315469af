#include "stream/stream_storage.h"

#include <cstdlib>
#include <new>

#include "stream/spool.h"

namespace kotran::streams {

// Input storage: push-back room, the block, as much room again after it (so
// that a push-back that finds no room below can move the data up), then the
// stored bytes as read, before translation.
// Output storage: the block, then room for its translation (every LF doubled).
// Both keep SCAN_WIDTH bytes spare for the translation's wide stores.
size_t storage_for(bool input, size_t block_size) {
  return input ? PUSHBACK_ROOM + block_size + PUSHBACK_ROOM + block_size + SCAN_WIDTH : 3 * block_size + SCAN_WIDTH;
}

void set_storage(TextStream* s, bool input, size_t block_size, unsigned char* storage) {
  s->input = input;
  s->block_size = block_size;
  s->storage_size = storage_for(input, block_size);
  s->storage = storage;
  if (input) {
    s->floor = s->storage;
    s->data = s->storage + PUSHBACK_ROOM;
    s->next = s->limit = s->data;
  } else {
    s->floor = s->data = s->next = s->storage;
    s->limit = s->data + block_size;
  }
}

TextStream* new_stream(bool input, size_t block_size) {
  auto* s = new TextStream;
  auto* storage = static_cast<unsigned char*>(std::malloc(storage_for(input, block_size)));
  if (storage == nullptr) {
    delete s;
    throw std::bad_alloc();
  }
  set_storage(s, input, block_size, storage);
  return s;
}

void free_stream(TextStream* s) {
  release_spool(s);
  std::free(s->storage);
  delete s;
}

}  // namespace kotran::streams
