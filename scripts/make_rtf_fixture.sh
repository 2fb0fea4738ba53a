#!/usr/bin/env bash
# Writes a small HTML document and lets LibreOffice turn it into RTF, so the reader is tested
# against a file that another program wrote. Needs soffice (libreoffice-writer-nogui).
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

# A private profile keeps the run independent of any user settings.
soffice --headless -env:UserInstallation="file://$work/profile" \
    --convert-to 'rtf:Rich Text Format' --outdir "$work" "$work/libreoffice_sample.html" >/dev/null
cp "$work/libreoffice_sample.rtf" "$root/tests/data/libreoffice_sample.rtf"
echo "wrote tests/data/libreoffice_sample.rtf"
