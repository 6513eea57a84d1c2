#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

#include <sstream>
#include <thread>

#include "export/U_sizeandext.h"
#include "export_expected.h"
#include "formats/fractal_file.h"
#include "formats/png_file.h"
#include "formats/settings_file.h"
#include "support/png_decode.h"
#include "support/test_files.h"
#include "tools/render_cli.h"
#include "ui/application.h"
#include "ui/mainform_fixture.h"
#include "ui/open_file.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

constexpr int kWaitMs = 60000;

// A main window with the export command at hand.
struct ExportFixture {
    MainFormFixture f;
    QPointer<TSizeAndExt> window;

    ~ExportFixture() { TRollImage::SetWriterFactoryForTests(nullptr); }

    bool Start() { return f.Start(); }

    // Runs SaveImage with the save dialog answering `chosen`.
    bool Open(const QString& chosen) {
        f.dialogs.savePath = chosen;
        f.form->action("SaveImage")->trigger();
        window = f.form->findChild<TSizeAndExt*>();
        return window != nullptr && window->isVisible();
    }

    // Types a width in pixels (the height follows as 3/4 of it).
    void TypeWidth(const QString& text) {
        window->ImageWidth->selectAll();
        QTest::keyClick(window->ImageWidth, Qt::Key_Delete);
        QTest::keyClicks(window->ImageWidth, text);
    }

    // Presses "Ok!" and waits until the export thread has ended; the result, or -1.
    int Export() {
        QSignalSpy ended(window.data(), &TSizeAndExt::exportEnded);
        window->ButtonOk->click();
        if (!ended.wait(kWaitMs)) {
            return -1;
        }
        return ended.first().first().toInt();
    }

    QByteArray Expected(const FractalState& s, std::int64_t w, std::int64_t h, int limit = 254) {
        return ExpectedBmp({s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth}, s.colorTable, w, h,
                           limit);
    }

    QStringList Errors() const {
        QStringList texts;
        for (const auto& m : f.dialogs.messages) {
            texts << m.caption + "|" + m.text;
        }
        return texts;
    }
};

bool SizeControlsEnabled(TSizeAndExt* w) {
    return w->ImageWidth->isEnabled() && w->ImageHeight->isEnabled() &&
           w->Iterations->isEnabled() && w->Units->isEnabled() && w->ButtonOk->isEnabled();
}

}  // namespace

class TestExportWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { qApp->setApplicationDisplayName(kApplicationTitle); }

    void opensWithTheScreenSizeAndItsControls() {
        ExportFixture x;
        QVERIFY(x.Start());
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), QSize(1024, 768));
        QVERIFY(x.Open(x.f.FilePath("pic.bmp")));
        TSizeAndExt* w = x.window;
        QCOMPARE(x.f.dialogs.saveDefaults, QStringList{"new_image"});
        QCOMPARE(w->objectName(), QString("SizeAndExt"));
        QCOMPARE(w->windowTitle(), QString("Расчет и сохранение изображения"));
        QCOMPARE(w->size(), QSize(353, 318));
        QVERIFY(!w->isModal());
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(x.f.form->ExportDialogShown());
        QCOMPARE(w->ImageWidth->text(), QString("1024"));
        QCOMPARE(w->ImageHeight->text(), QString("768"));
        QCOMPARE(w->GroupBox1->title(), QString("Размер файла: 2,36 Mb"));
        QCOMPARE(w->WidthPixels, 1024);
        QCOMPARE(w->HeightPixels, 768);
        QCOMPARE(w->Units->currentText(), QString("пиксели"));
        QCOMPARE(w->Units->count(), 5);
        QCOMPARE(w->Units->itemText(4), QString("метры"));
        QCOMPARE(w->Permission->currentText(), QString("300 dpi"));
        QVERIFY(!w->Permission->isEnabled());
        QCOMPARE(w->Iterations->currentText(), QString("256"));
        QCOMPARE(w->Iterations->itemText(5), QString("8192"));
        QCOMPARE(w->PrF->currentText(), QString("Низкий"));
        QCOMPARE(w->PrF->itemText(3), QString("Критический"));
        QCOMPARE(w->Itog->text(), QString("Выполнено:"));
        QCOMPARE(w->CGauge1->value(), 0);
        QCOMPARE(w->CGauge1->maximum(), 100);
        QCOMPARE(w->CanBut->text(), QString("Отмена"));
        QCOMPARE(w->ButtonOk->text(), QString("Ok!"));
        QVERIFY(w->ButtonOk->isEnabled());
        QVERIFY(!w->IsCloseAfter->isChecked());
        QCOMPARE(w->ExportPath, x.f.FilePath("pic.bmp"));
        QCOMPARE(w->CGauge1->statusTip(), QString(" Показывает % выполненной работы"));
        QCOMPARE(w->SaveFName->statusTip(), QString(" Выбранный каталог и имя файла "));
        QCOMPARE(w->Timer1->interval(), 100);
        // Centred over the main view, 50 pixels above the middle of the main window.
        const QRect main = x.f.form->frameGeometry();
        QCOMPARE(w->x(), int(main.left() + 46 + (530 - 353) * 0.5 + 2));
        QCOMPARE(w->y(), int(main.top() + (main.height() - 318) * 0.5 - 50));
        // The main window stays usable.
        QVERIFY(x.f.form->isEnabled());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void cancelledSaveDialogOpensNothing() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(!x.Open(QString()));
        QVERIFY(!x.f.form->ExportDialogShown());
    }

    void closeAfterSaveComesFromTheMainWindow() {
        ExportFixture x;
        QVERIFY(x.Start());
        Probe(*x.f.form).CloseAfterSave = 1;
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        QVERIFY(x.window->IsCloseAfter->isChecked());
        x.window->IsCloseAfter->setChecked(false);
        x.window->close();
        QCOMPARE(Probe(*x.f.form).CloseAfterSave, 0);
        QVERIFY(!x.f.form->ExportDialogShown());
    }

    void sizeFieldsKeepFourToThree() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        x.TypeWidth("400");
        QCOMPARE(x.window->ImageHeight->text(), QString("300"));
        QCOMPARE(x.window->GroupBox1->title(), QString("Размер файла: 360 Kb"));
        x.window->ImageHeight->selectAll();
        QTest::keyClicks(x.window->ImageHeight, "600");
        QCOMPARE(x.window->ImageWidth->text(), QString("800"));
        QCOMPARE(x.window->WidthPixels, 800);
        QCOMPARE(x.window->HeightPixels, 600);
        // Typing stops at four characters.
        x.TypeWidth("123456");
        QCOMPARE(x.window->ImageWidth->text(), QString("1234"));
        QCOMPARE(x.window->ImageHeight->text(), QString("925"));
        QVERIFY(x.f.dialogs.messages.isEmpty());
    }

    void centimetresAt300Dpi() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        x.window->Units->setCurrentIndex(2);
        QVERIFY(x.window->Permission->isEnabled());
        x.TypeWidth("21");
        QCOMPARE(x.window->ImageHeight->text(), QString("15,75"));
        QCOMPARE(x.window->WidthPixels, 2480);
        QCOMPARE(x.window->HeightPixels, 1860);
        QCOMPARE(x.window->GroupBox1->title(), QString("Размер файла: 13,8 Mb"));
        x.window->Permission->setCurrentIndex(0);  // 100 dpi
        QCOMPARE(x.window->WidthPixels, 826);
        QCOMPARE(x.window->HeightPixels, 620);
    }

    void unitsKeepTheNumbersAndPixelsRoundUp() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        x.window->Units->setCurrentIndex(3);  // inches
        QCOMPARE(x.window->ImageWidth->text(), QString("1024"));
        QCOMPARE(x.window->ImageHeight->text(), QString("768"));
        QCOMPARE(x.window->WidthPixels, 1024 * 300);
        QCOMPARE(x.window->HeightPixels, 768 * 300);
        QCOMPARE(x.window->GroupBox1->title(), QString("Размер файла: 212 Gb"));
        x.window->Units->setCurrentIndex(0);
        QCOMPARE(x.window->ImageWidth->text(), QString("1024"));
        QCOMPARE(x.window->WidthPixels, 1024);
        QVERIFY(!x.window->Permission->isEnabled());

        // 10.5 x 7.875 inches: width up to 11 (its height 8.25), the height up to 9, the
        // width following it to 12.
        x.window->Units->setCurrentIndex(3);
        x.TypeWidth("10,5");
        QCOMPARE(x.window->ImageHeight->text(), QString("7,875"));
        x.window->Units->setCurrentIndex(0);
        QCOMPARE(x.window->ImageWidth->text(), QString("12"));
        QCOMPARE(x.window->ImageHeight->text(), QString("9"));
        QCOMPARE(x.window->WidthPixels, 12);
        QCOMPARE(x.window->HeightPixels, 9);
    }

    void emptyWidthIsZeroAndRefused() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        x.TypeWidth("");
        QCOMPARE(x.window->ImageWidth->text(), QString());
        QCOMPARE(x.window->ImageHeight->text(), QString("0"));
        QCOMPARE(x.window->GroupBox1->title(), QString("Размер файла: 0 b"));
        x.window->ButtonOk->click();
        QCOMPARE(x.Errors(), QStringList{"Ошибка ввода:|Ширина или высота равна нулю."});
        QCOMPARE(x.f.dialogs.messages.first().kind, MessageKind::Error);
        QVERIFY(SizeControlsEnabled(x.window));
        QVERIFY(!x.window->ExportThread);
    }

    void aLetterGivesTheMessageOnEachChange() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        x.TypeWidth("12");
        QCOMPARE(x.window->GroupBox1->title(), QString("Размер файла: 324 b"));
        QVERIFY(x.f.dialogs.messages.isEmpty());
        QTest::keyClicks(x.window->ImageWidth, "a");
        QCOMPARE(x.Errors(), QStringList{"Ошибка ввода|Неверный ввод числа"});
        QCOMPARE(x.f.dialogs.messages.first().kind, MessageKind::Error);
        QCOMPARE(x.window->ImageWidth->text(), QString("12a"));
        QCOMPARE(x.window->ImageHeight->text(), QString("9"));
        QCOMPARE(x.window->GroupBox1->title(), QString("Размер файла: 324 b"));
        QTest::keyClick(x.window->ImageWidth, Qt::Key_Backspace);  // "12": a number again
        QTest::keyClicks(x.window->ImageWidth, "b");
        QCOMPARE(x.f.dialogs.messages.size(), 2);
        QCOMPARE(x.window->WidthValue, 12.0f);
    }

    void sizesThatCannotBeExportedAreRefused_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("resolution");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("message");
        const QString small = "Ширина и высота изображения должны быть не меньше одного пикселя.";
        QTest::newRow("half a pixel") << 0 << 2 << "0,5" << small;
        QTest::newRow("negative") << 0 << 2 << "-5" << small;
        QTest::newRow("0.1 mm at 100 dpi") << 1 << 0 << "0,1" << small;
        QTest::newRow("too wide for a side")
            << 0 << 2 << "9E99"
            << "Ширина и высота изображения не могут быть больше 2147483647 пикселей.";
        QTest::newRow("beyond 4 GB") << 3 << 5 << "9999"
                                     << "Изображение слишком велико: файл BMP не может быть "
                                        "больше 4 Гб.";
    }
    void sizesThatCannotBeExportedAreRefused() {
        QFETCH(int, unit);
        QFETCH(int, resolution);
        QFETCH(QString, width);
        QFETCH(QString, message);
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        x.window->Units->setCurrentIndex(unit);
        x.window->Permission->setCurrentIndex(resolution);
        x.window->ImageWidth->setText(width);  // pasted: "-" alone would not be a number
        QVERIFY(x.f.dialogs.messages.isEmpty());
        x.window->ButtonOk->click();
        QCOMPARE(x.Errors(), QStringList{"Ошибка ввода:|" + message});
        QVERIFY(!x.window->ExportThread);
        QVERIFY(SizeControlsEnabled(x.window));
        QCOMPARE(Entries(x.f.folder.path()), QStringList{});
    }

    void saveImageRestoresTheMinimisedWindow() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("a.bmp")));
        x.window->showMinimized();
        QVERIFY(x.window->isMinimized());
        x.f.form->action("SaveImage")->trigger();
        QVERIFY(!x.window->isMinimized());
        QCOMPARE(x.f.dialogs.saveDefaults.size(), 1);
        QCOMPARE(x.f.form->findChildren<TSizeAndExt*>().size(), 1);
    }

    void successWithoutCloseAfter() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("done.bmp")));
        x.TypeWidth("40");
        // The title as the desktop shows it: the caption, then the program's title.
        QString shown;
        connect(x.window, &QWidget::windowTitleChanged, x.window, [&](const QString& title) {
            shown = title + " — " + QGuiApplication::applicationDisplayName();
        });
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        QCOMPARE(ReadBytes(x.f.FilePath("done.bmp")), x.Expected(x.f.form->state, 40, 30));
        TSizeAndExt* w = x.window;
        QCOMPARE(shown, QString("100% Выполнено.  — ") + kApplicationTitle);
        QCOMPARE(w->CGauge1->value(), 100);
        QCOMPARE(w->windowTitle(), QString("100% Выполнено. "));
        QCOMPARE(w->Itog->text(), QString("Файл успешно сохранен."));
        QCOMPARE(w->CanBut->text(), QString("Закрыть"));
        QVERIFY(!w->PrF->isEnabled());
        QVERIFY(!w->ButtonOk->isEnabled());
        QVERIFY(!w->ImageWidth->isEnabled());
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString(kApplicationTitle));
        QTest::qWait(250);
        QVERIFY(x.window);  // stays open
        // Ticking the box after the export closes the window, and the choice is kept.
        w->IsCloseAfter->click();
        QTRY_VERIFY(!x.window);
        QCOMPARE(Probe(*x.f.form).CloseAfterSave, 1);
        QVERIFY(!x.f.form->ExportDialogShown());
        x.f.form->close();
        const QByteArray settings = ReadBytes(x.f.FilePath("settings.dat"));
        QCOMPARE(settings.size(), 45);
        const Settings stored = DecodeSettings(
            std::span(reinterpret_cast<const std::uint8_t*>(settings.constData()), 45), Settings{});
        QCOMPARE(stored.CloseAfterSave, 1);
    }

    void successWithCloseAfterClosesSoonAfter() {
        ExportFixture x;
        QVERIFY(x.Start());
        Probe(*x.f.form).CloseAfterSave = 1;
        QVERIFY(x.Open(x.f.FilePath("done.bmp")));
        x.TypeWidth("40");
        x.window->Iterations->setCurrentIndex(5);
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        // Timer1 may already have fired under load; either way the window closes by itself
        // without offering "Закрыть".
        if (x.window) {
            QVERIFY(x.window->ExportSaved);
            QCOMPARE(x.window->CanBut->text(), QString("Отмена"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!x.window, 10000);
        QCOMPARE(ReadBytes(x.f.FilePath("done.bmp")), x.Expected(x.f.form->state, 40, 30, 8190));
        QCOMPARE(Probe(*x.f.form).CloseAfterSave, 1);
        QVERIFY(!x.f.form->ExportDialogShown());
    }

    void theExportKeepsThePictureOfTheOpening() {
        ExportFixture x;
        QVERIFY(x.Start());
        const FractalState opened = x.f.form->state;
        QVERIFY(x.Open(x.f.FilePath("old.bmp")));
        // The main window moves on before "Ok!".
        QVERIFY(x.f.form->RenderIdle());
        x.f.form->state.CenterX = 0.25f;
        x.f.form->state.ViewWidth = 1.5f;
        x.f.form->state.MainStep = MainStepFor(1.5f);
        x.f.form->state.Cx = -0.8;
        x.f.form->state.colorTable.Entry(0)[0] = 77;
        x.f.form->RequestFrame();
        x.TypeWidth("44");
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        const QByteArray file = ReadBytes(x.f.FilePath("old.bmp"));
        QCOMPARE(file, x.Expected(opened, 44, 33));
        QVERIFY(file != x.Expected(x.f.form->state, 44, 33));
        QVERIFY(x.f.WaitIdle());
    }

    // The window and ombrilo-render draw the same view into the same bytes.
    void theFileEqualsTheCommandLineRenderers() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.f.WaitIdle());
        FractalState& s = x.f.form->state;
        s.Cx = -0.7458;
        s.Cy = 0.1125;
        s.CenterX = -0.1381f;
        s.CenterY = 0.6507f;
        s.ViewWidth = 0.0123f;
        s.MainStep = MainStepFor(s.ViewWidth);
        s.palette = Palette{5, 12, 40, 7, 20, 9, 31};
        BuildColorTable(s.palette, s.colorTable);
        const QString frc = x.f.FilePath("view.frc");
        QVERIFY(WriteFractalFile(frc.toStdString(), s));
        QVERIFY(x.Open(x.f.FilePath("window.bmp")));
        x.TypeWidth("96");
        x.window->Iterations->setCurrentIndex(2);
        QCOMPARE(x.window->Iterations->currentText(), QString("1024"));
        QCOMPARE(x.Export(), int(ExportJobResult::Written));

        const QString cli = x.f.FilePath("cli.bmp");
        std::ostringstream out, err;
        QCOMPARE(RunRenderCli({"--quiet", "--size", "96x72", "--detail", "1024", frc.toStdString(),
                               cli.toStdString()},
                              out, err),
                 kExitSuccess);
        const QByteArray file = ReadBytes(x.f.FilePath("window.bmp"));
        QCOMPARE(file.size(), 54 + 96 * 72 * 3);
        QCOMPARE(file, ReadBytes(cli));
        QVERIFY(file != x.Expected(MakeStartState(), 96, 72, 1022));
    }

    void dotsCutTheFileNameOnly() {
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(QDir(x.f.folder.path()).mkdir("a.b"));
        QVERIFY(x.Open(x.f.FilePath("a.b/my.pic.bmp")));
        QCOMPARE(x.window->ExportPath, x.f.FilePath("a.b/my.bmp"));
        x.TypeWidth("8");
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        QCOMPARE(Entries(x.f.FilePath("a.b")), QStringList{"my.bmp"});
    }

    void longPathsAreShortenedToTheLabel() {
        ExportFixture x;
        QVERIFY(x.Start());
        QString folder = x.f.folder.path();
        for (int i = 0; i < 6; ++i) {
            folder += "/folder_with_a_long_name_" + QString::number(i);
        }
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(x.Open(folder + "/picture.bmp"));
        const QString shown = x.window->SaveFName->text();
        QVERIFY(shown.endsWith("/.../folder_with_a_long_name_5/picture.bmp") ||
                shown.endsWith(".../picture.bmp") || shown == "picture.bmp");
        QVERIFY(QFontMetrics(x.window->SaveFName->font()).horizontalAdvance(shown) <= 277);
        QCOMPARE(x.window->ExportPath, folder + "/picture.bmp");
    }

    void progressEvery21Rows_data() {
        QTest::addColumn<QString>("width");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("percents");
        QTest::newRow("20 rows: none") << "27" << 20 << QList<int>{};
        QTest::newRow("21 rows: one at 95") << "28" << 21 << QList<int>{95};
        QTest::newRow("63 rows") << "84" << 63 << QList<int>{31, 65, 98};
    }
    void progressEvery21Rows() {
        QFETCH(QString, width);
        QFETCH(int, rows);
        QFETCH(QList<int>, percents);
        ExportFixture x;
        QVERIFY(x.Start());
        QVERIFY(x.Open(x.f.FilePath("r.bmp")));
        x.TypeWidth(width);
        QCOMPARE(x.window->HeightPixels, rows);
        QList<int> shown;
        QStringList titles;
        connect(x.window.data(), &TSizeAndExt::progressShown, [&](int percent) {
            shown << percent;
            titles << QGuiApplication::applicationDisplayName();
        });
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        QCOMPARE(shown, percents);
        if (!percents.isEmpty()) {
            QCOMPARE(titles.first(), QString::number(percents.first()) + "% Выполнено..");
        }
        QCOMPARE(x.window->CGauge1->value(), 100);
        QCOMPARE(ReadBytes(x.f.FilePath("r.bmp")).size(),
                 54 + (width.toInt() * 3 + 3) / 4 * 4 * rows);
    }

    // Closing during a large export: the report the thread waits for still runs, the thread stops
    // at its next report point, and no file is written.
    void cancelDuringALargeExport() {
        RowGate gate(42);
        ExportFixture x;
        QVERIFY(x.Start());
        const QString path = x.f.FilePath("big.bmp");
        QVERIFY(WriteBytes(path, "older picture"));
        const auto releaseOnFailure = qScopeGuard([&] { gate.Release(); });
        TRollImage::SetWriterFactoryForTests(TestWriters(&gate));
        QVERIFY(x.Open(path));
        x.TypeWidth("2667");
        QCOMPARE(x.window->HeightPixels, 2000);
        QList<int> shown;
        connect(x.window.data(), &TSizeAndExt::progressShown, [&](int p) { shown << p; });
        x.window->ButtonOk->click();
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString("0% Выполнено.."));
        QTRY_VERIFY_WITH_TIMEOUT(gate.held, kWaitMs);
        QCOMPARE(shown, (QList<int>{1, 2}));  // after rows 20 and 41
        // Row 42 goes on to the report after row 62 while this thread does not listen.
        gate.Release();
        QTest::qSleep(300);
        x.window->CanBut->click();
        QCOMPARE(shown, (QList<int>{1, 2, 3}));  // 62 x 100 / 2000 still shown
        QCOMPARE(gate.lastRow.load(), 83);       // stopped at the next report point
        QVERIFY(!x.window->ExportRunning);
        QTRY_VERIFY(!x.window);
        QCOMPARE(ReadBytes(path), QByteArray("older picture"));
        QCOMPARE(Entries(x.f.folder.path()), QStringList{"big.bmp"});
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString(kApplicationTitle));
        QVERIFY(!x.f.form->ExportDialogShown());
    }

    void keysAreSwallowedWhileTheExportRuns() {
        RowGate gate(10);
        ExportFixture x;
        QVERIFY(x.Start());
        const auto releaseOnFailure = qScopeGuard([&] { gate.Release(); });
        TRollImage::SetWriterFactoryForTests(TestWriters(&gate));
        QVERIFY(x.Open(x.f.FilePath("k.bmp")));
        QApplication::setActiveWindow(x.window);
        QVERIFY(QTest::qWaitForWindowActive(x.window));
        QSignalSpy command(x.f.form->action("SaveImage"), &QAction::triggered);
        QTest::keyClick(x.window, Qt::Key_F7);  // a command key reaches the main window
        QCOMPARE(command.size(), 1);
        x.window->PrF->setCurrentIndex(2);
        x.TypeWidth("200");
        x.window->ButtonOk->click();
        QTRY_VERIFY_WITH_TIMEOUT(gate.held, kWaitMs);
        QCOMPARE(x.window->ExportThread->priority(), QThread::HighestPriority);
        x.window->PrF->setCurrentIndex(0);
        QCOMPARE(x.window->ExportThread->priority(), QThread::IdlePriority);
        QTest::keyClick(x.window, Qt::Key_F7);
        QTest::keyClick(x.window, Qt::Key_Escape);
        QTest::keyClick(x.window->CanBut, Qt::Key_Escape);
        QTest::keyClick(x.window->CanBut, Qt::Key_F);
        QCOMPARE(command.size(), 1);
        QVERIFY(!x.f.form->FullScreenShown());
        QVERIFY(x.window && x.window->isVisible());
        QSignalSpy ended(x.window.data(), &TSizeAndExt::exportEnded);
        gate.Release();
        QVERIFY(ended.wait(kWaitMs));
        QTRY_VERIFY(!x.window->ExportRunning);
        // Done: Escape closes the window again.
        QTest::keyClick(x.window, Qt::Key_Escape);
        QTRY_VERIFY(!x.window);
        QVERIFY(QFileInfo::exists(x.f.FilePath("k.bmp")));
    }

    void aFailedWriteEndsWithAMessageAndAnUsableWindow_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::newRow("write fails") << int(RowFault::WriteFails) << QString(kApplicationTitle)
                                     << "Файл не удается открыть для записи.\n";
        QTest::newRow("memory runs out")
            << int(RowFault::OutOfMemory) << "Ошибка:"
            << "Недостаточно памяти для расчета изображения такого размера.";
    }
    void aFailedWriteEndsWithAMessageAndAnUsableWindow() {
        QFETCH(int, fault);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        ExportFixture x;
        QVERIFY(x.Start());
        const QString path = x.f.FilePath("f.bmp");
        QVERIFY(WriteBytes(path, "older"));
        TRollImage::SetWriterFactoryForTests(TestWriters(nullptr, 25, RowFault(fault)));
        QVERIFY(x.Open(path));
        x.TypeWidth("60");
        QCOMPARE(x.Export(), fault == int(RowFault::WriteFails) ? int(ExportJobResult::WriteFailed)
                                                                : int(ExportJobResult::NoMemory));
        QCOMPARE(x.f.dialogs.messages.size(), 1);
        QCOMPARE(x.f.dialogs.messages.first().caption, caption);
        QVERIFY(x.f.dialogs.messages.first().text.startsWith(text));
        QCOMPARE(ReadBytes(path), QByteArray("older"));
        QCOMPARE(Entries(x.f.folder.path()), QStringList{"f.bmp"});
        QVERIFY(SizeControlsEnabled(x.window));
        QCOMPARE(x.window->CGauge1->value(), 0);
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString(kApplicationTitle));
        // The user can try again.
        TRollImage::SetWriterFactoryForTests(nullptr);
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        QCOMPARE(ReadBytes(path), x.Expected(x.f.form->state, 60, 45));
    }

    void unwritablePlacesEndWithTheWriteMessage_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder gone before Ok") << "gone";
        QTest::newRow("folder is a file") << "file";
        QTest::newRow("read-only folder") << "readonly";
        QTest::newRow("folder gone during the export") << "gone during";
    }
    void unwritablePlacesEndWithTheWriteMessage() {
        QFETCH(QString, kind);
        if (kind == "readonly" && geteuid() == 0) {
            QSKIP("root writes into read-only folders");
        }
        RowGate gate(30);
        ExportFixture x;
        QVERIFY(x.Start());
        QDir top(x.f.folder.path());
        QVERIFY(top.mkdir("out"));
        const QString folder = x.f.FilePath("out");
        const auto releaseOnFailure = qScopeGuard([&] { gate.Release(); });
        if (kind == "gone during") {
            TRollImage::SetWriterFactoryForTests(TestWriters(&gate));
        }
        QVERIFY(x.Open(folder + "/x.bmp"));
        if (kind == "gone") {
            QVERIFY(QDir(folder).removeRecursively());
        } else if (kind == "file") {
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(WriteBytes(folder, "plain file"));
        } else if (kind == "readonly") {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        x.TypeWidth("80");
        QSignalSpy ended(x.window.data(), &TSizeAndExt::exportEnded);
        x.window->ButtonOk->click();
        if (kind == "gone during") {
            QTRY_VERIFY_WITH_TIMEOUT(gate.held, kWaitMs);
            QVERIFY(QDir(folder).removeRecursively());
            gate.Release();
        }
        QVERIFY(ended.wait(kWaitMs));
        QCOMPARE(ended.first().first().toInt(), int(ExportJobResult::WriteFailed));
        QCOMPARE(x.Errors(),
                 QStringList{QString(kApplicationTitle) + "|Файл не удается открыть для записи.\n" +
                             folder + "/x.bmp"});
        QVERIFY(!QFileInfo(folder + "/x.bmp").isFile());
        QVERIFY(SizeControlsEnabled(x.window));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void closingTheMainWindowStopsTheExportFirst() {
        RowGate gate(30);
        ExportFixture x;
        QVERIFY(x.Start());
        const auto releaseOnFailure = qScopeGuard([&] { gate.Release(); });
        TRollImage::SetWriterFactoryForTests(TestWriters(&gate));
        QVERIFY(x.Open(x.f.FilePath("m.bmp")));
        x.window->IsCloseAfter->setChecked(true);
        x.TypeWidth("400");
        x.window->ButtonOk->click();
        QTRY_VERIFY_WITH_TIMEOUT(gate.held, kWaitMs);
        QTimer::singleShot(50, [&] { gate.Release(); });
        x.f.form->close();
        QVERIFY(!x.f.form->ExportDialogShown());
        QCOMPARE(Probe(*x.f.form).CloseAfterSave, 1);
        QCOMPARE(Entries(x.f.folder.path()), QStringList{"settings.dat"});
    }

    // The PNG filter: its extension replaces the name's own, the caption is an upper bound, the
    // picture equals the bitmap export's, the fractal and the resolution are inside.
    void pngChosenInTheSaveDialog() {
        ExportFixture x;
        QVERIFY(x.Start());
        x.f.dialogs.saveFilter = "PNG (*.png)";
        QVERIFY(x.Open(x.f.FilePath("my.pic.bmp")));
        QCOMPARE(x.f.dialogs.saveFilters, QStringList{"BMP (*.bmp);;PNG (*.png)"});
        QCOMPARE(x.window->ExportPath, x.f.FilePath("my.png"));
        QCOMPARE(x.window->GroupBox1->title(), QString("Размер файла: до 2,36 Mb"));
        x.window->Units->setCurrentIndex(3);  // inches at 300 dpi
        x.TypeWidth("0,2");
        QCOMPARE(x.window->WidthPixels, 60);
        QCOMPARE(x.window->HeightPixels, 45);
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        const QByteArray png = ReadBytes(x.f.FilePath("my.png"));
        const pngdecode::Decoded decoded = pngdecode::DecodeToBgr(png);
        QVERIFY(decoded.ok);
        QVERIFY(decoded.bgr ==
                pngdecode::BmpRowsTopDown(x.Expected(x.f.form->state, 60, 45), 60, 45));
        QCOMPARE(pngdecode::ChunkTypes(png).mid(0, 3), (QStringList{"IHDR", "pHYs", "tEXt"}));
        const PngFractalRead inside = ReadPngFractal(Path(x.f.FilePath("my.png")));
        QCOMPARE(inside.status, PngFractalStatus::Found);
        QCOMPARE(EncodeFractalRecord(inside.record),
                 EncodeFractalRecord(RecordFromState(x.f.form->state)));
        QCOMPARE(Entries(x.f.folder.path()), QStringList{"my.png"});
    }

    // Qt's own save dialog driven by keys: the type list chooses PNG.
    void realSaveDialogChoosesPngByKeys() {
        ExportFixture x;
        QVERIFY(x.Start());
        SetDialogSeam(nullptr);
        const auto restore = qScopeGuard([&] { SetDialogSeam(&x.f.dialogs); });
        bool driven = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            QCOMPARE(types->currentText(), QString("BMP (*.bmp)"));
            dialog->setDirectory(x.f.folder.path());
            name->clear();
            QTest::keyClicks(name, "keys.bmp");
            QTest::keyClick(types, Qt::Key_Down);
            QCOMPARE(types->currentText(), QString("PNG (*.png)"));
            QTest::keyClick(name, Qt::Key_Return);
            driven = true;
        });
        x.f.form->action("SaveImage")->trigger();
        QVERIFY(driven);
        x.window = x.f.form->findChild<TSizeAndExt*>();
        QVERIFY(x.window);
        QCOMPARE(x.window->ExportKind, ExportFormat::Png);
        QCOMPARE(x.window->ExportPath, x.f.FilePath("keys.png"));
        x.TypeWidth("16");
        QCOMPARE(x.Export(), int(ExportJobResult::Written));
        QVERIFY(pngdecode::DecodeToBgr(ReadBytes(x.f.FilePath("keys.png"))).ok);
    }

    void cancelledPngExportLeavesNoFile() {
        RowGate gate(30);
        ExportFixture x;
        QVERIFY(x.Start());
        const auto releaseOnFailure = qScopeGuard([&] { gate.Release(); });
        TRollImage::SetWriterFactoryForTests(TestWriters(&gate));
        x.f.dialogs.saveFilter = "PNG (*.png)";
        QVERIFY(x.Open(x.f.FilePath("c")));
        x.TypeWidth("400");
        x.window->ButtonOk->click();
        QTRY_VERIFY_WITH_TIMEOUT(gate.held, kWaitMs);
        QTimer::singleShot(0, [&] { gate.Release(); });
        x.window->CanBut->click();
        QTRY_VERIFY(!x.window);
        QCOMPARE(Entries(x.f.folder.path()), QStringList{});
    }
};

// Helpers of the window that need no window.
class TestExportTexts : public QObject {
    Q_OBJECT

private slots:
    void fileSizeCaption() {
        QCOMPARE(FileSizeCaption(1024, 768, ','), QString("Размер файла: 2,36 Mb"));
        QCOMPARE(FileSizeCaption(1024, 768, '.'), QString("Размер файла: 2.36 Mb"));
        QCOMPARE(FileSizeCaption(400, 300, '.'), QString("Размер файла: 360 Kb"));
        QCOMPARE(FileSizeCaption(333, 1, '.'), QString("Размер файла: 999 b"));
        QCOMPARE(FileSizeCaption(334, 1, '.'), QString("Размер файла: 1 Kb"));
        QCOMPARE(FileSizeCaption(333333, 1, '.'), QString("Размер файла: 1E3 Kb"));
        QCOMPARE(FileSizeCaption(333333333, 1, '.'), QString("Размер файла: 1E3 Mb"));
        QCOMPARE(FileSizeCaption(20000, 16667, '.'), QString("Размер файла: 1 Gb"));
        QCOMPARE(FileSizeCaption(0, 0, '.'), QString("Размер файла: 0 b"));
        // Sizes whose byte count overflows 64 bits still give a caption.
        QCOMPARE(FileSizeCaption(INT64_MAX, INT64_MAX, '.'), QString("Размер файла: 2.55E29 Gb"));
        QCOMPARE(FileSizeCaption(1280, 960, '.', ExportFormat::Png),
                 QString("Размер файла: до 3.69 Mb"));
        // The bitmap's 4 GB limit is not the PNG's.
        QVERIFY(!SizeRefusal(40000, 40000).isEmpty());
        QVERIFY(SizeRefusal(40000, 40000, ExportFormat::Png).isEmpty());
        QVERIFY(!SizeRefusal(2147483648LL, 1, ExportFormat::Png).isEmpty());
    }

    void pixelsOfTheUnits() {
        QCOMPARE(PixelsFor(0, 300, 1024.9f), 1024);
        QCOMPARE(PixelsFor(1, 100, 254.0f), 1000);
        QCOMPARE(PixelsFor(2, 300, 21.0f), 2480);
        QCOMPARE(PixelsFor(2, 300, 15.75f), 1860);
        QCOMPARE(PixelsFor(3, 600, 2.5f), 1500);
        QCOMPARE(PixelsFor(4, 100, 1.0f), 3937);
        QCOMPARE(PixelsFor(1, 100, 0.1f), 0);
        QCOMPARE(PixelsFor(0, 300, std::numeric_limits<float>::infinity()), INT64_MAX);
    }

    void defaultNameIsTheCurrentFractalFile() {
        ExportFixture x;
        QVERIFY(x.Start());
        // A fractal file opened becomes the current one; its name is proposed.
        QVERIFY(WriteFractalFile(x.f.FilePath("rabbit.frc").toStdString(), x.f.form->state));
        OpenFileInMainWindow(*x.f.form, x.f.FilePath("rabbit.frc"));
        QCOMPARE(x.f.form->FileTitle(), QString("rabbit"));
        x.f.form->action("SaveCrntFrct")->setEnabled(false);
        QVERIFY(!x.Open(QString()));  // cancelled: no window
        x.f.form->action("SaveCrntFrct")->setEnabled(true);
        QVERIFY(!x.Open(QString()));
        QCOMPARE(x.f.dialogs.saveDefaults, (QStringList{"new_image", "rabbit"}));
        QVERIFY(!x.f.form->ExportDialogShown());
    }

    void exportPaths() {
        QCOMPARE(ExportPathFor("/x/a.b/my.pic.bmp"), QString("/x/a.b/my.bmp"));
        QCOMPARE(ExportPathFor("/x/a.b/name"), QString("/x/a.b/name.bmp"));
        QCOMPARE(ExportPathFor("/x/pic.BMP"), QString("/x/pic.bmp"));
        QCOMPARE(ExportPathFor("/x/a.b/my.pic.bmp", ExportFormat::Png), QString("/x/a.b/my.png"));
        QCOMPARE(ExportFormatForFilter("PNG (*.png)"), ExportFormat::Png);
        QCOMPARE(ExportFormatForFilter("BMP (*.bmp)"), ExportFormat::Bmp);
        QCOMPARE(DefaultExportName(false, "julia"), QString("new_image"));
        QCOMPARE(DefaultExportName(true, "julia"), QString("julia"));
    }

    void shortening() {
        const auto chars = [](const QString& s) { return static_cast<int>(s.size()); };
        const QString path = "/aaa/bbb/ccc/name.bmp";
        QCOMPARE(ShortenPath(path, chars, 21), path);
        QCOMPARE(ShortenPath(path, chars, 20), QString("/.../ccc/name.bmp"));
        QCOMPARE(ShortenPath(path, chars, 16), QString("/.../name.bmp"));
        QCOMPARE(ShortenPath(path, chars, 12), QString(".../name.bmp"));
        QCOMPARE(ShortenPath(path, chars, 11), QString("name.bmp"));
        QCOMPARE(ShortenPath(path, chars, 3), QString("name.bmp"));
        QCOMPARE(ShortenPath("C:/aaaa/bbbb/n.bmp", chars, 13), QString("C:/.../n.bmp"));
        QCOMPARE(ShortenPath("C:/aaaa/bbbb/n.bmp", chars, 11), QString(".../n.bmp"));
        QCOMPARE(ShortenPath("C:/aaaa/bbbb/n.bmp", chars, 8), QString("n.bmp"));
        QCOMPARE(ShortenPath("n.bmp", chars, 1), QString("n.bmp"));
    }
};

// The window tests want a 1024 x 768 screen and a locale with the decimal comma; both are
// fixed before the application starts.
int main(int argc, char** argv) {
    const QString config = QDir::temp().filePath(
        QString("ombrilo_export_screen_%1.json").arg(QCoreApplication::applicationPid()));
    WriteBytes(config, R"({"screens": [{"name": "Screen1024", "x": 0, "y": 0, "width": 1024,
        "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    qputenv("LC_ALL", "ru_RU.UTF-8");
    QApplication app(argc, argv);
    app.setApplicationDisplayName(kApplicationTitle);
    int failed = 0;
    {
        TestExportTexts texts;
        failed += QTest::qExec(&texts, argc, argv);
        TestExportWindow window;
        failed += QTest::qExec(&window, argc, argv);
    }
    QFile::remove(config);
    return failed;
}

#include "test_export_window.moc"
