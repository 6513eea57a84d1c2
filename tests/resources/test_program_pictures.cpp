#include <QtTest>

#include <QBitmap>
#include <QCursor>
#include <QDirIterator>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSet>

#include <functional>
#include <vector>

#include "resources/program_pictures.h"
#include "support/test_files.h"

using namespace ombrilo;

Q_DECLARE_METATYPE(ombrilo::ProgramCursor)
Q_DECLARE_METATYPE(ombrilo::ToolPictureId)
Q_DECLARE_METATYPE(ombrilo::AnimationPictureId)

namespace {

using PixelMap = std::function<QPoint(QPoint)>;

// A pixel of a cursor picture is set when it is black: drawn black in the bitmap, opaque in
// the mask.
bool IsSet(const QImage& image, int x, int y) {
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
           qGray(image.pixel(x, y)) < 128;
}

int SetCount(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += IsSet(image, x, y) ? 1 : 0;
        }
    }
    return count;
}

// Whether moving every pixel by the map gives the same picture (pixels moved off the picture
// must be clear).
bool SymmetricUnder(const QImage& image, const PixelMap& map) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QPoint to = map(QPoint(x, y));
            if (IsSet(image, x, y) != IsSet(image, to.x(), to.y())) {
                return false;
            }
        }
    }
    return true;
}

PixelMap MirrorLeftRight(QPoint spot) {
    return [=](QPoint p) { return QPoint(2 * spot.x() - p.x(), p.y()); };
}

PixelMap MirrorUpDown(QPoint spot) {
    return [=](QPoint p) { return QPoint(p.x(), 2 * spot.y() - p.y()); };
}

PixelMap QuarterTurn(QPoint spot) {
    return [=](QPoint p) {
        return QPoint(spot.x() - (p.y() - spot.y()), spot.y() + (p.x() - spot.x()));
    };
}

PixelMap Diagonal(QPoint spot) {
    return
        [=](QPoint p) { return QPoint(spot.x() + p.y() - spot.y(), spot.y() + p.x() - spot.x()); };
}

// The symmetries each cursor's drawing has around its hot spot: they fail when the hot spot
// is not the centre of the drawing.
std::vector<PixelMap> SymmetriesOf(ProgramCursor cursor) {
    const QPoint spot = CursorHotSpot(cursor);
    switch (cursor) {
        case ProgramCursor::Lupa:  // lens and handle lie along the diagonal through the centre
            return {Diagonal(spot)};
        case ProgramCursor::Koef:  // the C opens to the right
            return {MirrorUpDown(spot)};
        case ProgramCursor::OpenHand:
            return {};
        case ProgramCursor::Centr:
        case ProgramCursor::Smoll:
        case ProgramCursor::ToFrom:
        case ProgramCursor::Slide:
            return {MirrorLeftRight(spot), MirrorUpDown(spot), QuarterTurn(spot)};
    }
    return {};
}

bool IsBlackAndWhiteFile(const QImage& image) {
    if (image.depth() != 1 || image.colorCount() != 2) {
        return false;
    }
    const QSet<QRgb> colours{image.color(0) | 0xff000000u, image.color(1) | 0xff000000u};
    return colours == QSet<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)};
}

int OpaqueCount(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) == 255 ? 1 : 0;
        }
    }
    return count;
}

// The 16 standard colours.
const QSet<QRgb> kSixteenColours{
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

QStringList CatalogFiles() {
    QStringList files;
    for (ProgramCursor cursor : kProgramCursors) {
        files << CursorBitmapFile(cursor) << CursorMaskFile(cursor);
    }
    for (ToolPictureId id : kToolPictures) {
        files << ToolPictureFile(id);
    }
    for (AnimationPictureId id : kAnimationPictures) {
        files << AnimationPictureFile(id);
    }
    for (int index = 0; index < kMenuIconCount; ++index) {
        files << MenuIconFile(index);
    }
    for (int side : kApplicationIconSides) {
        files << ApplicationIconFile(side);
    }
    files.sort();
    return files;
}

const QStringList kPictureFolders{"animation", "app", "buttons", "cursors", "menu"};

QStringList FilesUnder(const QString& root) {
    QStringList files;
    for (const QString& folder : kPictureFolders) {
        QDirIterator it(root + folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << it.next().mid(root.size());
        }
    }
    files.sort();
    return files;
}

}  // namespace

class TestProgramPictures : public QObject {
    Q_OBJECT

private slots:
    void cursorNumbersNamesAndHotSpots() {
        const std::vector<std::tuple<ProgramCursor, int, QString, QPoint>> expected{
            {ProgramCursor::Lupa, 1, "LUPA", {8, 8}},
            {ProgramCursor::Centr, 2, "CENTR", {16, 15}},
            {ProgramCursor::Smoll, 3, "SMOLL", {16, 16}},
            {ProgramCursor::Koef, 4, "KOEF", {15, 15}},
            {ProgramCursor::OpenHand, 5, "OPENHAND", {16, 16}},
            {ProgramCursor::ToFrom, 6, "TOFROM", {16, 16}},
            {ProgramCursor::Slide, 7, "SLIDE", {16, 16}},
        };
        QCOMPARE(kProgramCursors.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const auto& [cursor, number, name, hotSpot] = expected[i];
            QCOMPARE(kProgramCursors[i], cursor);
            QCOMPARE(static_cast<int>(cursor), number);
            QCOMPARE(CursorName(cursor), name);
            QCOMPARE(CursorHotSpot(cursor), hotSpot);
        }
        QCOMPARE(CursorBitmapFile(ProgramCursor::OpenHand), QString("cursors/openhand.png"));
        QCOMPARE(CursorMaskFile(ProgramCursor::OpenHand), QString("cursors/openhand_mask.png"));
    }

    void cursor_data() {
        QTest::addColumn<ProgramCursor>("cursor");
        for (ProgramCursor cursor : kProgramCursors) {
            QTest::newRow(qPrintable(CursorName(cursor))) << cursor;
        }
    }

    void cursor() {
        QFETCH(ProgramCursor, cursor);
        const QCursor made = MakeProgramCursor(cursor);
        QCOMPARE(made.shape(), Qt::BitmapCursor);
        QCOMPARE(made.hotSpot(), CursorHotSpot(cursor));

        const QBitmap bitmap = made.bitmap();
        const QBitmap mask = made.mask();
        QCOMPARE(bitmap.size(), QSize(32, 32));
        QCOMPARE(mask.size(), QSize(32, 32));
        QCOMPARE(bitmap.depth(), 1);
        QCOMPARE(mask.depth(), 1);

        const QImage black = bitmap.toImage();
        const QImage opaque = mask.toImage();
        QVERIFY(SetCount(black) > 0);
        QVERIFY(SetCount(opaque) > SetCount(black));
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                if (!IsSet(black, x, y)) {
                    continue;
                }
                // Every black pixel has opaque neighbours all round: the white border.
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        QVERIFY2(IsSet(opaque, x + dx, y + dy),
                                 qPrintable(QString("no border at %1,%2").arg(x + dx).arg(y + dy)));
                    }
                }
            }
        }
        for (const PixelMap& symmetry : SymmetriesOf(cursor)) {
            QVERIFY(SymmetricUnder(black, symmetry));
            QVERIFY(SymmetricUnder(opaque, symmetry));
        }
    }

    void cursorFilesAreOneBit_data() { cursor_data(); }

    void cursorFilesAreOneBit() {
        QFETCH(ProgramCursor, cursor);
        RegisterProgramPictures();
        for (const QString& file : {CursorBitmapFile(cursor), CursorMaskFile(cursor)}) {
            const QImage image(ResourcePath(file));
            QCOMPARE(image.size(), QSize(32, 32));
            QVERIFY2(IsBlackAndWhiteFile(image), qPrintable(file));
        }
    }

    void cursorsWithAnEmptyCentre() {
        // The point under the mouse stays visible: nothing is drawn on it.
        for (ProgramCursor cursor : {ProgramCursor::Lupa, ProgramCursor::Centr,
                                     ProgramCursor::Smoll, ProgramCursor::Koef}) {
            const QPoint spot = CursorHotSpot(cursor);
            const QImage opaque = MakeProgramCursor(cursor).mask().toImage();
            QVERIFY2(!IsSet(opaque, spot.x(), spot.y()), qPrintable(CursorName(cursor)));
        }
    }

    void unknownCursor() {
        for (int number : {0, 8, -1}) {
            const auto cursor = static_cast<ProgramCursor>(number);
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QString("Неизвестный номер курсора "
                                                                  "программы: %1.")
                                                              .arg(number)));
            QCOMPARE(MakeProgramCursor(cursor).shape(), Qt::ArrowCursor);
            QCOMPARE(CursorHotSpot(cursor), QPoint(0, 0));
            QVERIFY(CursorName(cursor).isEmpty());
            QVERIFY(CursorBitmapFile(cursor).isEmpty());
            QVERIFY(CursorMaskFile(cursor).isEmpty());
        }
    }

    void toolPicture_data() {
        QTest::addColumn<ToolPictureId>("id");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("file");
        QTest::newRow("DefButton") << ToolPictureId::DefButton << QSize(32, 32) << "def_button";
        QTest::newRow("Hand") << ToolPictureId::Hand << QSize(32, 32) << "hand";
        QTest::newRow("Center") << ToolPictureId::Center << QSize(32, 32) << "center";
        QTest::newRow("Lupa") << ToolPictureId::Lupa << QSize(32, 32) << "lupa";
        QTest::newRow("LupaPlus") << ToolPictureId::LupaPlus << QSize(32, 32) << "lupa_plus";
        QTest::newRow("LupaMinus") << ToolPictureId::LupaMinus << QSize(32, 32) << "lupa_minus";
        QTest::newRow("Koef") << ToolPictureId::Koef << QSize(32, 32) << "koef";
        QTest::newRow("ToFrom") << ToolPictureId::ToFrom << QSize(32, 32) << "to_from";
        QTest::newRow("CloseButton") << ToolPictureId::CloseButton << QSize(16, 16) << "close";
    }

    void toolPicture() {
        QFETCH(ToolPictureId, id);
        QFETCH(QSize, size);
        QFETCH(QString, file);
        QCOMPARE(ToolPictureSize(id), size);
        QCOMPARE(ToolPictureFile(id), "buttons/" + file + ".png");
        const QPixmap pixmap = ToolPixmap(id);
        QCOMPARE(pixmap.size(), size);
        QVERIFY(pixmap.hasAlphaChannel());
        // Drawn on a see-through ground: some pixels are fully opaque, at least a third clear.
        const QImage image = pixmap.toImage();
        QVERIFY(OpaqueCount(image) > 0);
        QVERIFY(OpaqueCount(image) < size.width() * size.height() * 2 / 3);
        const QIcon icon = ToolPicture(id);
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(size));
    }

    void toolPicturesAreAllDifferent() {
        for (std::size_t i = 0; i < kToolPictures.size(); ++i) {
            for (std::size_t j = i + 1; j < kToolPictures.size(); ++j) {
                QVERIFY(ToolPixmap(kToolPictures[i]).toImage() !=
                        ToolPixmap(kToolPictures[j]).toImage());
            }
        }
    }

    void unknownToolPicture() {
        const auto id = static_cast<ToolPictureId>(42);
        QVERIFY(ToolPictureSize(id).isEmpty());
        QVERIFY(ToolPictureFile(id).isEmpty());
        QVERIFY(ToolPixmap(id).isNull());
        QVERIFY(ToolPicture(id).isNull());
    }

    void animationPicture_data() {
        QTest::addColumn<AnimationPictureId>("id");
        QTest::addColumn<QString>("file");
        QTest::newRow("Down") << AnimationPictureId::Down << "animation/down.png";
        QTest::newRow("Stop") << AnimationPictureId::Stop << "animation/stop.png";
        QTest::newRow("Up") << AnimationPictureId::Up << "animation/up.png";
    }

    void animationPicture() {
        QFETCH(AnimationPictureId, id);
        QFETCH(QString, file);
        QCOMPARE(AnimationPictureFile(id), file);
        const QPixmap pixmap = AnimationPixmap(id);
        QCOMPARE(pixmap.size(), QSize(16, 16));
        QVERIFY(!AnimationPicture(id).isNull());
        // Sixteen-colour pictures: every pixel is clear or one of the standard colours.
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb pixel = image.pixel(x, y);
                QVERIFY(qAlpha(pixel) == 0 ||
                        (qAlpha(pixel) == 255 && kSixteenColours.contains(pixel)));
            }
        }
        QVERIFY(OpaqueCount(image) > 0);
    }

    void animationArrowsMirrorEachOther() {
        const QImage down = AnimationPixmap(AnimationPictureId::Down).toImage();
        const QImage up = AnimationPixmap(AnimationPictureId::Up).toImage();
        QVERIFY(down != up);
        // The same outline, pointing the other way.
        const QImage mirrored = down.mirrored(true, false);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                QCOMPARE(qAlpha(mirrored.pixel(x, y)), qAlpha(up.pixel(x, y)));
            }
        }
        QVERIFY(AnimationPixmap(static_cast<AnimationPictureId>(3)).isNull());
        QVERIFY(AnimationPictureFile(static_cast<AnimationPictureId>(-1)).isEmpty());
    }

    void menuIcons() {
        const QStringList files{"menu/save_image.png",   "menu/save_fractal.png",
                                "menu/open_fractal.png", "menu/close_app.png",
                                "menu/full_screen.png",  "menu/description.png"};
        QCOMPARE(kMenuIconCount, 6);
        for (int index = 0; index < kMenuIconCount; ++index) {
            QCOMPARE(MenuIconFile(index), files[index]);
            QCOMPARE(MenuPixmap(index).size(), QSize(16, 16));
            const QIcon icon = MenuIcon(index);
            QVERIFY(!icon.isNull());
            QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        }
        QCOMPARE(MenuIcon(MenuIconId::Descript).pixmap(16, 16).toImage(), MenuPixmap(5).toImage());
        QCOMPARE(MenuIcon(MenuIconId::SaveImage).pixmap(16, 16).toImage(), MenuPixmap(0).toImage());
        for (int index : {-1, 6, 1000}) {
            QVERIFY(MenuIconFile(index).isEmpty());
            QVERIFY(MenuPixmap(index).isNull());
            QVERIFY(MenuIcon(index).isNull());
        }
    }

    void applicationIcon() {
        const QIcon icon = ApplicationIcon();
        QVERIFY(!icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        QVERIFY(sizes.contains(QSize(32, 32)));
        QVERIFY(sizes.contains(QSize(64, 64)));
        QCOMPARE(ApplicationPixmap(32).size(), QSize(32, 32));
        QCOMPARE(ApplicationPixmap(64).size(), QSize(64, 64));
        QCOMPARE(ApplicationIconFile(64), QString("app/ombrilo_64.png"));
        for (int side : {0, 16, 48, -64}) {
            QVERIFY(ApplicationIconFile(side).isEmpty());
            QVERIFY(ApplicationPixmap(side).isNull());
        }
    }

    // The program carries exactly the files of the repository's picture folders, byte for byte,
    // and each is one that the catalogue names.
    void resourcesMatchTheRepository() {
        const QString source = qEnvironmentVariable("OMBRILO_SOURCE_DIR");
        QVERIFY(!source.isEmpty());
        RegisterProgramPictures();
        const QStringList onDisk = FilesUnder(source + "/resources/");
        const QStringList inProgram = FilesUnder(":/");
        QCOMPARE(inProgram, CatalogFiles());
        QCOMPARE(onDisk, CatalogFiles());
        for (const QString& file : inProgram) {
            QCOMPARE(testfiles::ReadBytes(ResourcePath(file)),
                     testfiles::ReadBytes(source + "/resources/" + file));
        }
    }
};

QTEST_MAIN(TestProgramPictures)
#include "test_program_pictures.moc"
