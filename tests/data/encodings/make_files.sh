#!/usr/bin/env bash
# Makes the files of the encoding round-trip test from real text Debian ships: the Chinese and
# Japanese manual pages (manpages-zh, manpages-ja), a French translation (coreutils.mo, read with
# msgunfmt from gettext) and a style sheet from python3's documentation, each converted with iconv.
# The files are committed; run again only to remake them (needs those packages).
# Pipes end in head, which closes them early, so only a failing command on its own stops the script.
set -eu
cd "$(dirname "$0")"

# A manual page's text without its troff requests and font escapes.
page_text() {
    zcat "$1" | grep -v '^\.' | sed -e 's/\\f[BIPR]//g' -e 's/\\[,/]//g' -e 's/\\-/-/g' -e 's/\\(.//g' \
        -e 's/\\e/\\/g' -e 's/[<>&]//g' | grep -v '^[[:space:]]*$' | head -n "$2"
}

# An HTML page around the text; $1 is what goes in the head before the title.
html_page() {
    local head="$1" title="$2" text="$3"
    printf '<!DOCTYPE html>\n<html>\n<head>\n%s\n<title>%s</title>\n</head>\n<body>\n' "$head" "$title"
    printf '%s\n' "$text" | sed -e 's/^/<p>/' -e 's/$/<\/p>/'
    printf '</body>\n</html>\n'
}

zh=/usr/share/man/zh_CN/man1
zh_ls=$(page_text $zh/ls.1.gz 60)
zh_cp=$(page_text $zh/cp.1.gz 60)
zh_chmod=$(page_text $zh/chmod.1.gz 60)
zh_date=$(page_text $zh/date.1.gz 80)
tw_ls=$(page_text /usr/share/man/zh_TW/man1/ls.1.gz 60)
ja_ls=$(page_text /usr/share/man/ja/man1/ls.1.gz 60)
# The French of coreutils' messages, longer ones only, as the paragraphs of a page.
fr=$(msgunfmt /usr/share/locale/fr/LC_MESSAGES/coreutils.mo | grep '^msgstr "' | sed -e 's/^msgstr "//' \
    -e 's/"$//' -e 's/\\n/ /g' -e 's/\\"/"/g' -e 's/[<>&]//g' | awk 'length > 60' | head -n 40)

html_page '<meta charset="utf-8">' 'cp - 复制文件和目录' "$zh_cp" > utf8.html
{ printf '\xEF\xBB\xBF'; html_page '<meta charset="utf-8">' 'chmod - 变更文件模式位' "$zh_chmod"; } > utf8-bom.html
{ printf '\xFF\xFE'; printf '%s\n' "$zh_ls" | iconv -f UTF-8 -t UTF-16LE; } > utf16le-bom.txt
{ printf '\xFE\xFF'; printf '%s\n' "$zh_ls" | iconv -f UTF-8 -t UTF-16BE; } > utf16be-bom.txt
printf "%s\n" "$zh_date" | grep -v -- "-" | iconv -f UTF-8 -t UTF-16LE > utf16le-prose.txt
html_page '<meta charset="gb2312">' 'ls - 列出目录内容' "$zh_ls" | iconv -f UTF-8 -t GB2312 > gb2312-meta.html
html_page '<meta http-equiv="Content-Type" content="text/html; charset=gbk">' 'cp - 复制文件和目录' "$zh_cp" |
    iconv -f UTF-8 -t GBK > gbk-http-equiv.html
html_page '<meta charset="big5">' 'ls - 列出目錄內容' "$tw_ls" | iconv -f UTF-8 -t CP950 > big5.html
html_page '' 'coreutils' "$fr" | iconv -f UTF-8 -t CP1252 > windows-1252.html
html_page '' 'ls - ディレクトリの内容をリスト表示する' "$ja_ls" | iconv -f UTF-8 -t CP932 > shift_jis.html
sed -e 's/$/\r/' /usr/share/doc/python3/_static/basic.css | head -n 120 > crlf.css
# One Latin-1 byte in a UTF-8 page, as an editor that knew no better would leave it.
html_page '<meta charset="utf-8">' 'ls - 列出目录内容' "$zh_ls" | sed -e '12s/$/ caf\xE9/' > utf8-stray-byte.html
# Chinese text whose last character lost its last byte: the lines up to the third that ends in a
# non-ASCII character, less the line feed and that byte.
last=$(printf '%s\n' "$zh_chmod" | LC_ALL=C grep -n -P '[\x80-\xFF]$' | sed -n 3p | cut -d: -f1)
printf '%s\n' "$zh_chmod" | head -n "$last" | head -c -2 > utf8-cut.txt
