/* The Python module kotran, over libkotran's C interface. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <ctype.h>
#include <string.h>

#include "kotran.h"

#if defined(__linux__)
#include <stdint.h>
#include <sys/mman.h>
#endif

/* A large output is written into fresh memory, whose every page the system
 * must first give; asked for in huge pages, it is given 512 times less
 * often (Linux, where transparent huge pages are "madvise"). */
static void advise_large(char *bytes, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const uintptr_t huge = (uintptr_t)1 << 21;
  const uintptr_t start = ((uintptr_t)bytes + huge - 1) & ~(huge - 1);
  const uintptr_t end = ((uintptr_t)bytes + size) & ~(huge - 1);
  if (end > start) madvise((void *)start, end - start, MADV_HUGEPAGE);
#else
  (void)bytes;
  (void)size;
#endif
}

/* Above this many bytes a conversion lets other threads run. */
#define RELEASE_GIL_FROM 65536

static PyObject *ConversionError;
static PyObject *NotJapaneseError;

/* A code's name as Python's codecs and kotran spell it: "shift_jis",
 * "cp932", "sjis", "euc-jp", "iso2022_jp", "utf-8", "utf-16", ... */
static int code_named(PyObject *name, int *code) {
  if (name == NULL || name == Py_None) {
    *code = KOTRAN_RECOGNISE;
    return 0;
  }
  const char *text = PyUnicode_AsUTF8(name);
  if (text == NULL) return -1;
  char key[32];
  size_t n = 0;
  for (const char *p = text; *p != '\0' && n < sizeof key - 1; ++p)
    if (*p != '-' && *p != '_' && *p != ' ') key[n++] = (char)tolower((unsigned char)*p);
  key[n] = '\0';
  static const struct {
    const char *key;
    int code;
  } names[] = {{"shiftjis", KOTRAN_SJIS}, {"sjis", KOTRAN_SJIS}, {"cp932", KOTRAN_SJIS}, {"ms932", KOTRAN_SJIS},
               {"windows31j", KOTRAN_SJIS}, {"euc", KOTRAN_EUC}, {"eucjp", KOTRAN_EUC}, {"ujis", KOTRAN_EUC},
               {"jis", KOTRAN_JIS}, {"iso2022jp", KOTRAN_JIS}, {"utf8", KOTRAN_UTF8}, {"utf16", KOTRAN_UTF16},
               {"shiftjis2004", KOTRAN_SJIS2004}, {"sjis2004", KOTRAN_SJIS2004}, {"shiftjisx0213", KOTRAN_SJIS2004},
               {"eucjis2004", KOTRAN_EUC2004}, {"euc2004", KOTRAN_EUC2004}, {"eucjisx0213", KOTRAN_EUC2004},
               {"iso2022jp2004", KOTRAN_JIS2004}, {"jis2004", KOTRAN_JIS2004}};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
    if (strcmp(key, names[i].key) == 0) {
      *code = names[i].code;
      return 0;
    }
  PyErr_Format(PyExc_ValueError, "kotran: no code named %R (Shift-JIS, EUC, JIS, UTF-8, UTF-16, or the 2004 ones)", name);
  return -1;
}

/* Raises the error a status stands for, with what the report says. */
static void raise_status(int status, const kotran_report *report) {
  if (status == KOTRAN_E_NOT_JAPANESE) {
    PyObject *e = PyObject_CallFunction(NotJapaneseError, "s", report->recognition.detail);
    if (e != NULL) {
      PyObject_SetAttrString(e, "seems", PyUnicode_FromString(report->recognition.detail));
      PyErr_SetObject(NotJapaneseError, e);
      Py_DECREF(e);
    }
    return;
  }
  if (status == KOTRAN_E_NOT_EXACT) {
    PyObject *e;
    if (report->first_line > 0)
      e = PyObject_CallFunction(ConversionError, "s", "the text does not convert exactly");
    else
      e = PyObject_CallFunction(ConversionError, "s", "text stands after a 0x1A that ends it");
    if (e != NULL) {
      PyObject *line = PyLong_FromLongLong(report->first_line), *column = PyLong_FromLongLong(report->first_column);
      PyObject_SetAttrString(e, "line", line);
      PyObject_SetAttrString(e, "column", column);
      Py_XDECREF(line);
      Py_XDECREF(column);
      PyErr_SetObject(ConversionError, e);
      Py_DECREF(e);
    }
    return;
  }
  if (status == KOTRAN_E_NO_MEMORY) {
    PyErr_NoMemory();
    return;
  }
  PyErr_SetString(PyExc_ValueError, kotran_status_message(status));
}

/* to is NULL for the default, UTF-8. */
static int options_from(PyObject *to, PyObject *source, int widen, int strict, int lf, kotran_options *o) {
  kotran_options_init(o);
  if (to != NULL && code_named(to, &o->target) != 0) return -1;
  if (code_named(source, &o->source) != 0) return -1;
  if (o->target == KOTRAN_RECOGNISE) {
    PyErr_SetString(PyExc_ValueError, "kotran: the target code must be named");
    return -1;
  }
  o->widen = widen;
  o->strict = strict;
  o->lf = lf;
  return 0;
}

/* The whole text converted: a bytes object, or NULL with the error raised. */
/* Outputs up to this size are written first into the thread's scratch
 * room, whose pages stay faulted in, and copied into a bytes object of
 * their size: a room of the worst size, fresh for every call, would be
 * mapped and faulted in page by page each time. Larger ones go straight
 * into their bytes object, asked for in huge pages. */
#define SCRATCH_LIMIT ((size_t)4 << 20)

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
static pthread_key_t scratch_key;
static int scratch_ready;

typedef struct {
  size_t size;
  char bytes[];
} Scratch;

/* The calling thread's scratch room of at least size bytes, or NULL. */
static char *scratch_room(size_t size) {
  if (!scratch_ready) return NULL;
  Scratch *s = pthread_getspecific(scratch_key);
  if (s != NULL && s->size >= size) return s->bytes;
  size_t want = s != NULL ? s->size * 2 : 65536;
  while (want < size) want *= 2;
  Scratch *grown = PyMem_RawRealloc(s, sizeof(Scratch) + want);
  if (grown == NULL) return NULL;
  grown->size = want;
  pthread_setspecific(scratch_key, grown);
  return grown->bytes;
}
static void scratch_init(void) { scratch_ready = pthread_key_create(&scratch_key, PyMem_RawFree) == 0; }
#else
static char *scratch_room(size_t size) { (void)size; return NULL; }
static void scratch_init(void) {}
#endif

/* The whole text converted: a bytes object, or NULL with the error raised. */
static PyObject *convert_whole(const kotran_options *o, Py_buffer *in) {
  const size_t room = kotran_max_output(o, (size_t)in->len);
  const int release = in->len >= RELEASE_GIL_FROM;
  char *scratch = room <= SCRATCH_LIMIT ? scratch_room(room) : NULL;
  PyObject *out = NULL;
  if (scratch == NULL) {
    out = PyBytes_FromStringAndSize(NULL, (Py_ssize_t)room);
    if (out == NULL) return NULL;
    if (release) advise_large(PyBytes_AS_STRING(out), room);
  }
  char *const to = scratch != NULL ? scratch : PyBytes_AS_STRING(out);
  size_t written = 0;
  kotran_report report;
  int status;
  if (release) {
    Py_BEGIN_ALLOW_THREADS
    status = kotran_convert_all(o, in->buf, (size_t)in->len, to, room, &written, &report);
    Py_END_ALLOW_THREADS
  } else {
    status = kotran_convert_all(o, in->buf, (size_t)in->len, to, room, &written, &report);
  }
  if (status != KOTRAN_OK) {
    Py_XDECREF(out);
    raise_status(status, &report);
    return NULL;
  }
  if (scratch != NULL) return PyBytes_FromStringAndSize(scratch, (Py_ssize_t)written);
  if (_PyBytes_Resize(&out, (Py_ssize_t)written) != 0) return NULL;
  return out;
}

/* Arguments of a fast call: the first positional, the rest positional or
 * by keyword, in the order of names; 0, or -1 with TypeError raised. The
 * call's own cost matters for short strings, so no tuple or dict is made. */
static int take_arguments(const char *function, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
                          const char *const *names, Py_ssize_t count, PyObject **values) {
  if (nargs < 1 || nargs > count) {
    PyErr_Format(PyExc_TypeError, "%s() takes from 1 to %zd positional arguments", function, count);
    return -1;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) values[i] = args[i];
  const Py_ssize_t keywords = kwnames == NULL ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject *key = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t i = 1;
    while (i < count && PyUnicode_CompareWithASCIIString(key, names[i]) != 0) ++i;
    if (i == count || values[i] != NULL) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected or repeated argument %R", function, key);
      return -1;
    }
    values[i] = args[nargs + k];
  }
  return 0;
}

/* A flag argument: absent is false. */
static int flag(PyObject *value) { return value == NULL ? 0 : PyObject_IsTrue(value); }

static PyObject *kotran_py_convert(PyObject *self, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
  (void)self;
  static const char *const names[] = {"data", "to", "source", "widen", "strict", "lf"};
  PyObject *v[6] = {NULL, NULL, NULL, NULL, NULL, NULL};
  if (take_arguments("convert", args, nargs, kwnames, names, 6, v) != 0) return NULL;
  const int widen = flag(v[3]), strict = flag(v[4]), lf = flag(v[5]);
  if (widen < 0 || strict < 0 || lf < 0) return NULL;
  Py_buffer in;
  if (PyObject_GetBuffer(v[0], &in, PyBUF_SIMPLE) != 0) return NULL;
  kotran_options o;
  PyObject *result = NULL;
  if (options_from(v[1], v[2], widen, strict, lf, &o) == 0) result = convert_whole(&o, &in);
  PyBuffer_Release(&in);
  return result;
}

static PyObject *kotran_py_decode(PyObject *self, PyObject *args, PyObject *kwargs) {
  (void)self;
  static char *keywords[] = {"data", "source", "strict", NULL};
  Py_buffer in;
  PyObject *source = Py_None;
  int strict = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "y*|Op", keywords, &in, &source, &strict)) return NULL;
  kotran_options o;
  PyObject *result = NULL;
  if (options_from(NULL, source, 0, strict, 1, &o) == 0) {
    PyObject *bytes = convert_whole(&o, &in);
    if (bytes != NULL) {
      result = PyUnicode_DecodeUTF8(PyBytes_AS_STRING(bytes), PyBytes_GET_SIZE(bytes), "strict");
      Py_DECREF(bytes);
    }
  }
  PyBuffer_Release(&in);
  return result;
}

static PyObject *kotran_py_recognise(PyObject *self, PyObject *arg) {
  (void)self;
  Py_buffer in;
  if (PyObject_GetBuffer(arg, &in, PyBUF_SIMPLE) != 0) return NULL;
  kotran_recognition answer;
  int status;
  Py_BEGIN_ALLOW_THREADS
  status = kotran_recognise(in.buf, (size_t)in.len, &answer);
  Py_END_ALLOW_THREADS
  PyBuffer_Release(&in);
  if (status != KOTRAN_OK) {
    kotran_report report;
    memset(&report, 0, sizeof report);
    raise_status(status, &report);
    return NULL;
  }
  return Py_BuildValue("(ss)", answer.name, answer.detail);
}

/* kotran.Converter: a text converted as its parts come. */
typedef struct {
  PyObject_HEAD
  kotran_converter *converter;
} ConverterObject;

static int converter_init(ConverterObject *self, PyObject *args, PyObject *kwargs) {
  static char *keywords[] = {"to", "source", "widen", "strict", "lf", NULL};
  PyObject *to = NULL, *source = Py_None;
  int widen = 0, strict = 0, lf = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OOppp", keywords, &to, &source, &widen, &strict, &lf)) return -1;
  kotran_options o;
  if (options_from(to, source, widen, strict, lf, &o) != 0) return -1;
  kotran_close(self->converter);
  self->converter = NULL;
  const int status = kotran_open(&o, &self->converter);
  if (status != KOTRAN_OK) {
    kotran_report report;
    memset(&report, 0, sizeof report);
    raise_status(status, &report);
    return -1;
  }
  return 0;
}

static void converter_dealloc(ConverterObject *self) {
  kotran_close(self->converter);
  Py_TYPE(self)->tp_free((PyObject *)self);
}

/* Runs feed (finish when in is NULL) until it has taken everything. */
static PyObject *converter_run(ConverterObject *self, Py_buffer *in) {
  if (self->converter == NULL) {
    PyErr_SetString(PyExc_ValueError, "kotran.Converter was not initialised");
    return NULL;
  }
  /* Room for the new bytes and a part held from before, written as the
   * widest target would write them; a room found too small is doubled. */
  kotran_options widest;
  kotran_options_init(&widest);
  widest.target = KOTRAN_JIS;
  size_t size = kotran_max_output(&widest, (in ? (size_t)in->len : 0) + 65536);
  PyObject *out = PyBytes_FromStringAndSize(NULL, (Py_ssize_t)size);
  if (out == NULL) return NULL;
  size_t taken = 0, made = 0;
  int status;
  for (;;) {
    size_t read = 0, written = 0;
    char *room = PyBytes_AS_STRING(out) + made;
    if (in != NULL)
      status = kotran_convert(self->converter, (const char *)in->buf + taken, (size_t)in->len - taken, &read, room,
                              size - made, &written);
    else
      status = kotran_finish(self->converter, room, size - made, &written);
    taken += read;
    made += written;
    if (status != KOTRAN_NEED_ROOM) break;
    size *= 2;
    if (_PyBytes_Resize(&out, (Py_ssize_t)size) != 0) return NULL;
  }
  if (status != KOTRAN_OK) {
    Py_DECREF(out);
    kotran_report report;
    kotran_get_report(self->converter, &report);
    raise_status(status, &report);
    return NULL;
  }
  if (_PyBytes_Resize(&out, (Py_ssize_t)made) != 0) return NULL;
  return out;
}

static PyObject *converter_feed(ConverterObject *self, PyObject *arg) {
  Py_buffer in;
  if (PyObject_GetBuffer(arg, &in, PyBUF_SIMPLE) != 0) return NULL;
  PyObject *out = converter_run(self, &in);
  PyBuffer_Release(&in);
  return out;
}

static PyObject *converter_finish(ConverterObject *self, PyObject *unused) {
  (void)unused;
  return converter_run(self, NULL);
}

/* What the conversion found: a dict of the report. */
static PyObject *converter_report(ConverterObject *self, void *unused) {
  (void)unused;
  if (self->converter == NULL) Py_RETURN_NONE;
  kotran_report r;
  kotran_get_report(self->converter, &r);
  return Py_BuildValue("{s:s,s:s,s:K,s:L,s:L,s:O,s:L}", "source", r.recognition.name, "detail", r.recognition.detail,
                       "replaced", (unsigned long long)r.replaced, "line", (long long)r.first_line, "column",
                       (long long)r.first_column, "cut_at_end", r.cut_at_end ? Py_True : Py_False, "ended_at",
                       (long long)r.ended_at);
}

static PyMethodDef converter_methods[] = {
    {"feed", (PyCFunction)converter_feed, METH_O, "feed(data) -> bytes: converts what it can of the text so far."},
    {"finish", (PyCFunction)converter_finish, METH_NOARGS, "finish() -> bytes: the end of the text."},
    {NULL, NULL, 0, NULL}};

static PyGetSetDef converter_getset[] = {
    {"report", (getter)converter_report, NULL, "What the conversion found so far.", NULL}, {NULL, NULL, NULL, NULL, NULL}};

static PyTypeObject ConverterType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "kotran.Converter",
    .tp_basicsize = sizeof(ConverterObject),
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "Converter(to='utf-8', source=None, widen=False, strict=False, lf=False): a text converted as its parts come.",
    .tp_new = PyType_GenericNew,
    .tp_init = (initproc)converter_init,
    .tp_dealloc = (destructor)converter_dealloc,
    .tp_methods = converter_methods,
    .tp_getset = converter_getset,
};

static PyMethodDef module_methods[] = {
    {"convert", (PyCFunction)(void (*)(void))kotran_py_convert, METH_FASTCALL | METH_KEYWORDS,
     "convert(data, to='utf-8', source=None, widen=False, strict=False, lf=False) -> bytes"},
    {"decode", (PyCFunction)(void (*)(void))kotran_py_decode, METH_VARARGS | METH_KEYWORDS,
     "decode(data, source=None, strict=False) -> str, lines ending with LF"},
    {"recognise", (PyCFunction)kotran_py_recognise, METH_O,
     "recognise(data) -> (code, certainty), as kotran -g prints them"},
    {NULL, NULL, 0, NULL}};

static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "kotran",
                                    "Recognising and converting Japanese text (Shift-JIS, EUC, JIS, UTF-8, UTF-16).",
                                    -1, module_methods, NULL, NULL, NULL, NULL};

PyMODINIT_FUNC PyInit_kotran(void) {
  if (PyType_Ready(&ConverterType) < 0) return NULL;
  scratch_init();
  PyObject *m = PyModule_Create(&module);
  if (m == NULL) return NULL;
  ConversionError = PyErr_NewExceptionWithDoc("kotran.ConversionError",
                                              "The text does not convert exactly (strict); line and column say where.",
                                              PyExc_ValueError, NULL);
  NotJapaneseError = PyErr_NewExceptionWithDoc("kotran.NotJapaneseError",
                                               "The text is not Japanese; seems says what it seems to be.",
                                               ConversionError, NULL);
  Py_INCREF(&ConverterType);
  if (ConversionError == NULL || NotJapaneseError == NULL ||
      PyModule_AddObject(m, "ConversionError", ConversionError) < 0 ||
      PyModule_AddObject(m, "NotJapaneseError", NotJapaneseError) < 0 ||
      PyModule_AddObject(m, "Converter", (PyObject *)&ConverterType) < 0 ||
      PyModule_AddIntConstant(m, "LIBRARY_VERSION", kotran_version()) < 0) {
    Py_DECREF(m);
    return NULL;
  }
  Py_INCREF(ConversionError);
  Py_INCREF(NotJapaneseError);
  return m;
}
