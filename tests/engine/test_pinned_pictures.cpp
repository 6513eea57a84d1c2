// Pins a handful of pictures by their SHA-256, so that a change of compiler, flags or libm that
// moves a single byte fails here loudly, even where the fast and the straightforward renderers
// would still agree with each other.
//
// The digests were made once by this test itself: its pictures come from the straightforward
// reference loops (RenderViewReference, RenderExportReference, DrawPaletteStrip), built with
// g++ 12 on Debian 12 x86-64 (-ffp-contract=off, no fast math); the fast renderers gave the same
// bytes (the main view and the full screen are checked through both below). To make them anew
// after a deliberate change of the pictures, empty a digest and take the value the failure shows.
#include <QCryptographicHash>
#include <QtTest>

#include <vector>

#include "engine/export_render.h"
#include "engine/render.h"
#include "formats/fractal_file.h"

using namespace ombrilo;

namespace {

QByteArray Digest(const std::vector<std::uint8_t>& bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
               QCryptographicHash::Sha256)
        .toHex();
}

using Renderer = void (*)(const FractalState&, const ViewGeometry&, const Frame32&);

QByteArray ViewDigest(const FractalState& state, const ViewGeometry& view, int width, int height,
                      Renderer render) {
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(width) * height * 4, 0);
    render(state, view, Frame32{bits.data(), width, height, width * 4});
    return Digest(bits);
}

QByteArray ExportDigest(const FractalState& state, std::int64_t width, std::int64_t height,
                        int detail) {
    const ExportView view = ExportViewOf(state);
    const auto geometry =
        MakeExportGeometry(state.ViewWidth, width, height, *ExportLimitForDetail(detail));
    std::vector<std::uint8_t> rows;
    RenderExportReference(
        view, state.colorTable, geometry,
        [&](std::int64_t, const std::uint8_t* bgr) {
            rows.insert(rows.end(), bgr, bgr + width * 3);
            return true;
        },
        [](std::int32_t) { return true; });
    return Digest(rows);
}

FractalState Gallery(const char* name, const Palette& palette) {
    FractalState state = MakeStartState();
    const QString path = qEnvironmentVariable("OMBRILO_SOURCE_DIR") + "/data/fractals/" + name;
    if (!ReadFractalFile(QFile::encodeName(path).toStdString(), state, true).fractalAccepted) {
        qFatal("gallery fractal %s missing", name);
    }
    state.palette = palette;
    BuildColorTable(state.palette, state.colorTable);
    return state;
}

}  // namespace

class TestPinnedPictures : public QObject {
    Q_OBJECT

private slots:
    void startViews() {
        const FractalState state = MakeStartState();
        const QByteArray main = "f38f2210afc2c301f9a8447aa884813c5aa9276815cdfe2e8308ec02c6dc8e5a";
        QCOMPARE(ViewDigest(state, MainViewGeometry(state), kMainViewWidth, kMainViewHeight,
                            &RenderViewReference),
                 main);
        QCOMPARE(ViewDigest(state, MainViewGeometry(state), kMainViewWidth, kMainViewHeight,
                            &RenderView),
                 main);
        QCOMPARE(ViewDigest(state, OverviewGeometry(), kOverviewWidth, kOverviewHeight,
                            &RenderViewReference),
                 QByteArray("51ff3c666b474d384fe0492f773028536f71363dc73572cbe8ea7e3eb5bd0884"));
    }

    void fullScreenOfGalleryFractal() {
        FractalState state = MakeStartState();
        const QString path =
            qEnvironmentVariable("OMBRILO_SOURCE_DIR") + "/data/fractals/seahorse_tail.frc";
        QVERIFY(
            ReadFractalFile(QFile::encodeName(path).toStdString(), state, true).paletteAccepted);
        const QByteArray screen =
            "9b28f7a1e781e4e5fb3424e70b0b63f28dc780a737f41f1c69e8fa0b721a3cb8";
        for (Renderer render : {&RenderViewReference, &RenderView}) {
            QCOMPARE(ViewDigest(state, ScreenGeometry(state, 1920, 1080), 1920, 1080, render),
                     screen);
        }
    }

    void exportsWithSinePalettes() {
        QCOMPARE(ExportDigest(Gallery("rabbit.frc", {2, 10, 40, 90, 12, 18, 30}), 320, 240, 256),
                 QByteArray("975263939ba0cd70d6c961cd0015d138b79ae35db1c38e90ccd9118d25224730"));
        QCOMPARE(ExportDigest(Gallery("edge.frc", {5, 90, 30, 70, 8, 26, 14}), 160, 120, 8192),
                 QByteArray("528f789c786fecefef88b3f125da1e829373ad7901729ef3c78fd3eca42a4e10"));
    }

    void paletteStrip() {
        ColorTable table;
        BuildColorTable({7, 95, 70, 10, 14, 24, 40}, table);
        std::vector<std::uint8_t> bits(529 * 15 * 4, 0);
        DrawPaletteStrip(table, Frame32{bits.data(), 529, 15, 529 * 4});
        QCOMPARE(Digest(bits),
                 QByteArray("fa2b06347151c15bb2d44c128426a3727a2b595aafbaf3b1e9153bea3e13ba78"));
    }
};

QTEST_GUILESS_MAIN(TestPinnedPictures)
#include "test_pinned_pictures.moc"
