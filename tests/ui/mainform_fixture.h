#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "engine/render_thread.h"
#include "support/recording_dialogs.h"
#include "ui/U_mainform.h"

// A main window started in a fresh folder of its own (settings.dat, fractals, paletts are
// looked for there), shown and waited for until its first frame is on screen.
class MainFormFixture {
public:
    MainFormFixture() {
        previousFolder_ = QDir::currentPath();
        QDir::setCurrent(folder.path());
    }

    ~MainFormFixture() {
        form.reset();
        QDir::setCurrent(previousFolder_);
    }

    // Creates and shows the window; false when its first frame did not arrive.
    bool Start() {
        form = std::make_unique<ombrilo::TMainForm>();
        form->show();
        QApplication::setActiveWindow(form.get());
        if (!QTest::qWaitForWindowActive(form.get())) {
            return false;
        }
        return WaitIdle();
    }

    // Waits until the render thread has finished its frame and the frame reached the views.
    bool WaitIdle(int timeoutMs = 30000) {
        if (!QTest::qWaitFor([&] { return form->RenderIdle(); }, timeoutMs)) {
            return false;
        }
        QCoreApplication::processEvents();
        return true;
    }

    ombrilo::TThreadFract& thread() { return *form->renderThread(); }
    std::uint64_t frames() { return thread().FramesDone(); }

    QString FilePath(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
    RecordingDialogs dialogs;
    std::unique_ptr<ombrilo::TMainForm> form;

private:
    QString previousFolder_;
};
