"""HTML to RTF (or plain text) conversion with libvelmorane, in this process.

    import velmorane
    rtf = velmorane.convert("<p>Hi <b>there</b></p>")
    text = velmorane.convert(page_bytes, text=True)
    velmorane.convert_file("site/index.html", "out/", images=True, keep_hyperlinks=True)

Options go by the names of the command line's options, spelled out (``font_face``,
``keep_hyperlinks``, ``margin_left``, ``paper``) or as the command line writes them
without the dash (``face``, ``kh``, ``ml``, ``psize``). A failed conversion raises
ConversionError, whose ``code`` is the exit status the command line gives for the same
failure. The library is called without the interpreter lock, so threads convert in
parallel.

The library used is the copy installed with the package; VELMORANE_LIBRARY, when set,
names another one (``velmorane.library_path`` tells which was loaded).
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import pathlib
from typing import Any, Callable, Dict, List, Optional, Tuple, Union

__all__ = ["ConversionError", "convert", "convert_file", "__version__"]

PathLike = Union[str, "os.PathLike[str]"]


class ConversionError(Exception):
    """A conversion that did not succeed.

    ``code`` is the command line's exit status for the same failure: 2 not enough memory,
    3 the output cannot be created, 4 the input cannot be opened, 5 the input is empty,
    6 the output exists, 7 the output cannot be written to its end, 1 an invalid argument.
    """

    def __init__(self, code: int, message: str) -> None:
        super().__init__(code, message)
        self.code = code
        self.message = message

    def __str__(self) -> str:
        return f"{self.message} (status {self.code})"


class _Options(ctypes.Structure):
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


_FORMAT_RTF = 0
_FORMAT_RTF_NO_TABLES = 1
_FORMAT_TEXT = 2
_INVALID_ARGUMENT = 8  # the library's result for a bad call: the command line's status 1


def _library_path() -> str:
    given = os.environ.get("VELMORANE_LIBRARY")
    if given:
        return given
    bundled = pathlib.Path(__file__).with_name("libvelmorane.so")
    if bundled.is_file():
        return str(bundled)
    found = ctypes.util.find_library("velmorane")
    if found:
        return found
    raise ImportError("velmorane: libvelmorane.so not found (reinstall the package or set "
                      "VELMORANE_LIBRARY)")


def _load(path: str) -> ctypes.CDLL:
    # A CDLL call releases the interpreter lock for the time of the call.
    lib = ctypes.CDLL(path)
    lib.velmorane_default_options.argtypes = [ctypes.POINTER(_Options)]
    lib.velmorane_default_options.restype = None
    lib.velmorane_convert_bytes.argtypes = [
        ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.POINTER(_Options),
        ctypes.POINTER(ctypes.POINTER(ctypes.c_char)), ctypes.POINTER(ctypes.c_size_t)]
    lib.velmorane_convert_bytes.restype = ctypes.c_int
    lib.velmorane_convert_file.argtypes = [ctypes.c_char_p, ctypes.c_char_p,
                                           ctypes.POINTER(_Options)]
    lib.velmorane_convert_file.restype = ctypes.c_int
    lib.velmorane_free.argtypes = [ctypes.c_void_p]
    lib.velmorane_free.restype = None
    lib.velmorane_version.argtypes = []
    lib.velmorane_version.restype = ctypes.c_char_p
    lib.velmorane_result_message.argtypes = [ctypes.c_int]
    lib.velmorane_result_message.restype = ctypes.c_char_p
    return lib


library_path = _library_path()
_lib = _load(library_path)

__version__: str = _lib.velmorane_version().decode("ascii")


def _truth(name: str, value: Any) -> int:
    # Words as the command line reads them: no, free, off, false and 0 are false.
    if isinstance(value, str):
        return 0 if value.lower() in ("no", "free", "off", "false", "0") else 1
    if isinstance(value, (bool, int)):
        return 1 if value else 0
    raise TypeError(f"velmorane: {name} takes True or False, not {type(value).__name__}")


def _text(name: str, value: Any) -> bytes:
    if isinstance(value, bytes):
        return value
    if isinstance(value, (str, int, float)) and not isinstance(value, bool):
        return str(value).encode("utf-8")
    raise TypeError(f"velmorane: {name} takes a string, not {type(value).__name__}")


def _millimetres(name: str, value: Any) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"velmorane: {name} takes whole millimetres, not {value!r}")
    return value


_BORDERS = {"invisible": 0, "visible": 1, "as in html": 2}


def _border(name: str, value: Any) -> int:
    if isinstance(value, str) and value.lower() in _BORDERS:
        return _BORDERS[value.lower()]
    if isinstance(value, int) and not isinstance(value, bool) and value in (0, 1, 2):
        return value
    raise ValueError(f"velmorane: {name} is 'invisible', 'visible' or 'as in html' "
                     f"(or 0, 1, 2), not {value!r}")


# The command line's options: the keyword, the option's own name without its dash, the
# field of the options record and how the value is read.
_OPTION_TABLE: List[Tuple[str, str, str, Callable[[str, Any], Any]]] = [
    ("tables", "table", "format", _truth),
    ("download", "download", "download_images", _truth),
    ("font_face", "face", "font_face", _text),
    ("font_size", "size", "font_size", _text),
    ("language", "language", "language", _text),
    ("border", "border", "table_border", _border),
    ("alignment", "align", "alignment", _text),
    ("keep_hyperlinks", "kh", "keep_hyperlinks", _truth),
    ("keep_font_face", "kf", "keep_font_face", _truth),
    ("keep_font_size", "ks", "keep_font_size", _truth),
    ("keep_font_color", "kc", "keep_font_color", _truth),
    ("keep_alignment", "ka", "keep_alignment", _truth),
    ("keep_table_width", "ktw", "keep_table_width", _truth),
    ("keep_nested_tables", "knt", "keep_nested_tables", _truth),
    ("margin_left", "ml", "margin_left_mm", _millimetres),
    ("margin_right", "mr", "margin_right_mm", _millimetres),
    ("margin_top", "mt", "margin_top_mm", _millimetres),
    ("margin_bottom", "mb", "margin_bottom_mm", _millimetres),
    ("paper", "psize", "paper", _text),
    ("wmf", "wmf", "wmf_pictures", _truth),
]
_OPTIONS: Dict[str, Tuple[str, str, Callable[[str, Any], Any]]] = {}
for _name, _flag, _field, _read in _OPTION_TABLE:
    _OPTIONS[_name] = (_name, _field, _read)
    _OPTIONS[_flag] = (_name, _field, _read)
del _name, _flag, _field, _read


def _record(text: bool, images: bool, encoding: Optional[str],
            options: Dict[str, Any]) -> Tuple[_Options, List[bytes]]:
    """The options record for the keywords; the strings it points to are returned beside
    it and must live as long as the record is used."""
    record = _Options()
    _lib.velmorane_default_options(ctypes.byref(record))
    keep: List[bytes] = []
    tables = True
    seen: Dict[str, str] = {}
    for given, value in options.items():
        entry = _OPTIONS.get(given)
        if entry is None:
            raise TypeError(f"velmorane: unknown option {given!r}")
        name, field, read = entry
        if name in seen:
            raise TypeError(f"velmorane: option {name!r} given twice ({seen[name]!r} and "
                            f"{given!r})")
        seen[name] = given
        if value is None:
            continue  # the default
        converted = read(given, value)
        if name == "tables":
            tables = bool(converted)
        elif isinstance(converted, bytes):
            keep.append(converted)
            setattr(record, field, converted)
        else:
            setattr(record, field, converted)
    record.format = _FORMAT_TEXT if text else (_FORMAT_RTF if tables else _FORMAT_RTF_NO_TABLES)
    record.convert_images = 1 if images else 0
    if encoding is not None:
        encoded = _text("encoding", encoding)
        keep.append(encoded)
        record.encoding = encoded
    return record, keep


def _fail(result: int) -> ConversionError:
    message = _lib.velmorane_result_message(result).decode("utf-8", "replace")
    return ConversionError(1 if result == _INVALID_ARGUMENT else result, message)


def convert(html: Union[str, bytes], *, text: bool = False, images: bool = False,
            base_dir: Optional[PathLike] = None, encoding: Optional[str] = None,
            **options: Any) -> bytes:
    """Converts a page of HTML and returns the document's bytes, as a file would hold them.

    ``html`` as ``str`` is handed on as UTF-8 (read as UTF-8 unless ``encoding`` says
    otherwise); ``bytes`` are read in the encoding the page declares or ``encoding``
    names ("utf-8", "windows-1251", "koi8-r", ...). ``text`` writes plain text instead of
    RTF; ``images`` embeds the page's pictures, looked up with its style sheets in
    ``base_dir`` (default: the current folder). Other options go by the command line's
    names (``font_face="Georgia"``, ``keep_hyperlinks=True``, ``tables=False``); an
    unknown name raises TypeError. Raises ConversionError when the conversion fails
    (``code`` 5 for an empty page).
    """
    if isinstance(html, str):
        data = html.encode("utf-8")
        if encoding is None:
            encoding = "utf-8"
    elif isinstance(html, (bytes, bytearray, memoryview)):
        data = bytes(html)
    else:
        raise TypeError(f"velmorane.convert: html is str or bytes, not {type(html).__name__}")
    record, keep = _record(text, images, encoding, options)
    folder = os.fsencode(os.path.abspath(base_dir)) if base_dir is not None else None
    document = ctypes.POINTER(ctypes.c_char)()
    size = ctypes.c_size_t()
    result = _lib.velmorane_convert_bytes(data, len(data), folder, ctypes.byref(record),
                                          ctypes.byref(document), ctypes.byref(size))
    del keep
    if result != 0:
        raise _fail(result)
    try:
        return ctypes.string_at(document, size.value)
    finally:
        _lib.velmorane_free(document)


def _output_file(input_path: str, output: Optional[str], text: bool) -> pathlib.Path:
    # The library's naming rule: a target whose last name ends in .rtf, .txt or .doc after
    # at least one character is the file; anything else is a folder that gets the input's
    # name with the output extension in place of its last extension.
    target = output or ""
    last = target.rsplit("/", 1)[-1]
    if len(last) > 4 and last.lower().endswith((".rtf", ".txt", ".doc")):
        return pathlib.Path(target)
    name = input_path.rsplit("/", 1)[-1]
    if "." in name:
        name = name[:name.rfind(".")]
    return pathlib.Path(target) / (name + (".txt" if text else ".rtf"))


def convert_file(input: PathLike, output: Optional[PathLike] = None, *,
                 text: Optional[bool] = None, images: bool = False,
                 encoding: Optional[str] = None, **options: Any) -> pathlib.Path:
    """Converts the HTML file ``input`` and returns the path of the file written.

    ``output`` is the output file (a name ending in .rtf, .txt or .doc) or a folder,
    made when missing, that receives the input's name with .rtf (.txt for text); None is
    the current folder. ``text`` writes plain text; by default a name ending in .txt asks
    for it, as on the command line. Pictures (``images``) and style sheets are looked up
    beside the input; other options as for convert(). An existing output is replaced.
    Raises ConversionError (``code`` 4 when the input cannot be opened).
    """
    input_path = os.fspath(input)
    output_path = os.fspath(output) if output is not None else None
    if text is None:
        text = output_path is not None and output_path.lower().endswith(".txt")
    record, keep = _record(text, images, encoding, options)
    result = _lib.velmorane_convert_file(os.fsencode(input_path),
                                         os.fsencode(output_path) if output_path else None,
                                         ctypes.byref(record))
    del keep
    if result != 0:
        raise _fail(result)
    return _output_file(input_path, output_path, text)
