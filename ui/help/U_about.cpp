#include "U_about.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>

#include "engine/numeric.h"
#include "resources/program_pictures.h"
#include "ui/application.h"

namespace ombrilo {

namespace {

constexpr int kClientWidth = 233;
constexpr int kClientHeight = 187;

UrlOpener& CurrentOpener() {
    static UrlOpener opener;
    return opener;
}

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QLabel* LinkLabel(QWidget* parent, const char* name, const QString& text, int top) {
    auto* label = Place(new QLabel(text, parent), name, 8, top, kClientWidth - 16, 16);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(colours);
    label->setCursor(Qt::PointingHandCursor);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

}  // namespace

void SetUrlOpener(UrlOpener opener) {
    CurrentOpener() = std::move(opener);
}

void OpenUrl(const QUrl& url) {
    if (CurrentOpener()) {
        CurrentOpener()(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

const QUrl& TAboutForm::WebPage() {
    static const QUrl url(QString::fromLatin1(kProgramPage));
    return url;
}

const QUrl& TAboutForm::MailAddress() {
    static const QUrl url(QStringLiteral("mailto:") + QString::fromLatin1(kProgramMail));
    return url;
}

TAboutForm::TAboutForm(QWidget& main)
    : QDialog(&main, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("AboutForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("О программе Ombrilo");
    setFixedSize(kClientWidth, kClientHeight);

    GoodByePicture = Place(new QLabel(this), "GoodByePicture", 8, 8, 73, 73);
    GoodByePicture->setAlignment(Qt::AlignCenter);
    GoodByePicture->setPixmap(ApplicationPixmap(64));

    Label1 = Place(new QLabel("Ombrilo —\nисследование\nмножеств Жюлиа", this), "Label1", 90, 12,
                   kClientWidth - 98, 48);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label2 =
        Place(new QLabel("Версия " OMBRILO_VERSION, this), "Label2", 90, 62, kClientWidth - 98, 16);

    Label3 = LinkLabel(this, "Label3", WebPage().toString(), 90);
    Label4 = LinkLabel(this, "Label4", "e-mail: " + MailAddress().path(), 110);
    Label6 = Place(new QLabel("Пишите о найденных фракталах!", this), "Label6", 8, 130,
                   kClientWidth - 16, 16);
    Label6->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    Label3->installEventFilter(this);
    Label4->installEventFilter(this);

    CloseButton =
        Place(new QPushButton("Close", this), "CloseButton", (kClientWidth - 75) / 2, 154, 75, 25);
    connect(CloseButton, &QPushButton::clicked, this, &TAboutForm::close);

    const QRect outer = main.frameGeometry();
    move(outer.left() + TruncToInt32((outer.width() - kClientWidth) * 0.5L), outer.top() + 120);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == Label3) {
            OpenUrl(WebPage());
            return true;
        }
        if (watched == Label4) {
            OpenUrl(MailAddress());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::reject() {
    close();
}

void TAboutForm::closeEvent(QCloseEvent* event) {
    event->accept();
}

}  // namespace ombrilo
