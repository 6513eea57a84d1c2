#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "ui/help/rtf_reader.h"

using namespace ombrilo;

namespace {

// The document's text with line separators and non-breaking spaces kept as they are.
QString Text(const QByteArray& rtf) {
    QTextDocument document;
    ReadRtf(rtf, document);
    return document.toRawText().replace(QChar::ParagraphSeparator, QChar('\n'));
}

// The character format at the first occurrence of a text.
QTextCharFormat FormatOf(const QTextDocument& document, const QString& text) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text().contains(text)) {
                return it.fragment().charFormat();
            }
        }
    }
    return {};
}

}  // namespace

class TestRtfReader : public QObject {
    Q_OBJECT

private slots:
    void Cp1251Table() {
        QCOMPARE(DecodeCodePageByte(1251, 0xC0), QChar(0x0410));
        QCOMPARE(DecodeCodePageByte(1251, 0xFF), QChar(0x044F));
        QCOMPARE(DecodeCodePageByte(1251, 0xA8), QChar(0x0401));  // Ё
        QCOMPARE(DecodeCodePageByte(1251, 0xB8), QChar(0x0451));  // ё
        QCOMPARE(DecodeCodePageByte(1251, 0xB9), QChar(0x2116));  // №
        QCOMPARE(DecodeCodePageByte(1251, 0x97), QChar(0x2014));
        QCOMPARE(DecodeCodePageByte(1251, 0x98), QChar(0xFFFD));
        QCOMPARE(DecodeCodePageByte(1252, 0x80), QChar(0x20AC));
        QCOMPARE(DecodeCodePageByte(1252, 0xE9), QChar(0x00E9));
        QCOMPARE(DecodeCodePageByte(1251, 'A'), QChar('A'));
    }

    void ParagraphsEscapesAndCodePage() {
        const QByteArray rtf =
            "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}}\n"
            "{\\*\\generator Msftedit 5.41;}\\viewkind4\\uc1\\pard\\f0\\fs20 "
            "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\par\n"
            "a\\{b\\}c\\\\d\\tab e\\line f\\~g\\par}";
        QCOMPARE(Text(rtf), QString("Привет\na{b}c\\d\te") + QChar(QChar::LineSeparator) + "f" +
                                QChar(0x00A0) + "g\n");
    }

    void FontCharsetDecidesWithoutCodePage() {
        const QByteArray rtf =
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial Cyr;}}"
            "\\f1 \\'c4\\'e0 \\f0\\'c4}";
        QCOMPARE(Text(rtf), QString("Да Ä"));
    }

    void UnicodeEscapesSkipTheirFallback() {
        QCOMPARE(Text("{\\rtf1\\uc1 \\u1046?x\\u-3913?}"), QString("Жx") + QChar(0xF0B7));
        QCOMPARE(Text("{\\rtf1\\uc2 \\u1046\\'3f\\'3fy}"), QString("Жy"));
        QCOMPARE(Text("{\\rtf1\\uc0 \\u1046 z}"), QString("Жz"));
        // A group's end stops the skipping.
        QCOMPARE(Text("{\\rtf1{\\uc3 \\u1046}ab}"), QString("Жab"));
    }

    void FormattingAndColours() {
        const QByteArray rtf =
            "{\\rtf1{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
            "\\pard\\qc\\b\\fs36\\cf2 Head\\b0\\cf0\\fs24\\par"
            "\\pard plain {\\i it}{\\ul under\\ulnone no}\\cf1 red\\plain after}";
        QTextDocument document;
        ReadRtf(rtf, document);
        QCOMPARE(document.toPlainText(), QString("Head\nplain itundernoredafter"));
        const QTextCharFormat head = FormatOf(document, "Head");
        QCOMPARE(head.fontWeight(), int(QFont::Bold));
        QCOMPARE(head.fontPointSize(), 18.0);
        QCOMPARE(head.foreground().color(), QColor(0, 0, 128));
        QCOMPARE(document.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QCOMPARE(document.begin().next().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignLeft);
        QVERIFY(FormatOf(document, "it").fontItalic());
        QVERIFY(!FormatOf(document, "plain").fontItalic());
        QVERIFY(FormatOf(document, "under").fontUnderline());
        QVERIFY(!FormatOf(document, "no").fontUnderline());
        QCOMPARE(FormatOf(document, "red").foreground().color(), QColor(255, 0, 0));
        QCOMPARE(FormatOf(document, "plain").fontWeight(), int(QFont::Normal));
        QCOMPARE(FormatOf(document, "plain").fontPointSize(), 12.0);
        QVERIFY(!FormatOf(document, "after").foreground().color().isValid() ||
                FormatOf(document, "after").foreground().style() == Qt::NoBrush);
    }

    void DestinationsAreNeverShown() {
        const QByteArray rtf =
            "{\\rtf1{\\fonttbl{\\f0 Times;}}{\\stylesheet{\\s1 Heading;}}"
            "{\\info{\\title Secret}{\\author Me}}{\\*\\unknowndest hidden}"
            "{\\pict\\pngblip 89504e47}{\\header top}A{\\field{\\*\\fldinst HYPERLINK x}"
            "{\\fldrslt link}}\\bin3 {}xB\\unknownword C\\xyz123 D}";
        QCOMPARE(Text(rtf), QString("AlinkBCD"));
    }

    void BrokenInputShowsWhatCouldBeRead() {
        QCOMPARE(Text(""), QString());
        QCOMPARE(Text("{"), QString());
        QCOMPARE(Text("{\\rtf1 open group {never closed"), QString("open group never closed"));
        QCOMPARE(Text("{\\rtf1 a}}}after"), QString("a"));
        QCOMPARE(Text("}}{\\rtf1 b}"), QString("b"));
        QCOMPARE(Text("{\\rtf1 x\\'"), QString("x"));
        QCOMPARE(Text("{\\rtf1 x\\'4"), QString("x"));
        QCOMPARE(Text("{\\rtf1 x\\'zzy}"), QString("xzzy"));
        QCOMPARE(Text("{\\rtf1 x\\"), QString("x"));
        QCOMPARE(Text("{\\rtf1 \\u99999999999999999999 q}"), QString(QChar(0xFFFD)));
        QCOMPARE(Text("{\\rtf1 \\fs99999999999999 big\\cf-5 c\\uc999999 \\bin999999999 }"),
                 QString("bigc"));
        QCOMPARE(Text("plain text without rtf"), QString("plain text without rtf"));
        QCOMPARE(Text(QByteArray("{\\rtf1 a\0b}", 11)), QString("ab"));
    }

    void DeepNestingIsCapped() {
        const QByteArray deep =
            "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " end}";
        QCOMPARE(Text(deep), QString("deep end"));
        const QByteArray unclosed = "{\\rtf1 " + QByteArray(50000, '{') + "x";
        QCOMPARE(Text(unclosed), QString("x"));
        // A hidden destination deep inside stays hidden.
        const QByteArray hidden =
            "{\\rtf1 {\\*\\x " + QByteArray(1000, '{') + "no" + QByteArray(1000, '}') + "}yes}";
        QCOMPARE(Text(hidden), QString("yes"));
    }

    void LongControlWordsAndNoiseDoNotCrash() {
        QByteArray noise = "{\\rtf1 \\" + QByteArray(10000, 'a') + " t";
        for (int i = 0; i < 256; ++i) {
            noise.append(static_cast<char>(i));
            noise.append('\\');
        }
        QTextDocument document;
        ReadRtf(noise, document);
        QVERIFY(document.toPlainText().startsWith("t"));
    }

    void TheShippedManualReads() {
        QFile file(qEnvironmentVariable("OMBRILO_SOURCE_DIR") + "/data/Description.rtf");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTextDocument document;
        ReadRtf(file.readAll(), document);
        const QString text = document.toPlainText();
        QVERIFY(text.contains("Ombrilo"));
        QVERIFY(text.contains("Слайд-Шоу"));
        QVERIFY(text.contains("F10"));
        QVERIFY(!text.contains('\\'));
        QVERIFY(!text.contains('{'));
        QVERIFY(!text.contains("fcharset"));
        QCOMPARE(FormatOf(document, "Ombrilo").fontWeight(), int(QFont::Bold));
    }
};

QTEST_MAIN(TestRtfReader)
#include "test_rtf_reader.moc"
