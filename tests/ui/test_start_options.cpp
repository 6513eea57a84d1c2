#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

#include "formats/fractal_file.h"
#include "formats/messages.h"
#include "formats/palette_file.h"
#include "formats/png_file.h"
#include "mainform_fixture.h"
#include "support/test_files.h"
#include "ui/accessible_names.h"
#include "ui/command_line.h"
#include "ui/open_file.h"
#include "ui/user_folder.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

FractalState SpiralState() {
    FractalState s = MakeStartState();
    s.Cx = -0.7454;
    s.Cy = 0.1130;
    s.CenterX = 0.25f;
    s.CenterY = -0.125f;
    s.ViewWidth = 1.5f;
    s.palette = Palette{3, 50, 20, 70, 10, 30, 5};
    return s;
}

QString GalleryFolder() {
    return qEnvironmentVariable("OMBRILO_SOURCE_DIR") + "/data";
}

}  // namespace

class TestStartOptions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallAccessibleNames(); }

    void commandLineIsRead() {
        auto start = [](std::vector<std::string> args) {
            return std::get<StartRequest>(ParseProgramArguments(args));
        };
        const StartRequest full =
            start({"--user-folder", "-platform", "xcb", "-style=fusion", "--reverse", "a.frc"});
        QVERIFY(full.userFolder);
        QCOMPARE(full.file.value(), std::string("a.frc"));
        QCOMPARE(start({"--", "-x.ptt"}).file.value(), std::string("-x.ptt"));
        QVERIFY(!start({}).userFolder && !start({}).file);

        QVERIFY(std::holds_alternative<ProgramHelpRequest>(ParseProgramArguments({"x", "-h"})));
        QVERIFY(std::holds_alternative<ProgramVersionRequest>(
            ParseProgramArguments({"--bogus", "--version"})));
        for (const std::vector<std::string>& bad :
             {std::vector<std::string>{"--bogus"}, {"-u"}, {"a.frc", "b.ptt"}, {"-platform"}}) {
            QVERIFY(std::holds_alternative<ProgramUsageError>(ParseProgramArguments(bad)));
        }
        QCOMPARE(std::get<ProgramUsageError>(ParseProgramArguments({"--bogus"})).message,
                 std::string("неизвестный параметр «--bogus»."));
    }

    // The fractal is opened while the first frame is still being drawn: it waits for it.
    void fractalFileOpensAsTheBrowserWould() {
        MainFormFixture f;
        const QString path = f.FilePath("spiral.frc");
        QVERIFY(WriteFractalFile(Path(path), SpiralState()));
        f.form = std::make_unique<TMainForm>();
        f.form->show();
        OpenFileInMainWindow(*f.form, path);
        QVERIFY(QTest::qWaitFor([&] { return Probe(*f.form).CurrentFractalPath == path; }, 30000));
        QVERIFY(f.WaitIdle());

        TMainForm& w = *f.form;
        QCOMPARE(w.state.Cx, -0.7454);
        QCOMPARE(w.state.Cy, 0.1130);
        QCOMPARE(w.state.ViewWidth, 1.5f);
        QCOMPARE(w.state.MainStep, MainStepFor(1.5f));
        QCOMPARE(w.state.palette, SpiralState().palette);
        QCOMPARE(Controls(w).TrackBarCx->value(), -745);
        QCOMPARE(Controls(w).TrackBarCy->value(), 113);
        QCOMPARE(Controls(w).E_cx->text(), QString("-0.7454"));
        QCOMPARE(Controls(w).TrackBarR0->value(), 50);
        QCOMPARE(Controls(w).TypeOfPalette->currentIndex(), 2);
        QCOMPARE(w.action("SaveCrntFrct")->text(), QString("С&охранить spiral"));
        QVERIFY(w.action("SaveCrntFrct")->isEnabled());
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // An exported picture brings its fractal back, but does not become the quick-save file; a
    // picture without the record changes nothing.
    void pictureFractalIsOpened() {
        MainFormFixture f;
        QVERIFY(f.Start());
        const auto writePicture = [&](const QString& path, std::optional<FractalRecord> record) {
            PngFileWriter writer(Path(path), PngPicture{1, 1, 0, record});
            const std::uint8_t bgr[3] = {1, 2, 3};
            return writer.Open() && writer.WriteRow(0, bgr) && writer.Commit();
        };
        QVERIFY(writePicture(f.FilePath("plain.png"), std::nullopt));
        QVERIFY(writePicture(f.FilePath("spiral.PNG"), RecordFromState(SpiralState())));
        OpenFileInMainWindow(*f.form, f.FilePath("plain.png"));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages[0].text.startsWith("В изображении PNG нет параметров"));
        QCOMPARE(f.form->state.Cx, SliderToCoefficient(kSliderCxStart));

        OpenFileInMainWindow(*f.form, f.FilePath("spiral.PNG"));
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.form->state.Cx, -0.7454);
        QCOMPARE(f.form->state.ViewWidth, 1.5f);
        QCOMPARE(f.form->state.palette, SpiralState().palette);
        QCOMPARE(Controls(*f.form).TrackBarCx->value(), -745);
        QVERIFY(Probe(*f.form).CurrentFractalPath.isEmpty());
        QVERIFY(!f.form->action("SaveCrntFrct")->isEnabled());
    }

    void paletteFileIsApplied() {
        MainFormFixture f;
        QVERIFY(f.Start());
        const QString path = f.FilePath("sea.PTT");
        QVERIFY(WritePaletteFile(Path(path), Palette{5, 1, 2, 3, 4, 5, 6}));
        const std::uint64_t before = f.frames();
        OpenFileInMainWindow(*f.form, path);
        QCOMPARE(f.form->state.palette, (Palette{5, 1, 2, 3, 4, 5, 6}));
        QCOMPARE(Controls(*f.form).TrackBarB1->value(), 6);
        QCOMPARE(Controls(*f.form).TypeOfPalette->currentIndex(), 4);
        QVERIFY(QTest::qWaitFor([&] { return f.frames() > before; }, 30000));
        QCOMPARE(f.form->state.Cx, SliderToCoefficient(kSliderCxStart));  // C untouched
    }

    void badFilesLeaveTheStartFractal() {
        MainFormFixture f;
        QVERIFY(f.Start());
        const QString typeTwo = f.FilePath("two.frc");
        QVERIFY(WriteBytes(typeTwo, Hex("02000000") + QByteArray(56, '\0')));
        QVERIFY(WriteBytes(f.FilePath("notes.txt"), "text"));
        const FractalState start = f.form->state;

        OpenFileInMainWindow(*f.form, f.FilePath("missing.frc"));
        OpenFileInMainWindow(*f.form, typeTwo);
        OpenFileInMainWindow(*f.form, f.FilePath("notes.txt"));
        QCOMPARE(f.dialogs.messages.size(), 3);
        QCOMPARE(f.dialogs.messages[0].text, QString(kCannotOpenForReading));
        QCOMPARE(f.dialogs.messages[1].caption, QString("Открытие файла не возможно"));
        QVERIFY(f.dialogs.messages[1].text.startsWith("Тип фрактала неизвестен этой версии."));
        QCOMPARE(f.dialogs.messages[2].kind, MessageKind::Warning);
        QVERIFY(f.dialogs.messages[2].text.contains("notes.txt"));
        QCOMPARE(f.form->state.Cx, start.Cx);
        QCOMPARE(f.form->state.ViewWidth, start.ViewWidth);
        QCOMPARE(f.form->state.palette, start.palette);
        QVERIFY(!f.form->action("SaveCrntFrct")->isEnabled());
    }

    void userFolderIsFilledOnce() {
        QTemporaryDir home;
        const QString previous = QDir::currentPath();
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        const QString folder = home.path() + "/ombrilo";
        QCOMPARE(UserFolderPath(), folder);

        RecordingDialogs dialogs;
        QVERIFY(EnterUserFolder(GalleryFolder()));
        QCOMPARE(QDir::currentPath(), folder);
        const QString rabbit = folder + "/fractals/rabbit.frc";
        QCOMPARE(ReadBytes(rabbit), ReadBytes(GalleryFolder() + "/fractals/rabbit.frc"));
        QVERIFY(QFile::exists(folder + "/paletts/ice.ptt"));
        QVERIFY(QFile::exists(folder + "/Description.rtf"));

        QVERIFY(WriteBytes(rabbit, "mine"));
        QVERIFY(QFile::remove(folder + "/paletts/ice.ptt"));
        QVERIFY(EnterUserFolder(GalleryFolder()));
        QCOMPARE(ReadBytes(rabbit), QByteArray("mine"));
        QVERIFY(!QFile::exists(folder + "/paletts/ice.ptt"));
        QVERIFY(dialogs.messages.isEmpty());

        // A data folder below a plain file cannot be made.
        QVERIFY(WriteBytes(home.path() + "/file", "x"));
        qputenv("XDG_DATA_HOME", (home.path() + "/file").toUtf8());
        QVERIFY(!EnterUserFolder(GalleryFolder()));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].kind, MessageKind::Error);
        QVERIFY(dialogs.messages[0].text.contains(home.path() + "/file/ombrilo"));
        qputenv("XDG_DATA_HOME", "relative/path");
        QCOMPARE(UserFolderPath(), QDir::homePath() + "/.local/share/ombrilo");
        qunsetenv("XDG_DATA_HOME");
        QDir::setCurrent(previous);
    }

    void everyControlOfEveryWindowHasAName() {
        MainFormFixture f;
        QVERIFY(f.Start());
        int controls = 0;
        QCOMPARE(Unnamed(f.form.get(), controls), QStringList());
        QVERIFY(controls >= 35);
        QCOMPARE(Controls(*f.form).DefButton->accessibleName(), QString("Начальный вид (Home)"));
        QCOMPARE(Controls(*f.form).DownCx->accessibleName(), QString("Уменьшение Re(C)"));
        QCOMPARE(Controls(*f.form).TrackBarG1->accessibleName(), QString("Период зеленого"));

        // The two browsers with a file in each list, then the export, options and help windows.
        QVERIFY(QDir(f.folder.path()).mkpath("fractals"));
        QVERIFY(WriteFractalFile(Path(f.FilePath("fractals/a.frc")), SpiralState()));
        QStringList unnamed;
        f.dialogs.onExec = [&](QDialog& dialog) {
            unnamed += Unnamed(&dialog, controls);
            return int(QDialog::Rejected);
        };
        f.form->OpenFractExecute();
        f.form->SavePaletteExecute();
        f.dialogs.savePath = f.FilePath("picture.bmp");
        f.form->SaveImageExecute();
        f.form->OptionsExecute();
        f.form->A_ProgramExecute();
        f.form->DescriptExecute();
        int windows = 0;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window != f.form.get() && window->isVisible()) {
                unnamed += Unnamed(window, controls);
                ++windows;
                window->close();
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(windows, 4);
        QCOMPARE(unnamed, QStringList());
        QVERIFY(controls >= 35 + 25);
    }

private:
    // The visible controls of window without a name a screen reader reads; counts the controls.
    // The window is polished first, as showing it would.
    static QStringList Unnamed(QWidget* window, int& controls) {
        window->ensurePolished();
        QStringList unnamed;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            const bool control =
                widget->inherits("QAbstractButton") || widget->inherits("QAbstractSlider") ||
                widget->inherits("QLineEdit") || widget->inherits("QComboBox") ||
                widget->inherits("QAbstractItemView") || widget->inherits("QTextEdit") ||
                widget->inherits("QProgressBar") || widget->inherits("ombrilo::ImageView");
            if (!control || !widget->isVisibleTo(window) || widget->inherits("QScrollBar") ||
                face == nullptr) {
                continue;
            }
            ++controls;
            if (face->text(QAccessible::Name).isEmpty()) {
                unnamed << window->objectName() + "/" + widget->objectName();
            }
        }
        return unnamed;
    }
};

QTEST_MAIN(TestStartOptions)
#include "test_start_options.moc"
