// Events as a worker process hands them to the run's process: each a frame
// of bytes, NUL and 'E', the payload's length (4 bytes) and the payload, so
// that the reader knows a whole frame from a frame cut off by the worker's
// end. Both ends are the same program: numbers go in the host's order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "driver/report_event.h"

namespace kotran {

inline constexpr char EVENT_FRAME_TAG = 'E';
inline constexpr size_t EVENT_FRAME_HEAD = 6;  // NUL, the tag, the length

// Appends the event's frame to out.
void encode_event(const Event& event, std::string& out);

// The frame at the start of bytes: its whole length (head included) when
// it is whole, with the event in event; 0 when it is cut off; -1 when the
// bytes are no event frame.
long decode_event(std::string_view bytes, Event& event);

}  // namespace kotran
