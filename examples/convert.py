#!/usr/bin/env python3
"""Converts an HTML file (or standard input) to RTF on standard output with the velmorane
package.

    python3 convert.py page.html > page.rtf
    python3 convert.py --text - < page.html
    python3 convert.py --library /opt/velmorane/lib/libvelmorane.so page.html

The package is the installed one (python3 -m pip install --no-build-isolation ./python),
else the one in this checkout's python/ folder. --library, like VELMORANE_LIBRARY, names
the libvelmorane.so it loads.
"""
import os
import pathlib
import sys


def import_velmorane():
    try:
        import velmorane
    except ImportError:
        sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python"))
        try:
            import velmorane
        except ImportError as error:
            sys.exit(f"convert.py: {error}")
    return velmorane


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
    if library:
        os.environ["VELMORANE_LIBRARY"] = library
    velmorane = import_velmorane()
    source = inputs[0] if inputs else "-"
    if source == "-":
        html, folder = sys.stdin.buffer.read(), os.getcwd()
    else:
        with open(source, "rb") as f:
            html = f.read()
        folder = os.path.dirname(os.path.abspath(source))
    try:
        sys.stdout.buffer.write(velmorane.convert(html, text=text, images=True, base_dir=folder))
    except velmorane.ConversionError as error:
        print(f"convert.py: {error} (libvelmorane {velmorane.__version__})", file=sys.stderr)
        sys.exit(error.code)


if __name__ == "__main__":
    main(sys.argv[1:])
