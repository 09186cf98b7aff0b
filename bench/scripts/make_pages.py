#!/usr/bin/env python3
"""Generates large, realistic HTML pages for the benchmarks.

Pages hold styled text, nested lists, links, tables with spans and nested tables,
entities and pictures-free markup, in UTF-8 or windows-1251, at a requested size.
Usage: make_pages.py OUT_DIR [--sizes 1,10,100] [--small-pages 1000]
       make_pages.py OUT_DIR --page-kb 200 --seed 7 [--sizes ''] [--small-pages 0]
       make_pages.py OUT_DIR --memory-mb 50 --sizes '' --small-pages 0
The last form writes the two pages whose peak memory the benchmark reports: tables-NNmb.html
(nothing but tables) and nested-lists.html (100,000 nested <ol><li>).
The same arguments always give the same bytes (each page has its own fixed seed).
"""
import argparse
import os
import random

WORDS_LATIN = ("alpha beta gamma delta converter paragraph table column margin "
               "header footer picture colour font style border width height page "
               "section chapter document reader writer engine").split()
WORDS_CYRILLIC = ("таблица строка ячейка шрифт цвет абзац документ страница поле "
                  "рисунок ссылка список").split()


def sentence(rng, words, n):
    return " ".join(rng.choice(words) for _ in range(n)).capitalize() + "."


def block(rng, words, i):
    kind = i % 7
    if kind == 0:
        return (f'<h2 class="h">Section {i}</h2>\n<p style="color:#{rng.randrange(1 << 24):06x}; '
                f'font-size:{rng.choice([10, 12, 14])}pt">{sentence(rng, words, 30)} '
                f'<b>bold</b> <i>italic</i> &amp; &copy; &euro; &#8364;</p>\n')
    if kind == 1:
        items = "".join(f"<li>{sentence(rng, words, 6)}<ul><li>{sentence(rng, words, 4)}</li>"
                        f"<li><a href=\"http://example.test/{i}/{j}\">link {j}</a></li></ul></li>\n"
                        for j in range(4))
        return f"<ol type=I>\n{items}</ol>\n"
    if kind == 2:
        rows = []
        for r in range(4):
            cells = []
            for c in range(4):
                if r == 0 and c == 0:
                    cells.append(f'<td colspan=2 bgcolor="#eeeeee">{sentence(rng, words, 3)}</td>')
                elif r == 0 and c == 1:
                    continue
                elif r == 1 and c == 3:
                    cells.append(f'<td rowspan=2 valign=bottom>{sentence(rng, words, 5)}</td>')
                elif r == 2 and c == 3:
                    continue
                elif r == 3 and c == 2:
                    cells.append('<td><table border=1><tr><td>inner</td><td>cell</td></tr>'
                                 '<tr><td>x</td><td>y</td></tr></table></td>')
                else:
                    cells.append(f"<td width=100>{sentence(rng, words, 4)}</td>")
            rows.append("<tr>" + "".join(cells) + "</tr>")
        return '<table border=1 width="90%">\n' + "\n".join(rows) + "\n</table>\n"
    if kind == 3:
        return (f'<div align=center><font face="Verdana" size=3 color=navy>{sentence(rng, words, 20)}'
                f'</font></div>\n<blockquote>{sentence(rng, words, 25)}</blockquote>\n')
    if kind == 4:
        return f"<pre>{sentence(rng, words, 8)}\n  {sentence(rng, words, 8)}</pre>\n<hr>\n"
    if kind == 5:
        return (f'<p><span style="font-weight:bold; text-decoration:underline">{sentence(rng, words, 12)}'
                f'</span> <sub>2</sub> <sup>3</sup> &lt;tag&gt; &nbsp; &quot;q&quot;<br>'
                f'{sentence(rng, words, 15)}</p>\n')
    return (f'<form><input type=checkbox name=c{i} checked> {sentence(rng, words, 4)} '
            f'<input type=text name=t{i} value="v{i}"></form>\n')


HEAD = """<html><head><title>Benchmark page</title>
<meta http-equiv="Content-Type" content="text/html; charset={charset}">
<style>
body {{ font-family: Arial; font-size: 10pt }}
p {{ margin-top: 6px }}
.h {{ color: #003366; font-family: Georgia }}
</style></head><body>
"""


def make_page(path, size, charset, words, seed):
    rng = random.Random(seed)
    encoding = "utf-8" if charset == "utf-8" else "cp1251"
    with open(path, "wb") as out:
        head = HEAD.format(charset=charset).encode(encoding)
        out.write(head)
        written = len(head)
        i = 0
        while written < size:
            chunk = block(rng, words, i).encode(encoding, errors="replace")
            out.write(chunk)
            written += len(chunk)
            i += 1
        out.write(b"</body></html>\n")


def make_table_page(path, size, seed):
    """Table after table of short cells, some with spans and nested tables: the page
    kind whose output is the largest against its input."""
    rng = random.Random(seed)
    with open(path, "wb") as out:
        head = HEAD.format(charset="utf-8").encode()
        out.write(head)
        written = len(head)
        while written < size:
            rows = []
            for r in range(rng.randrange(5, 30)):
                cells = []
                for c in range(rng.randrange(2, 8)):
                    text = sentence(rng, WORDS_LATIN, rng.randrange(1, 4))
                    if c == 0 and r % 7 == 3:
                        cells.append(f"<td colspan=2><b>{text}</b></td>")
                    elif c == 1 and r % 11 == 5:
                        cells.append(f"<td><table border=1><tr><td>{text}</td></tr></table></td>")
                    else:
                        cells.append(f"<td>{text}</td>")
                rows.append("<tr>" + "".join(cells) + "</tr>")
            chunk = ("<table border=1 cellpadding=2>\n" + "\n".join(rows) +
                     "\n</table>\n").encode()
            out.write(chunk)
            written += len(chunk)
        out.write(b"</body></html>\n")


def make_nested_lists(path, depth=100000):
    """Lists nested `depth` deep, each item holding a word."""
    with open(path, "wb") as out:
        out.write(b"<html><body>")
        out.write(b"<ol><li>item" * depth)
        out.write(b"</li></ol>" * depth)
        out.write(b"</body></html>\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--sizes", default="1,10,100", help="sizes in MB")
    parser.add_argument("--small-pages", type=int, default=1000)
    parser.add_argument("--page-kb", type=int, default=0,
                        help="also write page-KBkb.html and page-KBkb-1251.html of this size")
    parser.add_argument("--seed", type=int, default=0, help="seed of the --page-kb pages")
    parser.add_argument("--memory-mb", type=int, default=0,
                        help="also write tables-MBmb.html and nested-lists.html")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if args.memory_mb > 0:
        make_table_page(os.path.join(args.out, f"tables-{args.memory_mb}mb.html"),
                        args.memory_mb << 20, args.memory_mb + 2000)
        make_nested_lists(os.path.join(args.out, "nested-lists.html"))
    if args.page_kb > 0:
        kb = args.page_kb
        make_page(os.path.join(args.out, f"page-{kb}kb.html"), kb << 10, "utf-8",
                  WORDS_LATIN + WORDS_CYRILLIC, args.seed)
        make_page(os.path.join(args.out, f"page-{kb}kb-1251.html"), kb << 10, "windows-1251",
                  WORDS_CYRILLIC, args.seed + 1000)
    for mb in (int(s) for s in args.sizes.split(",") if s):
        make_page(os.path.join(args.out, f"page-{mb}mb.html"), mb << 20, "utf-8",
                  WORDS_LATIN + WORDS_CYRILLIC, mb)
        make_page(os.path.join(args.out, f"page-{mb}mb-1251.html"), mb << 20, "windows-1251",
                  WORDS_CYRILLIC, mb + 1000)
    if args.small_pages <= 0:
        return
    small = os.path.join(args.out, "small")
    os.makedirs(small, exist_ok=True)
    for n in range(args.small_pages):
        make_page(os.path.join(small, f"page{n:04d}.html"), 8 << 10, "utf-8", WORDS_LATIN, n)


if __name__ == "__main__":
    main()
