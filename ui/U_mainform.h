#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

#include "engine/fractal_state.h"
#include "engine/overview_marker.h"
#include "engine/view_history.h"
#include "formats/fractal_file.h"
#include "formats/settings_file.h"
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
class QToolButton;

namespace ombrilo {

class ImageView;
class TAboutForm;
class TFullScreenForm;
class TJLFOptions;
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

// The main window: holds the fractal state, the render thread and every window-coordination
// field; other windows reach the shared state through the one instance.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- State shared with the other windows --------------------------------------------
    FractalState state;
    OverviewMarker marker;
    float KoefScaleX = 0.0f;
    float KoefScaleY = 0.0f;

    std::int32_t SlideDelay = 4;
    std::int32_t CloseAfterSave = 0;
    std::uint8_t SlideOrder = 0;
    bool SettingsLoaded = false;
    Settings snapshot;  // settings as read at start-up; Left/Top are StoredLeft/StoredTop

    QString StartFolder;
    QString FractalsFolder;
    QString PalettesFolder;

    bool FullScreenShown = false;
    bool LoadPaletteWithFractal = true;
    bool MouseArmed = true;
    bool SlideShowRunning = false;
    bool OptionsShown = false;
    bool AboutShown = false;
    bool ExportDialogShown = false;
    bool BrowserShown = false;  // a fractal or palette browser is open
    int LastFractalIndex = 0;
    int LastPaletteIndex = 0;
    int MouseTool = KoefTool;

    bool ApplyPaletteNow = true;
    bool SliderSync = true;
    CoefAnimation AnimRe;
    CoefAnimation AnimIm;

    // Slide show and help
    ReadFlags SlideReadFlags;  // FractalAccepted of the slides' reads, kept for the whole run
    QPointer<TJLFOptions> OptionsWindow;
    QPointer<TAboutForm> AboutWindow;

    // Browsers
    bool BrowserOpenMode = true;       // set before a browser is created: open or save mode
    bool BrowserConfirmed = false;     // the fractal browser closed with a confirmed choice
    QString FilePath;                  // the file the next fractal or palette read or write uses
    QString FileTitle;                 // name of the fractal file chosen or typed in the browser
    QString CurrentFractalPath;        // fractal file last opened or saved; SaveCrntFrct writes it
    bool FractalAccepted = false;      // outcome of the last fractal read that opened its file
    bool PaletteAccepted = false;      // outcome of the last read that looked at a palette
    void ShowPaletteFromState();       // sliders, type list, table and strip from the palette
    void ShowCurrentFractalCaption();  // "С&охранить " + FileTitle, enabled
    // What the open commands do once a file is chosen: the fractal at FilePath is read and
    // shown with its sliders, texts, marker and palette; the palette the last read took is
    // shown, or the warning about its unknown type.
    void OpenFractalAtFilePath();
    void ApplyReadPalette();
    // The same for a PNG picture this program exported, whose fractal travels inside it; the
    // picture does not become the file the quick-save command writes to.
    void OpenPictureFractalAtFilePath();

    // --- Render thread handshake ---------------------------------------------------------
    bool RenderIdle() const;
    void RequestFrame();
    TThreadFract* renderThread() const { return renderThread_.get(); }

    // --- Operations other windows call ---------------------------------------------------
    void UpdateKoefScale();
    void UpdateOverviewMarkerNow();
    void BuildAndShowPalette();  // BuildColorTable + DrawPaletteLine
    void DrawPaletteLine();
    void ShowCoefficients();  // E_cx / E_cy from Cx / Cy
    // After C was loaded: the sliders show its truncated thousandths while C keeps its value.
    void SetSlidersFromState();
    void StopAnimations();
    // The sweep's pace; tests put in a clock of their own.
    void SetSweepClock(std::unique_ptr<SweepClock> clock);
    // Takes the present state into the history once a user action has completed.
    void RecordHistory();
    const ViewHistory& history() const { return history_; }
    void RenderFullScreen();
    Settings CurrentSettings() const;
    bool PaletteChanged() const;

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

    // Mouse on the views, in their own pixels.
    void PicMouseDown(Qt::MouseButton button, int x, int y);
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
    void ShowFrame();
    void SelectTool(int tool);
    void SetViewWidth(float width);
    void ShowCoordinates(long double x, long double y);
    void CopyPaletteSliders();
    void ApplyPendingPaletteType();
    void WriteSettingsIfChanged();
    // Shows a state just put in place from outside (a file, the history): sliders, texts,
    // marker, palette controls when asked, full-screen view, one frame.
    void ShowLoadedState(bool withPalette);
    // The rest of opening a fractal once its record was read (read false: it was not); a fractal
    // file becomes the file of the quick-save command.
    void ShowReadFractal(bool read, bool fractalFile);
    void GoToHistoryEntry(bool back);
    void UpdateHistoryCommands();
    void KeyPreview(QKeyEvent* event);

    void ShowCoefficient(QLineEdit* text, double value);
    void TakeSliderCoefficient(int position, double& coefficient, QLineEdit* text);
    void Animate(CoefAnimation& animation, CoefAnimation& other, QSlider* slider, bool up);
    void Sweep(CoefAnimation& animation, QSlider* slider, bool up);
    void RecordHistoryAfterSliderActions(QSlider* slider);

    std::unique_ptr<TThreadFract> renderThread_;
    QPointer<TFullScreenForm> fullScreen_;
    bool paletteTypePending_ = false;
    bool fromToRateKnown_ = false;
    float fromToRateY_ = 0.0f;
    int dragAnchorX_ = 0, dragAnchorY_ = 0;
    int koefAnchorX_ = 0, koefAnchorY_ = 0;
    int koefAnchorPosX_ = 0, koefAnchorPosY_ = 0;
    bool closing_ = false;
    std::unique_ptr<SweepClock> sweepClock_;
    ViewHistory history_{HistoryEntry{}};

public:
    // Controls by their component names.
    ImageView* Pic = nullptr;
    ImageView* GeneralView = nullptr;
    ImageView* PaletteLine = nullptr;
    QToolButton* DefButton = nullptr;
    QToolButton* Hand = nullptr;
    QToolButton* Center = nullptr;
    QToolButton* Lupa = nullptr;
    QToolButton* LupaPlus = nullptr;
    QToolButton* LupaMinus = nullptr;
    QToolButton* Koef = nullptr;
    QToolButton* To_From = nullptr;
    QPushButton* FullScreenButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QLineEdit* E_cx = nullptr;
    QLineEdit* E_cy = nullptr;
    QSlider* TrackBarCx = nullptr;
    QSlider* TrackBarCy = nullptr;
    QPushButton* PlusCx = nullptr;
    QPushButton* MinusCx = nullptr;
    QPushButton* PlusCy = nullptr;
    QPushButton* MinusCy = nullptr;
    QToolButton* UpCx = nullptr;
    QToolButton* DownCx = nullptr;
    QToolButton* StopCx = nullptr;
    QToolButton* UpCy = nullptr;
    QToolButton* DownCy = nullptr;
    QToolButton* StopCy = nullptr;
    QGroupBox* PalBox = nullptr;
    QSlider* TrackBarR0 = nullptr;
    QSlider* TrackBarG0 = nullptr;
    QSlider* TrackBarB0 = nullptr;
    QSlider* TrackBarR1 = nullptr;
    QSlider* TrackBarG1 = nullptr;
    QSlider* TrackBarB1 = nullptr;
    QComboBox* TypeOfPalette = nullptr;
    QCheckBox* IsChPalette = nullptr;
    QPushButton* ChPalette = nullptr;
    QMenu* fractalMenu = nullptr;
    QAction* ZZ2C = nullptr;
};

// The decimal separator of the user's locale (a full stop where it is not a single ASCII sign).
char DecimalSeparator();

// Pixel to plane for the main view and the overview, in extended precision.
long double MainViewX(const FractalState& state, int x);
long double MainViewY(const FractalState& state, int y);
long double OverviewX(int x);
long double OverviewY(int y);

}  // namespace ombrilo
