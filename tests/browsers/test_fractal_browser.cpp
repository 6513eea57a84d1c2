#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <unistd.h>

#include "browser_test_support.h"
#include "engine/render.h"
#include "formats/messages.h"
#include "ui/browsers/U_opensavefractal.h"
#include "ui/browsers/U_ospalette.h"
#include "ui/browsers/U_refile.h"
#include "ui/image_view.h"

using namespace ombrilo;
using namespace browsertest;

namespace {

const Palette kRed{2, 90, 10, 20, 30, 12, 6};
const Palette kBlue{5, 10, 40, 95, 4, 22, 38};

struct Started {
    MainFormFixture f;
    QString fractals;
    QString palettes;

    bool Start() {
        if (!f.Start()) {
            return false;
        }
        fractals = Probe(*f.form).FractalsFolder;
        palettes = Probe(*f.form).PalettesFolder;
        return true;
    }
    TMainForm& w() { return *f.form; }
};

TOpenSaveFractal* Browser(QDialog& dialog) {
    return qobject_cast<TOpenSaveFractal*>(&dialog);
}

bool SameFractal(const FractalState& a, const FractalState& b) {
    return a.FractalType == b.FractalType && a.Cx == b.Cx && a.Cy == b.Cy &&
           a.CenterX == b.CenterX && a.CenterY == b.CenterY && a.ViewWidth == b.ViewWidth &&
           a.MainStep == b.MainStep && a.palette == b.palette && a.colorTable == b.colorTable;
}

}  // namespace

class TestFractalBrowser : public QObject {
    Q_OBJECT

private slots:
    // Three files selected in turn, each read into the live state, then Cancel: the state and
    // the colour table are exactly as before and no frame is asked for.
    void cancelAfterThreeSelectionsRestoresState() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(-0.7459, 0.1102, 2.5f, kRed)));
        QVERIFY(PutFractal(s.fractals, "B.frc", Fractal(0.285, 0.01, 1.5f, kBlue)));
        QVERIFY(PutFractal(s.fractals, "c.frc", Fractal(-0.12, 0.75, 3.0f, Palette{})));
        const FractalState before = s.w().state;
        const auto frames = s.f.frames();
        QStringList rows;
        QList<double> seenCx;
        QList<Palette> seenPalettes;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            rows = Rows(b->FileList);
            for (int row : {1, 2, 0}) {
                b->FileList->setCurrentRow(row);
                seenCx.append(s.w().state.Cx);
                seenPalettes.append(s.w().state.palette);
            }
            QTest::keyClick(b->FileList, Qt::Key_Escape);
            return dialog.result();
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(s.f.dialogs.execs, QStringList{"OpenSaveFractal"});
        QCOMPARE(rows, (QStringList{"a", "B", "c"}));  // sorted ignoring case
        QCOMPARE(seenCx, (QList<double>{0.285, -0.12, -0.7459}));
        QCOMPARE(seenPalettes, (QList<Palette>{kBlue, Palette{}, kRed}));
        QVERIFY(!s.w().BrowserConfirmed());
        QVERIFY(SameFractal(s.w().state, before));
        QVERIFY(s.w().RenderIdle());
        QTest::qWait(50);
        QCOMPARE(s.f.frames(), frames);
        QCOMPARE(Probe(s.w()).LastFractalIndex, 0);
        QVERIFY(s.f.dialogs.messages.isEmpty());
    }

    // The browser's window: caption, controls, texts, hints and place over the main view.
    void openModeLayoutAndPlace() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "one.frc", Fractal(0.3, 0.5, 2.0f)));
        QString caption;
        QPoint at;
        QSize size;
        bool openShown = false, saveShown = true, nameReadOnly = false;
        QString drive, group, tip;
        QStringList menu;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            caption = dialog.windowTitle();
            at = dialog.pos();
            size = dialog.size();
            openShown = !b->OpenFractal->isHidden();
            saveShown = !b->SaveFractal->isHidden();
            nameReadOnly = b->FileName->isReadOnly();
            drive = b->Drive->text();
            group = b->GroupBox1->title();
            tip = b->Cansel->statusTip();
            for (QAction* a : b->PopupMenu1->actions()) {
                menu.append(a->text() + (a->isEnabled() ? "+" : "-"));
            }
            return QDialog::Rejected;
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(caption, QString("Открытие фрактала"));
        QCOMPARE(size, QSize(409, 221));
        const TMainForm& w = s.w();
        // The dialog is not framed before it is shown: its frame is taken as the main window's.
        const QSize frame = w.frameGeometry().size() - w.geometry().size();
        const int outerWidth = 409 + frame.width();
        const int outerHeight = 221 + frame.height();
        const int left = static_cast<int>(w.x() + Controls(w).Pic->x() + (530 - outerWidth) * 0.5L);
        const int top = static_cast<int>(w.y() + (w.frameGeometry().height() - outerHeight) * 0.3L);
        QCOMPARE(at, QPoint(left, top));
        QVERIFY(openShown);
        QVERIFY(!saveShown);
        QVERIFY(nameReadOnly);
        QCOMPARE(drive, s.fractals);
        QCOMPARE(group, QString("Prewiev"));
        QCOMPARE(tip, QString(" Закрывает форму 'Открытие фрактала'"));
        QCOMPARE(menu, (QStringList{"&Удалить файл+", "&Переименовать..+"}));
        QCOMPARE(QDir::currentPath(), s.fractals);
    }

    // The preview is the state's picture at 145 x 105 over the same width of the plane.
    void previewIsTheSelectedFractal() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "p.frc", Fractal(-0.8, 0.156, 3.0f, kRed)));
        QImage shown;
        FractalState read;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            shown = Browser(dialog)->PreView->image().copy();
            read = s.w().state;
            return QDialog::Rejected;
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(read.Cx, -0.8);
        QImage expected(145, 105, QImage::Format_RGB32);
        expected.fill(0);
        RenderView(read, ScreenGeometry(read, 145, 105),
                   {expected.bits(), 145, 105, expected.bytesPerLine()});
        QCOMPARE(shown.size(), QSize(145, 105));
        for (int y = 0; y < 105; ++y) {
            for (int x = 0; x < 145; ++x) {
                QCOMPARE(shown.pixel(x, y) & 0xFFFFFF, expected.pixel(x, y) & 0xFFFFFF);
            }
        }
    }

    // Opening a file: C keeps its full precision, the sliders show its truncated thousandths,
    // the palette box shows the file's palette, the quick save is named after the file, and
    // exactly one frame follows.
    void openBringsFileIntoWindow() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "spiral.frc", Fractal(-0.7459, 0.1102, 0.5f, kRed)));
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            ShowForTest(dialog);
            QTest::keyClick(Browser(dialog)->FileList, Qt::Key_Return);
            return dialog.result();
        };
        const auto frames = s.f.frames();
        s.w().action("OpenFract")->trigger();
        QVERIFY(s.w().BrowserConfirmed());
        TMainForm& w = s.w();
        QCOMPARE(w.state.Cx, -0.7459);
        QCOMPARE(w.state.Cy, 0.1102);
        QCOMPARE(Controls(w).TrackBarCx->value(), -745);
        QCOMPARE(Controls(w).TrackBarCy->value(), 110);
        QCOMPARE(Controls(w).E_cx->text(), QString("-0.7459"));
        QCOMPARE(w.state.ViewWidth, 0.5f);
        QCOMPARE(w.state.MainStep, MainStepFor(0.5f));
        QVERIFY(w.state.palette == kRed);
        QCOMPARE(Controls(w).TrackBarR0->value(), 90);
        QCOMPARE(Controls(w).TrackBarB1->value(), 6);
        QCOMPARE(Controls(w).TypeOfPalette->currentIndex(), 1);
        QCOMPARE(Probe(w).CurrentFractalPath, s.fractals + "/spiral.frc");
        QCOMPARE(w.FileTitle(), QString("spiral"));
        QVERIFY(w.action("SaveCrntFrct")->isEnabled());
        QCOMPARE(w.action("SaveCrntFrct")->text(), QString("С&охранить spiral"));
        QVERIFY(s.f.WaitIdle());
        QCOMPARE(s.f.frames(), frames + 1);
        QVERIFY(s.f.dialogs.messages.isEmpty());
    }

    // A file of fractal type 2: the note instead of the preview; Open warns and changes nothing.
    void unknownFractalType() {
        Started s;
        QVERIFY(s.Start());
        FractalRecord other = Fractal(0.1, 0.2, 1.0f, kRed);
        other.FractalType = 2;
        QVERIFY(PutFractal(s.fractals, "future.frc", other));
        const FractalState before = s.w().state;
        QString note;
        bool previewHidden = false;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            note = b->ImMess->isVisible() ? b->ImMess->text() : QString();
            previewHidden = !b->PreView->isVisible();
            b->OpenFractal->click();
            return dialog.result();
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(note, QString("Неизвестный тип."));
        QVERIFY(previewHidden);
        QCOMPARE(s.f.dialogs.messages.size(), 1);
        QVERIFY(Has(s.f.dialogs, MessageKind::Warning, "Открытие файла не возможно",
                    QString("Тип фрактала неизвестен этой версии.\n Возможно, следует обновить "
                            "версию со \n страницы программы - ") +
                        kPage));
        QVERIFY(SameFractal(s.w().state, before));
        QVERIFY(!s.w().action("SaveCrntFrct")->isEnabled());
        QCOMPARE(s.w().action("SaveCrntFrct")->text(), QString("С&охранить"));
        QVERIFY(Probe(s.w()).CurrentFractalPath.isEmpty());
        QVERIFY(s.w().RenderIdle());
    }

    // Palette type 9 in a fractal: the preview keeps the palette of the opening, Open warns,
    // takes C and the view and leaves the palette and its controls alone.
    void unknownPaletteTypeInFractal() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.3, 0.5, 2.0f, kRed)));
        Palette nine = kBlue;
        nine.PaletteType = 9;
        QVERIFY(PutFractal(s.fractals, "b.frc", Fractal(-0.7459, 0.1102, 1.25f, nine)));
        const FractalState before = s.w().state;
        bool previewPaletteKept = false;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            b->FileList->setCurrentRow(1);
            previewPaletteKept = s.w().state.palette == before.palette &&
                                 s.w().state.colorTable == before.colorTable &&
                                 b->PreView->isVisibleTo(b);
            b->OpenFractal->click();
            return dialog.result();
        };
        s.w().action("OpenFract")->trigger();
        QVERIFY(previewPaletteKept);
        QCOMPARE(s.f.dialogs.messages.size(), 1);
        QVERIFY(Has(s.f.dialogs, MessageKind::Warning, "Палитра фрактала проигнорирована",
                    QString("Тип палитры неизвестен этой версии \n Возможно, следует обновить "
                            "версию со \n страницы программы - ") +
                        kPage));
        QCOMPARE(s.w().state.Cx, -0.7459);
        QCOMPARE(s.w().state.ViewWidth, 1.25f);
        QVERIFY(s.w().state.palette == before.palette);
        QVERIFY(s.w().state.colorTable == before.colorTable);
        QCOMPARE(Controls(s.w()).TrackBarR0->value(), before.palette.R0);
        QCOMPARE(Controls(s.w()).TypeOfPalette->currentIndex(), 0);
        QCOMPARE(s.w().action("SaveCrntFrct")->text(), QString("С&охранить b"));
    }

    // "Игнорировать палитру фрактала" survives the browser, also a cancelled one and the
    // palette browser, and keeps later opens from taking palettes.
    void ignorePaletteKeptAcrossBrowsers() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.3, 0.5, 2.0f, kRed)));
        QVERIFY(PutFractal(s.fractals, "b.frc", Fractal(-0.4, 0.6, 2.0f, kBlue)));
        QVERIFY(PutPalette(s.palettes, "p.ptt", kBlue));
        const Palette start = s.w().state.palette;
        const ColorTable startTable = s.w().state.colorTable;
        bool previewPaletteBack = false;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            QTest::mouseClick(b->IgnoreFPalette, Qt::LeftButton);
            previewPaletteBack = s.w().state.palette == start &&
                                 s.w().state.colorTable == startTable && s.w().state.Cx == 0.3;
            b->OpenFractal->click();
            return dialog.result();
        };
        s.w().action("OpenFract")->trigger();
        QVERIFY(previewPaletteBack);
        QVERIFY(!Probe(s.w()).LoadPaletteWithFractal);
        QCOMPARE(s.w().state.Cx, 0.3);
        QVERIFY(s.w().state.palette == start);
        QVERIFY(s.f.WaitIdle());

        bool checkedAgain = false;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            checkedAgain = Browser(dialog)->IgnoreFPalette->isChecked();
            return QDialog::Rejected;
        };
        s.w().action("OpenFract")->trigger();
        QVERIFY(checkedAgain);
        s.f.dialogs.onExec = [](QDialog&) { return QDialog::Rejected; };
        s.w().action("OpenPalette")->trigger();
        QVERIFY(!Probe(s.w()).LoadPaletteWithFractal);

        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            Browser(dialog)->FileList->setCurrentRow(1);
            return QDialog::Accepted;
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(s.w().state.Cx, -0.4);
        QVERIFY(s.w().state.palette == start);
        QVERIFY(s.w().state.colorTable == startTable);
        QVERIFY(s.f.dialogs.messages.isEmpty());
    }

    // Saving with the default name twice: the second time asks; No keeps the browser open.
    void saveTwiceAsksToReplace() {
        Started s;
        QVERIFY(s.Start());
        QDir().mkpath(s.fractals);
        QString caption, name;
        bool ignoreEnabled = true;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            caption = dialog.windowTitle();
            name = b->FileName->text();
            ignoreEnabled = b->IgnoreFPalette->isEnabled();
            QTest::keyClick(b->FileName, Qt::Key_Return);
            return dialog.result();
        };
        s.w().action("SaveFractal")->trigger();
        QCOMPARE(caption, QString("Сохранение фрактала"));
        QCOMPARE(name, QString("fractal_new"));
        QVERIFY(!ignoreEnabled);
        const QString file = s.fractals + "/fractal_new.frc";
        QCOMPARE(testfiles::ReadBytes(file),
                 testfiles::ToBytes(EncodeFractalRecord(RecordFromState(s.w().state))));
        QCOMPARE(Probe(s.w()).CurrentFractalPath, file);
        QCOMPARE(s.w().action("SaveCrntFrct")->text(), QString("С&охранить fractal_new"));
        QVERIFY(s.f.dialogs.messages.isEmpty());

        bool stillOpen = false;
        s.f.dialogs.answer = QMessageBox::No;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            ShowForTest(dialog);
            Browser(dialog)->SaveFractal->click();
            stillOpen = dialog.isVisible();
            return QDialog::Rejected;
        };
        s.w().action("SaveFractal")->trigger();
        QVERIFY(stillOpen);
        QVERIFY(!s.w().BrowserConfirmed());
        QCOMPARE(s.f.dialogs.messages.size(), 1);
        QVERIFY(Has(s.f.dialogs, MessageKind::Question, "Подтверждение замены файла",
                    "Файл с таким именем уже существует.\n Заменить существующий файл?"));
    }

    // An empty name does nothing; a name that would leave the folder is refused with a warning
    // and the browser stays open.
    void emptyAndUnsafeNames() {
        Started s;
        QVERIFY(s.Start());
        QDir().mkpath(s.fractals);
        bool openAfterEmpty = false, openAfterSlash = false, openAfterNul = false;
        int messagesAfterEmpty = -1;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            b->FileName->clear();
            b->SaveFractal->click();
            QTest::keyClick(b->FileName, Qt::Key_Return);
            DoubleClick(b->PreView, {5, 5});
            openAfterEmpty = dialog.isVisible();
            messagesAfterEmpty = s.f.dialogs.messages.size();
            b->FileName->setText("../escape");
            b->SaveFractal->click();
            openAfterSlash = dialog.isVisible();
            b->FileName->setText(QString("bad") + QChar(u'\0') + "name");
            QTest::keyClick(b->FileName, Qt::Key_Return);
            openAfterNul = dialog.isVisible();
            return QDialog::Rejected;
        };
        s.w().action("SaveFractal")->trigger();
        QVERIFY(openAfterEmpty);
        QCOMPARE(messagesAfterEmpty, 0);
        QVERIFY(openAfterSlash);
        QVERIFY(openAfterNul);
        QCOMPARE(s.f.dialogs.messages.size(), 2);
        for (const auto& m : s.f.dialogs.messages) {
            QCOMPARE(m.kind, MessageKind::Warning);
            QCOMPARE(m.caption, QString("Недопустимое имя файла"));
        }
        QVERIFY(testfiles::Entries(s.fractals).isEmpty());
        QVERIFY(!QFile::exists(s.f.folder.path() + "/escape.frc"));
        QVERIFY(!s.w().action("SaveCrntFrct")->isEnabled());
    }

    // The quick save writes the fractal file, also after the palette browser used FilePath.
    void quickSaveAfterPaletteBrowser() {
        Started s;
        QVERIFY(s.Start());
        QDir().mkpath(s.fractals);
        QVERIFY(PutPalette(s.palettes, "p.ptt", kBlue));
        s.f.dialogs.onExec = [](QDialog&) { return QDialog::Accepted; };
        s.w().action("SaveFractal")->trigger();
        const QString file = s.fractals + "/fractal_new.frc";
        QVERIFY(QFile::remove(file));
        s.w().action("SaveCrntFrct")->trigger();
        QCOMPARE(testfiles::ReadBytes(file).size(), 60);

        s.f.dialogs.onExec = [](QDialog&) { return QDialog::Rejected; };
        s.w().action("OpenPalette")->trigger();
        QCOMPARE(s.w().FilePath(), s.palettes + "/p.ptt");
        Controls(s.w()).TrackBarCx->setValue(-1234);
        QVERIFY(s.f.WaitIdle());
        s.w().action("SaveCrntFrct")->trigger();
        QCOMPARE(testfiles::ReadBytes(file),
                 testfiles::ToBytes(EncodeFractalRecord(RecordFromState(s.w().state))));
        QCOMPARE(s.w().state.Cx, -1.234);
        QCOMPARE(testfiles::ReadBytes(s.palettes + "/p.ptt"),
                 testfiles::ToBytes(EncodePalette(kBlue)));
        QCOMPARE(testfiles::Entries(s.palettes), QStringList{"p.ptt"});
        QVERIFY(s.f.dialogs.messages.isEmpty());
    }

    // Deleting: through the pop-up without a question, through the Delete key after one; the
    // row above is selected and previewed, the state is back at the opening.
    void deletionSelectsRowAbove() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.1, 0.1, 2.0f)));
        QVERIFY(PutFractal(s.fractals, "b.frc", Fractal(0.2, 0.2, 2.0f)));
        QVERIFY(PutFractal(s.fractals, "c.frc", Fractal(0.3, 0.3, 2.0f)));
        QVERIFY(PutFractal(s.fractals, "d.frc", Fractal(0.4, 0.4, 2.0f)));
        const FractalState before = s.w().state;
        QStringList afterPopup, afterNo, afterYes;
        int rowAfterPopup = -1, rowAfterYes = -1, questionsAfterPopup = -1;
        QString nameAfterPopup;
        bool stateBack = false;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            b->FileList->setCurrentRow(2);
            b->DeleteFile->trigger();
            afterPopup = Rows(b->FileList);
            rowAfterPopup = b->FileList->currentRow();
            nameAfterPopup = b->FileName->text();
            questionsAfterPopup = s.f.dialogs.messages.size();
            stateBack = SameFractal(s.w().state, before);
            s.f.dialogs.answer = QMessageBox::No;
            QTest::keyClick(b->FileList, Qt::Key_Delete);
            afterNo = Rows(b->FileList);
            s.f.dialogs.answer = QMessageBox::Yes;
            QTest::keyClick(b->FileList, Qt::Key_Delete);
            afterYes = Rows(b->FileList);
            rowAfterYes = b->FileList->currentRow();
            return QDialog::Rejected;
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(afterPopup, (QStringList{"a", "b", "d"}));
        QCOMPARE(rowAfterPopup, 1);
        QCOMPARE(nameAfterPopup, QString("b"));
        QCOMPARE(questionsAfterPopup, 0);
        QVERIFY(stateBack);
        QCOMPARE(afterNo, (QStringList{"a", "b", "d"}));
        QCOMPARE(afterYes, (QStringList{"a", "d"}));
        QCOMPARE(rowAfterYes, 0);
        QCOMPARE(s.f.dialogs.messages.size(), 2);
        QVERIFY(Has(s.f.dialogs, MessageKind::Question, "Подтверждение удаления файла",
                    "Удалить выбранный файл?"));
        QCOMPARE(testfiles::Entries(s.fractals), (QStringList{"a.frc", "d.frc"}));
        QCOMPARE(Probe(s.w()).LastFractalIndex, 0);
    }

    // Deleting the only file leaves the no-files note; Enter and double-clicks do nothing then.
    void deletingLastFile() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "only.frc", Fractal(0.1, 0.1, 2.0f)));
        QString note;
        bool openEnabled = true, stillOpen = false;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            b->DeleteFile->trigger();
            note = b->ImMess->isVisible() ? b->ImMess->text() : QString();
            openEnabled = b->OpenFractal->isEnabled() || b->PreView->isVisible();
            QTest::keyClick(b->FileList, Qt::Key_Return);
            DoubleClick(b->FileList->viewport(), {10, 5});
            stillOpen = dialog.isVisible();
            return QDialog::Rejected;
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(note, QString("            ( Нет )"));
        QVERIFY(!openEnabled);
        QVERIFY(stillOpen);
        QVERIFY(testfiles::Entries(s.fractals).isEmpty());
    }

    // Renaming to another row's name or to the unchanged name is refused; a new name renames.
    void renameConflicts() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.1, 0.1, 2.0f)));
        QVERIFY(PutFractal(s.fractals, "b.frc", Fractal(0.2, 0.2, 2.0f)));
        QStringList openAfter;
        QStringList rowsAfter;
        QString oldShown;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            if (auto* rename = qobject_cast<TReFile*>(&dialog)) {
                ShowForTest(dialog);
                oldShown = rename->OldName->text();
                oldShown += "|" + rename->NewName->text();
                rename->OkBut->click();  // unchanged
                openAfter.append(dialog.isVisible() ? "open" : "closed");
                rename->NewName->setText("b");
                QTest::keyClick(rename->NewName, Qt::Key_Return);
                openAfter.append(dialog.isVisible() ? "open" : "closed");
                rename->NewName->setText("x/y");
                rename->OkBut->click();
                openAfter.append(dialog.isVisible() ? "open" : "closed");
                rename->NewName->setText("Zeta");
                rename->OkBut->click();
                openAfter.append(dialog.isVisible() ? "open" : "closed");
                return dialog.result();
            }
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            QTest::keyClick(b->FileList, Qt::Key_R);
            rowsAfter = Rows(b->FileList);
            return QDialog::Rejected;
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(s.f.dialogs.execs, (QStringList{"OpenSaveFractal", "ReFile"}));
        QCOMPARE(oldShown, QString("a|a"));
        QCOMPARE(openAfter, (QStringList{"open", "open", "open", "closed"}));
        QCOMPARE(rowsAfter, (QStringList{"b", "Zeta"}));
        QCOMPARE(testfiles::Entries(s.fractals), (QStringList{"b.frc", "Zeta.frc"}));
        QCOMPARE(s.f.dialogs.messages.size(), 3);
        QCOMPARE(s.f.dialogs.messages[0].caption, QString("Предупреждение о совпадении"));
        QCOMPARE(s.f.dialogs.messages[0].text,
                 QString("Файл с таким именем уже существует.\n Выберите другое имя."));
        QCOMPARE(s.f.dialogs.messages[0].kind, MessageKind::Warning);
        QCOMPARE(s.f.dialogs.messages[1].caption, QString("Предупреждение о совпадении"));
        QCOMPARE(s.f.dialogs.messages[2].caption, QString("Недопустимое имя файла"));
    }

    // a.frc and a.frc.bak both list as a, and both rows open a.frc; the pattern is case exact;
    // .hidden.frc lists as hidden, which names the missing hidden.frc.
    void backupFilesListedUnderTheirName() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.11, 0.1, 2.0f)));
        QVERIFY(PutFractal(s.fractals, "a.frc.bak", Fractal(0.99, 0.1, 2.0f)));
        QVERIFY(PutFractal(s.fractals, "UP.FRC", Fractal(0.5, 0.1, 2.0f)));
        QVERIFY(PutFractal(s.fractals, ".hidden.frc", Fractal(0.5, 0.1, 2.0f)));
        QStringList rows;
        QList<double> seen;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            rows = Rows(b->FileList);
            for (int row = 0; row < b->FileList->count(); ++row) {
                b->FileList->setCurrentRow(row);
                seen.append(s.w().state.Cx);
            }
            return QDialog::Rejected;
        };
        Probe(s.w()).LastFractalIndex = 1;
        s.w().action("OpenFract")->trigger();
        QCOMPARE(rows, (QStringList{"hidden", "a", "a"}));
        QCOMPARE(seen, (QList<double>{0.402, 0.11, 0.11}));
        QCOMPARE(s.f.dialogs.messages.size(), 1);
        QCOMPARE(s.f.dialogs.messages[0].text, QString(kCannotOpenForReading));
    }

    // A remembered row that is no longer a row falls back to the last one.
    void rememberedRowFallsBackToLast() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.1, 0.1, 2.0f)));
        QVERIFY(PutFractal(s.fractals, "b.frc", Fractal(0.2, 0.2, 2.0f)));
        Probe(s.w()).LastFractalIndex = 7;
        int row = -1;
        QString name;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            row = Browser(dialog)->FileList->currentRow();
            name = Browser(dialog)->FileName->text();
            return QDialog::Accepted;
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(row, 1);
        QCOMPARE(name, QString("b"));
        QCOMPARE(s.w().state.Cx, 0.2);
    }

    // In save mode letters are typed, Delete and R do nothing and the pop-up entries are off.
    void saveModeTypesR() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.1, 0.1, 2.0f)));
        QString typed;
        bool entriesOff = false;
        QStringList rowsAfterDelete;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            b->FileName->setFocus();
            b->FileName->end(false);
            QTest::keyClicks(b->FileName, "rR");
            typed = b->FileName->text();
            QTest::keyClick(b->FileList, Qt::Key_Delete);
            rowsAfterDelete = Rows(b->FileList);
            entriesOff = !b->DeleteFile->isEnabled() && !b->RenFile->isEnabled();
            b->FileList->setCurrentRow(0);  // a click copies the name only
            typed += "|" + b->FileName->text();
            return QDialog::Rejected;
        };
        const FractalState before = s.w().state;
        s.w().action("SaveFractal")->trigger();
        QCOMPARE(typed, QString("fractal_newrR|a"));
        QVERIFY(entriesOff);
        QCOMPARE(rowsAfterDelete, QStringList{"a"});
        QCOMPARE(s.f.dialogs.execs, QStringList{"OpenSaveFractal"});
        QVERIFY(s.f.dialogs.messages.isEmpty());
        QVERIFY(SameFractal(s.w().state, before));
        QVERIFY(!s.w().BrowserConfirmed());
    }

    // A double-click on a row opens the file and the next press on the main view is ignored.
    void doubleClickDisarmsMainView() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(PutFractal(s.fractals, "a.frc", Fractal(0.25, 0.5, 2.0f)));
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            const QRect first = b->FileList->visualItemRect(b->FileList->item(0));
            DoubleClick(b->FileList->viewport(), first.center());
            return dialog.result();
        };
        s.w().action("OpenFract")->trigger();
        QVERIFY(s.w().BrowserConfirmed());
        QCOMPARE(s.w().state.Cx, 0.25);
        QVERIFY(!Probe(s.w()).MouseArmed);
        QVERIFY(s.f.WaitIdle());
        s.w().action("ToCur")->trigger();
        const float centerX = s.w().state.CenterX;
        s.w().PicMouseDown(Qt::LeftButton, 10, 10);
        QCOMPARE(s.w().state.CenterX, centerX);
        QVERIFY(Probe(s.w()).MouseArmed);
        QVERIFY(s.w().RenderIdle());
        s.w().PicMouseDown(Qt::LeftButton, 10, 10);  // armed again: this press centres
        QVERIFY(s.w().state.CenterX != centerX);
        QVERIFY(s.f.WaitIdle());
    }

    // A folder named like a fractal file cannot be read: the reader's message, no preview, and
    // it is not offered for opening.
    void unreadableEntryIsNotOpened() {
        Started s;
        QVERIFY(s.Start());
        QVERIFY(QDir().mkpath(s.fractals + "/dir.frc"));
        QVERIFY(PutFractal(s.fractals, "locked.frc", Fractal(0.7, 0.1, 2.0f)));
        const bool root = geteuid() == 0;
        QFile(s.fractals + "/locked.frc").setPermissions(QFileDevice::WriteOwner);
        const FractalState before = s.w().state;
        bool openEnabled = true, previewShown = true, stillOpen = false;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            openEnabled = b->OpenFractal->isEnabled();
            previewShown = b->PreView->isVisible();
            QTest::keyClick(b->FileList, Qt::Key_Return);
            stillOpen = dialog.isVisible();
            if (!root) {
                b->FileList->setCurrentRow(1);
            }
            return QDialog::Rejected;
        };
        s.w().action("OpenFract")->trigger();
        QVERIFY(!openEnabled);
        QVERIFY(!previewShown);
        QVERIFY(stillOpen);
        const int expected = root ? 1 : 2;
        QCOMPARE(s.f.dialogs.messages.size(), expected);
        for (const auto& m : s.f.dialogs.messages) {
            QCOMPARE(m.kind, MessageKind::Plain);
            QCOMPARE(m.text, QString(kCannotOpenForReading));
        }
        QVERIFY(SameFractal(s.w().state, before));
    }

    // No fractals folder: nothing listed, the note; a save there fails with the write message
    // and creates nothing.
    void missingFolder() {
        Started s;
        QVERIFY(s.Start());
        const QStringList entries = testfiles::Entries(s.f.folder.path());
        QString note;
        int rows = -1;
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOpenSaveFractal* b = Browser(dialog);
            ShowForTest(dialog);
            rows = b->FileList->count();
            note = b->ImMess->isVisible() ? b->ImMess->text() : QString();
            QTest::keyClick(b->FileList, Qt::Key_Escape);
            return dialog.result();
        };
        s.w().action("OpenFract")->trigger();
        QCOMPARE(rows, 0);
        QCOMPARE(note, QString("            ( Нет )"));
        s.f.dialogs.onExec = [&](QDialog& dialog) -> int {
            Browser(dialog)->SaveFractal->click();
            return dialog.result();
        };
        s.w().action("SaveFractal")->trigger();
        QCOMPARE(s.f.dialogs.messages.size(), 1);
        QCOMPARE(s.f.dialogs.messages[0].kind, MessageKind::Plain);
        QCOMPARE(s.f.dialogs.messages[0].text, QString(kCannotOpenForWriting));
        QCOMPARE(testfiles::Entries(s.f.folder.path()), entries);
        QVERIFY(!QDir(s.fractals).exists());
        QCOMPARE(s.w().action("SaveCrntFrct")->text(), QString("С&охранить fractal_new"));
    }

    // While a frame is being computed the open command does nothing.
    void openIgnoredWhileRendering() {
        Started s;
        QVERIFY(s.Start());
        s.f.thread().SetHoldForTests(true);
        s.w().RequestFrame();
        QVERIFY(QTest::qWaitFor([&] { return s.f.thread().HeldForTests(); }));
        s.w().action("OpenFract")->trigger();
        s.w().action("OpenPalette")->trigger();
        s.f.thread().SetHoldForTests(false);
        QVERIFY(s.f.WaitIdle());
        QVERIFY(s.f.dialogs.execs.isEmpty());
    }
};

QTEST_MAIN(TestFractalBrowser)
#include "test_fractal_browser.moc"
