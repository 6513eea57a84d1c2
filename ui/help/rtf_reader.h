#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace ombrilo {

// Reads the part of RTF that the program's manual uses into a document: groups, paragraphs
// (\par, \pard, \qc, \qr, \qj, \ql), bold, italic and underline, font sizes (\fs), the colour
// table with \cf, \'hh escapes in the document's code page (\ansicpg, or the font's
// \fcharset), \uN escapes with \ucN, \line, \tab and the usual symbol words. Destinations the
// reader does not know (\*, \fonttbl, \stylesheet, \info, \pict, ...) are skipped and never
// shown. Broken or truncated input gives what could be read; nothing in the input can make it
// fail.
void ReadRtf(const QByteArray& rtf, QTextDocument& document);

// The text of a single byte in a Windows code page; 1251 (Cyrillic) is known, every other
// page is read as Windows-1252 / Latin-1.
QChar DecodeCodePageByte(int codePage, unsigned char byte);

}  // namespace ombrilo
