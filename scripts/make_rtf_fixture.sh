#!/usr/bin/env bash
# Writes small documents and lets LibreOffice turn them into RTF, so the reader is tested against
# files that another program wrote; for the word-processor documents also what LibreOffice itself
# reads back from that RTF: its plain-text export (NAME.txt) and the formatting of each stretch of
# text (NAME.formats.tsv). Needs soffice (libreoffice-writer-nogui) and python3; it makes test
# data, the program and its tests do not need it.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/libreoffice_sample.html" <<'HTML'
<!DOCTYPE html>
<html>
<head><meta charset="utf-8"><title>Sample</title></head>
<body>
<p>Plain opening line.</p>
<p>Some <b>bold</b>, some <i>italic</i> and some <u>underlined</u> words.</p>
<p style="text-align:center">Centred paragraph</p>
<p style="text-align:right">Right-aligned paragraph</p>
<p>中文段落：你好，世界。</p>
<p><span style="color:#ff0000">Red text</span> then <s>struck</s> text.</p>
<p><span style="font-family:'Courier New'; font-size:16pt">Courier sixteen</span></p>
<table border="1"><tr><td>Cell one</td><td>Cell two</td></tr></table>
<p>Last line.</p>
</body>
</html>
HTML


odf_head='<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">'
list_style='<text:list-style style:name="L1">
   <text:list-level-style-bullet text:level="1" text:bullet-char="•">
    <style:list-level-properties text:list-level-position-and-space-mode="label-alignment">
     <style:list-level-label-alignment text:label-followed-by="listtab" text:list-tab-stop-position="0.5in"
       fo:text-indent="-0.25in" fo:margin-left="0.5in"/>
    </style:list-level-properties>
   </text:list-level-style-bullet>
  </text:list-style>'

# A Chinese document: bold headings, an emoji and a character beyond U+FFFF, italics, a bulleted
# list, a table, a hyperlink and a footnote.
cat > "$work/libreoffice_zh.fodt" <<ODF
$odf_head
 <office:font-face-decls>
  <style:font-face style:name="Liberation Serif" svg:font-family="'Liberation Serif'" style:font-family-generic="roman"/>
  <style:font-face style:name="Noto Serif CJK SC" svg:font-family="'Noto Serif CJK SC'"/>
  <style:font-face style:name="Symbol" svg:font-family="Symbol" style:font-charset="x-symbol"/>
 </office:font-face-decls>
 <office:styles>
  <style:default-style style:family="paragraph">
   <style:text-properties style:font-name="Liberation Serif" fo:font-size="12pt" fo:language="en" fo:country="US"
     style:font-name-asian="Noto Serif CJK SC" style:font-size-asian="12pt" style:language-asian="zh" style:country-asian="CN"/>
  </style:default-style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="H" style:family="paragraph">
   <style:text-properties fo:font-size="18pt" fo:font-weight="bold" style:font-size-asian="18pt" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="I" style:family="text">
   <style:text-properties fo:font-style="italic" style:font-style-asian="italic"/>
  </style:style>
  <style:style style:name="S" style:family="text"><style:text-properties style:font-name="Symbol"/></style:style>
  $list_style
 </office:automatic-styles>
 <office:body>
  <office:text>
   <text:h text:style-name="H" text:outline-level="1">第一章 概述</text:h>
   <text:p>这是正文，含表情😀和扩展字𠀀，以及<text:span text:style-name="I">斜体文字</text:span>。</text:p>
   <text:h text:style-name="H" text:outline-level="2">第二节 列表</text:h>
   <text:list text:style-name="L1">
    <text:list-item><text:p>第一项</text:p></text:list-item>
    <text:list-item><text:p>第二项</text:p></text:list-item>
   </text:list>
   <text:p><text:span text:style-name="S">&#xF0B7;</text:span><text:tab/>符号字体的圆点</text:p>
   <table:table table:name="表1">
    <table:table-column table:number-columns-repeated="2"/>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>甲</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>乙</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>丙</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>丁</text:p></table:table-cell>
    </table:table-row>
   </table:table>
   <text:p>详见<text:a xlink:type="simple" xlink:href="https://www.debian.org/">Debian 网站</text:a>。<text:note text:id="ftn1" text:note-class="footnote"><text:note-citation>1</text:note-citation><text:note-body><text:p>脚注内容。</text:p></text:note-body></text:note>完。</text:p>
  </office:text>
 </office:body>
</office:document>
ODF

# A Western document: a bold heading, Symbol and Wingdings characters, an emoji, a bulleted list,
# a hyperlink and a footnote.
cat > "$work/libreoffice_en.fodt" <<ODF
$odf_head
 <office:font-face-decls>
  <style:font-face style:name="Liberation Serif" svg:font-family="'Liberation Serif'" style:font-family-generic="roman"/>
  <style:font-face style:name="Symbol" svg:font-family="Symbol" style:font-charset="x-symbol"/>
  <style:font-face style:name="Wingdings" svg:font-family="Wingdings" style:font-charset="x-symbol"/>
 </office:font-face-decls>
 <office:styles>
  <style:default-style style:family="paragraph">
   <style:text-properties style:font-name="Liberation Serif" fo:font-size="12pt" fo:language="en" fo:country="GB"/>
  </style:default-style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="H" style:family="paragraph"><style:text-properties fo:font-size="16pt" fo:font-weight="bold"/></style:style>
  <style:style style:name="S" style:family="text"><style:text-properties style:font-name="Symbol"/></style:style>
  <style:style style:name="W" style:family="text"><style:text-properties style:font-name="Wingdings"/></style:style>
  $list_style
 </office:automatic-styles>
 <office:body>
  <office:text>
   <text:h text:style-name="H" text:outline-level="1">Overview</text:h>
   <text:p>Symbols: <text:span text:style-name="S">abp</text:span> and <text:span text:style-name="S">&#xF0B7;</text:span>, ticks <text:span text:style-name="W">üØ</text:span>, an emoji 😀.</text:p>
   <text:list text:style-name="L1">
    <text:list-item><text:p>First item</text:p></text:list-item>
    <text:list-item><text:p>Second item</text:p></text:list-item>
   </text:list>
   <text:p>See <text:a xlink:type="simple" xlink:href="https://www.debian.org/">the Debian site</text:a>.<text:note text:id="ftn1" text:note-class="footnote"><text:note-citation>1</text:note-citation><text:note-body><text:p>A footnote.</text:p></text:note-body></text:note> Done.</text:p>
  </office:text>
 </office:body>
</office:document>
ODF

# A private profile keeps the run independent of any user settings.
convert() {
    soffice --headless -env:UserInstallation="file://$work/profile" --convert-to "$1" --outdir "$2" "$3" >/dev/null 2>&1
}
convert 'rtf:Rich Text Format' "$work" "$work/libreoffice_sample.html"
cp "$work/libreoffice_sample.rtf" "$root/tests/data/libreoffice_sample.rtf"
echo "wrote tests/data/libreoffice_sample.rtf"

for name in libreoffice_zh libreoffice_en; do
    convert 'rtf:Rich Text Format' "$work" "$work/$name.fodt"
    cp "$work/$name.rtf" "$root/tests/data/$name.rtf"
    # What LibreOffice reads back from the RTF it wrote.
    mkdir -p "$work/back"
    convert 'txt:Text (encoded):UTF8' "$work/back" "$root/tests/data/$name.rtf"
    sed '1s/^\xEF\xBB\xBF//' "$work/back/$name.txt" > "$root/tests/data/$name.txt"
    convert fodt "$work/back" "$root/tests/data/$name.rtf"
    python3 - "$work/back/$name.fodt" > "$root/tests/data/$name.formats.tsv" <<'PY'
# One line for each stretch of text in one automatic style: the text, then bold, italic,
# underline (1 or 0), size in points (empty: the default) and colour (#rrggbb, empty: automatic),
# each for the script of the text: the Asian properties for Chinese, the Western ones otherwise.
import re, sys, xml.etree.ElementTree as ET
ns = {"office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
      "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
      "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
      "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"}
def q(prefix, name): return "{%s}%s" % (ns[prefix], name)
root = ET.parse(sys.argv[1]).getroot()
styles = {}
for s in root.find("office:automatic-styles", ns).findall("style:style", ns):
    props = s.find("style:text-properties", ns)
    styles[s.get(q("style", "name"))] = dict(props.attrib) if props is not None else {}
def row(text, props):
    asian = re.search(r"[\u3000-\u9fff\uff00-\uffef]", text) is not None
    def get(western, asian_name):
        return props.get(q("style", asian_name) if asian else western, "")
    bold = get(q("fo", "font-weight"), "font-weight-asian") == "bold"
    italic = get(q("fo", "font-style"), "font-style-asian") == "italic"
    underline = props.get(q("style", "text-underline-style"), "none") != "none"
    size = get(q("fo", "font-size"), "font-size-asian").replace("pt", "")
    colour = props.get(q("fo", "color"), "")
    print("\t".join([text, str(int(bold)), str(int(italic)), str(int(underline)), size, colour]))
def walk(element, props):
    if element.tag == q("text", "note"):
        return
    if element.tag == q("text", "span"):
        props = {**props, **styles.get(element.get(q("text", "style-name")), {})}
    if element.text and element.text.strip():
        row(element.text, props)
    for child in element:
        walk(child, props)
        if child.tail and child.tail.strip():
            row(child.tail, props)
body = root.find("office:body/office:text", ns)
for p in body.iter():
    if p.tag in (q("text", "p"), q("text", "h")) and p not in [n for note in body.iter(q("text", "note")) for n in note.iter()]:
        walk(p, styles.get(p.get(q("text", "style-name")), {}))
PY
    echo "wrote tests/data/$name.rtf, $name.txt and $name.formats.tsv"
done
