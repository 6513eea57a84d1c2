#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include "browser_test_support.h"
#include "engine/render.h"
#include "ui/browsers/U_ospalette.h"
#include "ui/browsers/Urepalfile.h"
#include "ui/image_view.h"

using namespace ombrilo;
using namespace browsertest;

namespace {

const Palette kRed{2, 90, 10, 20, 30, 12, 6};
const Palette kBlue{5, 10, 40, 95, 4, 22, 38};
const Palette kGreen{7, 5, 80, 5, 9, 3, 27};

TOSPalette* Browser(QDialog& dialog) {
    return qobject_cast<TOSPalette*>(&dialog);
}

ColorTable TableOf(const Palette& palette) {
    ColorTable table;
    BuildColorTable(palette, table);
    return table;
}

QImage Reference(const FractalState& state) {
    QImage image(145, 105, QImage::Format_RGB32);
    image.fill(0);
    RenderView(state, ScreenGeometry(state, 145, 105),
               {image.bits(), 145, 105, image.bytesPerLine()});
    return image;
}

bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

class TestPaletteBrowser : public QObject {
    Q_OBJECT

private slots:
    // The browser needs no main window: it reads into the state it is given and hands back its
    // choice, here a remembered row that is gone (the last row is taken), then row 0, Cancel.
    void choiceIsHandedBackWithoutTheMainWindow() {
        QTemporaryDir folder;
        const QString previous = QDir::currentPath();
        QVERIFY(PutPalette(folder.path(), "red.ptt", kRed));
        QVERIFY(PutPalette(folder.path(), "blue.ptt", kBlue));
        QWidget owner;
        FractalState state;
        SetDefaultView(state);
        state.palette = kGreen;
        BuildColorTable(state.palette, state.colorTable);
        BrowserChoice kept;
        kept.path = "unchanged by the palette browser until a row is taken";
        kept.title = "a fractal";
        kept.lastRow = 5;
        TOSPalette browser(
            {owner, QRect(46, 0, 530, 409), false, true, folder.path(), state, kept});
        QCOMPARE(browser.Choice().lastRow, 1);
        QVERIFY(state.palette == kRed);
        browser.PalList->setCurrentRow(0);
        QVERIFY(state.palette == kBlue);
        browser.CanButClick();
        QVERIFY(state.palette == kGreen);
        QVERIFY(state.colorTable == TableOf(kGreen));
        const BrowserChoice& choice = browser.Choice();
        QVERIFY(!choice.confirmed);
        QCOMPARE(choice.path, folder.path() + "/blue.ptt");
        QCOMPARE(choice.title, QString("a fractal"));
        QCOMPARE(choice.lastRow, 0);
        QVERIFY(choice.read.PaletteAccepted);
        QDir::setCurrent(previous);
    }

    // Two palettes selected, then Cancel: palette and table exactly as before, sliders unmoved.
    void cancelRestoresPalette() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "red.ptt", kRed));
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "blue.ptt", kBlue));
        const Palette before = w.state.palette;
        const ColorTable table = w.state.colorTable;
        const auto frames = f.frames();
        QList<Palette> seen;
        QString caption;
        bool previewOk = false;
        f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOSPalette* b = Browser(dialog);
            ShowForTest(dialog);
            caption = dialog.windowTitle();
            seen.append(w.state.palette);
            b->PalList->setCurrentRow(1);
            seen.append(w.state.palette);
            previewOk = w.state.colorTable == TableOf(kRed) &&
                        SamePixels(b->With->image(), Reference(w.state));
            QTest::keyClick(b->PalList, Qt::Key_Escape);
            return dialog.result();
        };
        w.action("OpenPalette")->trigger();
        QCOMPARE(caption, QString("Открытие палитры"));
        QCOMPARE(seen, (QList<Palette>{kBlue, kRed}));
        QVERIFY(previewOk);
        QVERIFY(w.state.palette == before);
        QVERIFY(w.state.colorTable == table);
        QCOMPARE(Controls(w).TrackBarR0->value(), before.R0);
        QVERIFY(w.RenderIdle());
        QTest::qWait(50);
        QCOMPARE(f.frames(), frames);
        QCOMPARE(Probe(w).LastPaletteIndex, 1);
    }

    // Opening a valid palette: sliders, type list, strip and one frame.
    void openShowsPaletteInWindow() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "green.ptt", kGreen));
        const auto frames = f.frames();
        f.dialogs.onExec = [&](QDialog& dialog) -> int {
            ShowForTest(dialog);
            QTest::keyClick(Browser(dialog)->PalList, Qt::Key_Return);
            return dialog.result();
        };
        w.action("OpenPalette")->trigger();
        QVERIFY(w.state.palette == kGreen);
        QVERIFY(w.state.colorTable == TableOf(kGreen));
        QCOMPARE(Controls(w).TrackBarG0->value(), 80);
        QCOMPARE(Controls(w).TrackBarB1->value(), 27);
        QCOMPARE(Controls(w).TypeOfPalette->currentIndex(), 6);
        const std::uint8_t* first = w.state.colorTable.Entry(0);
        QCOMPARE(Controls(w).PaletteLine->image().pixel(0, 0) & 0xFFFFFF,
                 qRgb(first[2], first[1], first[0]) & 0xFFFFFF);
        QVERIFY(f.WaitIdle());
        QCOMPARE(f.frames(), frames + 1);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // A palette, then one of type 12, then Open: the note, the warning, the old palette.
    void unknownPaletteType() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "a.ptt", kRed));
        Palette twelve = kBlue;
        twelve.PaletteType = 12;
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "b.ptt", twelve));
        const Palette before = w.state.palette;
        const ColorTable table = w.state.colorTable;
        QString note;
        f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOSPalette* b = Browser(dialog);
            ShowForTest(dialog);
            b->PalList->setCurrentRow(1);
            note = b->ImText->isVisible() && !b->With->isVisible() ? b->ImText->text() : "";
            b->OpenBut->click();
            return dialog.result();
        };
        w.action("OpenPalette")->trigger();
        QCOMPARE(note, QString("Неизвестный тип."));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(Has(f.dialogs, MessageKind::Warning, "Палитра проигнорирована",
                    QString("Тип палитры неизвестен этой версии.\n Возможно, следует обновить "
                            "версию со \n страницы программы - ") +
                        kPage));
        QVERIFY(w.state.palette == before);
        QVERIFY(w.state.colorTable == table);
        QVERIFY(w.RenderIdle());
    }

    // Saving "palette_new" twice asks the second time; the file holds the palette.
    void saveTwiceAsks() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QDir().mkpath(Probe(w).PalettesFolder);
        QString caption, name;
        bool openHidden = false;
        f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOSPalette* b = Browser(dialog);
            ShowForTest(dialog);
            caption = dialog.windowTitle();
            name = b->FileText->text();
            openHidden = !b->OpenBut->isVisible() && b->SaveBut->isVisible() &&
                         !b->DelPalFile->isEnabled() && !b->ReNamePal->isEnabled();
            QTest::keyClick(b->FileText, Qt::Key_Return);
            return dialog.result();
        };
        w.action("SavePalette")->trigger();
        QCOMPARE(caption, QString("Сохранение палитры"));
        QCOMPARE(name, QString("palette_new"));
        QVERIFY(openHidden);
        const QString file = Probe(w).PalettesFolder + "/palette_new.ptt";
        QCOMPARE(testfiles::ReadBytes(file), testfiles::ToBytes(EncodePalette(w.state.palette)));
        f.dialogs.answer = QMessageBox::No;
        bool stillOpen = false;
        QString typed;
        f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOSPalette* b = Browser(dialog);
            ShowForTest(dialog);
            b->SaveBut->click();
            stillOpen = dialog.isVisible();
            b->FileText->end(false);
            QTest::keyClicks(b->FileText, "r");
            typed = b->FileText->text();
            return QDialog::Rejected;
        };
        w.action("SavePalette")->trigger();
        QVERIFY(stillOpen);
        QCOMPARE(typed, QString("palette_newr"));
        QCOMPARE(f.dialogs.execs.size(), 2);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(Has(f.dialogs, MessageKind::Question, "Подтверждение замены файла",
                    "Файл с таким именем уже существует.\n Заменить существующий файл?"));
    }

    // x.ptt.bak is not listed; rename to the own name is refused; delete through the pop-up
    // selects the row above and reads its palette.
    void listingRenameAndDelete() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "a.ptt", kRed));
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "b.ptt", kBlue));
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "c.ptt", kGreen));
        QVERIFY(PutPalette(Probe(w).PalettesFolder, "x.ptt.bak", kGreen));
        QStringList rows, afterDelete;
        int rowAfterDelete = -1;
        Palette stateAfterDelete;
        bool renameOpen = false;
        f.dialogs.onExec = [&](QDialog& dialog) -> int {
            if (auto* rename = qobject_cast<TRePalFile*>(&dialog)) {
                ShowForTest(dialog);
                rename->RenamePal->click();
                renameOpen = dialog.isVisible();
                return QDialog::Rejected;
            }
            TOSPalette* b = Browser(dialog);
            ShowForTest(dialog);
            rows = Rows(b->PalList);
            b->PalList->setCurrentRow(2);
            QTest::keyClick(b->PalList, Qt::Key_R);
            b->DelPalFile->trigger();
            afterDelete = Rows(b->PalList);
            rowAfterDelete = b->PalList->currentRow();
            stateAfterDelete = w.state.palette;
            return QDialog::Accepted;
        };
        w.action("OpenPalette")->trigger();
        QCOMPARE(rows, (QStringList{"a", "b", "c"}));
        QVERIFY(renameOpen);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, QString("Предупреждение о совпадении"));
        QCOMPARE(afterDelete, (QStringList{"a", "b"}));
        QCOMPARE(rowAfterDelete, 1);
        QVERIFY(stateAfterDelete == kBlue);
        QVERIFY(w.state.palette == kBlue);
        QCOMPARE(testfiles::Entries(Probe(w).PalettesFolder),
                 (QStringList{"a.ptt", "b.ptt", "x.ptt.bak"}));
    }

    // No palettes folder: the note, Open disabled, Enter does nothing.
    void missingFolder() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QString note;
        bool openEnabled = true, stillOpen = false;
        f.dialogs.onExec = [&](QDialog& dialog) -> int {
            TOSPalette* b = Browser(dialog);
            ShowForTest(dialog);
            note = b->ImText->isVisible() ? b->ImText->text() : QString();
            openEnabled = b->OpenBut->isEnabled();
            QTest::keyClick(b->PalList, Qt::Key_Return);
            stillOpen = dialog.isVisible();
            return QDialog::Rejected;
        };
        w.action("OpenPalette")->trigger();
        QCOMPARE(note, QString("            ( Нет )"));
        QVERIFY(!openEnabled);
        QVERIFY(stillOpen);
        f.dialogs.onExec = [](QDialog&) { return QDialog::Accepted; };
        w.action("SavePalette")->trigger();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, QString("Файл не удается открыть для записи."));
        QVERIFY(!QDir(Probe(w).PalettesFolder).exists());
    }
};

QTEST_MAIN(TestPaletteBrowser)
#include "test_palette_browser.moc"
