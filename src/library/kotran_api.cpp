// The C interface of the library, over the conversion in memory.
#include "kotran.h"

#include <new>

#include "codes/jis_escapes.h"
#include "kernels/paths.h"
#include "library/memory_conversion.h"

using namespace kotran;

struct kotran_converter {
  explicit kotran_converter(const MemoryOptions& options) : parts(options) {}
  PartConverter parts;
};

namespace {

// The fastest path of this processor, found once.
Path best_path() {
  static const Path path = fastest_path();
  return path;
}

bool code_of_api(int code, Code& c) {
  switch (code) {
    case KOTRAN_SJIS: c = Code::sjis; return true;
    case KOTRAN_EUC: c = Code::euc; return true;
    case KOTRAN_JIS: c = Code::jis; return true;
    case KOTRAN_UTF8: c = Code::utf8; return true;
    case KOTRAN_UTF16: c = Code::utf16; return true;
    case KOTRAN_SJIS2004: c = Code::sjis2004; return true;
    case KOTRAN_EUC2004: c = Code::euc2004; return true;
    case KOTRAN_JIS2004: c = Code::jis2004; return true;
    default: return false;
  }
}

int api_code(Code c) {
  switch (c) {
    case Code::sjis: return KOTRAN_SJIS;
    case Code::euc: return KOTRAN_EUC;
    case Code::jis: return KOTRAN_JIS;
    case Code::utf8: return KOTRAN_UTF8;
    case Code::sjis2004: return KOTRAN_SJIS2004;
    case Code::euc2004: return KOTRAN_EUC2004;
    case Code::jis2004: return KOTRAN_JIS2004;
    default: return KOTRAN_UTF16;
  }
}

int api_code(Recognised r) {
  if (names_code(r)) return api_code(code_of(r));
  return r == Recognised::ascii ? KOTRAN_ASCII : KOTRAN_NOT_JAPANESE;
}

kotran_recognition api_recognition(const Recognition& r) {
  kotran_recognition a{};
  a.code = api_code(r.code);
  a.certainty = static_cast<int>(r.certainty);
  a.big_endian = r.order == ByteOrder::big;
  a.name = answer_name(r);
  a.detail = r.code == Recognised::not_japanese ? foreign_name(r.foreign) : certainty_name(r.certainty);
  return a;
}

// The options in the core's terms; false where one is out of range.
bool memory_options(const kotran_options* o, MemoryOptions& m) {
  if (o == nullptr || !code_of_api(o->target, m.target)) return false;
  m.recognise = o->source == KOTRAN_RECOGNISE;
  if (!m.recognise && !code_of_api(o->source, m.source)) return false;
  m.strict = o->strict != 0;
  m.convert.widen = o->widen != 0;
  switch (o->jis_variant) {
    case KOTRAN_JIS_1983: m.convert.jis_variant = JIS_VARIANT_83; break;
    case KOTRAN_JIS_1978: m.convert.jis_variant = JIS_VARIANT_78; break;
    case KOTRAN_JIS_ASCII: m.convert.jis_variant = 1; break;
    default: return false;
  }
  m.convert.lf_only = o->lf != 0;
  m.convert.jis_forms = o->jis_forms != 0;
  m.convert.big_endian = o->big_endian != 0;
  m.convert.path = best_path();
  return true;
}

void api_report(const MemoryReport& r, kotran_report* a) {
  a->source = api_code(r.source);
  a->recognition = api_recognition(r.recognition);
  a->replaced = r.replaced;
  a->first_line = r.first_problem.line;
  a->first_column = r.first_problem.column;
  a->cut_at_end = r.cut_at_end;
  a->ended_at = r.ended_at;
  a->text_after_end = r.text_after_end;
}

int api_status(MemoryStatus s) {
  switch (s) {
    case MemoryStatus::done: return KOTRAN_OK;
    case MemoryStatus::need_room: return KOTRAN_NEED_ROOM;
    case MemoryStatus::not_japanese: return KOTRAN_E_NOT_JAPANESE;
    case MemoryStatus::not_exact: return KOTRAN_E_NOT_EXACT;
    default: return KOTRAN_E_FINISHED;
  }
}

}  // namespace

extern "C" {

int kotran_version(void) { return KOTRAN_VERSION; }

void kotran_options_init(kotran_options* options) {
  if (options == nullptr) return;
  *options = kotran_options{};
  options->source = KOTRAN_RECOGNISE;
  options->target = KOTRAN_UTF8;
  options->jis_variant = KOTRAN_JIS_1983;
}

int kotran_recognise(const void* text, size_t size, kotran_recognition* answer) {
  if (answer == nullptr || (text == nullptr && size != 0)) return KOTRAN_E_INVALID;
  try {
    *answer = api_recognition(recognise_memory(text, size, best_path()));
  } catch (const std::bad_alloc&) {
    return KOTRAN_E_NO_MEMORY;
  }
  return KOTRAN_OK;
}

size_t kotran_max_output(const kotran_options* options, size_t size) {
  MemoryOptions m;
  if (!memory_options(options, m)) return 0;
  return worst_output(m.source, m.target, size);
}

int kotran_convert_all(const kotran_options* options, const void* in, size_t in_size, void* out, size_t out_size,
                       size_t* written, kotran_report* report) {
  MemoryOptions m;
  if (!memory_options(options, m) || written == nullptr || (in == nullptr && in_size != 0) ||
      (out == nullptr && out_size != 0))
    return KOTRAN_E_INVALID;
  MemoryReport found;
  MemoryStatus status;
  try {
    status = convert_memory(m, in, in_size, out, out_size, *written, found);
  } catch (const std::bad_alloc&) {
    *written = 0;
    return KOTRAN_E_NO_MEMORY;
  }
  if (report != nullptr) api_report(found, report);
  return api_status(status);
}

int kotran_open(const kotran_options* options, kotran_converter** converter) {
  MemoryOptions m;
  if (converter == nullptr) return KOTRAN_E_INVALID;
  *converter = nullptr;
  if (!memory_options(options, m)) return KOTRAN_E_INVALID;
  try {
    *converter = new kotran_converter(m);
  } catch (const std::bad_alloc&) {
    return KOTRAN_E_NO_MEMORY;
  }
  return KOTRAN_OK;
}

int kotran_convert(kotran_converter* converter, const void* in, size_t in_size, size_t* read, void* out,
                   size_t out_size, size_t* written) {
  if (converter == nullptr || read == nullptr || written == nullptr || (in == nullptr && in_size != 0) ||
      (out == nullptr && out_size != 0))
    return KOTRAN_E_INVALID;
  return api_status(converter->parts.convert(in, in_size, *read, out, out_size, *written));
}

int kotran_finish(kotran_converter* converter, void* out, size_t out_size, size_t* written) {
  if (converter == nullptr || written == nullptr || (out == nullptr && out_size != 0)) return KOTRAN_E_INVALID;
  return api_status(converter->parts.finish(out, out_size, *written));
}

int kotran_get_report(const kotran_converter* converter, kotran_report* report) {
  if (converter == nullptr || report == nullptr) return KOTRAN_E_INVALID;
  api_report(converter->parts.report(), report);
  return KOTRAN_OK;
}

void kotran_close(kotran_converter* converter) { delete converter; }

const char* kotran_status_name(int status) {
  switch (status) {
    case KOTRAN_OK: return "KOTRAN_OK";
    case KOTRAN_NEED_ROOM: return "KOTRAN_NEED_ROOM";
    case KOTRAN_E_INVALID: return "KOTRAN_E_INVALID";
    case KOTRAN_E_NO_MEMORY: return "KOTRAN_E_NO_MEMORY";
    case KOTRAN_E_NOT_JAPANESE: return "KOTRAN_E_NOT_JAPANESE";
    case KOTRAN_E_NOT_EXACT: return "KOTRAN_E_NOT_EXACT";
    case KOTRAN_E_FINISHED: return "KOTRAN_E_FINISHED";
    default: return "unknown";
  }
}

const char* kotran_status_message(int status) {
  switch (status) {
    case KOTRAN_OK: return "done";
    case KOTRAN_NEED_ROOM: return "the output buffer is full";
    case KOTRAN_E_INVALID: return "a null pointer or an option out of range";
    case KOTRAN_E_NO_MEMORY: return "memory ran out";
    case KOTRAN_E_NOT_JAPANESE: return "the text is not Japanese (or is binary)";
    case KOTRAN_E_NOT_EXACT: return "the text does not convert exactly";
    case KOTRAN_E_FINISHED: return "the converter has finished";
    default: return "unknown status";
  }
}

}  // extern "C"
