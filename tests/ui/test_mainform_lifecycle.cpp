#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QtTest>

#include "formats/settings_file.h"
#include "mainform_fixture.h"
#include "support/test_files.h"
#include "ui/U_fullscreen.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

QString SettingsPath(const MainFormFixture& f) {
    return f.FilePath("settings.dat");
}

Settings ReadSettings(const MainFormFixture& f) {
    const QByteArray bytes = ReadBytes(SettingsPath(f));
    return DecodeSettings(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    static_cast<std::size_t>(bytes.size())),
                          Settings{});
}

TFullScreenForm* FullScreenWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* full = qobject_cast<TFullScreenForm*>(w); full != nullptr && full->isVisible()) {
            return full;
        }
    }
    return nullptr;
}

}  // namespace

class TestMainFormLifecycle : public QObject {
    Q_OBJECT

private slots:
    void noSettingsNoChangeNoFile() {
        MainFormFixture f;
        QVERIFY(f.Start());
        // Centred on the screen.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        // Centred by the window's own size (the frame is not known before it is shown).
        QCOMPARE(f.form->x(), (screen.width() - f.form->width()) / 2);
        f.form->close();
        QVERIFY(!QFileInfo::exists(SettingsPath(f)));
    }

    void movedWindowWritesSettings() {
        MainFormFixture f;
        QVERIFY(f.Start());
        f.form->move(f.form->x() + 17, f.form->y() + 5);
        const QPoint moved = f.form->pos();
        f.form->close();
        QCOMPARE(ReadBytes(SettingsPath(f)).size(), 45);
        const Settings s = ReadSettings(f);
        QCOMPARE(s.SlideDelay, 4);
        QCOMPARE(s.CloseAfterSave, 0);
        QCOMPARE(QPoint(s.Left, s.Top), moved);
        QVERIFY(s.palette == Palette{});
        QCOMPARE(int(s.SlideOrder), 0);
    }

    void storedSettingsAreUsedAndKept() {
        MainFormFixture f;
        Settings stored = DefaultSettings();
        stored.Left = 40;
        stored.Top = 30;
        stored.palette = {6, 10, 20, 30, 4, 5, 6};
        stored.SlideDelay = 9;
        stored.SlideOrder = 1;
        QVERIFY(WriteSettingsFile(Path(SettingsPath(f)), stored));
        QVERIFY(f.Start());
        QCOMPARE(f.form->pos(), QPoint(40, 30));
        QVERIFY(f.form->state.palette == stored.palette);
        QCOMPARE(Controls(*f.form).TypeOfPalette->currentIndex(), 5);
        QCOMPARE(Controls(*f.form).TrackBarG0->value(), 20);
        QCOMPARE(Probe(*f.form).SlideDelay, 9);
        const QByteArray before = ReadBytes(SettingsPath(f));
        const QDateTime written = QFileInfo(SettingsPath(f)).lastModified();
        QTest::qWait(20);
        f.form->close();
        QCOMPARE(ReadBytes(SettingsPath(f)), before);
        QCOMPARE(QFileInfo(SettingsPath(f)).lastModified(), written);
    }

    void repairedPaletteTypeIsWrittenBack() {
        MainFormFixture f;
        Settings stored = DefaultSettings();
        stored.Left = 10;
        stored.Top = 10;
        stored.palette.PaletteType = 9;
        QVERIFY(WriteSettingsFile(Path(SettingsPath(f)), stored));
        QVERIFY(f.Start());
        QCOMPARE(f.form->state.palette.PaletteType, 1);
        QCOMPARE(Controls(*f.form).TypeOfPalette->currentText(), QString("LLL"));
        f.form->close();
        QCOMPARE(ReadSettings(f).palette.PaletteType, 1);
    }

    void windowOffEveryScreenComesBack() {
        MainFormFixture f;
        Settings stored = DefaultSettings();
        stored.Left = 30000;
        stored.Top = -30000;
        QVERIFY(WriteSettingsFile(Path(SettingsPath(f)), stored));
        QVERIFY(f.Start());
        QVERIFY(QGuiApplication::primaryScreen()->geometry().intersects(f.form->frameGeometry()));
        f.form->close();
        const Settings s = ReadSettings(f);
        QCOMPARE(QPoint(s.Left, s.Top), f.form->pos());
    }

    void settingsFollowTheStartFolder() {
        MainFormFixture f;
        QVERIFY(f.Start());
        f.form->move(f.form->x() + 3, f.form->y());
        QTemporaryDir elsewhere;
        QDir::setCurrent(elsewhere.path());
        f.form->close();
        QVERIFY(QFileInfo::exists(SettingsPath(f)));
        QVERIFY(!QFileInfo::exists(elsewhere.filePath("settings.dat")));
    }

    void fullScreen() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QTest::keyClick(&w, Qt::Key_F);
        QVERIFY(w.FullScreenShown());
        TFullScreenForm* full = FullScreenWindow();
        QVERIFY(full != nullptr);
        QScreen* screen = w.screen();
        const qreal ratio = screen->devicePixelRatio();
        QCOMPARE(full->ScreenWidth(), qRound(screen->geometry().width() * ratio));
        QCOMPARE(full->image().width(), full->ScreenWidth());
        QCOMPARE(Controls(w).FullScreenButton->text(), QString("Wait..."));
        // The picture is the engine's screen-sized picture.
        const FractalState& s = w.state;
        QImage expected(full->ScreenWidth(), full->ScreenHeight(), QImage::Format_RGB32);
        RenderView(s, ScreenGeometry(s, expected.width(), expected.height()),
                   {expected.bits(), expected.width(), expected.height(), expected.bytesPerLine()});
        for (int y : {0, expected.height() / 2, expected.height() - 1}) {
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(full->image().constScanLine(y)),
                                expected.width() * 4),
                     QByteArray(reinterpret_cast<const char*>(expected.constScanLine(y)),
                                expected.width() * 4));
        }
        // A second F does not open another window; a right click does not close it.
        QTest::mouseClick(full, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
        QVERIFY(FullScreenWindow() == full);
        // Shift alone closes it.
        QTest::keyClick(full, Qt::Key_Shift);
        QTRY_VERIFY(FullScreenWindow() == nullptr);
        QVERIFY(!w.FullScreenShown());
        QCOMPARE(Controls(w).FullScreenButton->text(), QString("Full Screen"));
        // A left click closes it too.
        Controls(w).FullScreenButton->click();
        full = FullScreenWindow();
        QVERIFY(full != nullptr);
        QTest::mouseClick(full, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTRY_VERIFY(FullScreenWindow() == nullptr);
    }

    void fullScreenRefusedWhileBusy() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        f.thread().SetHoldForTests(true);
        QTest::keyClick(&w, Qt::Key_Plus);
        QTRY_VERIFY(f.thread().HeldForTests());
        QTest::keyClick(&w, Qt::Key_F);
        QVERIFY(!w.FullScreenShown());
        QVERIFY(FullScreenWindow() == nullptr);
        QCOMPARE(Controls(w).FullScreenButton->text(), QString("Full Screen"));
        f.thread().SetHoldForTests(false);
        QVERIFY(f.WaitIdle());
    }

    void shortcutsKeepWorkingOverFullScreen() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        Controls(w).FullScreenButton->click();
        TFullScreenForm* full = FullScreenWindow();
        QVERIFY(full != nullptr);
        QApplication::setActiveWindow(full);
        QTest::keyClick(full, Qt::Key_L);  // a command key: selects the zoom tool
        QCOMPARE(Probe(w).MouseTool, ZoomTool);
        QVERIFY(FullScreenWindow() == full);
        QTest::keyClick(full, Qt::Key_X);
        QTRY_VERIFY(FullScreenWindow() == nullptr);
    }

    void destroyedWithFullScreenOpen() {
        MainFormFixture f;
        QVERIFY(f.Start());
        Controls(*f.form).FullScreenButton->click();
        QVERIFY(FullScreenWindow() != nullptr);
        f.form.reset();
        QVERIFY(FullScreenWindow() == nullptr);
    }

    void closeWhileAFrameIsHeld() {
        MainFormFixture f;
        QVERIFY(f.Start());
        f.thread().SetHoldForTests(true);
        QTest::keyClick(f.form.get(), Qt::Key_Plus);
        QTRY_VERIFY(f.thread().HeldForTests());
        f.form->close();
        f.form.reset();  // stops the thread held inside its frame: no hang, no crash
    }
};

QTEST_MAIN(TestMainFormLifecycle)
#include "test_mainform_lifecycle.moc"
