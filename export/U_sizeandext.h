#pragma once

#include <QRect>
#include <QString>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/color_table.h"
#include "engine/export_render.h"
#include "export/export_job.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace ombrilo {

class TSizeAndExt;

// What the export window asks of the window that opens it (the main window).
class ExportHost {
public:
    virtual ~ExportHost() = default;

    // The parent of the export window: it is placed over it and closes before it.
    virtual QWidget& HostWindow() = 0;
    // The picture's state as it is when the window opens.
    virtual const FractalState& ExportedState() const = 0;
    // Placement: over the full-screen view, or over the main view inside the host window.
    virtual bool FullScreenShown() const = 0;
    virtual QRect MainViewRect() const = 0;
    virtual void StopAnimations() = 0;
    // The proposed file name: the current fractal file's title while the command that saves
    // it is enabled.
    virtual bool CurrentFractalKnown() const = 0;
    virtual QString FractalTitle() const = 0;
    // "Закрыть после сохранения", kept in the settings.
    virtual bool CloseAfterSaving() const = 0;
    virtual void SetCloseAfterSaving(bool close) = 0;
};

// The name the save dialog proposes: the current fractal file's name while the command that
// saves it is enabled, else "new_image".
QString DefaultExportName(bool currentFractalKnown, const QString& fileTitle);

// The save dialog's filters; the first (BMP) is the default.
inline constexpr const char* kBmpFilter = "BMP (*.bmp)";
inline constexpr const char* kPngFilter = "PNG (*.png)";

// The format a filter of the save dialog stands for (BMP for any other text).
ExportFormat ExportFormatForFilter(const QString& filter);

// The chosen path cut before the first "." of its file-name part, followed by ".bmp" or ".png".
QString ExportPathFor(const QString& chosenPath, ExportFormat format = ExportFormat::Bmp);

// The path shortened until textWidth(result) <= maxWidth: the first remaining folder is replaced
// by "...", then a drive ("C:") is dropped, and last only the file name is left.
QString ShortenPath(const QString& path, const std::function<int(const QString&)>& textWidth,
                    int maxWidth);

// "Размер файла: 2.36 Mb" for the given size in pixels (3 bytes per pixel counted); for a PNG
// the largest size the file can have, "Размер файла: до 3.69 Mb".
QString FileSizeCaption(std::int64_t widthPixels, std::int64_t heightPixels, char separator,
                        ExportFormat format = ExportFormat::Bmp);

// Pixels from a value in a unit ("пиксели" .. "метры" by index) at dpi.
std::int64_t PixelsFor(int unitIndex, int dpi, float value);

// Why a size cannot be exported in the format; empty when it can.
QString SizeRefusal(std::int64_t widthPixels, std::int64_t heightPixels,
                    ExportFormat format = ExportFormat::Bmp);

// The export thread: renders the export window's picture and writes its file, reporting to the
// window every 21 rows and at the end by synchronous calls on the window thread.
class TRollImage : public QThread {
    Q_OBJECT

public:
    explicit TRollImage(TSizeAndExt& window);

    ExportJobResult result() const { return result_; }

    // Tests put a writer of their own in place of the bitmap file writer (nullptr: the file).
    static void SetWriterFactoryForTests(ExportRowWriterFactory factory);

protected:
    void run() override;

private:
    bool ReportPoint(std::int32_t row);

    TSizeAndExt& window_;
    ExportJobResult result_ = ExportJobResult::Cancelled;
};

// The export window: size, unit, resolution, detail and priority of one export of the picture
// as it was when the window opened; shows the progress of the export thread.
class TSizeAndExt : public QWidget {
    Q_OBJECT

public:
    TSizeAndExt(ExportHost& host, const QString& chosenPath,
                ExportFormat format = ExportFormat::Bmp);
    ~TSizeAndExt() override;

    // The command SaveImage: brings back the window still open (nullptr: none), or asks for the
    // file and opens a new window. Returns the new window, nullptr when none was opened.
    static TSizeAndExt* SaveImage(ExportHost& host, TSizeAndExt* open);

    // The window has been closed (its closing, which may wait for the export thread, is over).
    bool Closed() const { return closed_; }

    // --- Fields of one export ------------------------------------------------------------
    QString ExportPath;
    ExportFormat ExportKind = ExportFormat::Bmp;
    FractalRecord ExportRecord;              // kept inside a PNG file
    std::uint32_t ExportPixelsPerMetre = 0;  // set by "Ok!": 0 for pixels, else the resolution
    float WidthValue = 0.0f;
    float HeightValue = 0.0f;
    std::int64_t WidthPixels = 0;
    std::int64_t HeightPixels = 0;
    ExportView ExportSnapshot;
    ColorTable ExportColorTable;
    std::atomic<bool> ExportRunning{false};
    bool ExportSaved = false;
    ExportGeometry Geometry;  // ExportHalfWidth, ExportHalfHeight, ExportStep, ExportLimit
    int ExportPriority = 0;
    std::unique_ptr<TRollImage> ExportThread;
    // Written by the export thread before its blocking call to ReportProgress. That call orders
    // the two through Qt's event queue; the atomic states it where ThreadSanitizer can see it.
    std::atomic<std::int32_t> ProgressRow{0};
    bool WidthEditArmed = true;
    bool HeightEditArmed = true;

    // --- Handlers --------------------------------------------------------------------------
    void RecomputeSize();
    void ImageWidthChange();
    void ImageHeightChange();
    void UnitsChange();
    void PermissionChange();
    void ButtonOkClick();
    void CanButClick();
    void PrFChange();
    void IsCloseAfterClick();
    void Timer1Timer();
    // Run on the window thread at the export thread's request.
    void ReportProgress();
    void ReportDone();

    // --- Controls by their component names -------------------------------------------------
    QLabel* Label1 = nullptr;
    QLabel* SaveFName = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* ImageWidth = nullptr;
    QLineEdit* ImageHeight = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* Units = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* Permission = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* Iterations = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* PrF = nullptr;
    QLabel* Itog = nullptr;
    QProgressBar* CGauge1 = nullptr;
    QCheckBox* IsCloseAfter = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* CanBut = nullptr;
    QTimer* Timer1 = nullptr;

signals:
    // ReportProgress has shown this percentage.
    void progressShown(int percent);
    // The export thread has ended (written, stopped or failed).
    void exportEnded(int result);  // an ExportJobResult

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void PlaceWindow();
    void TakeSnapshot();
    void SetSizeControlsEnabled(bool enabled);
    void ShowValue(QLineEdit* edit, float value);
    bool ReadValue(QLineEdit* edit, float& value);
    void ThreadFinished();
    void WaitForThread();
    bool OwnsObject(QObject* object) const;

    ExportHost& host_;
    bool closing_ = false;
    bool closed_ = false;
};

}  // namespace ombrilo
