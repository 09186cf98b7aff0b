"""Tests of the installed velmorane package (run from outside the checkout by ctest).

VELMORANE_PROGRAM, when set, names the command line whose version and exit statuses the
package must match.
"""
import concurrent.futures
import os
import pathlib
import subprocess
import sys

import pytest

import velmorane

PROGRAM = os.environ.get("VELMORANE_PROGRAM")
PAGE = "<p>Hi <b>there</b></p>"


def test_rtf_and_text():
    rtf = velmorane.convert(PAGE)
    assert rtf.startswith(b"{\\rtf1")
    assert b"there" in rtf and b"\\b" in rtf
    text = velmorane.convert(PAGE, text=True)
    assert not text.startswith(b"{")
    assert text.strip() == b"Hi there"


def test_str_is_read_as_utf8_whatever_the_page_declares():
    page = '<meta charset="windows-1251"><p>h\u00e9llo \u0436</p>'
    as_str = velmorane.convert(page, text=True)
    as_bytes = velmorane.convert(page.encode("utf-8"), text=True, encoding="utf-8")
    assert as_str == as_bytes
    assert "h\u00e9llo \u0436".encode("utf-8") in as_str


def test_pictures_come_from_base_dir(tmp_path, monkeypatch):
    sample = pathlib.Path(__file__).resolve().parents[2] / "examples" / "sample.png"
    (tmp_path / "pics").mkdir()
    (tmp_path / "pics" / "logo.png").write_bytes(sample.read_bytes())
    monkeypatch.chdir(tmp_path)
    page = '<p><img src="logo.png"></p>'
    assert b"pngblip" in velmorane.convert(page, images=True, base_dir="pics")
    assert b"pngblip" not in velmorane.convert(page, base_dir="pics")
    assert b"pngblip" not in velmorane.convert(page, images=True)  # not in the current folder


@pytest.mark.parametrize("options, present, absent", [
    ({"keep_hyperlinks": True}, b"HYPERLINK", None),
    ({"keep_hyperlinks": False}, None, b"HYPERLINK"),
    ({"kh": "yes"}, b"HYPERLINK", None),
    ({"kh": "off"}, None, b"HYPERLINK"),
    ({"font_face": "Courier New"}, b"Courier New", None),
    ({"face": "Courier New"}, b"Courier New", None),
    ({"tables": False}, None, b"\\trowd"),
    ({}, b"\\trowd", None),
    ({"paper": "Letter"}, b"\\paperw12240", None),
    ({"psize": "A3"}, b"\\paperw16839", None),
])
def test_options_by_the_command_line_names(options, present, absent):
    page = '<p><a href="http://example.org/">link</a></p><table><tr><td>cell</td></tr></table>'
    rtf = velmorane.convert(page, **options)
    if present is not None:
        assert present in rtf
    if absent is not None:
        assert absent not in rtf


@pytest.mark.parametrize("options, error", [
    ({"no_such_option": 1}, TypeError),
    ({"keep_hyperlinks": True, "kh": False}, TypeError),  # one option by two names
    ({"margin_left": "12"}, TypeError),
    ({"font_face": ["Arial"]}, TypeError),
    ({"border": "dotted"}, ValueError),
])
def test_wrong_options_are_refused(options, error):
    with pytest.raises(error):
        velmorane.convert(PAGE, **options)


def test_convert_file_names_and_writes_the_output(tmp_path, monkeypatch):
    page = tmp_path / "site" / "page.htm"
    page.parent.mkdir()
    page.write_text(PAGE, encoding="utf-8")
    written = velmorane.convert_file(page, tmp_path / "out")
    assert written == tmp_path / "out" / "page.rtf"
    assert written.read_bytes() == velmorane.convert(PAGE)

    as_text = velmorane.convert_file(str(page), str(tmp_path / "notes.txt"))
    assert as_text == tmp_path / "notes.txt"
    assert as_text.read_bytes().strip() == b"Hi there"

    monkeypatch.chdir(tmp_path)
    here = velmorane.convert_file(page, text=True)
    assert here == pathlib.Path("page.txt") and here.is_file()


@pytest.mark.parametrize("name, content, code", [
    ("missing.html", None, 4),
    ("empty.html", b"", 5),
])
def test_failures_carry_the_exit_status_of_the_command_line(tmp_path, name, content, code):
    given = tmp_path / name
    if content is not None:
        given.write_bytes(content)
    with pytest.raises(velmorane.ConversionError) as caught:
        velmorane.convert_file(given, tmp_path / "out")
    assert caught.value.code == code
    if PROGRAM:
        status = subprocess.run([PROGRAM, str(given), str(tmp_path / "cli-out"), "-log", "none",
                                 "-q"], capture_output=True).returncode
        assert status == code


def test_empty_page_in_memory():
    with pytest.raises(velmorane.ConversionError) as caught:
        velmorane.convert(b"")
    assert caught.value.code == 5


@pytest.mark.skipif(not PROGRAM, reason="VELMORANE_PROGRAM not set")
def test_version_is_the_command_line_version():
    shown = subprocess.run([PROGRAM, "--version"], capture_output=True, text=True, check=True)
    assert shown.stdout.split() == ["velmorane", velmorane.__version__]


def test_threads_give_the_bytes_of_one_thread():
    pages = [f"<h1>Page {n}</h1><p>{'word ' * (50 * n)}</p><table><tr><td>{n}</td></tr></table>"
             for n in range(1, 33)]
    one_thread = [velmorane.convert(page) for page in pages]
    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        eight_threads = list(pool.map(velmorane.convert, pages))
    assert eight_threads == one_thread
    assert len(set(one_thread)) == len(pages)


def test_the_interpreter_runs_on_while_a_page_converts():
    big = b"<p>" + b"word <b>bold</b> " * 400000 + b"</p>"  # bytes: no work before the call
    counted = [0]
    during = []

    def work():
        before = counted[0]
        rtf = velmorane.convert(big)
        during.append(counted[0] - before)
        return rtf

    interval = sys.getswitchinterval()
    sys.setswitchinterval(0.0005)  # a lock held through the call would leak no more
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=1) as pool:
            future = pool.submit(work)
            while not future.done():
                counted[0] += 1
            assert future.result().startswith(b"{\\rtf1")
    finally:
        sys.setswitchinterval(interval)
    # With the lock held through the call this thread could count only in the moments the
    # worker runs Python code.
    assert during[0] > 50000
