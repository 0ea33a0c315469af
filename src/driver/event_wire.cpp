#include "driver/event_wire.h"

#include <cstdint>
#include <cstring>

namespace kotran {
namespace {

template <class T>
void put(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.append(bytes, sizeof(T));
}

void put_text(std::string& out, const std::string& text) {
  put(out, static_cast<uint32_t>(text.size()));
  out += text;
}

// Reads the payload in order; false once it runs short.
struct Taker {
  std::string_view rest;

  template <class T>
  bool take(T& value) {
    if (rest.size() < sizeof(T)) return false;
    std::memcpy(&value, rest.data(), sizeof(T));
    rest.remove_prefix(sizeof(T));
    return true;
  }
  bool take_text(std::string& text) {
    uint32_t size = 0;
    if (!take(size) || rest.size() < size) return false;
    text.assign(rest.data(), size);
    rest.remove_prefix(size);
    return true;
  }
};

}  // namespace

void encode_event(const Event& e, std::string& out) {
  const size_t head = out.size();
  out += '\0';
  out += EVENT_FRAME_TAG;
  put(out, uint32_t{0});  // the payload's length, set below
  const uint8_t bytes[] = {static_cast<uint8_t>(e.kind), e.why, e.code, e.target,
                           e.certainty, e.foreign, e.order, static_cast<uint8_t>(e.widened)};
  out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
  put(out, static_cast<int32_t>(e.error));
  for (const std::string* text : {&e.file, &e.name, &e.other, &e.text}) put_text(out, *text);
  for (const uint64_t n : e.n) put(out, n);
  const auto length = static_cast<uint32_t>(out.size() - head - EVENT_FRAME_HEAD);
  std::memcpy(&out[head + 2], &length, sizeof length);
}

long decode_event(std::string_view bytes, Event& e) {
  if (bytes.size() < 2) return bytes.empty() || bytes[0] == '\0' ? 0 : -1;
  if (bytes[0] != '\0' || bytes[1] != EVENT_FRAME_TAG) return -1;
  if (bytes.size() < EVENT_FRAME_HEAD) return 0;
  uint32_t length = 0;
  std::memcpy(&length, bytes.data() + 2, sizeof length);
  if (bytes.size() - EVENT_FRAME_HEAD < length) return 0;
  Taker t{bytes.substr(EVENT_FRAME_HEAD, length)};
  uint8_t b[8];
  int32_t error = 0;
  bool ok = true;
  for (uint8_t& byte : b) ok = ok && t.take(byte);
  ok = ok && t.take(error);
  for (std::string* text : {&e.file, &e.name, &e.other, &e.text}) ok = ok && t.take_text(*text);
  for (uint64_t& n : e.n) ok = ok && t.take(n);
  if (!ok || !t.rest.empty()) return -1;
  e.kind = static_cast<EventKind>(b[0]);
  e.why = b[1];
  e.code = b[2];
  e.target = b[3];
  e.certainty = b[4];
  e.foreign = b[5];
  e.order = b[6];
  e.widened = b[7] != 0;
  e.error = error;
  return static_cast<long>(EVENT_FRAME_HEAD + length);
}

}  // namespace kotran
