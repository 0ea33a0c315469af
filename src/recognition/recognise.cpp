#include "recognition/recognise.h"

#include "recognition/detect_code.h"

namespace kotran {

Recognition recognise_code(TextStream* in, Path path) {
  if (in == nullptr) return {Recognised::unreadable, Certainty::certain};
  const int64_t start = stream_tell(in);
  const Evidence e = gather_evidence(in, path);
  return decide(e, [&] {
    stream_seek(in, start, 0);
    return detect_code(in, path);
  });
}

}  // namespace kotran
