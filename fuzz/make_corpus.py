#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets: small RTF documents touching each construct the
reader knows, and plain-text files in each encoding the decoder tells apart."""
import pathlib
import shutil

root = pathlib.Path(__file__).resolve().parent.parent
rtf_dir = root / "fuzz" / "corpus" / "rtf"
text_dir = root / "fuzz" / "corpus" / "text"

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


def write(folder, items, suffix):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for number, (name, data) in enumerate(items, 1):
        (folder / f"{number:02d}_{name}.{suffix}").write_bytes(data)


write(rtf_dir, RTF, "rtf")
shutil.copy(root / "tests" / "data" / "libreoffice_sample.rtf", rtf_dir / f"{len(RTF) + 1:02d}_libreoffice.rtf")
write(text_dir, TEXT, "txt")
print(f"wrote {len(RTF) + 1} rtf seeds and {len(TEXT)} text seeds")
