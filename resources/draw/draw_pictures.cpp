// Draws every picture of the program and writes it as a PNG file, so that the pictures can be
// changed in one place and always share one style:
//
//   ombrilo-draw-pictures FOLDER              writes all pictures into FOLDER (resources/)
//   ombrilo-draw-pictures --sheet FOLDER OUT  draws the pictures found in FOLDER, enlarged four
//                                             times, into one PNG file OUT to look them over
//   ombrilo-draw-pictures --desktop-icons FOLDER
//                                             writes the desktop icons into FOLDER (dist/icons/)
//
// Style: a dark ink outline, one teal accent in a light and a full shade, a pale paper colour.
// The 32 x 32 pictures use 2-pixel outlines, the 16 x 16 ones 1-pixel outlines. The animation
// buttons keep to the 16 standard colours and have no smoothed edges. The cursors are black
// strokes with a one-pixel white border, so that they show on dark and on light pictures.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <vector>

#include "resources/picture_catalog.h"

using namespace ombrilo;

namespace {

// ---- Palette -------------------------------------------------------------------------------

const QColor kInk(0x1e, 0x2a, 0x38);
const QColor kAccent(0x14, 0x8f, 0x86);
const QColor kAccentLight(0x9c, 0xdc, 0xd4);
const QColor kPaper(0xf6, 0xfa, 0xfa);
const QColor kHighlight(0xff, 0xff, 0xff);

// The standard 16 colours used by the animation buttons.
const QColor kVgaBlack(0x00, 0x00, 0x00);
const QColor kVgaTeal(0x00, 0x80, 0x80);
const QColor kVgaAqua(0x00, 0xff, 0xff);

constexpr qreal kOutline32 = 2.0;
constexpr qreal kOutline16 = 1.0;

QImage NewPicture(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void StartPainter(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::NoPen);
}

QPen InkPen(qreal width, Qt::PenCapStyle cap = Qt::RoundCap) {
    return QPen(kInk, width, Qt::SolidLine, cap, Qt::RoundJoin);
}

// Fills a shape and outlines it in ink.
void FillOutlined(QPainter& painter, const QPainterPath& shape, const QColor& fill, qreal outline) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(shape);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(InkPen(outline));
    painter.drawPath(shape);
}

QPainterPath Capsule(QPointF from, QPointF to, qreal width) {
    QPainterPath line(from);
    line.lineTo(to);
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line).simplified();
}

QPainterPath Circle(QPointF centre, qreal radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath Box(qreal left, qreal top, qreal right, qreal bottom) {
    QPainterPath path;
    path.addRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
    return path;
}

// ---- Tool buttons, 32 x 32 -----------------------------------------------------------------

QImage DrawTarget() {
    QImage image = NewPicture(32);
    QPainter painter(&image);
    StartPainter(painter);
    FillOutlined(painter, Circle({16, 16}, 10), kPaper, kOutline32);
    FillOutlined(painter, Circle({16, 16}, 5), kAccentLight, kOutline32);
    painter.setPen(InkPen(kOutline32, Qt::FlatCap));
    painter.drawLine(QPointF(16, 1), QPointF(16, 13));
    painter.drawLine(QPointF(16, 19), QPointF(16, 31));
    painter.drawLine(QPointF(1, 16), QPointF(13, 16));
    painter.drawLine(QPointF(19, 16), QPointF(31, 16));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawEllipse(QPointF(16, 16), 1.6, 1.6);
    return image;
}

QImage DrawHand() {
    const std::array<QPainterPath, 4> fingers{
        Capsule({11.5, 9}, {11.5, 20}, 5), Capsule({16.5, 6.5}, {16.5, 20}, 5),
        Capsule({21.5, 7.5}, {21.5, 20}, 5), Capsule({26, 11}, {26, 20}, 4)};
    const QPainterPath thumb = Capsule({10, 23}, {5, 16.5}, 5);
    QPainterPath palm;
    palm.addRoundedRect(QRectF(QPointF(9, 15), QPointF(28, 29)), 5, 5);

    QPainterPath hand = palm.united(thumb);
    for (const QPainterPath& finger : fingers) {
        hand = hand.united(finger);
    }

    QImage image = NewPicture(32);
    QPainter painter(&image);
    StartPainter(painter);
    painter.setBrush(kAccentLight);
    painter.drawPath(hand);
    // Fingers and thumb are outlined one by one where they stand free of the palm, so that
    // they part from each other; the palm itself only has the outer outline.
    QPainterPath outsidePalm;
    outsidePalm.addRect(image.rect());
    painter.setClipPath(outsidePalm.subtracted(palm));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(InkPen(kOutline32 * 0.75));
    for (const QPainterPath& finger : fingers) {
        painter.drawPath(finger);
    }
    painter.drawPath(thumb);
    painter.setClipping(false);
    painter.setPen(InkPen(kOutline32));
    painter.drawPath(hand);
    return image;
}

QImage DrawCentreBars() {
    QImage image = NewPicture(32);
    QPainter painter(&image);
    StartPainter(painter);
    for (const QPainterPath& bar :
         {Box(13, 3, 19, 12), Box(13, 20, 19, 29), Box(3, 13, 12, 19), Box(20, 13, 29, 19)}) {
        FillOutlined(painter, bar, kAccent, kOutline32);
    }
    return image;
}

enum class LensSign { None, Plus, Minus };

QImage DrawMagnifier(LensSign sign) {
    const QPointF lens(13, 13);
    QImage image = NewPicture(32);
    QPainter painter(&image);
    StartPainter(painter);

    painter.setPen(QPen(kInk, 6.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(20.5, 20.5), QPointF(27.5, 27.5));
    painter.setPen(QPen(kAccent, 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(22.5, 22.5), QPointF(27, 27));

    painter.setPen(Qt::NoPen);
    painter.setBrush(kInk);
    painter.drawEllipse(lens, 10, 10);
    QRadialGradient glass(lens - QPointF(3, 3), 10);
    glass.setColorAt(0, kPaper);
    glass.setColorAt(1, kAccentLight);
    painter.setBrush(glass);
    painter.drawEllipse(lens, 7.5, 7.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kHighlight, 1.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(lens - QPointF(5, 5), QSizeF(10, 10)), 100 * 16, 60 * 16);

    painter.setPen(InkPen(2.5, Qt::FlatCap));
    if (sign != LensSign::None) {
        painter.drawLine(QPointF(8.5, 13), QPointF(17.5, 13));
    }
    if (sign == LensSign::Plus) {
        painter.drawLine(QPointF(13, 8.5), QPointF(13, 17.5));
    }
    return image;
}

QImage DrawLetterC() {
    const QPointF centre(16, 16);
    QPainterPath arc;
    const qreal radius = 7;
    arc.arcMoveTo(QRectF(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius)), 45);
    arc.arcTo(QRectF(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius)), 45, 270);
    QPainterPathStroker stroker;
    stroker.setWidth(5);
    stroker.setCapStyle(Qt::FlatCap);
    const QPainterPath letter = stroker.createStroke(arc).simplified();

    QImage image = NewPicture(32);
    QPainter painter(&image);
    StartPainter(painter);
    FillOutlined(painter, letter, kAccent, kOutline32);
    painter.setPen(InkPen(kOutline32, Qt::FlatCap));
    painter.drawLine(QPointF(16, 1), QPointF(16, 4));
    painter.drawLine(QPointF(16, 28), QPointF(16, 31));
    painter.drawLine(QPointF(1, 16), QPointF(4, 16));
    painter.drawLine(QPointF(28, 16), QPointF(31, 16));
    return image;
}

// A star of four points: each point is a lit and a shaded facet.
QImage DrawStar() {
    const QPointF centre(16, 16);
    const qreal tip = 13.5;
    const qreal waist = 5.5;
    std::array<QPointF, 8> corners;
    for (int i = 0; i < 8; ++i) {
        const qreal angle = -M_PI / 2 + i * M_PI / 4;
        const qreal radius = i % 2 == 0 ? tip : waist;
        corners[i] = centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
    }

    QImage image = NewPicture(32);
    QPainter painter(&image);
    StartPainter(painter);
    for (int i = 0; i < 8; ++i) {
        const QPointF facet[3] = {centre, corners[i], corners[(i + 1) % 8]};
        const bool lit = i == 7 || i == 0 || i == 5 || i == 6;  // faces turned to the upper left
        painter.setBrush(lit ? kAccentLight : kAccent);
        painter.drawPolygon(facet, 3);
    }
    QPolygonF outline;
    for (const QPointF& corner : corners) {
        outline << corner;
    }
    painter.setBrush(Qt::NoBrush);
    QPen pen = InkPen(kOutline32);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setMiterLimit(1.5);
    painter.setPen(pen);
    painter.drawPolygon(outline);
    return image;
}

QImage DrawCloseCross() {
    QImage image = NewPicture(16);
    QPainter painter(&image);
    StartPainter(painter);
    painter.setPen(InkPen(2.2));
    painter.drawLine(QPointF(4, 4), QPointF(12, 12));
    painter.drawLine(QPointF(12, 4), QPointF(4, 12));
    return image;
}

// The Mandelbrot set's outline, a cardioid with the disk of period two at its left, and a small
// cross where C is taken.
QImage DrawMandelbrotMap() {
    QPainterPath cardioid;
    const QPointF origin(22.5, 17);
    const qreal scale = 15;
    for (int i = 0; i <= 96; ++i) {
        const qreal t = 2 * M_PI * i / 96;
        // c = e^{it}/2 - e^{2it}/4
        const QPointF c(std::cos(t) / 2 - std::cos(2 * t) / 4,
                        std::sin(t) / 2 - std::sin(2 * t) / 4);
        const QPointF point = origin + QPointF(c.x(), -c.y()) * scale;
        if (i == 0) {
            cardioid.moveTo(point);
        } else {
            cardioid.lineTo(point);
        }
    }
    cardioid.closeSubpath();
    QPainterPath bulb;
    bulb.addEllipse(origin + QPointF(-1.0, 0) * scale, 0.25 * scale, 0.25 * scale);

    QImage image = NewPicture(32);
    QPainter painter(&image);
    StartPainter(painter);
    FillOutlined(painter, cardioid.united(bulb).simplified(), kAccent, kOutline32);
    painter.setPen(InkPen(1.5, Qt::FlatCap));
    const QPointF mark(5, 5);
    painter.drawLine(mark - QPointF(3, 0), mark + QPointF(3, 0));
    painter.drawLine(mark - QPointF(0, 3), mark + QPointF(0, 3));
    return image;
}

QImage DrawToolPicture(ToolPictureId id) {
    switch (id) {
        case ToolPictureId::DefButton:
            return DrawTarget();
        case ToolPictureId::Hand:
            return DrawHand();
        case ToolPictureId::Center:
            return DrawCentreBars();
        case ToolPictureId::Lupa:
            return DrawMagnifier(LensSign::None);
        case ToolPictureId::LupaPlus:
            return DrawMagnifier(LensSign::Plus);
        case ToolPictureId::LupaMinus:
            return DrawMagnifier(LensSign::Minus);
        case ToolPictureId::Koef:
            return DrawLetterC();
        case ToolPictureId::ToFrom:
            return DrawStar();
        case ToolPictureId::CloseButton:
            return DrawCloseCross();
        case ToolPictureId::MapButton:
            return DrawMandelbrotMap();
    }
    return QImage();
}

// ---- Animation buttons, 16 x 16, 16 colours, unsmoothed ------------------------------------

// A shape given by whether a pixel (by its centre) belongs to it, painted with a one-pixel
// black border, a teal body and an aqua light along its upper-left edges.
QImage DrawFlatShape(const std::function<bool(qreal, qreal)>& inside) {
    const auto in = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < 16 && y < 16 && inside(x + 0.5, y + 0.5);
    };
    QImage image = NewPicture(16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (!in(x, y)) {
                continue;
            }
            const bool border = !in(x - 1, y) || !in(x + 1, y) || !in(x, y - 1) || !in(x, y + 1);
            const bool lit = !border && (!in(x - 2, y) || !in(x, y - 2));
            const QColor colour = border ? kVgaBlack : (lit ? kVgaAqua : kVgaTeal);
            image.setPixel(x, y, colour.rgba());
        }
    }
    return image;
}

// A head with 45-degree edges from a two-pixel tip in column 1 to column 7, a shaft six rows high.
bool InArrowLeft(qreal x, qreal y) {
    const qreal fromAxis = std::abs(y - 8);
    const bool head = x >= 1 && x <= 8 && fromAxis <= x - 1;
    const bool shaft = x >= 7 && x <= 15 && fromAxis <= 3;
    return head || shaft;
}

QImage DrawAnimationPicture(AnimationPictureId id) {
    switch (id) {
        case AnimationPictureId::Down:
            return DrawFlatShape(InArrowLeft);
        case AnimationPictureId::Stop:
            return DrawFlatShape(
                [](qreal x, qreal y) { return x > 3 && x < 13 && y > 3 && y < 13; });
        case AnimationPictureId::Up:
            return DrawFlatShape([](qreal x, qreal y) { return InArrowLeft(16 - x, y); });
    }
    return QImage();
}

// ---- Menu icons, 16 x 16 -------------------------------------------------------------------

void DrawFloppy(QPainter& painter, const QRectF& body) {
    const qreal w = body.width();
    const qreal h = body.height();
    QPainterPath shell;
    shell.moveTo(body.topLeft());
    shell.lineTo(body.right() - w * 0.18, body.top());
    shell.lineTo(body.right(), body.top() + h * 0.18);
    shell.lineTo(body.bottomRight());
    shell.lineTo(body.bottomLeft());
    shell.closeSubpath();
    FillOutlined(painter, shell, kAccent, kOutline16);
    const QRectF shutter(body.left() + w * 0.25, body.top(), w * 0.5, h * 0.36);
    FillOutlined(painter, Box(shutter.left(), shutter.top(), shutter.right(), shutter.bottom()),
                 kPaper, kOutline16);
    const QRectF label(body.left() + w * 0.17, body.top() + h * 0.58, w * 0.66, h * 0.42);
    FillOutlined(painter, Box(label.left(), label.top(), label.right(), label.bottom()), kPaper,
                 kOutline16);
}

QImage DrawSaveImage() {
    QImage image = NewPicture(16);
    QPainter painter(&image);
    StartPainter(painter);
    FillOutlined(painter, Box(0.5, 1.5, 12.5, 11.5), kPaper, kOutline16);
    QPainterPath hills;
    hills.moveTo(1, 11);
    hills.lineTo(4.5, 6.5);
    hills.lineTo(7, 9);
    hills.lineTo(9, 7);
    hills.lineTo(12, 11);
    hills.closeSubpath();
    painter.setBrush(kAccent);
    painter.drawPath(hills);
    painter.drawEllipse(QPointF(9.5, 4.5), 1.6, 1.6);
    DrawFloppy(painter, QRectF(8.5, 8.5, 7, 7));
    return image;
}

QImage DrawSaveFractal() {
    QImage image = NewPicture(16);
    QPainter painter(&image);
    StartPainter(painter);
    DrawFloppy(painter, QRectF(1.5, 1.5, 13, 13));
    painter.setPen(InkPen(kOutline16, Qt::FlatCap));
    painter.drawLine(QPointF(8.5, 2.5), QPointF(8.5, 5.5));
    painter.drawLine(QPointF(5.5, 11.5), QPointF(10.5, 11.5));
    return image;
}

QImage DrawOpenFolder() {
    QImage image = NewPicture(16);
    QPainter painter(&image);
    StartPainter(painter);
    QPainterPath back;
    back.moveTo(0.5, 13.5);
    back.lineTo(0.5, 2.5);
    back.lineTo(5.5, 2.5);
    back.lineTo(6.5, 4.5);
    back.lineTo(12.5, 4.5);
    back.lineTo(12.5, 13.5);
    back.closeSubpath();
    FillOutlined(painter, back, kAccentLight, kOutline16);
    QPainterPath flap;
    flap.moveTo(0.5, 13.5);
    flap.lineTo(3.5, 7.5);
    flap.lineTo(15.5, 7.5);
    flap.lineTo(12.5, 13.5);
    flap.closeSubpath();
    FillOutlined(painter, flap, kAccent, kOutline16);
    return image;
}

QImage DrawExit() {
    QImage image = NewPicture(16);
    QPainter painter(&image);
    StartPainter(painter);
    FillOutlined(painter, Box(1.5, 1.5, 9.5, 14.5), kPaper, kOutline16);
    QPainterPath door;
    door.moveTo(1.5, 1.5);
    door.lineTo(6.5, 3.5);
    door.lineTo(6.5, 15.5);
    door.lineTo(1.5, 14.5);
    door.closeSubpath();
    FillOutlined(painter, door, kAccentLight, kOutline16);
    QPainterPath arrow;
    arrow.moveTo(8, 6.5);
    arrow.lineTo(11.5, 6.5);
    arrow.lineTo(11.5, 4);
    arrow.lineTo(15.5, 8);
    arrow.lineTo(11.5, 12);
    arrow.lineTo(11.5, 9.5);
    arrow.lineTo(8, 9.5);
    arrow.closeSubpath();
    FillOutlined(painter, arrow, kAccent, kOutline16);
    return image;
}

QImage DrawFullScreen() {
    QImage image = NewPicture(16);
    QPainter painter(&image);
    StartPainter(painter);
    FillOutlined(painter, Box(0.5, 1.5, 15.5, 14.5), kAccentLight, kOutline16);
    QPen bracketPen = InkPen(2, Qt::FlatCap);
    bracketPen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(bracketPen);
    const qreal arm = 3;
    for (const QPointF& corner : {QPointF(3, 4), QPointF(13, 4), QPointF(13, 12), QPointF(3, 12)}) {
        const qreal sx = corner.x() < 8 ? 1 : -1;
        const qreal sy = corner.y() < 8 ? 1 : -1;
        QPainterPath bracket(corner + QPointF(sx * arm, 0));
        bracket.lineTo(corner);
        bracket.lineTo(corner + QPointF(0, sy * arm));
        painter.drawPath(bracket);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawRect(QRectF(6, 6.5, 4, 3));
    return image;
}

QImage DrawHelp() {
    QImage image = NewPicture(16);
    QPainter painter(&image);
    StartPainter(painter);
    FillOutlined(painter, Circle({8, 8}, 7), kAccent, kOutline16);
    painter.setPen(QPen(kHighlight, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath mark;
    mark.arcMoveTo(QRectF(5.4, 3.2, 5.2, 5), 160);
    mark.arcTo(QRectF(5.4, 3.2, 5.2, 5), 160, -220);
    mark.quadTo(QPointF(8, 8.6), QPointF(8, 9.6));
    painter.drawPath(mark);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kHighlight);
    painter.drawEllipse(QPointF(8, 12.2), 1.1, 1.1);
    return image;
}

QImage DrawMenuIcon(int index) {
    switch (static_cast<MenuIconId>(index)) {
        case MenuIconId::SaveImage:
            return DrawSaveImage();
        case MenuIconId::SaveFractal:
            return DrawSaveFractal();
        case MenuIconId::OpenFract:
            return DrawOpenFolder();
        case MenuIconId::CloseApp:
            return DrawExit();
        case MenuIconId::FullScr:
            return DrawFullScreen();
        case MenuIconId::Descript:
            return DrawHelp();
    }
    return QImage();
}

// ---- Application icon ----------------------------------------------------------------------

// Escape count of z -> z^2 + c from z, or -1 for a point that stays (it belongs to the filled set).
int EscapeCount(std::complex<double> z, std::complex<double> c) {
    constexpr int kLimit = 200;
    for (int n = 0; n < kLimit; ++n) {
        if (std::norm(z) > 16) {
            return n;
        }
        z = z * z + c;
    }
    return -1;
}

QColor Mix(const QColor& a, const QColor& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

// A filled Julia set (the "rabbit", c = -0.123 + 0.745i) on a dark tile, each pixel the mean of
// 4 x 4 samples.
QImage DrawApplicationIcon(int side) {
    const std::complex<double> c(-0.123, 0.745);
    const double span = 3.0;
    const QColor deep(0x14, 0x1c, 0x26);
    constexpr int kSamples = 4;
    QImage set(side, side, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            double r = 0, g = 0, b = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = (x + (sx + 0.5) / kSamples) / side - 0.5;
                    const double py = (y + (sy + 0.5) / kSamples) / side - 0.5;
                    const int n = EscapeCount({px * span, -py * span}, c);
                    const QColor colour =
                        n < 0 ? kPaper : Mix(deep, kAccent, std::pow(n / 24.0, 0.6));
                    r += colour.redF();
                    g += colour.greenF();
                    b += colour.blueF();
                }
            }
            const double count = kSamples * kSamples;
            set.setPixelColor(x, y, QColor::fromRgbF(r / count, g / count, b / count));
        }
    }

    QImage image = NewPicture(side);
    QPainter painter(&image);
    StartPainter(painter);
    const qreal scale = side / 64.0;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(1, 1, side - 2, side - 2), 10 * scale, 10 * scale);
    painter.setClipPath(tile);
    painter.drawImage(0, 0, set);
    painter.setClipping(false);
    painter.setPen(InkPen(2 * scale));
    painter.drawPath(tile);
    return image;
}

// ---- Cursors, 32 x 32, 1 bit with mask -----------------------------------------------------

// A cursor is drawn as two layers of pixels: the black strokes and the white inner areas. The
// mask adds a one-pixel white border around everything (neighbours along the diagonals too).
struct CursorLayers {
    std::array<bool, 32 * 32> black{};
    std::array<bool, 32 * 32> white{};
};

using PixelShape = std::function<bool(int, int)>;

bool At(const std::array<bool, 32 * 32>& layer, int x, int y) {
    return x >= 0 && y >= 0 && x < 32 && y < 32 && layer[y * 32 + x];
}

void Paint(std::array<bool, 32 * 32>& layer, const PixelShape& shape) {
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (shape(x, y)) {
                layer[y * 32 + x] = true;
            }
        }
    }
}

// Shapes in pixel coordinates: a pixel belongs to a shape when its index (x, y) does.
PixelShape Bar(int left, int top, int right, int bottom) {
    return [=](int x, int y) { return x >= left && x <= right && y >= top && y <= bottom; };
}

PixelShape Disc(double cx, double cy, double radius) {
    return [=](int x, int y) { return std::hypot(x - cx, y - cy) <= radius; };
}

PixelShape Ring(double cx, double cy, double inner, double outer) {
    return [=](int x, int y) {
        const double d = std::hypot(x - cx, y - cy);
        return d >= inner && d <= outer;
    };
}

PixelShape Stick(QPointF a, QPointF b, double radius) {
    return [=](int x, int y) {
        const QPointF ab = b - a;
        const QPointF ap = QPointF(x, y) - a;
        const double t =
            std::clamp(QPointF::dotProduct(ap, ab) / QPointF::dotProduct(ab, ab), 0.0, 1.0);
        const QPointF nearest = a + ab * t;
        return std::hypot(x - nearest.x(), y - nearest.y()) <= radius;
    };
}

PixelShape Union(std::vector<PixelShape> shapes) {
    return [=](int x, int y) {
        return std::any_of(shapes.begin(), shapes.end(),
                           [&](const PixelShape& s) { return s(x, y); });
    };
}

// The pixels of a shape that touch (side by side) a pixel outside it.
PixelShape Border(PixelShape shape) {
    return [=](int x, int y) {
        return shape(x, y) &&
               (!shape(x - 1, y) || !shape(x + 1, y) || !shape(x, y - 1) || !shape(x, y + 1));
    };
}

PixelShape Without(PixelShape shape, PixelShape hole) {
    return [=](int x, int y) { return shape(x, y) && !hole(x, y); };
}

// A shape drawn as a black border around a white inside.
void PaintOutlined(CursorLayers& layers, const PixelShape& shape) {
    Paint(layers.white, shape);
    Paint(layers.black, Border(shape));
}

CursorLayers DrawLupaCursor(QPoint lens) {
    CursorLayers layers;
    Paint(layers.black, Ring(lens.x(), lens.y(), 5.5, 7.4));
    Paint(layers.black, Stick(QPointF(lens) + QPointF(6, 6), QPointF(lens) + QPointF(14, 14), 1.7));
    return layers;
}

// Four bars of the given thickness (an odd number) and length around an empty square centre.
CursorLayers DrawBarCross(QPoint centre, int thickness, int length, int gap) {
    CursorLayers layers;
    const int cx = centre.x();
    const int cy = centre.y();
    const int half = thickness / 2;
    Paint(layers.black, Bar(cx - half, cy - gap - length, cx + half, cy - gap - 1));
    Paint(layers.black, Bar(cx - half, cy + gap + 1, cx + half, cy + gap + length));
    Paint(layers.black, Bar(cx - gap - length, cy - half, cx - gap - 1, cy + half));
    Paint(layers.black, Bar(cx + gap + 1, cy - half, cx + gap + length, cy + half));
    return layers;
}

CursorLayers DrawKoefCursor(QPoint centre) {
    CursorLayers layers;
    const int cx = centre.x();
    const int cy = centre.y();
    const PixelShape opening = [=](int x, int y) { return x - cx > std::abs(y - cy); };
    Paint(layers.black, Without(Ring(cx, cy, 5.5, 7.4), opening));
    Paint(layers.black, Bar(cx, cy - 13, cx, cy - 10));
    Paint(layers.black, Bar(cx, cy + 10, cx, cy + 13));
    Paint(layers.black, Bar(cx - 13, cy, cx - 10, cy));
    Paint(layers.black, Bar(cx + 10, cy, cx + 13, cy));
    return layers;
}

// A bar with its corner pixels cut off.
PixelShape RoundedBar(int left, int top, int right, int bottom) {
    return [=](int x, int y) {
        const bool corner = (x == left || x == right) && (y == top || y == bottom);
        return Bar(left, top, right, bottom)(x, y) && !corner;
    };
}

// Four fingers five pixels wide that share their borders, a thumb to the left, a palm with cut
// lower corners; the hot spot sits where the middle fingers meet the palm.
CursorLayers DrawHandCursor(QPoint spot) {
    const int ox = spot.x() - 16;
    const int oy = spot.y() - 16;
    const std::vector<PixelShape> fingers{
        RoundedBar(ox + 9, oy + 6, ox + 13, oy + 16),
        RoundedBar(ox + 13, oy + 3, ox + 17, oy + 16),
        RoundedBar(ox + 17, oy + 4, ox + 21, oy + 16),
        RoundedBar(ox + 21, oy + 7, ox + 25, oy + 16),
        Stick(QPointF(ox + 10, oy + 20), QPointF(ox + 5.5, oy + 14.5), 2.6),  // thumb
    };
    const PixelShape palm = Without(Bar(ox + 9, oy + 13, ox + 25, oy + 28), [=](int x, int y) {
        const int fromBottom = oy + 28 - y;
        return fromBottom < 3 && (x - (ox + 9) < 3 - fromBottom || (ox + 25) - x < 3 - fromBottom);
    });
    std::vector<PixelShape> parts = fingers;
    parts.push_back(palm);

    CursorLayers layers;
    PaintOutlined(layers, Union(parts));
    for (const PixelShape& finger : fingers) {
        Paint(layers.black, Without(Border(finger), palm));
    }
    return layers;
}

// A solid star with points 14 pixels from the centre and its waist at (3, 3) from it, made the
// same on all four sides by folding every pixel into one half of one point.
CursorLayers DrawStarCursor(QPoint centre) {
    constexpr double kTip = 14;
    constexpr double kWaist = 3;
    const PixelShape star = [=](int x, int y) {
        const double along = std::max(std::abs(x - centre.x()), std::abs(y - centre.y()));
        const double across = std::min(std::abs(x - centre.x()), std::abs(y - centre.y()));
        return along <= kWaist || across <= kWaist * (kTip - along) / (kTip - kWaist) + 1e-9;
    };
    // The centre pixel is left white to aim with.
    const PixelShape middle = Bar(centre.x(), centre.y(), centre.x(), centre.y());
    CursorLayers layers;
    Paint(layers.black, Without(star, middle));
    Paint(layers.white, middle);
    return layers;
}

// The slide show wants a cursor that stays out of the way of the picture: a round black dot
// five pixels across in its white border, centred on the hot spot.
CursorLayers DrawSlideCursor(QPoint centre) {
    CursorLayers layers;
    Paint(layers.black, Disc(centre.x(), centre.y(), 2));
    return layers;
}

CursorLayers DrawCursor(ProgramCursor cursor) {
    const QPoint spot = CursorHotSpot(cursor);
    switch (cursor) {
        case ProgramCursor::Lupa:
            return DrawLupaCursor(spot);
        case ProgramCursor::Centr:
            return DrawBarCross(spot, 3, 8, 4);
        case ProgramCursor::Smoll:
            return DrawBarCross(spot, 1, 4, 2);
        case ProgramCursor::Koef:
            return DrawKoefCursor(spot);
        case ProgramCursor::OpenHand:
            return DrawHandCursor(spot);
        case ProgramCursor::ToFrom:
            return DrawStarCursor(spot);
        case ProgramCursor::Slide:
            return DrawSlideCursor(spot);
    }
    return {};
}

// A 1-bit picture in which the set pixels are black.
QImage MonoImage(const std::function<bool(int, int)>& set) {
    QImage image(32, 32, QImage::Format_Mono);
    image.setColorCount(2);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            image.setPixel(x, y, set(x, y) ? 1 : 0);
        }
    }
    return image;
}

QImage CursorBitmap(const CursorLayers& layers) {
    return MonoImage([&](int x, int y) { return At(layers.black, x, y); });
}

QImage CursorMask(const CursorLayers& layers) {
    return MonoImage([&](int x, int y) {
        if (At(layers.white, x, y)) {
            return true;
        }
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (At(layers.black, x + dx, y + dy)) {
                    return true;
                }
            }
        }
        return false;
    });
}

// ---- Writing -------------------------------------------------------------------------------

bool Save(const QImage& image, const QString& folder, const QString& file) {
    const QString path = folder + QLatin1Char('/') + file;
    if (!QDir().mkpath(QFileInfo(path).path())) {
        std::fprintf(stderr, "Не удалось создать папку для %s\n", qPrintable(path));
        return false;
    }
    const QImage stored = image.depth() == 1 ? image : image.convertToFormat(QImage::Format_ARGB32);
    if (!stored.save(path, "PNG")) {
        std::fprintf(stderr, "Не удалось записать %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool DrawAll(const QString& folder) {
    bool ok = true;
    for (ToolPictureId id : kToolPictures) {
        ok = Save(DrawToolPicture(id), folder, ToolPictureFile(id)) && ok;
    }
    for (AnimationPictureId id : kAnimationPictures) {
        ok = Save(DrawAnimationPicture(id), folder, AnimationPictureFile(id)) && ok;
    }
    for (int index = 0; index < kMenuIconCount; ++index) {
        ok = Save(DrawMenuIcon(index), folder, MenuIconFile(index)) && ok;
    }
    for (int side : kApplicationIconSides) {
        ok = Save(DrawApplicationIcon(side), folder, ApplicationIconFile(side)) && ok;
    }
    for (ProgramCursor cursor : kProgramCursors) {
        const CursorLayers layers = DrawCursor(cursor);
        ok = Save(CursorBitmap(layers), folder, CursorBitmapFile(cursor)) && ok;
        ok = Save(CursorMask(layers), folder, CursorMaskFile(cursor)) && ok;
    }
    return ok;
}

// ---- Desktop icons -------------------------------------------------------------------------
// The application icon for the desktop: PNG renderings of the icon above at the sizes icon
// themes ask for, and a scalable version drawn as vector shapes. The scalable one traces, for
// each escape count k, the region of points that have not escaped after k steps, and fills
// these nested regions from the outside in with the colours of the raster icon.

constexpr std::array kDesktopIconSides{16, 32, 48, 64, 128, 256};
constexpr const char* kDesktopIconName = "org.example.Ombrilo";

constexpr double kSvgSide = 64.0;       // the SVG's own units, as the 64-pixel raster icon
constexpr int kSvgGrid = 160;           // sample points across the traced square
constexpr int kSvgBands = 24;           // escape counts with a colour of their own
constexpr int kSvgSetSteps = 96;        // steps a point must stay to count as part of the set
constexpr double kSvgTolerance = 0.05;  // how far a simplified outline may stray, in SVG units

using SvgPoint = std::complex<double>;
using Loop = std::vector<SvgPoint>;

// Largest log(|z_j|^2 / 16) over the first `steps` iterates: negative exactly where the point
// has not escaped after `steps` steps, and smooth enough to place outlines between samples.
double EscapeMargin(std::complex<double> z, std::complex<double> c, int steps) {
    double margin = -1e9;
    for (int j = 0; j < steps; ++j) {
        const double norm = std::norm(z);
        margin = std::max(margin, std::log(std::max(norm, 1e-300) / 16.0));
        if (norm > 1e6) {
            break;
        }
        z = z * z + c;
    }
    return margin;
}

// Outlines of {margin < 0} on a grid of samples (marching squares). The outermost ring of
// samples counts as outside, so that every outline closes.
std::vector<Loop> TraceRegion(const std::vector<double>& field, int n, double origin, double step) {
    auto at = [&](int i, int j) { return field[static_cast<std::size_t>(j) * n + i]; };
    auto point = [&](int i, int j) { return SvgPoint(origin + i * step, origin + j * step); };
    // Crossing point of the edge with id (2 * (j * n + i) + vertical).
    auto crossing = [&](int id) {
        const int vertex = id / 2;
        const int i = vertex % n;
        const int j = vertex / n;
        const int i2 = i + (id % 2 == 0 ? 1 : 0);
        const int j2 = j + (id % 2 == 0 ? 0 : 1);
        const double a = at(i, j);
        const double b = at(i2, j2);
        const double t = a / (a - b);
        return point(i, j) + (point(i2, j2) - point(i, j)) * t;
    };
    std::vector<std::array<int, 2>> links(static_cast<std::size_t>(2 * n * n), {-1, -1});
    auto link = [&](int a, int b) {
        for (auto [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
            auto& slot = links[static_cast<std::size_t>(from)];
            (slot[0] < 0 ? slot[0] : slot[1]) = to;
        }
    };
    for (int j = 0; j + 1 < n; ++j) {
        for (int i = 0; i + 1 < n; ++i) {
            const bool in0 = at(i, j) < 0, in1 = at(i + 1, j) < 0;
            const bool in2 = at(i + 1, j + 1) < 0, in3 = at(i, j + 1) < 0;
            const int bottom = 2 * (j * n + i), top = 2 * ((j + 1) * n + i);
            const int left = 2 * (j * n + i) + 1, right = 2 * (j * n + i + 1) + 1;
            const int index = in0 | (in1 << 1) | (in2 << 2) | (in3 << 3);
            const bool centreIn = at(i, j) + at(i + 1, j) + at(i + 1, j + 1) + at(i, j + 1) < 0;
            switch (index) {
                case 1:
                case 14:
                    link(left, bottom);
                    break;
                case 2:
                case 13:
                    link(bottom, right);
                    break;
                case 3:
                case 12:
                    link(left, right);
                    break;
                case 4:
                case 11:
                    link(right, top);
                    break;
                case 6:
                case 9:
                    link(bottom, top);
                    break;
                case 7:
                case 8:
                    link(left, top);
                    break;
                case 5:
                case 10:
                    if ((index == 5) == centreIn) {
                        link(bottom, right);
                        link(top, left);
                    } else {
                        link(left, bottom);
                        link(right, top);
                    }
                    break;
                default:
                    break;
            }
        }
    }
    std::vector<Loop> loops;
    std::vector<bool> used(links.size(), false);
    for (std::size_t start = 0; start < links.size(); ++start) {
        if (used[start] || links[start][0] < 0) {
            continue;
        }
        Loop loop;
        int previous = -1;
        int current = static_cast<int>(start);
        while (!used[static_cast<std::size_t>(current)]) {
            used[static_cast<std::size_t>(current)] = true;
            loop.push_back(crossing(current));
            const auto& next = links[static_cast<std::size_t>(current)];
            const int following = next[0] != previous ? next[0] : next[1];
            previous = current;
            current = following;
        }
        loops.push_back(std::move(loop));
    }
    return loops;
}

double DistanceToLine(SvgPoint p, SvgPoint a, SvgPoint b) {
    const SvgPoint d = b - a;
    const double length = std::abs(d);
    if (length == 0) {
        return std::abs(p - a);
    }
    return std::abs((std::conj(d) * (p - a)).imag()) / length;
}

// Drops the points an outline can do without: a point stays only where leaving it out would
// move some skipped point more than the tolerance.
Loop Simplified(const Loop& loop) {
    Loop kept{loop.front()};
    std::size_t anchor = 0;
    for (std::size_t i = 1; i + 1 < loop.size(); ++i) {
        for (std::size_t k = anchor + 1; k <= i; ++k) {
            if (DistanceToLine(loop[k], loop[anchor], loop[i + 1]) > kSvgTolerance) {
                kept.push_back(loop[i]);
                anchor = i;
                break;
            }
        }
    }
    return kept;
}

QString PathData(const std::vector<Loop>& loops) {
    QString data;
    for (const Loop& loop : loops) {
        const Loop points = Simplified(loop);
        if (points.size() < 3) {
            continue;
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            data += QString(i == 0 ? "M%1 %2" : "L%1 %2")
                        .arg(points[i].real(), 0, 'f', 2)
                        .arg(points[i].imag(), 0, 'f', 2);
        }
        data += "Z";
    }
    return data;
}

QString SvgColour(const QColor& colour) {
    return colour.name(QColor::HexRgb);
}

// The same picture as DrawApplicationIcon, as outlines in a 64 x 64 square.
QString DrawScalableIcon() {
    const std::complex<double> c(-0.123, 0.745);
    const double span = 3.0;
    const QColor deep(0x14, 0x1c, 0x26);
    // Samples from one unit outside the tile to one unit beyond it, plus the outside ring.
    const double step = (kSvgSide + 2.0) / (kSvgGrid - 3);
    const double origin = -1.0 - step;
    auto plane = [&](int i, int j) {
        const double x = origin + i * step, y = origin + j * step;
        return std::complex<double>((x / kSvgSide - 0.5) * span, -(y / kSvgSide - 0.5) * span);
    };
    auto region = [&](int steps) {
        std::vector<double> field(static_cast<std::size_t>(kSvgGrid) * kSvgGrid, 1.0);
        for (int j = 1; j + 1 < kSvgGrid; ++j) {
            for (int i = 1; i + 1 < kSvgGrid; ++i) {
                field[static_cast<std::size_t>(j) * kSvgGrid + i] =
                    EscapeMargin(plane(i, j), c, steps);
            }
        }
        return PathData(TraceRegion(field, kSvgGrid, origin, step));
    };

    QString svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg +=
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
        "viewBox=\"0 0 64 64\">\n";
    svg +=
        "  <defs><clipPath id=\"tile\"><rect x=\"1\" y=\"1\" width=\"62\" height=\"62\" "
        "rx=\"10\"/></clipPath></defs>\n";
    svg += "  <g clip-path=\"url(#tile)\" fill-rule=\"evenodd\">\n";
    svg += QString("    <rect width=\"64\" height=\"64\" fill=\"%1\"/>\n").arg(SvgColour(deep));
    for (int k = 1; k <= kSvgBands; ++k) {
        const QColor colour = Mix(deep, kAccent, std::pow(k / 24.0, 0.6));
        svg += QString("    <path fill=\"%1\" d=\"%2\"/>\n").arg(SvgColour(colour), region(k));
    }
    svg +=
        QString("    <path fill=\"%1\" d=\"%2\"/>\n").arg(SvgColour(kPaper), region(kSvgSetSteps));
    svg += "  </g>\n";
    svg += QString(
               "  <rect x=\"1\" y=\"1\" width=\"62\" height=\"62\" rx=\"10\" fill=\"none\" "
               "stroke=\"%1\" stroke-width=\"2\"/>\n")
               .arg(SvgColour(kInk));
    svg += "</svg>\n";
    return svg;
}

bool DrawDesktopIcons(const QString& folder) {
    bool ok = true;
    for (int side : kDesktopIconSides) {
        ok = Save(DrawApplicationIcon(side), folder,
                  QString("%1/%2.png").arg(side).arg(kDesktopIconName)) &&
             ok;
    }
    QFile svg(folder + "/" + kDesktopIconName + ".svg");
    if (!svg.open(QIODevice::WriteOnly) || svg.write(DrawScalableIcon().toUtf8()) < 0) {
        std::fprintf(stderr, "Не удалось записать %s\n", qPrintable(svg.fileName()));
        ok = false;
    }
    return ok;
}

// ---- Contact sheet -------------------------------------------------------------------------

constexpr int kZoom = 4;
constexpr int kGap = 12;
const QColor kButtonFace(0xf0, 0xf0, 0xf0);
const QColor kDarkBack(0x20, 0x20, 0x24);

struct SheetItem {
    QString label;
    QImage picture;
    QColor back;
    QPoint hotSpot{-1, -1};  // marked in red when set
};

// A cursor as the screen shows it: black, white or the background.
QImage ComposeCursor(const QImage& bitmap, const QImage& mask, const QImage& background) {
    QImage out = background.scaled(32, 32).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 32 && !bitmap.isNull() && !mask.isNull(); ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool opaque = qGray(mask.pixel(x, y)) < 128;
            const bool black = qGray(bitmap.pixel(x, y)) < 128;
            if (opaque) {
                out.setPixel(x, y, black ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            } else if (black) {
                out.setPixel(x, y, qRgb(255, 0, 255));  // undefined on screen: must not occur
            }
        }
    }
    return out;
}

QImage Plain(const QColor& colour) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// The side of the squares of a row: its largest picture, enlarged, with a margin.
int CellSide(const std::vector<SheetItem>& items) {
    int side = 24;
    for (const SheetItem& item : items) {
        side = std::max({side, item.picture.width(), item.picture.height()});
    }
    return side * kZoom + 8;
}

constexpr int kTitleHeight = 26;
constexpr int kLabelHeight = 18;

int RowHeight(const std::vector<SheetItem>& items) {
    return kTitleHeight + CellSide(items) + kLabelHeight + kGap;
}

int RowWidth(const std::vector<SheetItem>& items) {
    return static_cast<int>(items.size()) * (CellSide(items) + kGap) + kGap;
}

void DrawSheetRow(QPainter& painter, int top, const QString& title,
                  const std::vector<SheetItem>& items) {
    const int cell = CellSide(items);
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 12, QFont::Bold));
    painter.drawText(QPoint(kGap, top + 18), title);
    int left = kGap;
    for (const SheetItem& item : items) {
        const QRect box(left, top + kTitleHeight, cell, cell);
        painter.fillRect(box, item.back);
        if (!item.picture.isNull()) {
            const QSize size = item.picture.size() * kZoom;
            const QPoint at(box.left() + (cell - size.width()) / 2,
                            box.top() + (cell - size.height()) / 2);
            painter.drawImage(QRect(at, size), item.picture);
            if (item.hotSpot.x() >= 0) {
                painter.setPen(QPen(Qt::red, 1));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(QRect(at + item.hotSpot * kZoom, QSize(kZoom - 1, kZoom - 1)));
            }
        } else {
            painter.setPen(Qt::red);
            painter.drawText(box, Qt::AlignCenter, QStringLiteral("нет файла"));
        }
        painter.setPen(Qt::black);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
        painter.drawText(QRect(left, box.bottom() + 2, cell, kLabelHeight), Qt::AlignCenter,
                         item.label);
        left += cell + kGap;
    }
}

QImage Load(const QString& folder, const QString& file) {
    return QImage(folder + QLatin1Char('/') + file);
}

bool DrawSheet(const QString& folder, const QString& out) {
    std::vector<std::pair<QString, std::vector<SheetItem>>> rows;

    std::vector<SheetItem> tools, toolsDark;
    for (ToolPictureId id : kToolPictures) {
        const QString file = ToolPictureFile(id);
        const QString name = QFileInfo(file).baseName();
        tools.push_back({name, Load(folder, file), kButtonFace});
        toolsDark.push_back({name, Load(folder, file), kDarkBack});
    }
    rows.push_back({QStringLiteral("Кнопки инструментов"), tools});
    rows.push_back({QStringLiteral("Кнопки инструментов на тёмном"), toolsDark});

    std::vector<SheetItem> small;
    for (AnimationPictureId id : kAnimationPictures) {
        const QString file = AnimationPictureFile(id);
        small.push_back({QFileInfo(file).baseName(), Load(folder, file), kButtonFace});
    }
    for (int index = 0; index < kMenuIconCount; ++index) {
        const QString file = MenuIconFile(index);
        small.push_back({QString::number(index) + QLatin1Char(' ') + QFileInfo(file).baseName(),
                         Load(folder, file), kButtonFace});
    }
    rows.push_back({QStringLiteral("Анимация и меню"), small});

    const QImage scenery = Load(folder, ApplicationIconFile(64));
    const std::array<std::pair<QString, QImage>, 3> backs{
        {{QStringLiteral("на светлом"), Plain(kButtonFace)},
         {QStringLiteral("на тёмном"), Plain(kDarkBack)},
         {QStringLiteral("на картинке"), scenery.isNull() ? Plain(Qt::gray) : scenery}}};
    std::vector<SheetItem> bitmaps;
    for (ProgramCursor cursor : kProgramCursors) {
        const QImage bitmap = Load(folder, CursorBitmapFile(cursor));
        const QImage mask = Load(folder, CursorMaskFile(cursor));
        bitmaps.push_back({CursorName(cursor) + QStringLiteral(" / маска"), bitmap, Qt::white});
        bitmaps.push_back({QString(), mask, Qt::white});
    }
    for (const auto& [where, back] : backs) {
        std::vector<SheetItem> shown;
        for (ProgramCursor cursor : kProgramCursors) {
            const QImage bitmap = Load(folder, CursorBitmapFile(cursor));
            const QImage mask = Load(folder, CursorMaskFile(cursor));
            shown.push_back({CursorName(cursor), ComposeCursor(bitmap, mask, back), Qt::white,
                             CursorHotSpot(cursor)});
        }
        rows.push_back({QStringLiteral("Курсоры ") + where, shown});
    }
    std::vector<SheetItem> firstHalf(bitmaps.begin(), bitmaps.begin() + 8);
    std::vector<SheetItem> secondHalf(bitmaps.begin() + 8, bitmaps.end());
    rows.push_back({QStringLiteral("Файлы курсоров: картинка, маска"), firstHalf});
    rows.push_back({QString(), secondHalf});

    std::vector<SheetItem> icons;
    for (int side : kApplicationIconSides) {
        const QString file = ApplicationIconFile(side);
        icons.push_back({QFileInfo(file).baseName(), Load(folder, file), kButtonFace});
        icons.push_back({QFileInfo(file).baseName(), Load(folder, file), kDarkBack});
    }
    rows.push_back({QStringLiteral("Значок программы"), icons});

    int width = 0;
    int height = 0;
    for (const auto& row : rows) {
        width = std::max(width, RowWidth(row.second));
        height += RowHeight(row.second);
    }
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(QColor(0xc8, 0xcc, 0xd0));
    QPainter painter(&sheet);
    int top = 0;
    for (const auto& [title, items] : rows) {
        DrawSheetRow(painter, top, title, items);
        top += RowHeight(items);
    }
    painter.end();
    if (!sheet.save(out, "PNG")) {
        std::fprintf(stderr, "Не удалось записать %s\n", qPrintable(out));
        return false;
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "Использование:\n"
                 "  ombrilo-draw-pictures ПАПКА\n"
                 "  ombrilo-draw-pictures --sheet ПАПКА ФАЙЛ.png\n"
                 "  ombrilo-draw-pictures --desktop-icons ПАПКА\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // The pictures are drawn off screen; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && !args[0].startsWith(QLatin1Char('-'))) {
        return DrawAll(args[0]) ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == QLatin1String("--desktop-icons")) {
        return DrawDesktopIcons(args[1]) ? 0 : 1;
    }
    if (args.size() == 3 && args[0] == QLatin1String("--sheet")) {
        return DrawSheet(args[1], args[2]) ? 0 : 1;
    }
    return Usage();
}
