#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "support/test_files.h"
#include "ui/help/U_about.h"
#include "ui/help/U_description.h"
#include "ui/mainform_fixture.h"

using namespace ombrilo;

namespace {

QList<TDscrptForm*> DescriptionWindows() {
    QList<TDscrptForm*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<TDscrptForm*>(w); d != nullptr && d->isVisible()) {
            found << d;
        }
    }
    return found;
}

void PressEscape(QWidget* widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

}  // namespace

class TestHelpWindows : public QObject {
    Q_OBJECT

private slots:
    void MissingFileGivesTheNote() {
        MainFormFixture f;
        QVERIFY(f.Start());
        f.form->action("Descript")->trigger();
        const auto windows = DescriptionWindows();
        QCOMPARE(windows.size(), 1);
        TDscrptForm* window = windows.front();
        QCOMPARE(window->windowTitle(), QString("Описание "));
        QCOMPARE(window->width(), 414);
        QCOMPARE(window->minimumWidth(), 414);
        QCOMPARE(window->maximumWidth(), 414);
        QCOMPARE(window->height(), 480);
        QCOMPARE(window->RichEdit1->toPlainText(),
                 QString(" Показать описание невозможно.В каталоге программы\n"
                         "отсутствует файл описания - Description.rtf.\n"
                         " Скачайте оригиналный архив Ombrilo.zip cо\n"
                         "страницы программы https://ombrilo.example.org/"));
        QVERIFY(window->RichEdit1->isReadOnly());
        PressEscape(window->RichEdit1);
        QTRY_COMPARE(DescriptionWindows().size(), 0);
    }

    void FileIsFoundInStartFolderAfterTheDirectoryMoved() {
        MainFormFixture f;
        QVERIFY(f.Start());
        QVERIFY(testfiles::WriteBytes(
            f.FilePath("Description.rtf"),
            "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}}\\b \\'d0\\'f3\\'ea\\'ee"
            "\\'e2\\'ee\\'e4\\'f1\\'f2\\'e2\\'ee\\b0\\par text}"));
        QVERIFY(QDir().mkpath(f.FilePath("elsewhere")));
        QDir::setCurrent(f.FilePath("elsewhere"));
        f.form->action("Descript")->trigger();
        f.form->action("Descript")->trigger();  // each call opens one more window
        const auto windows = DescriptionWindows();
        QCOMPARE(windows.size(), 2);
        QCOMPARE(windows.front()->RichEdit1->toPlainText(), QString("Руководство\ntext"));
        QCOMPARE(QDir::currentPath(), QDir(f.folder.path()).canonicalPath());
        for (TDscrptForm* w : windows) {
            w->close();
        }
        QTRY_COMPARE(DescriptionWindows().size(), 0);
    }

    void AboutIsToggledAndOpensLinksThroughTheSeam() {
        MainFormFixture f;
        QVERIFY(f.Start());
        QList<QUrl> opened;
        SetUrlOpener([&](const QUrl& url) { opened << url; });
        f.form->action("A_Program")->trigger();
        QVERIFY(f.form->AboutShown());
        TAboutForm* about = f.form->AboutWindow();
        QVERIFY(about != nullptr && about->isVisible());
        QCOMPARE(about->windowTitle(), QString("О программе Ombrilo"));
        QCOMPARE(about->size(), QSize(233, 187));
        QCOMPARE(about->Label2->text(), QString("Версия 1.02"));
        QCOMPARE(about->Label3->text(), QString("https://ombrilo.example.org/"));
        QCOMPARE(about->Label4->text(), QString("e-mail: ombrilo@example.org"));
        QVERIFY(about->Label3->font().underline());
        QVERIFY(!about->GoodByePicture->pixmap().isNull());
        QCOMPARE(about->GoodByePicture->size(), QSize(73, 73));
        QCOMPARE(about->y(), f.form->y() + 120);
        QTest::mouseClick(about->Label3, Qt::RightButton);
        QTest::mouseClick(about->Label4, Qt::LeftButton);
        QCOMPARE(opened, (QList<QUrl>{QUrl("https://ombrilo.example.org/"),
                                      QUrl("mailto:ombrilo@example.org")}));

        f.form->action("A_Program")->trigger();
        QVERIFY(!f.form->AboutShown());
        QTRY_VERIFY(f.form->AboutWindow().isNull());

        f.form->action("A_Program")->trigger();
        PressEscape(f.form->AboutWindow());
        QVERIFY(!f.form->AboutShown());
        QTRY_VERIFY(f.form->AboutWindow().isNull());

        f.form->action("A_Program")->trigger();
        QTest::mouseClick(f.form->AboutWindow()->CloseButton, Qt::LeftButton);
        QVERIFY(!f.form->AboutShown());
        SetUrlOpener({});
    }
};

QTEST_MAIN(TestHelpWindows)
#include "test_help_windows.moc"
