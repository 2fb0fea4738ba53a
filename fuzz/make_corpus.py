#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets: small RTF documents touching each construct the
reader knows, plain-text files in each encoding the decoder tells apart, and HTML, CSS and
JavaScript for the code-colouring lexer. Inputs the fuzzer found (named by their hash) stay."""
import pathlib
import shutil

root = pathlib.Path(__file__).resolve().parent.parent
rtf_dir = root / "fuzz" / "corpus" / "rtf"
text_dir = root / "fuzz" / "corpus" / "text"
code_dir = root / "fuzz" / "corpus" / "code"
code_data = root / "tests" / "data" / "code"

RTF = [
    ("basic", rb"{\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\froman Times New Roman;}}\f0\fs24 Hello {\b bold} {\i italic}\par}"),
    ("colours", rb"{\rtf1{\colortbl;\red255\green0\blue0;\red0\green0\blue255;}{\cf1 red}{\cf2 blue}{\cf0 auto}}"),
    ("alignment", rb"{\rtf1\pard\qc centre\par\pard\qr right\par\pard\qj justify\par\pard\ql left\par}"),
    ("cp936", rb"{\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset134 \'cb\'ce\'cc\'e5;}}\f0 \'c4\'e3\'ba\'c3\'ce@}"),
    ("unicode", rb"{\rtf1\uc1 \u20320?\u22909?{\uc2\u19990\'ca\'c0}\u-10179?\u-8704?}"),
    ("underline", rb"{\rtf1 {\ul under\ulnone} {\strike s\strike0} \plain\ul\uldb\ulw\ulwave x}"),
    ("symbols", rb"{\rtf1 a\line b\tab c\sect d\page e\~f\-g\_h\\\{\}\emdash\endash\bullet}"),
    ("skipped", rb"{\rtf1{\info{\title T}}{\stylesheet{\s0 Normal;}}{\*\generator x;}{\header h}{\footer f}text}"),
    ("field", rb'{\rtf1{\field{\*\fldinst HYPERLINK "http://example.com"}{\fldrslt {\ul\cf1 link}}}}'),
    ("binary", rb"{\rtf1{\pict\pngblip\picw10 89504e470d0a}{\pict\bin4 }{}x}after}"),
    ("table", rb"{\rtf1\trowd\cellx1000\cellx2000\pard\intbl A\cell B\cell\row\pard after\par}"),
    ("star", rb"{\rtf1{\*\themedata 504b}{\*\colorschememapping 3c}{\*\datastore 01}{\*\latentstyles x}t}"),
    ("hidden", rb"{\rtf1 {\v hidden}shown}"),
    ("huge_numbers", rb"{\rtf1\fs99999999999999\cf-5\f-1\u99999999\uc-3 x\bin99999999999}"),
    ("unclosed", rb"{\rtf1 unclosed {\b bold {\i italic"),
    ("extra_braces", rb"{\rtf1 a}}}b}"),
    ("cut_unicode", rb"{\rtf1 cut\u-"),
    ("cut_hex", rb"{\rtf1 cut\'c"),
    ("nesting", rb"{\rtf1 " + b"{" * 40 + rb"\b deep" + b"}" * 40 + b" x}"),
    ("mac", rb"{\rtf1\mac caf\'8e}"),
    ("cp1251", rb"{\rtf1\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2}"),
    ("shift_jis", rb"{\rtf1{\fonttbl{\f0\fcharset128 MS Gothic;}}\f0 \'93\'fa\'96\'7b}"),
    ("unknown_destination", rb"{\rtf1{\*\unknown {nested} stuff}\*\alsounknown text}"),
    ("escaped_line_ends", b"{\\rtf1 one\\\r\ntwo\\\nthree\r\n}"),
    ("raw_high_bytes", b"{\\rtf1\\ansicpg936 \xc4\xe3\xba\xc3 \xff}"),
    ("empty", b""),
    ("bare", rb"{\rtf"),
]

TEXT = [
    ("ascii_lf", b"<html>\n<body>\n<p>Hello</p>\n</body>\n</html>\n"),
    ("crlf", b"<p>one</p>\r\n<p>two</p>\r\n"),
    ("cr", b"old\rmac\rline ends\r"),
    ("utf8_bom", b"\xef\xbb\xbf<p>\xe4\xb8\xad\xe6\x96\x87</p>\n"),
    ("utf8", "<p>中文 😀</p>\n".encode("utf-8")),
    ("utf16le_bom", b"\xff\xfe" + "<p>中文</p>\r\n".encode("utf-16-le")),
    ("utf16be_bom", b"\xfe\xff" + "<p>中文</p>\r\n".encode("utf-16-be")),
    ("utf16le", "<html>\r\n<p>text</p>\r\n".encode("utf-16-le")),
    ("utf16be", "<html>\r\n<p>text</p>\r\n".encode("utf-16-be")),
    ("gb18030", "<p>中文 😀</p>\r\n".encode("gb18030")),
    ("surrogates", b"\xff\xfe\x3d\xd8\x00\xde\x3d\xd8A\x00\x00\xde"),
    ("bad_utf8", b"a\xc0\x80b\xed\xa0\x80c\xf4\x90\x80\x80"),
    ("binary", b"bin\x00\x01\x02\xff\xfe\x00\x00"),
    ("bom_only", b"\xef\xbb\xbf"),
    ("one_byte", b"x"),
]


# Byte 0 of a lexer input picks the language (0 HTML, 1 CSS, 2 JavaScript), byte 1 the largest
# piece a line is cut into, bytes 2-5 a state; the text follows.
def code(language, text, piece=7):
    data = text if isinstance(text, bytes) else text.encode("utf-8")
    return bytes([language, piece, 0, 0, 0, 0]) + data


CODE = [
    ("html_page", code(0, (code_data / "string_decoder.html").read_bytes()[:4000], 13)),
    ("html_constructs", code(0, "<!DOCTYPE html><!--> <!-- a --!> b --><p class=x id='y' z=\"w\">&amp;&#160;&lt</p>\n"
                                "<? x ?></ y><style>@media screen{a>b{c:#fff!important}}</style x>"
                                "<script>s='</scr'+'ipt>';</SCRIPT\t>")),
    ("css_sheet", code(1, (code_data / "gitweb.css").read_bytes()[:4000], 31)),
    ("css_constructs", code(1, "@font-face{src:url(a;b)}@media print{p{q:-1.5em/*c*/ 'r\\\n'}}a[b=\"c\"]{--d:{}}", 2)),
    ("js_templates", code(2, (code_data / "doctools.js").read_bytes(), 5)),
    ("js_minified", code(2, (code_data / "underscore.min.js").read_bytes()[:4000], 63)),
    ("js_latin1", code(2, (code_data / "sorttable.js").read_bytes()[:4000], 1)),
    ("js_constructs", code(2, "x=a.in/2/b;y=typeof/re[/]/g;`a${`b${`c${`d${1}`}`}`}`;'e\\\nf';0x1E+1e-5;/*\n*/// g")),
    ("bad_state", bytes([2, 9, 0x7F, 0xFF, 0xFF, 0xFF]) + b"x"),
]


def write(folder, items, suffix):
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.glob(f"[0-9][0-9]_*.{suffix}"):
        old.unlink()
    for number, (name, data) in enumerate(items, 1):
        (folder / f"{number:02d}_{name}.{suffix}").write_bytes(data)


write(rtf_dir, RTF, "rtf")
shutil.copy(root / "tests" / "data" / "libreoffice_sample.rtf", rtf_dir / f"{len(RTF) + 1:02d}_libreoffice.rtf")
write(text_dir, TEXT, "txt")
write(code_dir, CODE, "code")
print(f"wrote {len(RTF) + 1} rtf seeds, {len(TEXT)} text seeds and {len(CODE)} code seeds")
