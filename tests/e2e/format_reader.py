#!/usr/bin/env python3
"""Checks what a word processor reads of our formatting, word by word.

    format_reader.py FODT_FOLDER EXPECT_FILE...

Each FODT file is LibreOffice's flat ODF export of one converted page; NAME.expect beside the
page lists checks, one a line: a word (matched as a whole word, searching forward from the
previous line's match) followed by what the reader must show for it:

    mono / -mono, bold / -bold, italic / -italic, underline / -underline
    h=N        an outline heading of level N (0: not a heading)
    list=N     inside N nested lists (0: in none)
    table=N    inside N nested tables
    size=R     R times the body text's size (the most common size of the page), within 4 %
    pt=P       P points, within 0.3 pt
    color=#rrggbb, bg=#rrggbb   within 8 on every channel (bg: text, paragraph or cell shading)
    link=URL   inside a link whose target ends with URL (link=- for none)
    br / -br   first word of its line (a paragraph start or a line break before it) / not
    Lines starting with "#" and empty lines are comments.
Prints one FAIL line per failed check and ends with status 1 when any failed.
"""
import collections
import pathlib
import re
import sys
import xml.sax

NS = {
    "urn:oasis:names:tc:opendocument:xmlns:office:1.0": "office",
    "urn:oasis:names:tc:opendocument:xmlns:style:1.0": "style",
    "urn:oasis:names:tc:opendocument:xmlns:text:1.0": "text",
    "urn:oasis:names:tc:opendocument:xmlns:table:1.0": "table",
    "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0": "fo",
    "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0": "svg",
    "http://www.w3.org/1999/xlink": "xlink",
    "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0": "draw",
}
MONO = re.compile(r"courier|mono|consolas|typewriter|fixed", re.I)
# Elements whose text is not part of the page's running text.
SKIP = {("text", "note-citation"), ("office", "annotation"), ("text", "tracked-changes")}


class Reader(xml.sax.handler.ContentHandler):
    def __init__(self):
        super().__init__()
        self.styles, self.fonts, self.cur, self.body, self.skip = {}, {}, None, False, 0
        self.ctx = [dict(para=None, spans=(), link="", h=0, lists=0, tables=0, bg=None)]
        self.runs = []  # (text, attributes, line_start)
        self.line_start = True

    def startElementNS(self, name, qname, attrs):
        p, local = NS.get(name[0], ""), name[1]
        a = {(NS.get(k[0], ""), k[1]): v for k, v in attrs.items()}
        if not self.body:
            if (p, local) == ("office", "body"):
                self.body = True
            elif p == "style" and local in ("style", "default-style"):
                self.cur = dict(family=a.get(("style", "family")), parent=a.get(("style", "parent-style-name")),
                                outline=a.get(("style", "default-outline-level")), text={}, para={}, box={})
                key = (self.cur["family"], a.get(("style", "name")) if local == "style" else "")
                self.styles[key] = self.cur
            elif p == "style" and self.cur is not None and local.endswith("-properties"):
                part = {"text-properties": "text", "paragraph-properties": "para"}.get(local, "box")
                self.cur[part].update({"%s:%s" % k: v for k, v in a.items()})
            elif p == "style" and local == "font-face":
                self.fonts[a.get(("style", "name"))] = (a.get(("svg", "font-family"), ""),
                                                       a.get(("style", "font-pitch"), ""))
            return
        if self.skip or (p, local) in SKIP:
            self.skip += 1
            return
        c = dict(self.ctx[-1])
        self.ctx.append(c)
        if p == "text" and local in ("p", "h"):
            self.line_start = True
            c["para"], c["spans"] = a.get(("text", "style-name"), ""), ()
            c["h"] = 0
            if local == "h":
                c["h"] = int(a.get(("text", "outline-level"), "0") or 0) or self.outline(c["para"]) or 1
        elif p == "text" and local in ("span", "a"):
            c["spans"] += (a.get(("text", "style-name"), ""),)
            if local == "a":
                c["link"] = a.get(("xlink", "href"), "")
        elif p == "text" and local == "s":
            self.emit(" ")
        elif p == "text" and local == "tab":
            self.emit("\t")
        elif p == "text" and local == "line-break":
            self.line_start = True
        elif p == "text" and local == "list":
            c["lists"] += 1
        elif p == "table" and local == "table":
            c["tables"] += 1
        if p == "table" and local in ("table", "table-row", "table-cell"):
            family = {"table": "table", "table-row": "table-row", "table-cell": "table-cell"}[local]
            bg = self.box_bg(family, a.get(("table", "style-name")))
            if bg:
                c["bg"] = bg

    def endElementNS(self, name, qname):
        if not self.body:
            if NS.get(name[0]) == "style" and name[1] in ("style", "default-style"):
                self.cur = None
            return
        if self.skip:
            self.skip -= 1
            return
        if len(self.ctx) > 1:
            self.ctx.pop()

    def characters(self, content):
        if self.body and not self.skip and self.ctx[-1]["para"] is not None:
            self.emit(content)

    def emit(self, text):
        self.runs.append((text, self.attributes(self.ctx[-1]), self.line_start))
        if text.strip():
            self.line_start = False

    def chain(self, family, name):
        out, seen = [], set()
        while name and (family, name) in self.styles and name not in seen:
            seen.add(name)
            out.append(self.styles[(family, name)])
            name = self.styles[(family, name)]["parent"]
        return out[::-1]

    def outline(self, para):
        for st in reversed(self.chain("paragraph", para)):
            if st["outline"]:
                return int(st["outline"])
        return 0

    def box_bg(self, family, name):
        for st in reversed(self.chain(family, name)):
            v = st["box"].get("fo:background-color")
            if v and v.startswith("#"):
                return v
        return None

    def attributes(self, c):
        layers = [self.styles.get(("paragraph", ""))] + self.chain("paragraph", c["para"])
        para = {}
        for st in layers:
            if st:
                para.update(st["para"])
        for span in c["spans"]:
            layers += self.chain("text", span)
        props, size = {}, 12.0
        for st in layers:
            for k, v in (st or {}).get("text", {}).items():
                if k == "fo:font-size":
                    m = re.fullmatch(r"([\d.]+)(%|pt)", v.strip())
                    if m:
                        size = size * float(m.group(1)) / 100 if m.group(2) == "%" else float(m.group(1))
                else:
                    props[k] = v
        family, pitch = props.get("fo:font-family", ""), props.get("style:font-pitch", "")
        if props.get("style:font-name") in self.fonts:
            family, pitch = self.fonts[props["style:font-name"]]
        weight = props.get("fo:font-weight", "normal")
        bg = props.get("fo:background-color")
        if not bg or not bg.startswith("#"):
            bg = para.get("fo:background-color")
        if not bg or not bg.startswith("#"):
            bg = c["bg"] or "#ffffff"
        return dict(
            mono=pitch == "fixed" or bool(MONO.search(family)),
            bold=weight == "bold" or (weight.isdigit() and int(weight) >= 600),
            italic=props.get("fo:font-style", "normal") in ("italic", "oblique"),
            underline=props.get("style:text-underline-style", "none") != "none",
            h=c["h"], list=c["lists"], table=c["tables"], pt=size, link=c["link"],
            color=props.get("fo:color", "#000000"), bg=bg)


def words(fodt):
    reader = Reader()
    parser = xml.sax.make_parser()
    parser.setFeature(xml.sax.handler.feature_namespaces, True)
    parser.setFeature(xml.sax.handler.feature_external_ges, False)
    parser.setContentHandler(reader)
    parser.parse(str(fodt))
    out = []  # (word, attributes, line_start)
    for text, attrs, line_start in reader.runs:
        for m in re.finditer(r"\w+|[^\w\s]", text):
            first = line_start and not text[:m.start()].strip()
            out.append((m.group(), attrs, first))
    return out


def rgb(v):
    return tuple(int(v[k:k + 2], 16) for k in (1, 3, 5))


def check(attrs, line_start, body_pt, want):
    """What is wrong with one word's reading against one expectation, or None."""
    if want in ("br", "-br"):
        return None if line_start == (want == "br") else "line start %s" % line_start
    name, _, value = want.partition("=")
    if not value:
        negate = name.startswith("-")
        key = name.lstrip("-")
        if key not in ("mono", "bold", "italic", "underline"):
            return "unknown check " + want
        return None if attrs[key] != negate else "%s is %s" % (key, attrs[key])
    if name in ("h", "list", "table"):
        return None if attrs[name] == int(value) else "%s=%s" % (name, attrs[name])
    if name == "size":
        rel = attrs["pt"] / body_pt
        return None if abs(rel / float(value) - 1) <= 0.04 else "size=%.3f (%.1f pt, body %.1f pt)" % (rel, attrs["pt"], body_pt)
    if name == "pt":
        return None if abs(attrs["pt"] - float(value)) <= 0.3 else "pt=%.2f" % attrs["pt"]
    if name in ("color", "bg"):
        got = attrs[name]
        ok = got.startswith("#") and max(abs(x - y) for x, y in zip(rgb(got), rgb(value))) <= 8
        return None if ok else "%s=%s" % (name, got)
    if name == "link":
        if value == "-":
            return None if not attrs["link"] else "link=" + attrs["link"]
        return None if attrs["link"].endswith(value) else "link=" + (attrs["link"] or "-")
    return "unknown check " + want


def main():
    folder, failed = pathlib.Path(sys.argv[1]), 0
    for expect in sys.argv[2:]:
        expect = pathlib.Path(expect)
        fodt = folder / (expect.stem + ".fodt")
        if not fodt.exists():
            print("FAIL %s: LibreOffice could not read the document" % expect.stem)
            failed += 1
            continue
        got = words(fodt)
        sizes = collections.Counter(round(a["pt"], 1) for _, a, _ in got)
        body_pt = sizes.most_common(1)[0][0] if sizes else 12.0
        pos = 0
        for number, line in enumerate(expect.read_text(encoding="utf-8").splitlines(), 1):
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            word, wants = fields[0], fields[1:]
            at = next((i for i in range(pos, len(got)) if got[i][0] == word), None)
            if at is None:
                print("FAIL %s:%d: no '%s' after word %d" % (expect.stem, number, word, pos))
                failed += 1
                continue
            pos = at + 1
            for want in wants:
                problem = check(got[at][1], got[at][2], body_pt, want)
                if problem:
                    print("FAIL %s:%d: '%s' should be %s, reads %s" % (expect.stem, number, word, want, problem))
                    failed += 1
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
