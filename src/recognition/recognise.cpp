#include "recognition/recognise.h"

#include "recognition/detect_code.h"
#include "recognition/detect_utf8.h"

namespace kotran {

Recognised recognise_code(TextStream* in, Path path) {
  if (is_utf8_text(in)) return Recognised::utf8;
  return detect_code(in, path);
}

}  // namespace kotran
