#include "U_mainform.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "engine/numeric.h"
#include "engine/render_thread.h"
#include "export/U_sizeandext.h"
#include "formats/file_io.h"
#include "resources/program_pictures.h"
#include "slideshow/U_jlfoptions.h"
#include "slideshow/U_slideform.h"
#include "slideshow/U_slidelist.h"
#include "ui/U_fullscreen.h"
#include "ui/application.h"
#include "ui/browsers/U_opensavefractal.h"
#include "ui/browsers/U_ospalette.h"
#include "ui/browsers/browser_common.h"
#include "ui/dialogs.h"
#include "ui/help/U_about.h"
#include "ui/help/U_description.h"
#include "ui/image_view.h"
#include "ui/number_text.h"
#include "ui/program_config.h"
#include "ui/screen_area.h"

namespace ombrilo {

namespace {

constexpr int kClientWidth = 690;
constexpr int kClientHeight = 554;
constexpr int kStatusBarHeight = 19;
constexpr const char* kStartCoordinates = " ( X,Y ) =   ";

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QString Hint(const char* text) {
    return QString::fromUtf8(text);
}

QToolButton* PictureButton(QWidget* parent, const char* name, const QIcon& icon, int left, int top,
                           int size, const char* hint) {
    auto* button = Place(new QToolButton(parent), name, left, top, size, size);
    button->setIcon(icon);
    button->setIconSize(QSize(size - 4, size - 4));
    button->setFocusPolicy(Qt::NoFocus);
    button->setStatusTip(Hint(hint));
    return button;
}

QGroupBox* Frame(QWidget* parent, const char* name, const char* caption, int left, int top,
                 int width, int height) {
    auto* frame =
        Place(new QGroupBox(QString::fromUtf8(caption), parent), name, left, top, width, height);
    return frame;
}

// A file of a fractal or palette type this version does not know: the first line names what is
// unknown, the rest points to the program's page.
void WarnUnknownType(QWidget* parent, const char* caption, const char* firstLine) {
    ShowWarning(parent, caption,
                QString::fromUtf8(firstLine) +
                    "\n Возможно, следует обновить версию со \n страницы программы - " +
                    kProgramPage);
}

// Marks a window as open for as long as it exists.
class ShownFlag {
public:
    explicit ShownFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~ShownFlag() { flag_ = false; }
    ShownFlag(const ShownFlag&) = delete;
    ShownFlag& operator=(const ShownFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

// --- Construction -------------------------------------------------------------------------------

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    StartFolder = QDir::currentPath();
    ReadSettings();
    FractalsFolder = StartFolder + "/fractals";
    PalettesFolder = StartFolder + "/paletts";
    // Leftovers of writes killed mid-way; only a day-old one, so that no write in progress of
    // another copy of the program loses its file.
    for (const QString& folder : {StartFolder, FractalsFolder, PalettesFolder}) {
        RemoveStaleTemporaryFiles(QFile::encodeName(folder).toStdString(), std::chrono::hours(24));
    }

    BuildWindow();
    ReadWindowConfig();
    action("SaveCrntFrct")->setEnabled(false);
    statusPanel(0)->setText(kStartCoordinates);
    TakeViewSize();
    ResetOverviewMarker(marker);
    SetDefaultView(state);

    state.Cx = SliderToCoefficient(TrackBarCx->value());
    state.Cy = SliderToCoefficient(TrackBarCy->value());
    ShowCoefficients();
    GeneralView->setCursor(MakeProgramCursor(ProgramCursor::Smoll));
    Pic->setCursor(MakeProgramCursor(ProgramCursor::Koef));
    UpdateKoefScale();

    // The sliders show the levels as far as their ranges go; the levels stay as read.
    const Palette levels = state.palette;
    TrackBarR0->setValue(levels.R0);
    TrackBarG0->setValue(levels.G0);
    TrackBarB0->setValue(levels.B0);
    TrackBarR1->setValue(levels.R1);
    TrackBarG1->setValue(levels.G1);
    TrackBarB1->setValue(levels.B1);
    TypeOfPalette->setCurrentIndex(state.palette.PaletteType - 1);
    BuildAndShowPalette();
    history_ = ViewHistory(HistoryEntryOf(state));
    UpdateHistoryCommands();
    sweepClock_ = MakeTimerSweepClock();

    state.FractalType = kFractalTypeZ2;
    state.PointColor = &Z2PointColor;
    ZZ2C->setChecked(true);

    renderThread_ = std::make_unique<TThreadFract>(state, marker);
    connect(renderThread_.get(), &TThreadFract::frameReady, this, &TMainForm::ShowFrame,
            Qt::QueuedConnection);
    renderThread_->start();
    if (!renderThread_->isRunning()) {
        ShowError(this, "Ошибка:", "Не удалось создать поток \n для расчета изображения");
        std::exit(EXIT_FAILURE);
    }
    PlaceWindow();
    qApp->installEventFilter(this);
    RestoreMapWindow();
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    AnimRe.StopRequested = AnimIm.StopRequested = true;
    delete fullScreen_;  // it refers to this window
    // The frame buffers go with the thread object; the thread ends first.
    if (renderThread_) {
        renderThread_->Stop();
    }
}

void TMainForm::ReadSettings() {
    const StartupSettings startup =
        LoadStartupSettings(QFile::encodeName(StartFolder + "/" + kSettingsFileName).toStdString());
    SettingsLoaded = startup.SettingsLoaded;
    snapshot = startup.snapshot;
    SlideDelay = startup.current.SlideDelay;
    CloseAfterSave = startup.current.CloseAfterSave;
    SlideOrder = startup.current.SlideOrder;
    state.palette = startup.current.palette;
}

void TMainForm::PlaceWindow() {
    layout()->activate();  // the start size is known only once the layout has run
    resize(minimumSize());
    if (storedClientSize_.isValid()) {
        // The size the user left the window at; never below the start size.
        resize(size() + storedClientSize_.expandedTo(client_->minimumSize()) -
               client_->minimumSize());
    }
    if (storedMaximized_) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    if (SettingsLoaded) {
        move(snapshot.Left, snapshot.Top);
        // A position from another screen set-up may lie on no screen at all: bring the
        // window back where it can be used.
        const QRect placed(snapshot.Left, snapshot.Top, width(), height());
        bool visible = false;
        for (QScreen* s : QGuiApplication::screens()) {
            visible = visible || s->geometry().intersects(placed);
        }
        if (visible) {
            return;
        }
    }
    const QPoint corner = CenteredIn(ScreenArea(*this), frameGeometry().size());
    move(corner);
    if (!SettingsLoaded) {
        snapshot.Left = corner.x();
        snapshot.Top = corner.y();
    }
}

void TMainForm::BuildWindow() {
    setWindowTitle(kApplicationTitle);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    BuildMenu();
    auto* client = new QWidget(this);
    client_ = client;
    client->setObjectName("Client");
    client->setMinimumSize(kClientWidth, kClientHeight - kStatusBarHeight);
    client->resize(client->minimumSize());
    setCentralWidget(client);

    Pic = Place(new ImageView(client), "Pic", 46, 0, kMainViewWidth, kMainViewHeight);
    Pic->setStatusTip(
        Hint(" Изменяет коэффициенты при перемещении по изображению с нажатой "
             "клавишей мыши"));
    connect(Pic, &ImageView::mousePressed, this, &TMainForm::PicMouseDown);
    connect(Pic, &ImageView::mouseMoved, this, &TMainForm::PicMouseMove);
    connect(Pic, &ImageView::mouseReleased, this, &TMainForm::PicMouseUp);
    connect(Pic, &ImageView::wheelTurned, this, &TMainForm::PicWheel);
    wheelGesture_ = new QTimer(this);
    wheelGesture_->setSingleShot(true);
    wheelGesture_->setInterval(400);
    connect(wheelGesture_, &QTimer::timeout, this, &TMainForm::RecordHistory);

    BuildToolButtons(client);
    BuildOverviewGroup(client);
    BuildCoefficientGroup(client);
    BuildPaletteBox(client);
    BuildStatusBar();
    for (QWidget* control : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        startPlaces_.emplace_back(control, control->geometry());
    }
    client->installEventFilter(this);
}

void TMainForm::LayOutClient() {
    const int extraWidth = std::max(0, client_->width() - client_->minimumWidth());
    const int extraHeight = std::max(0, client_->height() - client_->minimumHeight());
    const int viewRight = 46 + kMainViewWidth;
    for (const auto& [control, start] : startPlaces_) {
        QRect place = start;
        if (control == Pic) {
            place.setSize(start.size() + QSize(extraWidth, extraHeight));
        } else {
            place.translate(start.left() >= viewRight ? extraWidth : 0,
                            start.top() >= kMainViewHeight ? extraHeight : 0);
        }
        control->setGeometry(place);
    }
    if (holdViewSize_) {
        if (client_->size() != heldClientSize_) {
            return;
        }
        holdViewSize_ = false;
        hintSettle_->stop();
    }
    UpdateViewSize();
}

void TMainForm::TakeViewSize() {
    const QSize main = Pic->DevicePixelSize();
    const qreal ratio = Pic->devicePixelRatioF();
    const bool markerReset = marker.MarkerIsFrame && marker.FrameX1 == -1 && marker.FrameY1 == -1 &&
                             marker.FrameX2 == marker.PictureWidth + 1 &&
                             marker.FrameY2 == marker.PictureHeight + 1;
    SetMainSize(state, main.width(), main.height());
    SetOverviewPictureSize(marker, DevicePixels(kOverviewWidth, ratio),
                           DevicePixels(kOverviewHeight, ratio));
    if (markerReset) {
        ResetOverviewMarker(marker);
    } else {
        UpdateOverviewMarkerNow();
    }
}

void TMainForm::UpdateViewSize() {
    const QSize main = Pic->DevicePixelSize();
    const qreal ratio = Pic->devicePixelRatioF();
    const QSize overview(DevicePixels(kOverviewWidth, ratio), DevicePixels(kOverviewHeight, ratio));
    if (main == QSize(state.MainWidth, state.MainHeight) &&
        overview == QSize(marker.PictureWidth, marker.PictureHeight)) {
        viewSizePending_ = false;
        return;
    }
    if (!RenderIdle()) {
        viewSizePending_ = true;
        return;
    }
    viewSizePending_ = false;
    const bool newScale = overview != QSize(marker.PictureWidth, marker.PictureHeight);
    TakeViewSize();
    if (newScale) {
        DrawPaletteLine();
    }
    RequestFrame();
}

QAction* TMainForm::AddCommand(const QString& name, const QString& caption, const QKeySequence& key,
                               void (TMainForm::*handler)()) {
    auto* command = new QAction(caption, this);
    command->setObjectName(name);
    if (!key.isEmpty()) {
        command->setShortcut(key);
        // Shortcuts keep working while the full-screen window is on top; modal windows
        // still block them.
        command->setShortcutContext(Qt::ApplicationShortcut);
    }
    if (handler != nullptr) {
        connect(command, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    }
    addAction(command);
    return command;
}

void TMainForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");

    QMenu* file = bar->addMenu("&Файл");
    file->menuAction()->setObjectName("File");
    auto* open =
        AddCommand("OpenFract", "&Открыть фрактал..", Qt::Key_O, &TMainForm::OpenFractExecute);
    open->setShortcuts({QKeySequence(Qt::Key_O), QKeySequence(Qt::CTRL | Qt::Key_O)});
    open->setIcon(MenuIcon(MenuIconId::OpenFract));
    file->addAction(open);
    auto* quickSave = AddCommand("SaveCrntFrct", "С&охранить", Qt::SHIFT | Qt::Key_S,
                                 &TMainForm::SaveCrntFrctExecute);
    quickSave->setShortcuts(
        {QKeySequence(Qt::SHIFT | Qt::Key_S), QKeySequence(Qt::CTRL | Qt::Key_S)});
    file->addAction(quickSave);
    // Ctrl+S before any fractal was opened or saved asks for a name, as saving a new document
    // does; the key belongs to the quick save once it is enabled.
    auto* saveNew = AddCommand("SaveNewFractal", {}, QKeySequence(Qt::CTRL | Qt::Key_S),
                               &TMainForm::SaveFractalExecute);
    connect(quickSave, &QAction::enabledChanged, saveNew,
            [saveNew](bool enabled) { saveNew->setEnabled(!enabled); });
    auto* saveFractal = AddCommand("SaveFractal", "&Сохранить фрактал..", Qt::Key_S,
                                   &TMainForm::SaveFractalExecute);
    // Ctrl+Shift+S saves the fractal under a new name, as "save as" does a document.
    saveFractal->setShortcuts(
        {QKeySequence(Qt::Key_S), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    saveFractal->setIcon(MenuIcon(MenuIconId::SaveFractal));
    file->addAction(saveFractal);
    file->addAction(
        AddCommand("OpenPalette", "Отк&рыть палитру..", Qt::Key_P, &TMainForm::OpenPaletteExecute));
    file->addAction(AddCommand("SavePalette", "Со&хранить палитру..", Qt::Key_W,
                               &TMainForm::SavePaletteExecute));
    auto* saveImage =
        AddCommand("SaveImage", "Сохранить &как..", Qt::Key_F7, &TMainForm::SaveImageExecute);
    saveImage->setIcon(MenuIcon(MenuIconId::SaveImage));
    file->addAction(saveImage);
    file->addSeparator();
    auto* quit =
        AddCommand("CloseApp", "&Выйти", Qt::CTRL | Qt::Key_Q, &TMainForm::CloseAppExecute);
    quit->setIcon(MenuIcon(MenuIconId::CloseApp));
    file->addAction(quit);

    fractalMenu = bar->addMenu("Ф&рактал");
    fractalMenu->menuAction()->setObjectName("ChFract");
    auto* kinds = new QActionGroup(this);
    ZZ2C = AddCommand("FractalN1", "&Z <- Z^2 + C", {}, &TMainForm::FractalN1Execute);
    ZZ2C->setCheckable(true);
    kinds->addAction(ZZ2C);
    fractalMenu->addAction(ZZ2C);
    auto* cube = AddCommand("FractalN2", "Z <- Z^&3 + C", {}, nullptr);
    cube->setCheckable(true);
    cube->setVisible(false);
    kinds->addAction(cube);
    fractalMenu->addAction(cube);
    fractalMenu->addSeparator();
    fractalMenu->addAction(AddCommand("EnterC", "&Задать C...", QKeySequence(Qt::CTRL | Qt::Key_E),
                                      &TMainForm::EnterCExecute));

    QMenu* view = bar->addMenu("&Вид");
    view->menuAction()->setObjectName("ViewF");
    view->addAction(AddCommand("HistoryBack", "&Назад", QKeySequence(Qt::CTRL | Qt::Key_Z),
                               &TMainForm::HistoryBackExecute));
    auto* forward = AddCommand("HistoryForward", "&Вперёд", {}, &TMainForm::HistoryForwardExecute);
    forward->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    forward->setShortcutContext(Qt::ApplicationShortcut);
    view->addAction(forward);
    view->addSeparator();
    auto* full = AddCommand("FullScr", "&Полный экран", Qt::Key_F, &TMainForm::FullScrExecute);
    full->setShortcuts({QKeySequence(Qt::Key_F), QKeySequence(Qt::Key_F11)});
    full->setIcon(MenuIcon(MenuIconId::FullScr));
    view->addAction(full);
    view->addAction(
        AddCommand("SlideShow", "&Слайд-Шоу", Qt::Key_F10, &TMainForm::SlideShowExecute));
    auto* map = AddCommand("ShowMap", "&Карта C", Qt::Key_M, &TMainForm::ShowMapExecute);
    map->setIcon(ToolPicture(ToolPictureId::MapButton));
    map->setCheckable(true);
    view->addAction(map);

    bar->addAction(AddCommand("Options", "О&пции", {}, &TMainForm::OptionsExecute));

    QMenu* help = bar->addMenu("&Справка");
    help->menuAction()->setObjectName("About");
    auto* description =
        AddCommand("Descript", "&Описание", Qt::Key_F1, &TMainForm::DescriptExecute);
    description->setIcon(MenuIcon(MenuIconId::Descript));
    help->addAction(description);
    help->addAction(AddCommand("A_Program", "О &программе", {}, &TMainForm::A_ProgramExecute));

    AddCommand("DefaultPar", {}, Qt::Key_Home, &TMainForm::DefaultParExecute);
    AddCommand("HandTool", {}, Qt::Key_H, &TMainForm::HandToolExecute);
    AddCommand("ToCur", {}, Qt::Key_C, &TMainForm::ToCurExecute);
    AddCommand("Zoom", {}, Qt::Key_L, &TMainForm::ZoomExecute);
    AddCommand("KoefScr", {}, Qt::Key_K, &TMainForm::KoefScrExecute);
    AddCommand("FromTo", {}, Qt::Key_A, &TMainForm::FromToExecute);
}

void TMainForm::BuildToolButtons(QWidget* client) {
    struct Tool {
        QToolButton** field;
        const char* name;
        ToolPictureId picture;
        int top;
        const char* hint;
        const char* command;
    };
    const Tool tools[] = {
        {&DefButton, "DefButton", ToolPictureId::DefButton, 8,
         " Устанавливает начальное положение и масштаб для отображения фрактала (Home)",
         "DefaultPar"},
        {&Hand, "Hand", ToolPictureId::Hand, 42,
         " Перемещает изображение при нажатой клавише мыши (H)", "HandTool"},
        {&Center, "Center", ToolPictureId::Center, 76,
         " При нажатии клавиши мыши центрирует изображение относительно выбранной точки (C)",
         "ToCur"},
        {&Lupa, "Lupa", ToolPictureId::Lupa, 110,
         " Нажатие левой клавиши мыши увеличивает изображение с центрированием, правой - "
         "уменьшает (L)",
         "Zoom"},
        {&LupaPlus, "LupaPlus", ToolPictureId::LupaPlus, 144,
         " Увеличивает изображение на 30%  (+) ", nullptr},
        {&LupaMinus, "LupaMinus", ToolPictureId::LupaMinus, 178,
         " Уменьшает изображение на 30%  (-) ", nullptr},
        {&Koef, "Koef", ToolPictureId::Koef, 212,
         " Изменяет коэффициенты при перемещении по изображению с нажатой клавишей мыши (K)",
         "KoefScr"},
        {&To_From, "To_From", ToolPictureId::ToFrom, 246,
         " Приближает - удаляет изображение при перемещении с нажатой клавишей мыши (A)", "FromTo"},
        {&MapButton, "MapButton", ToolPictureId::MapButton, 290,
         " Открывает и закрывает карту C: множество Мандельброта, на котором выбирают C (M)",
         "ShowMap"},
    };
    for (const Tool& tool : tools) {
        *tool.field =
            PictureButton(client, tool.name, ToolPicture(tool.picture), 6, tool.top, 32, tool.hint);
        if (tool.command != nullptr) {
            QAction* command = action(tool.command);
            connect(*tool.field, &QToolButton::clicked, command, &QAction::trigger);
        }
    }
    connect(LupaPlus, &QToolButton::clicked, this, &TMainForm::LupaPlusClick);
    connect(LupaMinus, &QToolButton::clicked, this, &TMainForm::LupaMinusClick);

    FullScreenButton =
        Place(new QPushButton("Full Screen", client), "FullScreenButton", 600, 8, 65, 16);
    FullScreenButton->setFocusPolicy(Qt::NoFocus);
    FullScreenButton->setStatusTip(
        Hint(" Рассчитывает и показывает полноэкранное изображение (F)"));
    connect(FullScreenButton, &QPushButton::clicked, this, &TMainForm::FullScrExecute);

    CloseButton = Place(new QPushButton("Close", client), "CloseButton", 600, 378, 65, 22);
    CloseButton->setIcon(ToolPicture(ToolPictureId::CloseButton));
    CloseButton->setFocusPolicy(Qt::NoFocus);
    CloseButton->setStatusTip(Hint(" Закрывает программу (Ctrl+Q)"));
    connect(CloseButton, &QPushButton::clicked, action("CloseApp"), &QAction::trigger);
}

void TMainForm::BuildOverviewGroup(QWidget* client) {
    QGroupBox* group = Frame(client, "GroupBox1", "Общий вид", 584, 28, 97, 106);
    GeneralView =
        Place(new ImageView(group), "GeneralView", 8, 17, kOverviewWidth, kOverviewHeight);
    GeneralView->setStatusTip(
        Hint(" Нажатие клавиши мыши центрирует изображение относительно выбранной точки"));
    connect(GeneralView, &ImageView::mousePressed, this, &TMainForm::GeneralViewMouseDown);
    connect(GeneralView, &ImageView::mouseMoved, this, &TMainForm::GeneralViewMouseMove);
    connect(GeneralView, &ImageView::mouseReleased, this, &TMainForm::RecordHistory);
}

void TMainForm::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setFixedHeight(kStatusBarHeight);
    bar->setSizeGripEnabled(false);
    auto* panel0 = new QLabel(kStartCoordinates, bar);
    panel0->setObjectName("StatusPanel0");
    panel0->setFixedWidth(160);
    panel0->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* panel1 = new QLabel(bar);
    panel1->setObjectName("StatusPanel1");
    // A hint too long for one line goes on across a second one.
    panel1->setWordWrap(true);
    panel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    bar->addWidget(panel0);
    bar->addWidget(panel1, 1);
}

QAction* TMainForm::action(const QString& name) const {
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

QLabel* TMainForm::statusPanel(int index) const {
    return statusBar()->findChild<QLabel*>(QString("StatusPanel%1").arg(index));
}

// --- Render thread ---------------------------------------------------------------------------

bool TMainForm::RenderIdle() const {
    return renderThread_ && renderThread_->RenderIdle();
}

void TMainForm::RequestFrame() {
    if (renderThread_) {
        renderThread_->RequestFrame();
    }
    ShowStateOnMap();
}

void TMainForm::ShowFrame() {
    Pic->SetImage(renderThread_->MainFrame());
    GeneralView->SetImage(renderThread_->OverviewFrame());
    ApplyPendingPaletteType();
    ApplyPendingC();
    // What waited for the renderer: a new size of the views, wheel notches.
    if (viewSizePending_) {
        UpdateViewSize();
    }
    ApplyWheel();
    emit frameShown();
}

void TMainForm::UpdateOverviewMarkerNow() {
    UpdateOverviewMarker(marker, MainViewGeometry(state));
}

// --- Key preview, hints -----------------------------------------------------------------------

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // Every window's hints go to panel 1 of the main window.
        ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    if (watched == client_ && event->type() == QEvent::Resize) {
        LayOutClient();
    }
    if (watched == Pic && event->type() == QEvent::ScreenChangeInternal) {
        // On a screen of another scale the views have other device sizes.
        UpdateViewSize();
    }
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        KeyPreview(static_cast<QKeyEvent*>(event));
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ShowHint(const QString& hint) {
    QLabel* panel = statusPanel(1);
    panel->setText(hint);
    // A hint wider than the panel takes a second line: the status bar grows by a line, and the
    // window with it, so that the views keep their size.
    const int lineHeight = panel->fontMetrics().lineSpacing();
    const int shown = panel->contentsRect().width();
    const int available = shown > 0 ? shown : width() - statusPanel(0)->width() - 12;
    const int extra = panel->fontMetrics().horizontalAdvance(hint) > available ? lineHeight : 0;
    if (extra == hintExtraHeight_) {
        return;
    }
    const int change = extra - hintExtraHeight_;
    hintExtraHeight_ = extra;
    if (hintSettle_ == nullptr) {
        hintSettle_ = new QTimer(this);
        hintSettle_->setSingleShot(true);
        hintSettle_->setInterval(300);
        connect(hintSettle_, &QTimer::timeout, this, [this] {
            holdViewSize_ = false;
            UpdateViewSize();
        });
    }
    if (!holdViewSize_) {
        holdViewSize_ = true;
        heldClientSize_ = client_->size();
    }
    hintSettle_->start();
    statusBar()->setFixedHeight(kStatusBarHeight + extra);
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        setMinimumHeight(0);
        resize(width(), height() + change);
    }
}

void TMainForm::KeyPreview(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_U:
            ChPaletteClick();
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            LupaPlusClick();
            break;
        case Qt::Key_Minus:
            LupaMinusClick();
            break;
        default:
            break;
    }
}

// --- Commands of the view ----------------------------------------------------------------------

void TMainForm::DefaultParExecute() {
    if (!RenderIdle()) {
        return;
    }
    SetDefaultView(state);
    ResetOverviewMarker(marker);
    RequestFrame();
    RecordHistory();
}

void TMainForm::FractalN1Execute() {
    if (!RenderIdle()) {
        return;
    }
    ZZ2C->setChecked(true);
    state.FractalType = kFractalTypeZ2;
    SelectPointFunction(state);
    SetDefaultView(state);
    ResetOverviewMarker(marker);
    RequestFrame();
    RecordHistory();
}

void TMainForm::CloseAppExecute() {
    close();
}

// --- Full screen ----------------------------------------------------------------------------

bool TMainForm::FullScreenShown() const {
    return fullScreen_ && fullScreen_->isVisible();
}

QRect TMainForm::MainViewRect() const {
    return Pic->geometry();
}

void TMainForm::FullScrExecute() {
    if (!RenderIdle() || FullScreenShown()) {
        return;
    }
    FullScreenButton->setText("Wait...");
    FullScreenButton->repaint();
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    StopAnimations();
    SuspendMap(true);
    fullScreen_ = new TFullScreenForm(*this);
    fullScreen_->showFullScreen();
}

void TMainForm::RenderFullScreen() {
    if (fullScreen_) {
        fullScreen_->RenderFullScreen();
    }
}

void TMainForm::FullScreenClosed() {
    FullScreenButton->setText("Full Screen");
    SuspendMap(false);
}

// --- Commands of the files, the export, the slide show and the help windows -----------------
// They keep the guards of the main window; their windows are separate modules.

BrowserSetup TMainForm::MakeBrowserSetup(bool openMode, const QString& folder, int lastRow) {
    return {.owner = *this,
            .ownerView = Pic->geometry(),
            .overFullScreen = FullScreenShown(),
            .openMode = openMode,
            .folder = folder,
            .state = state,
            .choice = {.confirmed = browserConfirmed_,
                       .path = filePath_,
                       .title = fileTitle_,
                       .read = fileRead_,
                       .loadPaletteWithFractal = LoadPaletteWithFractal,
                       .lastRow = lastRow}};
}

int TMainForm::RunBrowser(BrowserDialog& browser) {
    // The main view ignores the press that may belong to a double-click confirming the browser.
    connect(&browser, &BrowserDialog::confirmedByDoubleClick, this, [this] { MouseArmed = false; });
    return browser.ShowModal();
}

void TMainForm::TakeBrowserChoice(const BrowserChoice& choice, int& lastRow) {
    filePath_ = choice.path;
    fileTitle_ = choice.title;
    fileRead_ = choice.read;
    LoadPaletteWithFractal = choice.loadPaletteWithFractal;
    lastRow = choice.lastRow;
}

void TMainForm::OpenFractExecute() {
    if (SlideShowRunning() || !RenderIdle()) {
        return;
    }
    {
        ShownFlag shown(BrowserShown);
        TOpenSaveFractal browser(MakeBrowserSetup(true, FractalsFolder, LastFractalIndex));
        browser.setWindowTitle("Открытие фрактала");
        browser.OpenFractal->setVisible(true);
        RunBrowser(browser);
        TakeBrowserChoice(browser.Choice(), LastFractalIndex);
        browserConfirmed_ = browser.Choice().confirmed;
    }
    if (!browserConfirmed_) {
        SelectPointFunction(state);  // the browser has put the state back
        return;
    }
    OpenFractalAtFilePath();
}

void TMainForm::OpenFractalAtFilePath() {
    ShowReadFractal(ReadFractalAtPath(this, filePath_, state, LoadPaletteWithFractal, fileRead_),
                    /*fractalFile=*/true);
}

void TMainForm::OpenFractalFile(const QString& path) {
    filePath_ = path;
    fileTitle_ = RowOfFileName(QFileInfo(path).fileName());
    OpenFractalAtFilePath();
}

void TMainForm::OpenPictureFile(const QString& path) {
    filePath_ = path;
    ShowReadFractal(
        ReadPictureFractalAtPath(this, filePath_, state, LoadPaletteWithFractal, fileRead_),
        /*fractalFile=*/false);
}

void TMainForm::OpenPaletteFile(const QString& path) {
    filePath_ = path;
    if (ReadPaletteAtPath(this, filePath_, state, fileRead_)) {
        ApplyReadPalette();
    }
}

void TMainForm::ShowReadFractal(bool read, bool fractalFile) {
    if (!read) {
        SelectPointFunction(state);
        return;
    }
    if (!fileRead_.FractalAccepted) {
        WarnUnknownType(this, "Открытие файла не возможно", "Тип фрактала неизвестен этой версии.");
        SelectPointFunction(state);
        return;
    }
    BusyCursor busy;
    if (fractalFile) {
        CurrentFractalPath = filePath_;
        ShowCurrentFractalCaption();
    }
    ShowLoadedState(LoadPaletteWithFractal && fileRead_.PaletteAccepted);
    if (LoadPaletteWithFractal && !fileRead_.PaletteAccepted) {
        WarnUnknownType(this, "Палитра фрактала проигнорирована",
                        "Тип палитры неизвестен этой версии ");
    }
    RecordHistory();
}

void TMainForm::ShowLoadedState(bool withPalette) {
    SetSlidersFromState();
    UpdateOverviewMarkerNow();
    if (withPalette) {
        ShowPaletteFromState();
    }
    if (FullScreenShown()) {
        RenderFullScreen();
    }
    RequestFrame();
}

void TMainForm::SaveCrntFrctExecute() {
    if (CurrentFractalPath.isEmpty()) {
        return;
    }
    filePath_ = CurrentFractalPath;
    WriteFractalAtPath(this, filePath_, state);
}

void TMainForm::SaveFractalExecute() {
    if (SlideShowRunning()) {
        return;
    }
    {
        ShownFlag shown(BrowserShown);
        TOpenSaveFractal browser(MakeBrowserSetup(false, FractalsFolder, LastFractalIndex));
        browser.setWindowTitle("Сохранение фрактала");
        browser.SaveFractal->setVisible(true);
        browser.IgnoreFPalette->setEnabled(false);
        RunBrowser(browser);
        TakeBrowserChoice(browser.Choice(), LastFractalIndex);
        browserConfirmed_ = browser.Choice().confirmed;
    }
    if (!browserConfirmed_) {
        return;
    }
    WriteFractalAtPath(this, filePath_, state);
    // Also after a failed write: the name stays the one the next quick save uses.
    CurrentFractalPath = filePath_;
    ShowCurrentFractalCaption();
}

void TMainForm::OpenPaletteExecute() {
    if (SlideShowRunning() || !RenderIdle()) {
        return;
    }
    int result = QDialog::Rejected;
    {
        ShownFlag shown(BrowserShown);
        TOSPalette browser(MakeBrowserSetup(true, PalettesFolder, LastPaletteIndex));
        browser.setWindowTitle("Открытие палитры");
        result = RunBrowser(browser);
        TakeBrowserChoice(browser.Choice(), LastPaletteIndex);
    }
    if (result != QDialog::Accepted) {
        return;
    }
    ApplyReadPalette();
}

void TMainForm::ApplyReadPalette() {
    if (!fileRead_.PaletteAccepted) {
        WarnUnknownType(this, "Палитра проигнорирована", "Тип палитры неизвестен этой версии.");
        return;
    }
    BusyCursor busy;
    ShowPaletteFromState();
    if (FullScreenShown()) {
        RenderFullScreen();
    }
    RequestFrame();
    RecordHistory();
}

void TMainForm::SavePaletteExecute() {
    if (SlideShowRunning()) {
        return;
    }
    int result = QDialog::Rejected;
    {
        ShownFlag shown(BrowserShown);
        TOSPalette browser(MakeBrowserSetup(false, PalettesFolder, LastPaletteIndex));
        browser.setWindowTitle("Сохранение палитры");
        result = RunBrowser(browser);
        TakeBrowserChoice(browser.Choice(), LastPaletteIndex);
    }
    if (result == QDialog::Accepted) {
        WritePaletteAtPath(this, filePath_, state.palette);
    }
}

// The palette read from a file: the sliders and the type list show it without rebuilding on
// every slider move, then the table and the strip are built once.
void TMainForm::ShowPaletteFromState() {
    const bool applyNow = ApplyPaletteNow;
    ApplyPaletteNow = false;
    const Palette& p = state.palette;
    TrackBarR0->setValue(p.R0);
    TrackBarG0->setValue(p.G0);
    TrackBarB0->setValue(p.B0);
    TrackBarR1->setValue(p.R1);
    TrackBarG1->setValue(p.G1);
    TrackBarB1->setValue(p.B1);
    ApplyPaletteNow = applyNow;
    BuildAndShowPalette();
    TypeOfPalette->setCurrentIndex(state.palette.PaletteType - 1);
}

void TMainForm::ShowCurrentFractalCaption() {
    QAction* quickSave = action("SaveCrntFrct");
    quickSave->setEnabled(true);
    // A "&" in the name is shown as itself, not as a mnemonic.
    quickSave->setText("С&охранить " + QString(fileTitle_).replace("&", "&&"));
}

bool TMainForm::CurrentFractalKnown() const {
    return action("SaveCrntFrct")->isEnabled();
}

bool TMainForm::ExportDialogShown() const {
    return exportWindow_ && !exportWindow_->Closed();
}

void TMainForm::SaveImageExecute() {
    if (SlideShowRunning()) {
        return;
    }
    // Stops the animations before it asks for the file.
    TSizeAndExt* opened =
        TSizeAndExt::SaveImage(*this, ExportDialogShown() ? exportWindow_.data() : nullptr);
    if (opened != nullptr) {
        exportWindow_ = opened;
    }
}

void TMainForm::SlideShowExecute() {
    if (SlideShowRunning() || !RenderIdle()) {
        return;
    }
    SlideList list = BuildSlideList(FractalsFolder);
    if (list.count() == 0) {
        ShowWarning(this, "Ошибка",
                    "Не возможно выполнить команду.\n Нет ни одного фрактала для показа.");
        return;
    }
    SlideRandom random;
    if (SlideOrder == 1) {
        random = MakeClockSeededRandom();
    }
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    StopAnimations();
    SuspendMap(true);
    slideShowRunning_ = true;
    const SlideShowSetup setup{.screenOf = *this,
                               .state = state,
                               .readFlags = SlideReadFlags,
                               .folder = FractalsFolder,
                               .delaySeconds = SlideDelay,
                               .order = SlideOrder,
                               .loadPalette = LoadPaletteWithFractal};
    auto form = std::make_unique<TSlideForm>(setup, list, std::move(random));
    connect(form.get(), &TSlideForm::showEnded, this, [this] { slideShowRunning_ = false; });
    QGuiApplication::restoreOverrideCursor();
    form->showFullScreen();
    Dialogs().Exec(*form);
    form.reset();  // puts the state back if the window was not closed by a key or a click
    slideShowRunning_ = false;
    state.PointColor = &Z2PointColor;
    SuspendMap(false);
}

bool TMainForm::OptionsShown() const {
    return optionsWindow_ && optionsWindow_->isVisible();
}

bool TMainForm::AboutShown() const {
    return aboutWindow_ && aboutWindow_->isVisible();
}

void TMainForm::OptionsExecute() {
    if (OptionsShown()) {
        optionsWindow_->close();
        return;
    }
    optionsWindow_ = new TJLFOptions(*this, SlideDelay, SlideOrder);
    connect(optionsWindow_, &TJLFOptions::optionsChosen, this,
            [this](int delay, std::uint8_t order) {
                SlideDelay = delay;
                SlideOrder = order;
            });
    optionsWindow_->move(x() + 130, y() + 49);
    optionsWindow_->show();
}

void TMainForm::DescriptExecute() {
    (new TDscrptForm(*this, StartFolder))->show();
}

void TMainForm::A_ProgramExecute() {
    if (AboutShown()) {
        aboutWindow_->close();
        return;
    }
    aboutWindow_ = new TAboutForm(*this);
    aboutWindow_->show();
}

// --- Back and Forward ----------------------------------------------------------------------------

void TMainForm::RecordHistory() {
    // The browsers and the slide show show other states in the live one for a while.
    if (SlideShowRunning() || BrowserShown) {
        return;
    }
    if (history_.Record(HistoryEntryOf(state))) {
        UpdateHistoryCommands();
    }
}

void TMainForm::UpdateHistoryCommands() {
    action("HistoryBack")->setEnabled(history_.CanGoBack());
    action("HistoryForward")->setEnabled(history_.CanGoForward());
}

void TMainForm::HistoryBackExecute() {
    GoToHistoryEntry(true);
}

void TMainForm::HistoryForwardExecute() {
    GoToHistoryEntry(false);
}

void TMainForm::GoToHistoryEntry(bool back) {
    if (!RenderIdle() || SlideShowRunning() || BrowserShown) {
        return;
    }
    // A sweep would move C on at once; a state not yet taken (the sweep's) is kept first.
    StopAnimations();
    RecordHistory();
    if (back ? !history_.CanGoBack() : !history_.CanGoForward()) {
        return;
    }
    ApplyHistoryEntry(back ? history_.Back() : history_.Forward(), state);
    UpdateHistoryCommands();
    BusyCursor busy;
    ShowLoadedState(true);
}

// --- Close -------------------------------------------------------------------------------------

Settings TMainForm::CurrentSettings() const {
    Settings current;
    current.SlideDelay = SlideDelay;
    current.CloseAfterSave = CloseAfterSave;
    current.Left = x();
    current.Top = y();
    current.palette = state.palette;
    current.SlideOrder = SlideOrder;
    return current;
}

void TMainForm::WriteSettingsIfChanged() {
    QDir::setCurrent(StartFolder);
    const Settings current = CurrentSettings();
    if (SettingsNeedWrite(snapshot, current)) {
        // A failed write is not reported: the settings of this run are lost.
        WriteSettingsFile(QFile::encodeName(StartFolder + "/" + kSettingsFileName).toStdString(),
                          current);
    }
}

void TMainForm::ReadWindowConfig() {
    const auto config = ProgramConfig();
    bool widthRead = false;
    bool heightRead = false;
    const int width = config->value("MainWindow/ClientWidth").toInt(&widthRead);
    const int height = config->value("MainWindow/ClientHeight").toInt(&heightRead);
    // Sizes beyond any screen are not taken.
    if (widthRead && heightRead && width > 0 && height > 0 && width <= 32768 && height <= 32768) {
        storedClientSize_ = QSize(width, height);
    }
    storedMaximized_ = config->value("MainWindow/Maximized").toString() == "true";
}

void TMainForm::WriteWindowConfig() {
    const bool maximized = isMaximized();
    // A maximised window keeps the size it had before.
    const QSize clientSize =
        maximized && storedClientSize_.isValid() ? storedClientSize_ : client_->size();
    if (clientSize == storedClientSize_ && maximized == storedMaximized_) {
        return;
    }
    if (!storedClientSize_.isValid() && !maximized && clientSize == client_->minimumSize()) {
        return;  // still the start size: nothing to keep
    }
    // Written through a temporary file and a rename; a failed write loses only the size.
    const auto config = ProgramConfig();
    config->setValue("MainWindow/ClientWidth", clientSize.width());
    config->setValue("MainWindow/ClientHeight", clientSize.height());
    config->setValue("MainWindow/Maximized", maximized ? "true" : "false");
}

void TMainForm::closeEvent(QCloseEvent* event) {
    StopAnimations();
    if (fullScreen_) {
        fullScreen_->close();
    }
    if (!closing_) {
        closing_ = true;
        WriteSettingsIfChanged();
        WriteWindowConfig();
    }
    event->accept();
}

}  // namespace ombrilo
