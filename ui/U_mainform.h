#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/fractal_state.h"
#include "engine/overview_marker.h"
#include "engine/render.h"
#include "engine/view_history.h"
#include "export/U_sizeandext.h"
#include "formats/fractal_file.h"
#include "formats/settings_file.h"
#include "ui/browsers/browser_dialog.h"
#include "ui/sweep_clock.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;

struct MainFormProbe;

namespace ombrilo {

class ImageView;
class TAboutForm;
class TFullScreenForm;
class TEnterCForm;
class TJLFOptions;
class TMapForm;
class TSizeAndExt;
class TThreadFract;

// One coordinate's back-and-forth sweep of the coefficient animation.
struct CoefAnimation {
    bool StopRequested = false;
    bool RunningUp = false;
    bool RunningDown = false;
    int UpSpeed = 1;
    int DownSpeed = 1;
};

// The tools of the main view, in the order of MouseTool.
enum MouseToolId { KoefTool = 0, ZoomTool = 1, CenterTool = 2, HandToolId = 3, FromToTool = 4 };

// The main window: holds the fractal state, the render thread and the windows it opens. The
// other windows get what they need when they are made (a setup, the export window's host
// calls) and hand their results back as values or signals; whether one of them is open is
// told by the window itself.
class TMainForm : public QMainWindow, public ExportHost {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- State ---------------------------------------------------------------------------
    // The fractal state the views, the full-screen view and the windows opened show, and the
    // overview's marker the render thread draws.
    FractalState state;
    OverviewMarker marker;

    // --- Windows it opens ----------------------------------------------------------------
    bool FullScreenShown() const override;
    bool SlideShowRunning() const { return slideShowRunning_; }
    bool OptionsShown() const;
    bool AboutShown() const;
    bool ExportDialogShown() const;
    QPointer<TJLFOptions> OptionsWindow() const { return optionsWindow_; }
    QPointer<TAboutForm> AboutWindow() const { return aboutWindow_; }
    QPointer<TMapForm> MapWindow() const { return mapWindow_; }
    QPointer<TEnterCForm> EnterCWindow() const { return enterCWindow_; }

    // What the last browser handed back: the file the next read or write uses, its row name,
    // and whether the fractal browser closed with a confirmed choice.
    const QString& FilePath() const { return filePath_; }
    const QString& FileTitle() const { return fileTitle_; }
    bool BrowserConfirmed() const { return browserConfirmed_; }

    // What the open commands do once a file is chosen, also for a file named on the command
    // line: a fractal file is read and shown with its sliders, texts, marker and palette, and
    // becomes the file the quick-save command writes to; a palette file's palette is shown, or
    // the warning about its unknown type; a PNG picture this program exported gives the
    // fractal kept inside it (the picture does not become the quick-save file).
    void OpenFractalFile(const QString& path);
    void OpenPaletteFile(const QString& path);
    void OpenPictureFile(const QString& path);

    // --- Render thread handshake ---------------------------------------------------------
    bool RenderIdle() const;
    void RequestFrame();
    TThreadFract* renderThread() const { return renderThread_.get(); }

    // After C was loaded: the sliders show its truncated thousandths while C keeps its value.
    void SetSlidersFromState();
    void StopAnimations() override;
    // The sweep's pace; tests put in a clock of their own.
    void SetSweepClock(std::unique_ptr<SweepClock> clock);
    const ViewHistory& history() const { return history_; }

    // --- Commands --------------------------------------------------------------------------
    void DefaultParExecute();
    void FractalN1Execute();
    void KoefScrExecute();
    void ZoomExecute();
    void ToCurExecute();
    void HandToolExecute();
    void FromToExecute();
    void LupaPlusClick();
    void LupaMinusClick();
    void FullScrExecute();
    void CloseAppExecute();
    void OpenFractExecute();
    void SaveCrntFrctExecute();
    void SaveFractalExecute();
    void OpenPaletteExecute();
    void SavePaletteExecute();
    void SaveImageExecute();
    void SlideShowExecute();
    void OptionsExecute();
    void DescriptExecute();
    void A_ProgramExecute();
    void HistoryBackExecute();
    void HistoryForwardExecute();
    void ShowMapExecute();
    void EnterCExecute();

    // C taken on the map or typed: the sliders show its truncated thousandths, the texts show
    // it, one frame follows. A step while a frame is computed is dropped, except the last one
    // of a gesture, which is applied once the renderer is idle; that one ends a history entry.
    void TakeC(double cx, double cy, bool gestureEnds);

    // Palette box.
    void LevelSliderChange(int index);
    void TypeOfPaletteChange(int itemIndex);
    void IsChPaletteClick();
    void ChPaletteClick();

    // Coefficient controls.
    void TrackBarCxChange(int position);
    void TrackBarCyChange(int position);
    void PlusCxClick();
    void MinusCxClick();
    void PlusCyClick();
    void MinusCyClick();
    void UpCxClick();
    void DownCxClick();
    void StopCxClick();
    void UpCyClick();
    void DownCyClick();
    void StopCyClick();

    // Mouse and wheel on the views, in their device pixels.
    void PicMouseDown(Qt::MouseButton button, int x, int y);
    // The wheel over the main view: 120 units a notch, forward zooms in. Notches are added up
    // and applied while the renderer is idle, keeping the plane point under (x, y) in place.
    void PicWheel(int angleDelta, int x, int y);
    void PicMouseMove(Qt::MouseButtons buttons, int x, int y);
    void PicMouseUp();
    void GeneralViewMouseDown(Qt::MouseButton button, int x, int y);
    void GeneralViewMouseMove(Qt::MouseButtons buttons, int x, int y);

    // The full-screen window tells the main window it has gone.
    void FullScreenClosed();

    QAction* action(const QString& name) const;
    QLabel* statusPanel(int index) const;

signals:
    // A frame of the render thread has reached the two views.
    void frameShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window tests' view of the private state.
    friend struct ::MainFormProbe;

    // What the export window asks.
    QWidget& HostWindow() override { return *this; }
    const FractalState& ExportedState() const override { return state; }
    QRect MainViewRect() const override;
    bool CurrentFractalKnown() const override;
    QString FractalTitle() const override { return fileTitle_; }
    bool CloseAfterSaving() const override { return CloseAfterSave != 0; }
    void SetCloseAfterSaving(bool close) override { CloseAfterSave = close ? 1 : 0; }

    void ReadSettings();
    void BuildWindow();
    void BuildMenu();
    void BuildToolButtons(QWidget* client);
    void BuildOverviewGroup(QWidget* client);
    void BuildCoefficientGroup(QWidget* client);
    void BuildPaletteBox(QWidget* client);
    void BuildStatusBar();
    QAction* AddCommand(const QString& name, const QString& caption, const QKeySequence& key,
                        void (TMainForm::*handler)());
    void PlaceWindow();
    // Moves the controls for the client's size: the main view takes all room beyond the start
    // size, the right column and the palette box keep their size and follow the edges.
    void LayOutClient();
    // Takes the main view's and the overview's size in device pixels into the state and the
    // marker (SetMainSize, SetOverviewPictureSize) and asks for a frame; done once the
    // renderer is idle when it is busy. TakeViewSize does the first part only.
    void UpdateViewSize();
    void TakeViewSize();
    void ApplyWheel();
    void ShowHint(const QString& hint);
    // The window's size as the user left it: read at the start, written at the end.
    void ReadWindowConfig();
    void WriteWindowConfig();
    void ShowFrame();
    void SelectTool(int tool);
    void SetViewWidth(float width);
    void ShowCoordinates(long double x, long double y);
    void CopyPaletteSliders();
    void ApplyPendingPaletteType();
    void WriteSettingsIfChanged();
    Settings CurrentSettings() const;
    // Recomputes the full-screen picture from the state, while it is shown.
    void RenderFullScreen();
    void UpdateKoefScale();
    void UpdateOverviewMarkerNow();
    void BuildAndShowPalette();  // BuildColorTable + DrawPaletteLine
    void DrawPaletteLine();
    void ShowCoefficients();           // E_cx / E_cy from Cx / Cy
    void ShowPaletteFromState();       // sliders, type list, table and strip from the palette
    void ShowCurrentFractalCaption();  // "С&охранить " + FileTitle, enabled
    // A browser's setup from the state and the choice the last browser left; the choice it
    // hands back is kept for the next one.
    BrowserSetup MakeBrowserSetup(bool openMode, const QString& folder, int lastRow);
    // Takes the present state into the history once a user action has completed.
    void RecordHistory();
    // Runs a browser modally; returns its modal result.
    int RunBrowser(BrowserDialog& browser);
    void TakeBrowserChoice(const BrowserChoice& choice, int& lastRow);
    // The fractal at FilePath read and shown; the palette the last read took shown.
    void OpenFractalAtFilePath();
    void ApplyReadPalette();
    // Shows a state just put in place from outside (a file, the history): sliders, texts,
    // marker, palette controls when asked, full-screen view, one frame.
    void ShowLoadedState(bool withPalette);
    // The rest of opening a fractal once its record was read (read false: it was not); a fractal
    // file becomes the file of the quick-save command.
    void ShowReadFractal(bool read, bool fractalFile);
    void GoToHistoryEntry(bool back);
    void UpdateHistoryCommands();
    void KeyPreview(QKeyEvent* event);

    // The map of C: shown the state after every change, hidden while the full-screen view or
    // the slide show covers the screen, opened at start when it was open at the last end.
    void ShowStateOnMap();
    void SuspendMap(bool suspended);
    void RestoreMapWindow();
    void ApplyPendingC();
    void ApplyC(double cx, double cy);

    void ShowCoefficient(QLineEdit* text, double value);
    void TakeSliderCoefficient(int position, double& coefficient, QLineEdit* text);
    void Animate(CoefAnimation& animation, CoefAnimation& other, QSlider* slider, bool up);
    void Sweep(CoefAnimation& animation, QSlider* slider, bool up);
    void RecordHistoryAfterSliderActions(QSlider* slider);

    float KoefScaleX = 0.0f;
    float KoefScaleY = 0.0f;

    std::int32_t SlideDelay = 4;
    std::int32_t CloseAfterSave = 0;
    std::uint8_t SlideOrder = 0;

    QString FractalsFolder;
    QString PalettesFolder;

    bool LoadPaletteWithFractal = true;
    bool MouseArmed = true;
    bool BrowserShown = false;  // a fractal or palette browser is open
    int LastFractalIndex = 0;
    int LastPaletteIndex = 0;
    int MouseTool = KoefTool;

    bool ApplyPaletteNow = true;
    CoefAnimation AnimRe;
    CoefAnimation AnimIm;

    QString CurrentFractalPath;  // fractal file last opened or saved; SaveCrntFrct writes it

    bool SettingsLoaded = false;
    Settings snapshot;  // settings as read at start-up; Left/Top are StoredLeft/StoredTop
    QString StartFolder;
    bool SliderSync = true;
    ReadFlags SlideReadFlags;  // FractalAccepted of the slides' reads, kept for the whole run

    QString filePath_;
    QString fileTitle_;
    bool browserConfirmed_ = false;
    ReadFlags fileRead_;  // what the last read that opened its file accepted

    std::unique_ptr<TThreadFract> renderThread_;
    QPointer<TFullScreenForm> fullScreen_;
    QPointer<TJLFOptions> optionsWindow_;
    QPointer<TAboutForm> aboutWindow_;
    QPointer<TSizeAndExt> exportWindow_;
    QPointer<TMapForm> mapWindow_;
    QPointer<TEnterCForm> enterCWindow_;
    bool mapSuspended_ = false;
    std::optional<std::pair<double, double>> pendingC_;  // the end of a gesture made while busy
    bool slideShowRunning_ = false;
    bool paletteTypePending_ = false;
    int dragAnchorX_ = 0, dragAnchorY_ = 0;
    int koefAnchorX_ = 0, koefAnchorY_ = 0;
    int koefAnchorPosX_ = 0, koefAnchorPosY_ = 0;
    bool closing_ = false;
    QWidget* client_ = nullptr;
    std::vector<std::pair<QWidget*, QRect>> startPlaces_;  // the client's controls at start size
    bool viewSizePending_ = false;
    int wheelPending_ = 0;  // wheel units not yet applied
    int wheelX_ = 0, wheelY_ = 0;
    QTimer* wheelGesture_ = nullptr;  // ends a wheel gesture: one history entry
    int hintExtraHeight_ = 0;         // the status bar's second line, while a hint needs it
    // While the window grows or shrinks with the status bar, the client passes through other
    // sizes; the views keep theirs until it is back at heldClientSize_ (or the timer ends it).
    bool holdViewSize_ = false;
    QSize heldClientSize_;
    QTimer* hintSettle_ = nullptr;
    QSize storedClientSize_;
    bool storedMaximized_ = false;
    std::unique_ptr<SweepClock> sweepClock_;
    ViewHistory history_{HistoryEntry{}};

    // Controls by their component names; tests and screen readers find them by these names.
    QToolButton* Hand = nullptr;
    QToolButton* Center = nullptr;
    QToolButton* Lupa = nullptr;
    QToolButton* LupaPlus = nullptr;
    QToolButton* LupaMinus = nullptr;
    QToolButton* Koef = nullptr;
    QToolButton* To_From = nullptr;
    QToolButton* MapButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* MinusCx = nullptr;
    QPushButton* PlusCy = nullptr;
    QToolButton* DownCy = nullptr;
    QGroupBox* PalBox = nullptr;
    QSlider* TrackBarB0 = nullptr;
    QSlider* TrackBarR1 = nullptr;
    QMenu* fractalMenu = nullptr;
    ImageView* Pic = nullptr;
    ImageView* GeneralView = nullptr;
    ImageView* PaletteLine = nullptr;
    QToolButton* DefButton = nullptr;
    QPushButton* FullScreenButton = nullptr;
    QLineEdit* E_cx = nullptr;
    QLineEdit* E_cy = nullptr;
    QSlider* TrackBarCx = nullptr;
    QSlider* TrackBarCy = nullptr;
    QPushButton* PlusCx = nullptr;
    QPushButton* MinusCy = nullptr;
    QToolButton* UpCx = nullptr;
    QToolButton* DownCx = nullptr;
    QToolButton* StopCx = nullptr;
    QToolButton* UpCy = nullptr;
    QToolButton* StopCy = nullptr;
    QSlider* TrackBarR0 = nullptr;
    QSlider* TrackBarG0 = nullptr;
    QSlider* TrackBarG1 = nullptr;
    QSlider* TrackBarB1 = nullptr;
    QComboBox* TypeOfPalette = nullptr;
    QCheckBox* IsChPalette = nullptr;
    QPushButton* ChPalette = nullptr;
    QAction* ZZ2C = nullptr;
};

// Pixel to plane for the main view (of the state's size) and the overview (of the geometry
// given), in extended precision.
long double MainViewX(const FractalState& state, int x);
long double MainViewY(const FractalState& state, int y);
long double OverviewX(const ViewGeometry& overview, int x);
long double OverviewY(const ViewGeometry& overview, int y);

// Where a wheel zoom puts the view: `notches` zoom steps (positive in, negative out, by the zoom
// buttons' factors) with the plane point under the main-view pixel (x, y) kept under it.
void WheelZoom(FractalState& state, int notches, int x, int y);

}  // namespace ombrilo
