#include "U_sizeandext.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QValidator>
#include <QWindow>

#include <cmath>
#include <limits>

#include "engine/numeric.h"
#include "formats/bmp_file.h"
#include "formats/fractal_file.h"
#include "formats/messages.h"
#include "formats/png_file.h"
#include "ui/application.h"
#include "ui/decimal_separator.h"
#include "ui/dialogs.h"
#include "ui/image_view.h"
#include "ui/number_text.h"
#include "ui/screen_area.h"

namespace ombrilo {

namespace {

// The program's title, shown after every window's own title (the export's progress shows there
// while it runs); the windows already shown take the new one at once.
void SetProgramTitle(const QString& title) {
    qApp->setApplicationDisplayName(title);
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        window->setTitle(window->title());
    }
}

}  // namespace

namespace {

constexpr int kClientWidth = 353;
constexpr int kClientHeight = 318;
constexpr int kFileNameWidth = 277;
constexpr int kPixelsUnit = 0;
constexpr int kStartResolution = 2;  // "300 dpi"
constexpr int kWaitPollMs = 20;

const char* const kUnits[] = {"пиксели", "миллиметры", "сантиметры", "дюймы", "метры"};
const char* const kResolutions[] = {"100 dpi", "200 dpi", "300 dpi",
                                    "400 dpi", "500 dpi", "600 dpi"};
const char* const kPriorities[] = {"Низкий", "Нормальный", "Высокий", "Критический"};

ExportRowWriterFactory& WriterFactoryForTests() {
    static ExportRowWriterFactory factory;
    return factory;
}

QThread::Priority ThreadPriorityFor(int index) {
    switch (index) {
        case 0:
            return QThread::IdlePriority;
        case 1:
            return QThread::NormalPriority;
        case 2:
            return QThread::HighestPriority;
        case 3:
            return QThread::TimeCriticalPriority;
        default:
            return QThread::InheritPriority;
    }
}

// Typing stops at four characters; the program itself may show longer numbers (15.75).
class TypedLengthLimit : public QValidator {
public:
    explicit TypedLengthLimit(QObject* parent) : QValidator(parent) {}
    State validate(QString& text, int&) const override {
        return text.size() <= 4 ? Acceptable : Invalid;
    }
};

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QLabel* Caption(QWidget* parent, const char* name, const char* text, int left, int top, int width) {
    return Place(new QLabel(QString::fromUtf8(text), parent), name, left, top, width, 17);
}

template <std::size_t N>
QComboBox* List(QWidget* parent, const char* name, const char* const (&items)[N], int left, int top,
                int width) {
    auto* list = Place(new QComboBox(parent), name, left, top, width, 22);
    for (const char* item : items) {
        list->addItem(QString::fromUtf8(item));
    }
    return list;
}

QString IntegerText(float value) {
    return QString::number(TruncToInt64(value));
}

// A typed number as a float; a double beyond the float range becomes an infinity (a plain
// conversion would be undefined).
float ToFloat(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -kMax) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

// Drops the first folder of a folder part ("/a/b/" -> "/.../b/", "/.../b/" -> "/.../").
QString CutFirstFolder(QString folder) {
    const bool root = folder.startsWith('/');
    if (root) {
        folder.remove(0, 1);
    }
    if (folder.startsWith(".../")) {
        folder.remove(0, 4);
    }
    const qsizetype slash = folder.indexOf('/');
    folder = slash >= 0 ? ".../" + folder.mid(slash + 1) : QString();
    return root ? "/" + folder : folder;
}

}  // namespace

// --- Helpers of the window -------------------------------------------------------------------

QString DefaultExportName(bool currentFractalKnown, const QString& fileTitle) {
    return currentFractalKnown && !fileTitle.isEmpty() ? fileTitle : QString("new_image");
}

ExportFormat ExportFormatForFilter(const QString& filter) {
    return filter == QString::fromLatin1(kPngFilter) ? ExportFormat::Png : ExportFormat::Bmp;
}

QString ExportPathFor(const QString& chosenPath, ExportFormat format) {
    const qsizetype slash = chosenPath.lastIndexOf('/');
    const QString folder = chosenPath.left(slash + 1);
    QString name = chosenPath.mid(slash + 1);
    const qsizetype dot = name.indexOf('.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    return folder + name + (format == ExportFormat::Png ? ".png" : ".bmp");
}

QString ShortenPath(const QString& path, const std::function<int(const QString&)>& textWidth,
                    int maxWidth) {
    const qsizetype slash = path.lastIndexOf('/');
    QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    QString drive;
    if (folder.size() >= 2 && folder[1] == ':') {
        drive = folder.left(2);
        folder.remove(0, 2);
    }
    QString result = path;
    while ((!folder.isEmpty() || !drive.isEmpty()) && textWidth(result) > maxWidth) {
        if (folder == "/.../") {
            drive.clear();
            folder = ".../";
        } else if (folder.isEmpty()) {
            drive.clear();
        } else {
            folder = CutFirstFolder(folder);
        }
        result = drive + folder + name;
    }
    return result;
}

QString FileSizeCaption(std::int64_t widthPixels, std::int64_t heightPixels, char separator,
                        ExportFormat format) {
    // The product is exact in extended precision as long as it fits 64 bits, and cannot
    // overflow for sizes beyond that.
    long double bytes =
        static_cast<long double>(widthPixels) * static_cast<long double>(heightPixels) * 3;
    const char* prefix = "Размер файла: ";
    if (format == ExportFormat::Png) {
        prefix = "Размер файла: до ";
        if (PngSizeFits(widthPixels, heightPixels)) {
            bytes = static_cast<long double>(PngFileSizeBound(widthPixels, heightPixels));
        }
    }
    long double number = bytes;
    const char* unit = " b";
    if (bytes >= 1000.0L && bytes < 1e6L) {
        number = bytes * 0.001L;
        unit = " Kb";
    } else if (bytes >= 1e6L && bytes < 1e9L) {
        number = bytes * 1e-6L;
        unit = " Mb";
    } else if (bytes >= 1e9L) {
        number = bytes * 1e-9L;
        unit = " Gb";
    }
    return QString::fromUtf8(prefix) + QString::fromStdString(FormatGeneral(number, 3, separator)) +
           QString::fromLatin1(unit);
}

std::int64_t PixelsFor(int unitIndex, int dpi, float value) {
    const long double v = value;
    switch (unitIndex) {
        case 1:
            return TruncToInt64(dpi * v / 25.4f);
        case 2:
            return TruncToInt64(dpi * v / 2.54f);
        case 3:
            return TruncToInt64(dpi * v);
        case 4:
            return TruncToInt64(dpi * v / 0.0254f);
        default:
            return TruncToInt64(v);
    }
}

QString SizeRefusal(std::int64_t widthPixels, std::int64_t heightPixels, ExportFormat format) {
    constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
    if (widthPixels < 1 || heightPixels < 1) {
        return QString::fromUtf8(
            "Ширина и высота изображения должны быть не меньше одного пикселя.");
    }
    if (widthPixels > kMaxSide || heightPixels > kMaxSide) {
        return QString::fromUtf8(
            "Ширина и высота изображения не могут быть больше 2147483647 пикселей.");
    }
    if (format == ExportFormat::Bmp && !BmpLayoutFor(widthPixels, heightPixels)) {
        return QString::fromUtf8("Изображение слишком велико: файл BMP не может быть больше 4 Гб.");
    }
    return QString();
}

// --- The export thread ------------------------------------------------------------------------

TRollImage::TRollImage(TSizeAndExt& window) : window_(window) {
    setObjectName("TRollImage");
}

void TRollImage::SetWriterFactoryForTests(ExportRowWriterFactory factory) {
    WriterFactoryForTests() = std::move(factory);
}

bool TRollImage::ReportPoint(std::int32_t row) {
    window_.ProgressRow = row;
    if (isInterruptionRequested()) {
        return false;
    }
    QMetaObject::invokeMethod(
        &window_, [window = &window_] { window->ReportProgress(); }, Qt::BlockingQueuedConnection);
    return true;
}

void TRollImage::run() {
    // The window's export fields stay as they are until this thread has ended.
    ExportJob job{QFile::encodeName(window_.ExportPath).toStdString(), window_.ExportSnapshot,
                  &window_.ExportColorTable, window_.Geometry};
    job.format = window_.ExportKind;
    job.fractal = window_.ExportRecord;
    job.pixelsPerMetre = window_.ExportPixelsPerMetre;
    const ExportRowWriterFactory& testFactory = WriterFactoryForTests();
    try {
        result_ = WriteExportFile(
            job, [this](std::int32_t row) { return ReportPoint(row); },
            testFactory ? testFactory : ExportRowWriterFactory(MakeExportRowWriter));
    } catch (const std::exception&) {
        result_ = ExportJobResult::NoMemory;  // allocation-size failures (length_error etc.)
    }
    if (result_ == ExportJobResult::Written) {
        QMetaObject::invokeMethod(
            &window_, [window = &window_] { window->ReportDone(); }, Qt::BlockingQueuedConnection);
    }
    window_.ExportRunning = false;
}

// --- Opening -----------------------------------------------------------------------------------

TSizeAndExt* TSizeAndExt::SaveImage(ExportHost& host, TSizeAndExt* open) {
    if (open != nullptr) {
        if (!open->closing_) {
            open->setWindowState(open->windowState() & ~Qt::WindowMinimized);
            open->show();
            open->raise();
        }
        return nullptr;
    }
    host.StopAnimations();
    const QString name = DefaultExportName(host.CurrentFractalKnown(), host.FractalTitle());
    QString filter;
    const QString chosen = Dialogs().SaveFileName(
        &host.HostWindow(), "Сохранить как", name,
        QString::fromLatin1(kBmpFilter) + ";;" + QString::fromLatin1(kPngFilter), &filter);
    if (chosen.isEmpty()) {
        return nullptr;
    }
    auto* window = new TSizeAndExt(host, chosen, ExportFormatForFilter(filter));
    window->IsCloseAfter->setChecked(host.CloseAfterSaving());
    window->ExportRunning = false;
    window->show();
    return window;
}

TSizeAndExt::TSizeAndExt(ExportHost& host, const QString& chosenPath, ExportFormat format)
    : QWidget(&host.HostWindow()), ExportKind(format), host_(host) {
    setObjectName("SizeAndExt");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Расчет и сохранение изображения");
    setFixedSize(kClientWidth, kClientHeight);
    BuildControls();

    ExportPath = ExportPathFor(chosenPath, ExportKind);
    const QFontMetrics metrics(SaveFName->font());
    SaveFName->setText(ShortenPath(
        ExportPath, [&](const QString& text) { return metrics.horizontalAdvance(text); },
        kFileNameWidth));
    ExportSaved = false;
    TakeSnapshot();

    const QSize pixels = ScreenPixelSize(host_.HostWindow());
    WidthValue = static_cast<float>(pixels.width());
    HeightValue = static_cast<float>(pixels.height());
    RecomputeSize();
    ImageWidth->setText(IntegerText(WidthValue));  // runs ImageWidthChange: height = 3/4 width
    ImageHeight->setText(IntegerText(HeightValue));
    Permission->setEnabled(false);
    ButtonOk->setEnabled(true);

    PlaceWindow();
    qApp->installEventFilter(this);
    // The window stops its export before the program ends.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QWidget::close);
}

TSizeAndExt::~TSizeAndExt() {
    qApp->removeEventFilter(this);
    closing_ = true;
    if (ExportThread) {
        ExportThread->requestInterruption();
        WaitForThread();
    }
}

void TSizeAndExt::BuildControls() {
    Label1 = Caption(this, "Label1", "Файл:", 8, 10, 40);
    SaveFName = Caption(this, "SaveFName", "", 50, 10, 295);
    SaveFName->setStatusTip(" Выбранный каталог и имя файла ");

    GroupBox1 = Place(new QGroupBox("Размер", this), "GroupBox1", 8, 34, 337, 118);
    Label9 = Caption(GroupBox1, "Label9", "Ширина", 100, 20, 70);
    Label5 = Caption(GroupBox1, "Label5", "Высота", 196, 20, 70);
    Label2 = Caption(GroupBox1, "Label2", "Изображение:", 8, 42, 90);
    ImageWidth = Place(new QLineEdit(GroupBox1), "ImageWidth", 100, 39, 76, 22);
    Label8 = Caption(GroupBox1, "Label8", "X", 182, 42, 12);
    ImageHeight = Place(new QLineEdit(GroupBox1), "ImageHeight", 196, 39, 76, 22);
    for (QLineEdit* edit : {ImageWidth, ImageHeight}) {
        edit->setValidator(new TypedLengthLimit(edit));
    }
    Label6 = Caption(GroupBox1, "Label6", "Еденицы:", 8, 68 + 3, 90);
    Units = List(GroupBox1, "Units", kUnits, 100, 68, 120);
    Label7 = Caption(GroupBox1, "Label7", "Разрешение:", 8, 94 + 3, 90);
    Permission = List(GroupBox1, "Permission", kResolutions, 100, 92, 120);
    Permission->setCurrentIndex(kStartResolution);

    Label4 = Caption(this, "Label4", "Детализация:", 8, 165, 90);
    Iterations = Place(new QComboBox(this), "Iterations", 100, 162, 64, 22);
    for (int detail : kExportDetails) {
        Iterations->addItem(QString::number(detail));
    }
    Iterations->setStatusTip(" Выбор детализации сохраняемого изображения");
    Label3 = Caption(this, "Label3", "Приоритет:", 172, 165, 78);
    PrF = List(this, "PrF", kPriorities, 250, 162, 95);
    PrF->setStatusTip(" Выбор приоритета потока расчитывающего изображение");

    Itog = Caption(this, "Itog", "Выполнено:", 8, 194, 337);
    CGauge1 = Place(new QProgressBar(this), "CGauge1", 8, 213, 337, 18);
    CGauge1->setRange(0, 100);
    CGauge1->setValue(0);
    CGauge1->setAlignment(Qt::AlignCenter);
    QPalette silver = CGauge1->palette();
    silver.setColor(QPalette::Highlight, QColor(192, 192, 192));
    silver.setColor(QPalette::HighlightedText, Qt::black);
    CGauge1->setPalette(silver);
    CGauge1->setStatusTip(" Показывает % выполненной работы");

    IsCloseAfter = Place(new QCheckBox("Закрыть окно после сохранения файла.", this),
                         "IsCloseAfter", 8, 242, 337, 20);

    ButtonOk = Place(new QPushButton("Ok!", this), "ButtonOk", 86, 280, 80, 26);
    ButtonOk->setStatusTip(" Запускает расчет сохраняемого изображения");
    CanBut = Place(new QPushButton("Отмена", this), "CanBut", 186, 280, 80, 26);
    CanBut->setStatusTip(
        " Останавливает расчет, если идёт, и закрывает форму расчета и сохранения");

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    Timer1->setSingleShot(true);

    connect(ImageWidth, &QLineEdit::textChanged, this, &TSizeAndExt::ImageWidthChange);
    connect(ImageHeight, &QLineEdit::textChanged, this, &TSizeAndExt::ImageHeightChange);
    connect(Units, &QComboBox::currentIndexChanged, this, &TSizeAndExt::UnitsChange);
    connect(Permission, &QComboBox::currentIndexChanged, this, &TSizeAndExt::PermissionChange);
    connect(PrF, &QComboBox::currentIndexChanged, this, &TSizeAndExt::PrFChange);
    connect(ButtonOk, &QPushButton::clicked, this, &TSizeAndExt::ButtonOkClick);
    connect(CanBut, &QPushButton::clicked, this, &TSizeAndExt::CanButClick);
    connect(IsCloseAfter, &QCheckBox::toggled, this, &TSizeAndExt::IsCloseAfterClick);
    connect(Timer1, &QTimer::timeout, this, &TSizeAndExt::Timer1Timer);
}

void TSizeAndExt::PlaceWindow() {
    const QWidget& main = host_.HostWindow();
    if (host_.FullScreenShown()) {
        move(CenteredIn(ScreenArea(main), size()) - QPoint(0, 36));
        return;
    }
    const QRect outer = main.frameGeometry();
    const QRect view = host_.MainViewRect();
    const long double left = outer.left() + view.x() + (view.width() - width()) * 0.5L + 2;
    const long double top = outer.top() + (outer.height() - height()) * 0.5L - 50;
    move(TruncToInt32(left), TruncToInt32(top));
}

void TSizeAndExt::TakeSnapshot() {
    const FractalState& state = host_.ExportedState();
    ExportSnapshot = ExportViewOf(state);
    ExportColorTable = state.colorTable;
    ExportRecord = RecordFromState(state);
}

// --- Size fields -------------------------------------------------------------------------------

void TSizeAndExt::RecomputeSize() {
    const int dpi = 100 * (Permission->currentIndex() + 1);
    const int unit = Units->currentIndex();
    WidthPixels = PixelsFor(unit, dpi, WidthValue);
    HeightPixels = PixelsFor(unit, dpi, HeightValue);
    GroupBox1->setTitle(FileSizeCaption(WidthPixels, HeightPixels, DecimalSeparator(), ExportKind));
}

bool TSizeAndExt::ReadValue(QLineEdit* edit, float& value) {
    const QString text = edit->text();
    if (text.isEmpty()) {
        value = 0.0f;
        return true;
    }
    const std::optional<double> number = ParseDecimal(text.toStdString(), DecimalSeparator());
    if (!number) {
        ShowError(this, "Ошибка ввода", "Неверный ввод числа");
        return false;
    }
    value = ToFloat(*number);
    return true;
}

void TSizeAndExt::ShowValue(QLineEdit* edit, float value) {
    if (Units->currentIndex() == kPixelsUnit) {
        edit->setText(IntegerText(value));
    } else {
        edit->setText(QString::fromStdString(FormatGeneral(value, 15, DecimalSeparator())));
    }
}

void TSizeAndExt::ImageWidthChange() {
    if (!WidthEditArmed || !ReadValue(ImageWidth, WidthValue)) {
        return;
    }
    HeightValue = static_cast<float>(static_cast<long double>(WidthValue) * 3 * 0.25L);
    HeightEditArmed = false;
    ShowValue(ImageHeight, HeightValue);
    HeightEditArmed = true;
    RecomputeSize();
}

void TSizeAndExt::ImageHeightChange() {
    if (!HeightEditArmed || !ReadValue(ImageHeight, HeightValue)) {
        return;
    }
    WidthValue = static_cast<float>(static_cast<long double>(HeightValue) * 4 * (1.0L / 3.0L));
    WidthEditArmed = false;
    ShowValue(ImageWidth, WidthValue);
    WidthEditArmed = true;
    RecomputeSize();
}

void TSizeAndExt::UnitsChange() {
    RecomputeSize();
    if (Units->currentIndex() != kPixelsUnit) {
        Permission->setEnabled(true);
        return;
    }
    // The numbers are not converted; fractions are rounded up to whole pixels.
    WidthValue = std::ceil(WidthValue);
    ImageWidth->setText(IntegerText(WidthValue));
    HeightValue = std::ceil(HeightValue);
    ImageHeight->setText(IntegerText(HeightValue));
    Permission->setEnabled(false);
}

void TSizeAndExt::PermissionChange() {
    RecomputeSize();
}

// --- Export --------------------------------------------------------------------------------

void TSizeAndExt::SetSizeControlsEnabled(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{Iterations, ImageWidth, ImageHeight, Units, ButtonOk}) {
        control->setEnabled(enabled);
    }
    Permission->setEnabled(enabled && Units->currentIndex() != kPixelsUnit);
}

void TSizeAndExt::ButtonOkClick() {
    if (WidthValue == 0 || HeightValue == 0) {
        ShowError(this, "Ошибка ввода:", "Ширина или высота равна нулю.");
        return;
    }
    // Sizes below one pixel or beyond what a bitmap file holds never reach the renderer.
    const QString refusal = SizeRefusal(WidthPixels, HeightPixels, ExportKind);
    if (!refusal.isEmpty()) {
        ShowError(this, "Ошибка ввода:", refusal);
        return;
    }
    SetSizeControlsEnabled(false);
    const int detail = kExportDetails[std::max(0, Iterations->currentIndex())];
    Geometry = MakeExportGeometry(ExportSnapshot.ViewWidth, WidthPixels, HeightPixels,
                                  *ExportLimitForDetail(detail));
    ExportPriority = PrF->currentIndex();
    ExportPixelsPerMetre = Units->currentIndex() == kPixelsUnit
                               ? 0
                               : PixelsPerMetreForDpi(100 * (Permission->currentIndex() + 1));
    if (ExportThread) {
        ExportThread->wait();  // an export that failed before has ended already
    }
    ExportThread = std::make_unique<TRollImage>(*this);
    connect(ExportThread.get(), &QThread::finished, this, &TSizeAndExt::ThreadFinished);
    ProgressRow = 0;
    ExportRunning = true;  // before the start: the thread clears it as its last action
    ExportThread->start(ThreadPriorityFor(ExportPriority));
    if (!ExportThread->isRunning() && !ExportThread->isFinished()) {
        ExportRunning = false;
        ExportThread.reset();
        ShowError(this, "Ошибка:", "Не удалось создать поток \n для расчета изображения");
        SetSizeControlsEnabled(true);
        return;
    }
    SetProgramTitle("0% Выполнено..");
}

void TSizeAndExt::PrFChange() {
    if (ExportRunning && ExportThread) {
        ExportThread->setPriority(ThreadPriorityFor(PrF->currentIndex()));
    }
}

void TSizeAndExt::ReportProgress() {
    const int percent =
        static_cast<int>(static_cast<std::int64_t>(ProgressRow) * 100 / HeightPixels);
    CGauge1->setValue(percent);
    SetProgramTitle(QString::number(percent) + "% Выполнено..");
    emit progressShown(percent);
}

void TSizeAndExt::ReportDone() {
    CGauge1->setValue(100);
    // The program's name back first: a window's title is shown with it appended.
    SetProgramTitle(kApplicationTitle);
    setWindowTitle("100% Выполнено. ");
    ExportSaved = true;
    Itog->setText("Файл успешно сохранен.");
    if (IsCloseAfter->isChecked()) {
        Timer1->start();
        return;
    }
    CanBut->setText("Закрыть");
    PrF->setEnabled(false);
    setWindowState(windowState() & ~Qt::WindowMinimized);
}

void TSizeAndExt::ThreadFinished() {
    const ExportJobResult result = ExportThread->result();
    emit exportEnded(static_cast<int>(result));
    if (result == ExportJobResult::Written || closing_) {
        return;
    }
    // The export has ended without a file: back to a window the user can change and restart.
    SetProgramTitle(kApplicationTitle);
    CGauge1->setValue(0);
    SetSizeControlsEnabled(true);
    switch (result) {
        case ExportJobResult::NoMemory:
            ShowError(this,
                      "Ошибка:", "Недостаточно памяти для расчета изображения такого размера.");
            break;
        case ExportJobResult::TooLarge:
            ShowError(this, "Ошибка ввода:", SizeRefusal(WidthPixels, HeightPixels, ExportKind));
            break;
        default:
            ShowPlainMessage(this, QString::fromUtf8(kCannotOpenForWriting) + "\n" + ExportPath);
            break;
    }
}

// --- Closing and keys --------------------------------------------------------------------------

void TSizeAndExt::IsCloseAfterClick() {
    if (ExportSaved && IsCloseAfter->isChecked()) {
        close();
    }
}

void TSizeAndExt::CanButClick() {
    close();
}

void TSizeAndExt::Timer1Timer() {
    close();
}

void TSizeAndExt::WaitForThread() {
    // The thread may be waiting for a report on this thread: wait in an event loop so that the
    // report still runs. The poll covers a finish that came just before the connection.
    QEventLoop loop;
    connect(ExportThread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (ExportThread->isFinished()) {
            loop.quit();
        }
    });
    poll.start(kWaitPollMs);
    if (!ExportThread->isFinished()) {
        loop.exec();
    }
    ExportThread->wait();
}

void TSizeAndExt::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->ignore();  // already closing (a second click while the thread stops)
        return;
    }
    closing_ = true;
    Timer1->stop();
    if (ExportRunning && ExportThread) {
        ExportThread->requestInterruption();
        WaitForThread();
    }
    host_.SetCloseAfterSaving(IsCloseAfter->isChecked());
    closed_ = true;
    SetProgramTitle(kApplicationTitle);
    event->accept();
}

bool TSizeAndExt::OwnsObject(QObject* object) const {
    if (object->isWidgetType()) {
        return static_cast<QWidget*>(object)->window() == this;
    }
    return object->isWindowType() && object == windowHandle();
}

bool TSizeAndExt::eventFilter(QObject* watched, QEvent* event) {
    // The host window is this window's parent; asked of the host itself, the call could reach
    // a main window that is being destroyed.
    if (event->type() == QEvent::Close && watched == parentWidget() && !closing_) {
        close();  // before the main window writes its settings
        return false;
    }
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) {
        return false;
    }
    if (!OwnsObject(watched)) {
        return false;
    }
    if (ExportRunning) {
        // While the export runs no key acts: neither the window's own nor a command's.
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return false;
}

}  // namespace ombrilo
