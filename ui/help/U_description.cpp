#include "U_description.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextEdit>
#include <QVBoxLayout>

#include "engine/numeric.h"
#include "ui/application.h"
#include "ui/help/rtf_reader.h"

namespace ombrilo {

namespace {

constexpr const char* kDescriptionFile = "Description.rtf";

}  // namespace

QString MissingDescriptionNote() {
    return QString::fromUtf8(
               " Показать описание невозможно.В каталоге программы\n"
               "отсутствует файл описания - Description.rtf.\n"
               " Скачайте оригиналный архив Ombrilo.zip cо\n"
               "страницы программы ") +
           kProgramPage;
}

TDscrptForm::TDscrptForm(QWidget& main, const QString& startFolder)
    : QWidget(&main, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName("DscrptForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Описание ");
    setMinimumWidth(kWidth);
    setMaximumWidth(kWidth);
    resize(kWidth, kHeight);

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichEdit1);
    installEventFilter(this);
    RichEdit1->installEventFilter(this);
    RichEdit1->viewport()->installEventFilter(this);

    QDir::setCurrent(startFolder);
    LoadDescription(startFolder);

    const QRect outer = main.frameGeometry();
    move(outer.left() + TruncToInt32((outer.width() - kWidth) * 0.5L),
         outer.top() + TruncToInt32((outer.height() - kHeight) * 0.5L));
}

void TDscrptForm::LoadDescription(const QString& folder) {
    RichEdit1->clear();
    QFile file(folder + "/" + kDescriptionFile);
    // A file that is there but cannot be read gets the same note as a missing one.
    if (QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly)) {
        ReadRtf(file.readAll(), *RichEdit1->document());
    } else {
        RichEdit1->setPlainText(MissingDescriptionNote());
    }
    RichEdit1->moveCursor(QTextCursor::Start);
}

void TDscrptForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RichEdit1->setFocus();
}

bool TDscrptForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ombrilo
