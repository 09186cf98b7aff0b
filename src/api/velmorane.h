/* libvelmorane: HTML to RTF (or plain text) conversion from C and from any language that
 * can call C. Only C types cross this interface; every function may be called from
 * several threads at once (each call converts with an engine of its own).
 *
 *   velmorane_options options;
 *   velmorane_default_options(&options);
 *   options.convert_images = 1;
 *   velmorane_result r = velmorane_convert_file("page.html", "out/page.rtf", &options);
 *   if (r != VELMORANE_OK) fprintf(stderr, "%s\n", velmorane_result_message(r));
 */
#ifndef VELMORANE_H_
#define VELMORANE_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VELMORANE_API __attribute__((visibility("default")))
#else
#define VELMORANE_API
#endif

/* Results; the first six are the command line's exit statuses. */
typedef enum velmorane_result {
  VELMORANE_OK = 0,
  VELMORANE_NO_MEMORY = 2,
  VELMORANE_CANNOT_CREATE_OUTPUT = 3,
  VELMORANE_CANNOT_OPEN_INPUT = 4,
  VELMORANE_INPUT_EMPTY = 5,
  VELMORANE_OUTPUT_EXISTS = 6,
  VELMORANE_CANNOT_WRITE_OUTPUT = 7, /* a full disk or an I/O error; an earlier file is kept */
  VELMORANE_INVALID_ARGUMENT = 8 /* a null pointer or an options record of another size */
} velmorane_result;

/* What is written. */
typedef enum velmorane_format {
  VELMORANE_FORMAT_RTF = 0,           /* RTF with tables */
  VELMORANE_FORMAT_RTF_NO_TABLES = 1, /* RTF, tables as plain paragraphs */
  VELMORANE_FORMAT_TEXT = 2           /* plain text */
} velmorane_format;

/* The settings of a conversion. Fill it with velmorane_default_options first, then change
 * what you need. Strings are read during the call only; NULL keeps the default. */
typedef struct velmorane_options {
  size_t struct_size;       /* sizeof(velmorane_options); set by velmorane_default_options */
  int format;               /* a velmorane_format; default RTF with tables */
  int convert_images;       /* 1: embed the pictures of the page; default 0 */
  int download_images;      /* 1: fetch remote pictures (with convert_images); default 0 */
  int wmf_pictures;         /* 1: pictures as metafiles and DIB bitmaps; 2: GIF and BMP as
                               metafiles, PNG and JPEG as they are; default 0 (GIF as PNG) */
  int keep_hyperlinks;      /* default 0 */
  int keep_font_face;       /* keep the page's fonts, sizes, colours and alignment; */
  int keep_font_size;       /*   default 1 each */
  int keep_font_color;
  int keep_alignment;
  int keep_table_width;     /* default 1 */
  int keep_nested_tables;   /* default 1 */
  int table_border;         /* 0 invisible (default), 1 visible, 2 as in the HTML */
  int margin_left_mm;       /* page margins in millimetres; 0 keeps the defaults */
  int margin_right_mm;      /*   (about 12.7, 31.7, 12.7 and 12.7 mm) */
  int margin_top_mm;
  int margin_bottom_mm;
  const char* font_face;    /* default font, "Arial" */
  const char* font_size;    /* default size in points as text, "10" */
  const char* language;     /* document language, "English" */
  const char* alignment;    /* "justify", "center", "right" or "left" */
  const char* paper;        /* "A3", "A4" (default), "A5", "B5", "Letter", "Legal", ... */
  const char* encoding;     /* "utf-8", "windows-1251", "koi8-r", ...; NULL or "": detect */
} velmorane_options;

/* Fills `options` with the defaults of the command line. */
VELMORANE_API void velmorane_default_options(velmorane_options* options);

/* Converts the HTML file `input_path`. `output` is the output file (a name ending in .rtf,
 * .txt or .doc) or a folder that receives the input's name with .rtf or .txt; NULL is the
 * current folder. Relative pictures and style sheets are looked up beside the input. */
VELMORANE_API velmorane_result velmorane_convert_file(const char* input_path, const char* output,
                                                      const velmorane_options* options);

/* Converts `html_size` bytes of HTML in memory. Relative pictures and style sheets are
 * looked up in `input_folder` (NULL: the current folder). On VELMORANE_OK `*output` holds
 * the document (the bytes a file would hold, CR LF line ends, followed by a NUL not
 * counted in `*output_size`); free it with velmorane_free. On failure `*output` is NULL. */
VELMORANE_API velmorane_result velmorane_convert_bytes(const char* html, size_t html_size,
                                                       const char* input_folder,
                                                       const velmorane_options* options,
                                                       char** output, size_t* output_size);

/* Hears a warning of a conversion: what the document lost, as the command line tells its
 * user ("picture skipped, not found: /home/me/img/logo.png", "3 pictures left out:
 * converting pictures is off"). `text` is one line of UTF-8 without a line end, valid
 * during the call only; the callback runs on the converting thread before the conversion
 * returns, once per warning, in order. */
typedef void (*velmorane_warning_callback)(const char* text, void* user_data);

/* velmorane_convert_file and velmorane_convert_bytes that pass every warning to
 * `on_warning` (with `user_data`); a NULL callback drops them as the plain calls do. */
VELMORANE_API velmorane_result velmorane_convert_file_warn(const char* input_path,
                                                           const char* output,
                                                           const velmorane_options* options,
                                                           velmorane_warning_callback on_warning,
                                                           void* user_data);
VELMORANE_API velmorane_result velmorane_convert_bytes_warn(
    const char* html, size_t html_size, const char* input_folder,
    const velmorane_options* options, char** output, size_t* output_size,
    velmorane_warning_callback on_warning, void* user_data);

/* Frees a document returned by velmorane_convert_bytes; NULL is allowed. */
VELMORANE_API void velmorane_free(void* memory);

/* The library's version, such as "3.0.0". */
VELMORANE_API const char* velmorane_version(void);

/* A short English sentence for a result, such as "the input file cannot be opened". */
VELMORANE_API const char* velmorane_result_message(velmorane_result result);

#ifdef __cplusplus
}
#endif

#endif /* VELMORANE_H_ */
