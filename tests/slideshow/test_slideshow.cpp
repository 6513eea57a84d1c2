#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "formats/fractal_file.h"
#include "formats/settings_file.h"
#include "slideshow/U_jlfoptions.h"
#include "slideshow/U_slideform.h"
#include "support/test_files.h"
#include "ui/image_view.h"
#include "ui/mainform_fixture.h"

using namespace ombrilo;

namespace {

FractalRecord Record(std::int32_t type, double cx, std::int32_t paletteType, std::int32_t r0) {
    FractalRecord r;
    r.FractalType = type;
    r.PaletteType = paletteType;
    r.Cx = cx;
    r.Cy = -0.25;
    r.CenterX = 0.5f;
    r.CenterY = -0.125f;
    r.ViewWidth = 2.5f;
    r.R0 = r0;
    r.G0 = 3;
    r.B0 = 4;
    r.R1 = 5;
    r.G1 = 6;
    r.B1 = 7;
    return r;
}

bool PutFractal(const QString& folder, const QString& name, const FractalRecord& record) {
    QDir().mkpath(folder);
    return testfiles::WriteBytes(folder + "/" + name,
                                 testfiles::ToBytes(EncodeFractalRecord(record)));
}

void PressKey(QWidget* widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

}  // namespace

class TestSlideShow : public QObject {
    Q_OBJECT

private slots:
    void UnknownTypeShowsTheLabelFortyPercentDown() {
        MainFormFixture f;
        QVERIFY(f.Start());
        QVERIFY(PutFractal(Probe(*f.form).FractalsFolder, "two.frc", Record(2, 0.1, 1, 9)));
        bool checked = false;
        f.dialogs.onExec = [&](QDialog& dialog) {
            [&] {
                auto& slides = static_cast<TSlideForm&>(dialog);
                QVERIFY(f.form->SlideShowRunning());
                QVERIFY(slides.Mes->isVisibleTo(&slides));
                QVERIFY(!slides.Slide->isVisibleTo(&slides));
                QCOMPARE(slides.Mes->text(), QString("( Неизвестный тип фрактала )"));
                QCOMPARE(slides.Mes->y(), static_cast<int>(slides.height() * 0.4));
                QCOMPARE(slides.Mes->x(), (slides.width() - slides.Mes->width()) / 2);
                QCOMPARE(slides.Timer1->interval(), 4000);
                QCOMPARE(slides.palette().color(QPalette::Window), QColor(0, 128, 128));
                // A click on the label does nothing; one on the teal closes the show.
                QTest::mouseClick(slides.Mes, Qt::LeftButton);
                QVERIFY(slides.isVisible());
                QTest::mouseClick(&slides, Qt::LeftButton, {}, QPoint(5, 5));
                QVERIFY(!slides.isVisible());
                QVERIFY(!f.form->SlideShowRunning());  // ended with the window's closing
                checked = true;
            }();
            return int(QDialog::Rejected);
        };
        f.form->action("SlideShow")->trigger();
        QVERIFY(checked);
        QVERIFY(!f.form->SlideShowRunning());
        QCOMPARE(f.dialogs.execs, QStringList{"SlideForm"});
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(QDir::currentPath(), QDir(Probe(*f.form).FractalsFolder).canonicalPath());
    }

    void ShiftRestoresTheStateExactly() {
        MainFormFixture f;
        QVERIFY(f.Start());
        const QString folder = Probe(*f.form).FractalsFolder;
        QVERIFY(PutFractal(folder, "a.frc", Record(1, 0.3, 2, 100)));
        QVERIFY(PutFractal(folder, "b.frc", Record(1, -0.7, 5, 200)));
        Probe(*f.form).LoadPaletteWithFractal = true;
        Probe(*f.form).SlideDelay = 1;
        const FractalState before = f.form->state;
        int slides = 0;
        f.dialogs.onExec = [&](QDialog& dialog) {
            [&] {
                auto& form = static_cast<TSlideForm&>(dialog);
                QVERIFY(form.Slide->isVisibleTo(&form));
                QCOMPARE(form.Slide->image().size(),
                         QSize(form.ScreenWidth(), form.ScreenHeight()));
                QCOMPARE(f.form->state.Cx, 0.3);
                QCOMPARE(f.form->state.palette.R0, 100);
                form.Timer1Timer();  // the next slide at once
                QCOMPARE(f.form->state.Cx, -0.7);
                QCOMPARE(f.form->state.palette.PaletteType, 5);
                // The slide is the state's picture at the screen's size.
                QImage expected(form.ScreenWidth(), form.ScreenHeight(), QImage::Format_RGB32);
                RenderView(f.form->state,
                           ScreenGeometry(f.form->state, expected.width(), expected.height()),
                           Frame32{expected.bits(), expected.width(), expected.height(),
                                   expected.bytesPerLine()});
                QImage shown = form.SlideBitmap();
                shown.setDevicePixelRatio(1.0);
                QCOMPARE(shown.convertToFormat(QImage::Format_RGB888),
                         expected.convertToFormat(QImage::Format_RGB888));
                slides = form.SlidesShown();
                f.form->state.PointColor = nullptr;  // the show's end resets the point function
                PressKey(&form, Qt::Key_Shift);
            }();
            return int(QDialog::Rejected);
        };
        f.form->action("SlideShow")->trigger();
        QCOMPARE(slides, 2);
        const FractalState& after = f.form->state;
        QCOMPARE(after.Cx, before.Cx);
        QCOMPARE(after.Cy, before.Cy);
        QCOMPARE(after.CenterX, before.CenterX);
        QCOMPARE(after.CenterY, before.CenterY);
        QCOMPARE(after.ViewWidth, before.ViewWidth);
        QCOMPARE(after.MainStep, before.MainStep);
        QCOMPARE(after.FractalType, before.FractalType);
        QVERIFY(after.palette == before.palette);
        QVERIFY(after.colorTable == before.colorTable);
        QVERIFY(after.PointColor == &Z2PointColor);
        QVERIFY(!f.form->SlideShowRunning());
    }

    void NextSlideWaitsTheDelayAfterDrawing() {
        MainFormFixture f;
        QVERIFY(f.Start());
        QVERIFY(PutFractal(Probe(*f.form).FractalsFolder, "a.frc", Record(1, 0.3, 1, 1)));
        Probe(*f.form).SlideDelay = 1;
        int shownAfterWait = 0;
        f.dialogs.onExec = [&](QDialog& dialog) {
            [&] {
                auto& form = static_cast<TSlideForm&>(dialog);
                QCOMPARE(form.Timer1->interval(), 1000);
                QVERIFY(form.Timer1->isActive());
                QVERIFY(QTest::qWaitFor([&] { return form.SlidesShown() == 2; }, 5000));
                QVERIFY(form.Timer1->isActive());
                shownAfterWait = form.SlidesShown();
                form.close();
            }();
            return int(QDialog::Rejected);
        };
        f.form->action("SlideShow")->trigger();
        QCOMPARE(shownAfterWait, 2);
    }

    void UnreadableEntryShowsTheReadersMessage() {
        MainFormFixture f;
        QVERIFY(f.Start());
        QVERIFY(QDir().mkpath(Probe(*f.form).FractalsFolder + "/x.frc"));
        f.dialogs.onExec = [&](QDialog& dialog) {
            [&] {
                auto& form = static_cast<TSlideForm&>(dialog);
                QVERIFY(form.Mes->isVisibleTo(&form));  // no file was applied in this run
                PressKey(&form, Qt::Key_A);
            }();
            return int(QDialog::Rejected);
        };
        f.form->action("SlideShow")->trigger();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].kind, MessageKind::Plain);
        QCOMPARE(f.dialogs.messages[0].text, QString("Файл не удается открыть для чтения."));
    }

    void RefusedWhileAFrameIsComputed() {
        MainFormFixture f;
        QVERIFY(f.Start());
        QVERIFY(PutFractal(Probe(*f.form).FractalsFolder, "a.frc", Record(1, 0.3, 1, 1)));
        f.thread().SetHoldForTests(true);
        f.form->RequestFrame();
        QVERIFY(QTest::qWaitFor([&] { return f.thread().HeldForTests(); }, 5000));
        f.form->action("SlideShow")->trigger();
        QVERIFY(f.dialogs.execs.isEmpty());
        QVERIFY(f.dialogs.messages.isEmpty());
        f.thread().SetHoldForTests(false);
        QVERIFY(f.WaitIdle());
        // And while a show runs: the command started from the show opens no second one.
        f.dialogs.onExec = [&](QDialog&) {
            f.form->action("SlideShow")->trigger();
            return int(QDialog::Rejected);
        };
        f.form->action("SlideShow")->trigger();
        QCOMPARE(f.dialogs.execs, QStringList{"SlideForm"});
        QVERIFY(!f.form->SlideShowRunning());
    }

    void EmptyFolderIsReported() {
        MainFormFixture f;
        QVERIFY(f.Start());
        f.form->action("SlideShow")->trigger();
        QVERIFY(f.dialogs.execs.isEmpty());
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].kind, MessageKind::Warning);
        QCOMPARE(f.dialogs.messages[0].caption, QString("Ошибка"));
        QCOMPARE(f.dialogs.messages[0].text,
                 QString("Не возможно выполнить команду.\n Нет ни одного фрактала для показа."));
        QVERIFY(!f.form->SlideShowRunning());
    }

    void OptionsCancelKeepsTheDelay() {
        MainFormFixture f;
        QVERIFY(f.Start());
        f.form->action("Options")->trigger();
        QVERIFY(f.form->OptionsShown());
        TJLFOptions* options = f.form->OptionsWindow();
        QVERIFY(options != nullptr);
        QCOMPARE(options->pos(), QPoint(f.form->x() + 130, f.form->y() + 49));
        QCOMPARE(options->TimeInterval->text(), QString("4"));
        QVERIFY(options->RadioButton1->isChecked());
        options->BTInterval->setValue(25);
        QCOMPARE(options->BTInterval->value(), 20);
        QCOMPARE(options->TimeInterval->text(), QString("20"));
        QTest::mouseClick(options->CanBut, Qt::LeftButton);
        QVERIFY(!f.form->OptionsShown());
        QCOMPARE(Probe(*f.form).SlideDelay, 4);
        QCOMPARE(Probe(*f.form).SlideOrder, std::uint8_t{0});
        QTRY_VERIFY(f.form->OptionsWindow().isNull());
    }

    void OptionsOkStoresAndReachesSettingsFile() {
        MainFormFixture f;
        QVERIFY(f.Start());
        f.form->action("Options")->trigger();
        TJLFOptions* options = f.form->OptionsWindow();
        QVERIFY(options != nullptr);
        options->BTInterval->setValue(20);
        options->RadioButton2->setChecked(true);
        QTest::mouseClick(options->ButOkey, Qt::LeftButton);
        QCOMPARE(Probe(*f.form).SlideDelay, 20);
        QCOMPARE(Probe(*f.form).SlideOrder, std::uint8_t{1});
        QVERIFY(!f.form->OptionsShown());
        // The command toggles the window.
        f.form->action("Options")->trigger();
        QVERIFY(f.form->OptionsShown());
        QCOMPARE(f.form->OptionsWindow()->TimeInterval->text(), QString("20"));
        QVERIFY(f.form->OptionsWindow()->RadioButton2->isChecked());
        f.form->action("Options")->trigger();
        QVERIFY(!f.form->OptionsShown());

        const QString settings = f.FilePath("settings.dat");
        f.form->close();
        const QByteArray bytes = testfiles::ReadBytes(settings);
        QCOMPARE(bytes.size(), 45);
        const Settings stored = DecodeSettings(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), 45), Settings());
        QCOMPARE(stored.SlideDelay, 20);
        QCOMPARE(stored.SlideOrder, std::uint8_t{1});
    }
};

QTEST_MAIN(TestSlideShow)
#include "test_slideshow.moc"
