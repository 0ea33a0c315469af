/* kotran: recognising and converting Japanese text (Shift-JIS, EUC, JIS,
 * UTF-8, UTF-16) in memory, as the kotran command converts files.
 *
 * Every call works on the caller's buffers and takes no memory but where it
 * says so; there is no global state, and a converter may be used by one
 * thread at a time (any number of converters at once).
 *
 *   kotran_options o;
 *   kotran_options_init(&o);
 *   o.target = KOTRAN_UTF8;                  // the source is recognised
 *   kotran_converter *c;
 *   if (kotran_open(&o, &c) != KOTRAN_OK) ...
 *   kotran_convert(c, in, in_size, &read, out, out_size, &written);
 *   kotran_finish(c, out, out_size, &written);
 *   kotran_close(c);
 */
#ifndef KOTRAN_H
#define KOTRAN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(KOTRAN_SHARED_BUILD)
#define KOTRAN_API __declspec(dllexport)
#elif defined(__GNUC__)
#define KOTRAN_API __attribute__((visibility("default")))
#else
#define KOTRAN_API
#endif

/* The version of this header: major * 10000 + minor * 100 + patch. A
 * program built against one major version runs with any library of that
 * major version whose minor version is the same or later. */
#define KOTRAN_VERSION_MAJOR 1
#define KOTRAN_VERSION_MINOR 0
#define KOTRAN_VERSION_PATCH 0
#define KOTRAN_VERSION (KOTRAN_VERSION_MAJOR * 10000 + KOTRAN_VERSION_MINOR * 100 + KOTRAN_VERSION_PATCH)

/* The version of the library linked, as KOTRAN_VERSION gives it. */
KOTRAN_API int kotran_version(void);

/* Codes. KOTRAN_RECOGNISE as a source: recognised from the text. */
typedef enum kotran_code {
  KOTRAN_RECOGNISE = 0,
  KOTRAN_SJIS = 1,  /* Shift-JIS (Windows code page 932) */
  KOTRAN_EUC = 2,   /* EUC-JP, with JIS X 0212 */
  KOTRAN_JIS = 3,   /* 7-bit JIS with escape sequences (ISO-2022-JP) */
  KOTRAN_UTF8 = 4,
  KOTRAN_UTF16 = 5, /* written little-endian after a byte-order mark */
  /* Answers of recognition only. */
  KOTRAN_ASCII = 6,        /* 7-bit bytes only: read as Shift-JIS */
  KOTRAN_NOT_JAPANESE = 7, /* text of another language, or binary */
  /* JIS X 0213 (2004): recognition answers them only on evidence. */
  KOTRAN_SJIS2004 = 8,  /* Shift_JIS-2004 */
  KOTRAN_EUC2004 = 9,   /* EUC-JIS-2004, with JIS X 0212 in the rows plane 2 leaves empty */
  KOTRAN_JIS2004 = 10   /* ISO-2022-JP-2004 */
} kotran_code;

typedef enum kotran_certainty {
  KOTRAN_CERTAIN = 0,   /* a mark, a sign only one code has, or the only valid reading */
  KOTRAN_LIKELY = 1,    /* one valid reading is far more Japanese than the others */
  KOTRAN_GUESS = 2,     /* the readings are close */
  KOTRAN_NOT_VALID = 3  /* no reading is valid text */
} kotran_certainty;

/* Results. Errors are negative; kotran_status_name names each. */
typedef enum kotran_status {
  KOTRAN_OK = 0,
  KOTRAN_NEED_ROOM = 1,           /* the output buffer filled: call again with more room */
  KOTRAN_E_INVALID = -1,          /* a null pointer, or an option out of range */
  KOTRAN_E_NO_MEMORY = -2,        /* the memory of kotran_open, or of a call's blocks, could not be had */
  KOTRAN_E_NOT_JAPANESE = -3,     /* recognition found text of another language, or binary */
  KOTRAN_E_NOT_EXACT = -4,        /* strict: the text does not convert exactly (see the report) */
  KOTRAN_E_FINISHED = -5          /* kotran_convert after kotran_finish */
} kotran_status;

/* What recognition found: what `kotran -g` prints as "code (detail)". */
typedef struct kotran_recognition {
  int code;           /* a kotran_code: KOTRAN_SJIS ... KOTRAN_NOT_JAPANESE */
  int certainty;      /* a kotran_certainty */
  int big_endian;     /* UTF-16 without a byte-order mark, read big-endian */
  const char *name;   /* "Shift-JIS", "UTF-16LE", "ASCII", "not Japanese", ... */
  const char *detail; /* "certain", "likely", "guess", "not valid text";
                         for text that is not Japanese what it seems to be:
                         "EUC-KR?", "GBK?", "Big5?", "KOI8-R?", "Latin-1?",
                         "CP1251?", "ISO-8859-7?", "binary" */
} kotran_recognition;

/* Recognises the code of a whole text of size bytes. Returns KOTRAN_OK or
 * KOTRAN_E_INVALID (KOTRAN_E_NO_MEMORY where a text over 1 KiB finds no
 * memory for the two blocks of 16 KiB it takes for the call). */
KOTRAN_API int kotran_recognise(const void *text, size_t size, kotran_recognition *answer);

/* JIS output's escape sequences. */
typedef enum kotran_jis_variant {
  KOTRAN_JIS_1983 = 0, /* ESC $ B, ESC ( J (the default) */
  KOTRAN_JIS_1978 = 1, /* ESC $ @, ESC ( J */
  KOTRAN_JIS_ASCII = 2 /* ESC $ B, ESC ( B */
} kotran_jis_variant;

typedef struct kotran_options {
  int source;       /* a kotran_code KOTRAN_SJIS..KOTRAN_UTF16 or KOTRAN_SJIS2004..KOTRAN_JIS2004,
                       or KOTRAN_RECOGNISE */
  int target;       /* a kotran_code KOTRAN_SJIS..KOTRAN_UTF16 or KOTRAN_SJIS2004..KOTRAN_JIS2004 */
  int widen;        /* half-width katakana become full-width */
  int jis_variant;  /* a kotran_jis_variant, for JIS output */
  int lf;           /* lines end with LF alone (else CR LF, as the command line writes) */
  int jis_forms;    /* Unicode output writes the JIS forms of 〜 ‖ − ¢ £ ¬ — */
  int strict;       /* a text that does not convert exactly is refused */
  int big_endian;   /* UTF-16 input without a byte-order mark is big-endian */
} kotran_options;

/* Sets every option to its default: recognise the source, UTF-8 target,
 * CR LF line ends, nothing else. */
KOTRAN_API void kotran_options_init(kotran_options *options);

/* What a conversion found. */
typedef struct kotran_report {
  int source;              /* the kotran_code the text was read as */
  kotran_recognition recognition; /* how it was recognised (certain where named) */
  uint64_t replaced;       /* characters replaced (written as 〓 or U+FFFD, or dropped at the end) */
  int64_t first_line;      /* the first replaced (strict: refused) character's line, from 1; 0 for none */
  int64_t first_column;    /* and its column, from 1, in characters of the source */
  int cut_at_end;          /* the text ended inside a character, which was dropped */
  int64_t ended_at;        /* the offset of a 0x1A that ended the text, or -1 */
  int text_after_end;      /* bytes other than 0x1A stood after it (they are not converted) */
} kotran_report;

/* The most bytes converting size bytes can write with these options. */
KOTRAN_API size_t kotran_max_output(const kotran_options *options, size_t size);

/* Converts a whole text at once into out: *written is the output's size.
 * KOTRAN_NEED_ROOM (nothing written) where out_size is smaller than the
 * output; kotran_max_output(options, in_size) bytes are always enough. The
 * report, where not null, is filled in. A text of up to 1 KiB takes no
 * memory; a longer one takes two blocks of 16 KiB for the call (a converter
 * of parts takes none after kotran_open). */
KOTRAN_API int kotran_convert_all(const kotran_options *options, const void *in, size_t in_size, void *out,
                                  size_t out_size, size_t *written, kotran_report *report);

/* A converter of a text handed over in parts. */
typedef struct kotran_converter kotran_converter;

/* Opens a converter; its memory (about 700 KiB) is taken here, and no call
 * after takes any. */
KOTRAN_API int kotran_open(const kotran_options *options, kotran_converter **converter);

/* Takes up to in_size bytes of the text (*read says how many) and writes
 * what they convert to into out (*written bytes). KOTRAN_NEED_ROOM when out
 * filled before every byte was taken: call again with the bytes not read.
 * Bytes after the last line end may be held until the next call. The
 * output is the bytes kotran_convert_all gives for the whole text, however
 * the text is cut into calls (but where text malformed all through a line
 * of over 64 KiB must be cut blind). */
KOTRAN_API int kotran_convert(kotran_converter *converter, const void *in, size_t in_size, size_t *read, void *out,
                              size_t out_size, size_t *written);

/* The end of the text: writes what is held. KOTRAN_NEED_ROOM when out
 * filled first: call again. */
KOTRAN_API int kotran_finish(kotran_converter *converter, void *out, size_t out_size, size_t *written);

/* What the conversion found so far. */
KOTRAN_API int kotran_get_report(const kotran_converter *converter, kotran_report *report);

/* Closes the converter and gives its memory back; null is nothing. */
KOTRAN_API void kotran_close(kotran_converter *converter);

/* "KOTRAN_OK", "KOTRAN_E_NOT_JAPANESE", ...: the name of a status, or "unknown". */
KOTRAN_API const char *kotran_status_name(int status);
/* A sentence saying what the status means, in English. */
KOTRAN_API const char *kotran_status_message(int status);

#ifdef __cplusplus
}
#endif

#endif /* KOTRAN_H */
