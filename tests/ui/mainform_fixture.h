#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "engine/render_thread.h"
#include "support/recording_dialogs.h"
#include "ui/U_mainform.h"
#include "ui/image_view.h"

// The main window's controls the tests reach, found by their object names.
struct MainControls {
    explicit MainControls(const ombrilo::TMainForm& window) : window_(window) {}

private:
    template <typename Widget>
    Widget* Find(const char* name) const {
        return window_.findChild<Widget*>(QString::fromLatin1(name));
    }
    const ombrilo::TMainForm& window_;

public:
    ombrilo::ImageView* Pic = Find<ombrilo::ImageView>("Pic");
    ombrilo::ImageView* GeneralView = Find<ombrilo::ImageView>("GeneralView");
    ombrilo::ImageView* PaletteLine = Find<ombrilo::ImageView>("PaletteLine");
    QToolButton* DefButton = Find<QToolButton>("DefButton");
    QPushButton* FullScreenButton = Find<QPushButton>("FullScreenButton");
    QLineEdit* E_cx = Find<QLineEdit>("E_cx");
    QLineEdit* E_cy = Find<QLineEdit>("E_cy");
    QSlider* TrackBarCx = Find<QSlider>("TrackBarCx");
    QSlider* TrackBarCy = Find<QSlider>("TrackBarCy");
    QPushButton* PlusCx = Find<QPushButton>("PlusCx");
    QPushButton* MinusCy = Find<QPushButton>("MinusCy");
    QToolButton* UpCx = Find<QToolButton>("UpCx");
    QToolButton* DownCx = Find<QToolButton>("DownCx");
    QToolButton* StopCx = Find<QToolButton>("StopCx");
    QToolButton* UpCy = Find<QToolButton>("UpCy");
    QToolButton* StopCy = Find<QToolButton>("StopCy");
    QSlider* TrackBarR0 = Find<QSlider>("TrackBarR0");
    QSlider* TrackBarG0 = Find<QSlider>("TrackBarG0");
    QSlider* TrackBarG1 = Find<QSlider>("TrackBarG1");
    QSlider* TrackBarB1 = Find<QSlider>("TrackBarB1");
    QComboBox* TypeOfPalette = Find<QComboBox>("TypeOfPalette");
    QCheckBox* IsChPalette = Find<QCheckBox>("IsChPalette");
    QPushButton* ChPalette = Find<QPushButton>("ChPalette");
};

inline MainControls Controls(const ombrilo::TMainForm& window) {
    return MainControls(window);
}

// The main window's own state that its tests set up and look at; the window keeps it private
// from the other windows.
struct MainFormProbe {
    explicit MainFormProbe(ombrilo::TMainForm& window)
        : KoefScaleX(window.KoefScaleX),
          KoefScaleY(window.KoefScaleY),
          SlideDelay(window.SlideDelay),
          CloseAfterSave(window.CloseAfterSave),
          SlideOrder(window.SlideOrder),
          FractalsFolder(window.FractalsFolder),
          PalettesFolder(window.PalettesFolder),
          LoadPaletteWithFractal(window.LoadPaletteWithFractal),
          MouseArmed(window.MouseArmed),
          BrowserShown(window.BrowserShown),
          LastFractalIndex(window.LastFractalIndex),
          LastPaletteIndex(window.LastPaletteIndex),
          MouseTool(window.MouseTool),
          ApplyPaletteNow(window.ApplyPaletteNow),
          AnimRe(window.AnimRe),
          AnimIm(window.AnimIm),
          CurrentFractalPath(window.CurrentFractalPath) {}

    float& KoefScaleX;
    float& KoefScaleY;
    std::int32_t& SlideDelay;
    std::int32_t& CloseAfterSave;
    std::uint8_t& SlideOrder;
    QString& FractalsFolder;
    QString& PalettesFolder;
    bool& LoadPaletteWithFractal;
    bool& MouseArmed;
    bool& BrowserShown;
    int& LastFractalIndex;
    int& LastPaletteIndex;
    int& MouseTool;
    bool& ApplyPaletteNow;
    ombrilo::CoefAnimation& AnimRe;
    ombrilo::CoefAnimation& AnimIm;
    QString& CurrentFractalPath;
};

inline MainFormProbe Probe(ombrilo::TMainForm& window) {
    return MainFormProbe(window);
}

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
