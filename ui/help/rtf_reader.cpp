#include "rtf_reader.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ombrilo {

namespace {

// Windows-1251, bytes 0x80..0xBF (0xC0..0xFF are U+0410..U+044F in order).
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// Windows-1252, bytes 0x80..0x9F; the rest of the page is Latin-1.
constexpr char16_t kCp1252Controls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

constexpr int kMaxDepth = 256;
constexpr int kMaxWordLength = 32;
constexpr int kDefaultHalfPoints = 24;
constexpr int kMaxHalfPoints = 400;

int CodePageOfCharset(int charset) {
    switch (charset) {
        case 204:
            return 1251;
        default:
            return 1252;
    }
}

// What a group holds: the formatting in force and whether its text is shown at all.
struct GroupState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = kDefaultHalfPoints;
    int colour = 0;
    int font = -1;
    int unicodeSkip = 1;
    bool hidden = false;       // inside a destination that is not shown
    bool fontTable = false;    // inside \fonttbl
    bool colourTable = false;  // inside \colortbl
};

class Reader {
public:
    Reader(const QByteArray& rtf, QTextDocument& document)
        : data_(rtf), cursor_(&document), document_(document) {}

    void Run() {
        document_.clear();
        cursor_ = QTextCursor(&document_);
        block_.setAlignment(Qt::AlignLeft);
        cursor_.setBlockFormat(block_);
        while (pos_ < data_.size() && !finished_) {
            const char c = data_[pos_++];
            switch (c) {
                case '{':
                    OpenGroup();
                    break;
                case '}':
                    CloseGroup();
                    break;
                case '\\':
                    ControlSymbolOrWord();
                    break;
                case '\r':
                case '\n':
                    break;
                default:
                    Byte(static_cast<unsigned char>(c));
                    break;
            }
        }
        Flush();
        cursor_.setBlockFormat(block_);
    }

private:
    GroupState& state() { return stack_.back(); }

    void OpenGroup() {
        Flush();
        if (static_cast<int>(stack_.size()) >= kMaxDepth) {
            ++overflow_;  // deeper groups share the formatting of the deepest kept one
            return;
        }
        stack_.push_back(stack_.back());
        groupStart_ = true;
    }

    void CloseGroup() {
        Flush();
        groupStart_ = false;
        skipPending_ = 0;
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (stack_.back().colourTable) {
            FinishColour();
        }
        if (stack_.size() <= 2) {
            finished_ = stack_.size() == 2;  // the document's own group has ended
            if (stack_.size() == 2) {
                stack_.pop_back();
            }
            return;
        }
        stack_.pop_back();
    }

    void ControlSymbolOrWord() {
        if (pos_ >= data_.size()) {
            return;
        }
        const char c = data_[pos_];
        if (IsLetter(c)) {
            ControlWord();
            return;
        }
        ++pos_;
        const bool atGroupStart = groupStart_;
        groupStart_ = false;
        switch (c) {
            case '\\':
            case '{':
            case '}':
                Char(QChar::fromLatin1(c));
                break;
            case '~':
                Char(QChar(0x00A0));
                break;
            case '_':
                Char(QChar(0x2011));
                break;
            case '-':
                ConsumeSkipped();
                break;
            case '\'':
                HexEscape();
                break;
            case '*':
                if (atGroupStart) {
                    state().hidden = true;
                }
                break;
            case '\r':
            case '\n':
                Paragraph();
                break;
            default:
                ConsumeSkipped();
                break;
        }
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    void ControlWord() {
        QByteArray word;
        while (pos_ < data_.size() && IsLetter(data_[pos_])) {
            if (word.size() < kMaxWordLength) {
                word.append(data_[pos_]);
            }
            ++pos_;
        }
        bool hasParam = false;
        bool negative = false;
        std::int64_t param = 0;
        if (pos_ < data_.size() && data_[pos_] == '-' && pos_ + 1 < data_.size() &&
            IsDigit(data_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < data_.size() && IsDigit(data_[pos_])) {
            hasParam = true;
            // Huge numbers saturate instead of overflowing.
            param = std::min<std::int64_t>(param * 10 + (data_[pos_] - '0'), INT32_MAX);
            ++pos_;
        }
        if (pos_ < data_.size() && data_[pos_] == ' ') {
            ++pos_;
        }
        const int value = static_cast<int>(negative ? -param : param);
        const bool atGroupStart = groupStart_;
        groupStart_ = false;
        Word(word, hasParam, value, atGroupStart);
    }

    void Word(const QByteArray& word, bool hasParam, int value, bool atGroupStart) {
        GroupState& s = state();
        if (Destination(word, atGroupStart)) {
            return;
        }
        if (s.fontTable) {
            if (word == "f" && hasParam) {
                tableFont_ = value;
            } else if (word == "fcharset" && hasParam && tableFont_ >= 0) {
                fontCodePages_.insert(tableFont_, CodePageOfCharset(value));
            }
            return;
        }
        if (s.colourTable) {
            const int channel = std::clamp(value, 0, 255);
            if (word == "red") {
                red_ = channel;
                colourSet_ = true;
            } else if (word == "green") {
                green_ = channel;
                colourSet_ = true;
            } else if (word == "blue") {
                blue_ = channel;
                colourSet_ = true;
            }
            return;
        }
        if (word == "u" && hasParam) {
            Unicode(value);
            return;
        }
        if (skipPending_ > 0 && !s.hidden) {
            // A control word stands for one of the characters after \uN.
            --skipPending_;
            return;
        }
        const bool on = !hasParam || value != 0;
        if (word == "par" || word == "sect" || word == "page" || word == "row") {
            Paragraph();
        } else if (word == "line") {
            Char(QChar(QChar::LineSeparator));
        } else if (word == "tab" || word == "cell") {
            Char(QChar('\t'));
        } else if (word == "pard") {
            Flush();
            block_.setAlignment(Qt::AlignLeft);
        } else if (word == "ql" || word == "qc" || word == "qr" || word == "qj") {
            Flush();
            block_.setAlignment(word == "qc"   ? Qt::AlignHCenter
                                : word == "qr" ? Qt::AlignRight
                                : word == "qj" ? Qt::AlignJustify
                                               : Qt::AlignLeft);
        } else if (word == "plain") {
            Flush();
            const GroupState keep = s;
            s = GroupState();
            s.hidden = keep.hidden;
            s.unicodeSkip = keep.unicodeSkip;
            s.font = keep.font;
        } else if (word == "b") {
            SetFlag(s.bold, on);
        } else if (word == "i") {
            SetFlag(s.italic, on);
        } else if (word == "ul") {
            SetFlag(s.underline, on);
        } else if (word == "ulnone") {
            SetFlag(s.underline, false);
        } else if (word == "fs") {
            Flush();
            s.halfPoints =
                hasParam && value > 0 ? std::min(value, kMaxHalfPoints) : kDefaultHalfPoints;
        } else if (word == "cf") {
            Flush();
            s.colour = hasParam ? std::max(value, 0) : 0;
        } else if (word == "f" && hasParam) {
            s.font = value;
        } else if (word == "ansicpg" && hasParam) {
            codePage_ = value;
        } else if (word == "uc" && hasParam) {
            s.unicodeSkip = std::clamp(value, 0, 16);
        } else if (word == "bin" && hasParam) {
            pos_ += std::clamp<qsizetype>(value, 0, data_.size() - pos_);
        } else if (word == "emdash") {
            Char(QChar(0x2014));
        } else if (word == "endash") {
            Char(QChar(0x2013));
        } else if (word == "bullet") {
            Char(QChar(0x2022));
        } else if (word == "lquote") {
            Char(QChar(0x2018));
        } else if (word == "rquote") {
            Char(QChar(0x2019));
        } else if (word == "ldblquote") {
            Char(QChar(0x201C));
        } else if (word == "rdblquote") {
            Char(QChar(0x201D));
        } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
            Char(QChar(' '));
        }
        // Every other word is formatting this reader does not show.
    }

    // Destinations that are not shown; the font and colour tables are read.
    bool Destination(const QByteArray& word, bool atGroupStart) {
        static const QList<QByteArray> kSkipped = {"stylesheet",
                                                   "info",
                                                   "pict",
                                                   "object",
                                                   "header",
                                                   "footer",
                                                   "headerl",
                                                   "headerr",
                                                   "headerf",
                                                   "footerl",
                                                   "footerr",
                                                   "footerf",
                                                   "footnote",
                                                   "fldinst",
                                                   "listtable",
                                                   "listoverridetable",
                                                   "revtbl",
                                                   "rsidtbl",
                                                   "xmlnstbl",
                                                   "themedata",
                                                   "colorschememapping",
                                                   "latentstyles",
                                                   "datastore",
                                                   "generator",
                                                   "filetbl",
                                                   "pn",
                                                   "nonshppict",
                                                   "private",
                                                   "annotation",
                                                   "atnid",
                                                   "atnauthor",
                                                   "bkmkstart",
                                                   "bkmkend"};
        GroupState& s = state();
        if (word == "fonttbl") {
            Flush();
            s.fontTable = true;
            s.hidden = true;
            return true;
        }
        if (word == "colortbl") {
            Flush();
            s.colourTable = true;
            s.hidden = true;
            colours_.clear();
            ResetColour();
            return true;
        }
        if (kSkipped.contains(word)) {
            Flush();
            s.hidden = true;
            return true;
        }
        if (word == "fldrslt") {
            return true;  // the result of a field is shown as plain text
        }
        Q_UNUSED(atGroupStart);
        return false;
    }

    void SetFlag(bool& flag, bool on) {
        Flush();
        flag = on;
    }

    void Unicode(int value) {
        // Negative values are the upper half of the 16-bit units; anything else out of range
        // becomes the replacement character.
        const int unit = value < 0 ? value + 65536 : value;
        const bool valid = unit >= 0 && unit < 0xFFFE;
        Char(QChar(static_cast<char16_t>(valid ? unit : 0xFFFD)));
        skipPending_ = state().unicodeSkip;
    }

    void HexEscape() {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            const int digit = pos_ < data_.size() ? HexDigit(data_[pos_]) : -1;
            if (digit < 0) {
                return;  // a truncated escape shows nothing
            }
            value = value * 16 + digit;
            ++pos_;
        }
        Byte(static_cast<unsigned char>(value), true);
    }

    static int HexDigit(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    void Byte(unsigned char byte, bool escaped = false) {
        groupStart_ = false;
        GroupState& s = state();
        if (s.colourTable && !escaped && byte == ';') {
            FinishColour();
            return;
        }
        if (ConsumeSkipped()) {
            return;
        }
        if (s.hidden) {
            return;
        }
        if (byte < 0x20 && byte != '\t') {
            return;
        }
        const int page = s.font >= 0 && fontCodePages_.contains(s.font) && codePage_ == 0
                             ? fontCodePages_.value(s.font)
                             : codePage_;
        Char(DecodeCodePageByte(page, byte));
    }

    // Whether a character stands in for the text of a \uN escape and is left out.
    bool ConsumeSkipped() {
        if (skipPending_ > 0) {
            --skipPending_;
            return true;
        }
        return false;
    }

    void Char(QChar c) {
        if (state().hidden) {
            return;
        }
        pending_.append(c);
    }

    void Paragraph() {
        if (state().hidden) {
            return;
        }
        Flush();
        cursor_.setBlockFormat(block_);
        cursor_.insertBlock(block_, CharFormat());
    }

    QTextCharFormat CharFormat() {
        const GroupState& s = state();
        QTextCharFormat format;
        format.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(s.italic);
        format.setFontUnderline(s.underline);
        format.setFontPointSize(s.halfPoints / 2.0);
        if (s.colour > 0 && s.colour < colours_.size() && colours_[s.colour].isValid()) {
            format.setForeground(colours_[s.colour]);
        }
        return format;
    }

    void Flush() {
        if (pending_.isEmpty()) {
            return;
        }
        cursor_.insertText(pending_, CharFormat());
        pending_.clear();
    }

    void ResetColour() {
        red_ = green_ = blue_ = 0;
        colourSet_ = false;
    }

    void FinishColour() {
        if (colours_.size() < 4096) {
            colours_.append(colourSet_ ? QColor(red_, green_, blue_) : QColor());
        }
        ResetColour();
    }

    const QByteArray& data_;
    qsizetype pos_ = 0;
    QTextCursor cursor_;
    QTextDocument& document_;
    // The bottom entry stands outside every group; the document's own group is the second.
    std::vector<GroupState> stack_{GroupState()};
    int overflow_ = 0;
    bool groupStart_ = false;
    bool finished_ = false;
    int skipPending_ = 0;
    int codePage_ = 0;
    int tableFont_ = -1;
    QHash<int, int> fontCodePages_;
    QList<QColor> colours_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colourSet_ = false;
    QString pending_;
    QTextBlockFormat block_;
};

}  // namespace

QChar DecodeCodePageByte(int codePage, unsigned char byte) {
    if (byte < 0x80) {
        return QChar::fromLatin1(static_cast<char>(byte));
    }
    if (codePage == 1251) {
        return byte >= 0xC0 ? QChar(static_cast<char16_t>(0x0410 + (byte - 0xC0)))
                            : QChar(kCp1251High[byte - 0x80]);
    }
    if (byte < 0xA0) {
        return QChar(kCp1252Controls[byte - 0x80]);
    }
    return QChar(static_cast<char16_t>(byte));
}

void ReadRtf(const QByteArray& rtf, QTextDocument& document) {
    Reader(rtf, document).Run();
}

}  // namespace ombrilo
