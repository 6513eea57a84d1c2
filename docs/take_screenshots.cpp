// Takes the README's screenshots: the main window and the map of C beside it, started in the
// given data folder, the map's preview shown for a point on the set's edge.
//
//   xvfb-run -s "-screen 0 1400x800x24" env QT_QPA_PLATFORM=xcb
//       build/docs/ombrilo-take-screenshots data docs

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>

#include "engine/render_thread.h"
#include "ui/U_enterc.h"
#include "ui/U_mainform.h"
#include "ui/application.h"
#include "ui/map/U_mapform.h"

namespace {

void Settle(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ombrilo-take-screenshots DATA-FOLDER OUT-FOLDER\n");
        return 2;
    }
    // A configuration of its own, so that the user's window places stay out of the pictures.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    ombrilo::OmbriloApplication app(argc, argv);
    const QString out = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir::setCurrent(QString::fromLocal8Bit(argv[1]));

    ombrilo::TMainForm form;
    form.move(10, 10);
    form.show();
    Settle(1500);
    form.grab().save(out + "/main-window.png");

    form.action("ShowMap")->trigger();
    ombrilo::TMapForm* map = form.MapWindow();
    map->move(form.frameGeometry().right() + 12, 10);
    Settle(1500);
    QWidget* canvas = map->findChild<QWidget*>("MapPic");
    const QPointF at(canvas->width() * 0.36, canvas->height() * 0.3);
    QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &move);
    Settle(1500);
    map->grab().save(out + "/map-window.png");
    form.screen()->grabWindow(0).save(out + "/screen.png");

    // The typed C with a wrong number in one field.
    form.action("EnterC")->trigger();
    ombrilo::TEnterCForm* enter = form.EnterCWindow();
    enter->ImCEdit->setText("0,11i");
    QMetaObject::invokeMethod(enter, "accept");
    Settle(500);
    enter->grab().save(out + "/enter-c.png");
    return 0;
}
