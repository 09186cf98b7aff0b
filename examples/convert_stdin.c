/* Converts the HTML page on standard input to RTF on standard output through
 * libvelmorane. Pictures with relative names are looked up in the current folder.
 *
 *   cc convert_stdin.c $(pkg-config --cflags --libs velmorane) -o convert_stdin
 *   curl -s https://example.org/ | ./convert_stdin > page.rtf
 *
 * Give "text" as the first argument for plain text instead of RTF. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <velmorane.h>

int main(int argc, char** argv) {
  size_t size = 0, room = 65536;
  char* html = malloc(room);
  if (html == NULL) return VELMORANE_NO_MEMORY;
  size_t got;
  while ((got = fread(html + size, 1, room - size, stdin)) > 0) {
    size += got;
    if (size == room) {
      char* larger = realloc(html, room *= 2);
      if (larger == NULL) {
        free(html);
        return VELMORANE_NO_MEMORY;
      }
      html = larger;
    }
  }

  velmorane_options options;
  velmorane_default_options(&options);
  options.convert_images = 1;
  if (argc > 1 && strcmp(argv[1], "text") == 0) options.format = VELMORANE_FORMAT_TEXT;

  char* document = NULL;
  size_t document_size = 0;
  velmorane_result result =
      velmorane_convert_bytes(html, size, NULL, &options, &document, &document_size);
  free(html);
  if (result != VELMORANE_OK) {
    fprintf(stderr, "convert_stdin: %s (libvelmorane %s)\n", velmorane_result_message(result),
            velmorane_version());
    return (int)result;
  }
  fwrite(document, 1, document_size, stdout);
  velmorane_free(document);
  return 0;
}
