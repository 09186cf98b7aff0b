#!/usr/bin/env python3
"""Converts an HTML file (or standard input) to RTF on standard output through the shared
libvelmorane, with ctypes and nothing else.

    python3 convert.py page.html > page.rtf
    python3 convert.py --text - < page.html
    python3 convert.py --library /opt/velmorane/lib/libvelmorane.so page.html

Without --library the library is looked for as VELMORANE_LIBRARY names it, then where the
system keeps libraries.
"""
import ctypes
import ctypes.util
import os
import sys


class Options(ctypes.Structure):
    # The fields of velmorane_options in velmorane.h, in their order.
    _fields_ = [("struct_size", ctypes.c_size_t)] + [
        (name, ctypes.c_int) for name in (
            "format", "convert_images", "download_images", "wmf_pictures",
            "keep_hyperlinks", "keep_font_face", "keep_font_size", "keep_font_color",
            "keep_alignment", "keep_table_width", "keep_nested_tables", "table_border",
            "margin_left_mm", "margin_right_mm", "margin_top_mm", "margin_bottom_mm")
    ] + [
        (name, ctypes.c_char_p) for name in (
            "font_face", "font_size", "language", "alignment", "paper", "encoding")
    ]


FORMAT_TEXT = 2


def load(path):
    path = path or os.environ.get("VELMORANE_LIBRARY") or ctypes.util.find_library("velmorane")
    if not path:
        sys.exit("convert.py: libvelmorane not found (give --library PATH)")
    lib = ctypes.CDLL(path)
    lib.velmorane_default_options.argtypes = [ctypes.POINTER(Options)]
    lib.velmorane_default_options.restype = None
    lib.velmorane_convert_bytes.argtypes = [
        ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.POINTER(Options),
        ctypes.POINTER(ctypes.POINTER(ctypes.c_char)), ctypes.POINTER(ctypes.c_size_t)]
    lib.velmorane_convert_bytes.restype = ctypes.c_int
    lib.velmorane_free.argtypes = [ctypes.c_void_p]
    lib.velmorane_free.restype = None
    lib.velmorane_version.restype = ctypes.c_char_p
    lib.velmorane_result_message.argtypes = [ctypes.c_int]
    lib.velmorane_result_message.restype = ctypes.c_char_p
    return lib


def convert(lib, html, input_folder, text=False):
    options = Options()
    lib.velmorane_default_options(ctypes.byref(options))
    options.convert_images = 1
    if text:
        options.format = FORMAT_TEXT
    document = ctypes.POINTER(ctypes.c_char)()
    size = ctypes.c_size_t()
    result = lib.velmorane_convert_bytes(html, len(html), input_folder.encode(),
                                         ctypes.byref(options), ctypes.byref(document),
                                         ctypes.byref(size))
    if result != 0:
        raise RuntimeError(lib.velmorane_result_message(result).decode())
    try:
        return ctypes.string_at(document, size.value)
    finally:
        lib.velmorane_free(document)


def main(argv):
    library, text, inputs = None, False, []
    args = iter(argv)
    for arg in args:
        if arg == "--library":
            library = next(args, None)
        elif arg == "--text":
            text = True
        else:
            inputs.append(arg)
    source = inputs[0] if inputs else "-"
    lib = load(library)
    if source == "-":
        html, folder = sys.stdin.buffer.read(), os.getcwd()
    else:
        with open(source, "rb") as f:
            html = f.read()
        folder = os.path.dirname(os.path.abspath(source))
    try:
        sys.stdout.buffer.write(convert(lib, html, folder, text))
    except RuntimeError as error:
        sys.exit(f"convert.py: {error} (libvelmorane {lib.velmorane_version().decode()})")


if __name__ == "__main__":
    main(sys.argv[1:])
