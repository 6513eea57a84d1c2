#include "render_cli.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <thread>

#include "engine/command_words.h"
#include "engine/export_render.h"
#include "engine/fractal_state.h"
#include "engine/map_render.h"
#include "engine/render.h"
#include "engine/worker_pool.h"
#include "export/export_job.h"
#include "formats/bmp_file.h"
#include "formats/file_io.h"
#include "formats/fractal_file.h"
#include "formats/messages.h"
#include "formats/palette_file.h"
#include "formats/png_file.h"
#include "frame_pattern.h"
#include "progress_bar.h"
#include "render_options.h"

namespace ombrilo {

namespace {

// Messages to standard error, each on a line of its own after the program's name.
class Diagnostics {
public:
    explicit Diagnostics(std::ostream& err) : err_(err) {}

    void Error(std::string_view text) { err_ << kRenderProgramName << ": " << text << '\n'; }

    void FileError(const std::string& path, std::string_view text) {
        err_ << kRenderProgramName << ": " << path << ": " << text << '\n';
    }

    void FileWarning(const std::string& path, std::string_view text) {
        err_ << kRenderProgramName << ": предупреждение: " << path << ": " << text << '\n';
    }

private:
    std::ostream& err_;
};

// Russian words for the errors a file write commonly meets; the system's text otherwise.
std::string ErrnoReason(int error) {
    switch (error) {
        case ENOENT:
            return "такой папки нет";
        case ENOTDIR:
            return "часть пути не является папкой";
        case EACCES:
        case EPERM:
            return "нет прав на запись";
        case EISDIR:
            return "это папка, а не файл";
        case ENOSPC:
            return "на диске нет места";
        case EDQUOT:
            return "превышена дисковая квота";
        case EROFS:
            return "файловая система доступна только для чтения";
        case EFBIG:
            return "файл слишком велик для этой файловой системы";
        case ENAMETOOLONG:
            return "слишком длинное имя файла";
        default:
            return std::strerror(error);
    }
}

// Why a path cannot be read, as far as the file system tells; empty when it does not say.
std::string ReadFailureHint(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        return " (файл не найден)";
    }
    if (status.type() == std::filesystem::file_type::directory) {
        return " (это папка, а не файл)";
    }
    if (!ec && status.type() != std::filesystem::file_type::regular) {
        return " (это не обычный файл)";
    }
    return "";
}

void ReportUnreadable(Diagnostics& diagnostics, const std::string& path) {
    diagnostics.FileError(path, std::string(kCannotOpenForReading) + ReadFailureHint(path));
}

// Reports what a read fractal record brought; MainStep has followed the width already.
bool ReportLoadedRecord(const std::string& path, const FractalReadResult& result,
                        Diagnostics& diagnostics) {
    if (!result.fractalAccepted) {
        diagnostics.FileError(path,
                              "Неизвестный тип фрактала: эта версия рисует только "
                              "тип 1 (Z <- Z^2 + C).");
        return false;
    }
    if (!result.paletteAccepted) {
        diagnostics.FileWarning(path, "неизвестный тип палитры, палитра файла не использована.");
    }
    return true;
}

// A PNG picture by its name or by its first bytes.
bool LooksLikePng(const std::string& path) {
    if (ExportFormatForPath(path) == ExportFormat::Png) {
        return true;
    }
    const auto start = ReadFilePrefix(path, 8);
    return start && HasPngSignature(*start);
}

// The fractal kept inside a PNG picture this program wrote.
bool LoadPngFractal(const std::string& path, FractalState& state, Diagnostics& diagnostics) {
    const PngFractalRead read = ReadPngFractal(path);
    if (read.status == PngFractalStatus::Unreadable) {
        ReportUnreadable(diagnostics, path);
        return false;
    }
    if (read.status != PngFractalStatus::Found) {
        diagnostics.FileError(path, PngFractalMessage(read.status));
        return false;
    }
    return ReportLoadedRecord(path, ApplyFractalRecord(read.record, state, /*loadPalette=*/true),
                              diagnostics);
}

// The start-up state with the fractal file laid over it.
bool LoadFractalFile(const std::string& path, FractalState& state, Diagnostics& diagnostics) {
    if (LooksLikePng(path)) {
        return LoadPngFractal(path, state, diagnostics);
    }
    const FractalReadResult result = ReadFractalFile(path, state, /*loadPalette=*/true);
    if (!result.opened) {
        ReportUnreadable(diagnostics, path);
        return false;
    }
    return ReportLoadedRecord(path, result, diagnostics);
}

// What a file given as a palette plainly is instead, or empty when it may be a palette file:
// the palette record is 28 bytes (the program's palette browser also reads shorter ones).
std::string NotAPaletteReason(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        return "";  // the read reports it
    }
    const auto start = ReadFilePrefix(path, 8);
    if (start && HasPngSignature(*start)) {
        return "это изображение PNG, а не файл палитры .ptt.";
    }
    if (start && start->size() >= 2 && (*start)[0] == 'B' && (*start)[1] == 'M') {
        return "это изображение BMP, а не файл палитры .ptt.";
    }
    if (size == kFractalFileSize) {
        return "это файл фрактала .frc (" + std::to_string(kFractalFileSize) +
               " байт), а не файл палитры .ptt.";
    }
    if (size == 0) {
        return "файл пуст, это не файл палитры .ptt.";
    }
    if (size > kPaletteFileSize) {
        return "файл размером " + std::to_string(size) +
               " байт не может быть файлом палитры .ptt (в нём " +
               std::to_string(kPaletteFileSize) + " байт).";
    }
    return "";
}

bool LoadPaletteFile(const std::string& path, FractalState& state, Diagnostics& diagnostics) {
    if (const std::string reason = NotAPaletteReason(path); !reason.empty()) {
        diagnostics.FileError(path, reason);
        return false;
    }
    const PaletteReadResult result = ReadPaletteFile(path, state);
    if (!result.opened) {
        ReportUnreadable(diagnostics, path);
        return false;
    }
    if (!result.paletteAccepted) {
        diagnostics.FileError(path, "Неизвестный тип палитры: допустимы типы 1..8.");
        return false;
    }
    return true;
}

PictureSize PictureSizeFor(const RenderRequest& request) {
    switch (request.mode) {
        case RenderMode::Main:
            return {kMainViewWidth, kMainViewHeight};
        case RenderMode::Overview:
            return {kOverviewWidth, kOverviewHeight};
        case RenderMode::Export:
        case RenderMode::Screen:
        case RenderMode::Map:
            break;
    }
    return request.size;
}

std::string SizeText(const PictureSize& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

// The output must not overwrite an input of the same run, and a folder cannot become a file.
std::optional<int> CheckOutputPath(const RenderRequest& request, const std::string& output,
                                   Diagnostics& diagnostics) {
    for (const auto& input : {request.fractalPath, request.palettePath}) {
        if (input && IsSameFile(*input, output)) {
            diagnostics.FileError(output,
                                  "выходной файл совпадает с входным; выберите другое имя.");
            return kExitUsage;
        }
    }
    std::error_code ec;
    if (std::filesystem::is_directory(output, ec) || output.back() == '/') {
        diagnostics.FileError(
            output, std::string(kCannotOpenForWriting) + " (" + ErrnoReason(EISDIR) + ")");
        return kExitFailure;
    }
    return std::nullopt;
}

bool Interrupted(const RenderCliEnvironment& environment) {
    return environment.interrupted && environment.interrupted();
}

// C of frame k of a sweep from c0 to target in frames pictures, in double from left to right;
// the last frame is the target itself.
double SweepValue(double c0, double target, std::int64_t k, std::int64_t frames) {
    if (k == frames - 1) {
        return target;
    }
    return c0 + (target - c0) * static_cast<double>(k) / static_cast<double>(frames - 1);
}

// One run of the tool after its command line has been understood.
class RenderJob {
public:
    RenderJob(const RenderRequest& request, std::ostream& err,
              const RenderCliEnvironment& environment)
        : request_(request),
          diagnostics_(err),
          environment_(environment),
          size_(PictureSizeFor(request)),
          bar_(err, environment.stderrIsTerminal && !request.quiet,
               size_.height * std::max<std::int64_t>(1, request.frames)) {}

    int Run();

private:
    bool PrepareState();
    int RenderFrames(const FramePattern& pattern);
    int RenderPicture(const std::string& path);
    int RenderExportPicture(const std::string& path);
    int RenderViewPicture(const std::string& path);
    int RenderWholeViewPicture(const std::string& path);
    int WriteFrame(const std::string& path, const Frame32& frame);
    std::unique_ptr<ExportRowWriter> OpenWriter(const std::string& path);
    int CommitWriter(const std::string& path, ExportRowWriter& writer);
    int ReportWriteFailure(const std::string& path, int error);
    int ReportInterrupted();
    int ReportOutOfMemory();

    const RenderRequest& request_;
    Diagnostics diagnostics_;
    const RenderCliEnvironment& environment_;
    PictureSize size_;
    ExportFormat format_ = ExportFormat::Bmp;
    ProgressBar bar_;
    std::int64_t rowsBefore_ = 0;  // rows of the frames already written
    FractalState state_ = MakeStartState();
};

int RenderJob::Run() {
    if (request_.frames == 0) {
        if (auto refused = CheckOutputPath(request_, request_.outputPath, diagnostics_)) {
            return *refused;
        }
    }
    const std::optional<ExportFormat> format = ExportFormatForPath(request_.outputPath);
    if (!format) {
        diagnostics_.Error("Выходной файл " + Quoted(request_.outputPath) +
                           " должен иметь расширение .bmp или .png.");
        return kExitUsage;
    }
    format_ = *format;
    if (!ExportSizeFits(format_, size_.width, size_.height)) {
        diagnostics_.Error(
            format_ == ExportFormat::Bmp
                ? "Размер " + SizeText(size_) +
                      " не помещается в файл BMP: сторона не больше 2147483647 пикселей, "
                      "файл не больше 4 ГБ."
                : "Размер " + SizeText(size_) +
                      " не помещается в файл PNG: сторона не больше 2147483647 пикселей.");
        return kExitUsage;
    }
    if (request_.mode == RenderMode::Map) {
        const int width = static_cast<int>(size_.width);
        const int height = static_cast<int>(size_.height);
        if (!MapPixelsDistinct(MapGeometry(request_.mapView, width, height), width, height)) {
            diagnostics_.Error("Область карты слишком мала для размера " + SizeText(size_) +
                               ": соседние пиксели попадают в одну точку. Возьмите область "
                               "шире или размер меньше.");
            return kExitUsage;
        }
    }
    std::optional<FramePattern> pattern;
    if (request_.frames != 0) {
        auto parsed = ParseFramePattern(request_.outputPath);
        if (auto* reason = std::get_if<std::string>(&parsed)) {
            diagnostics_.Error(*reason);
            return kExitUsage;
        }
        pattern = std::get<FramePattern>(parsed);
    }
    if (!PrepareState()) {
        return kExitFailure;
    }
    const int status = pattern ? RenderFrames(*pattern) : RenderPicture(request_.outputPath);
    if (status == kExitSuccess) {
        bar_.Finish();
    }
    return status;
}

int RenderJob::RenderFrames(const FramePattern& pattern) {
    // Every name is checked before the work starts.
    for (std::int64_t k = 0; k < request_.frames; ++k) {
        if (auto refused = CheckOutputPath(request_, pattern.Name(k), diagnostics_)) {
            return *refused;
        }
    }
    const double cx0 = state_.Cx;
    const double cy0 = state_.Cy;
    for (std::int64_t k = 0; k < request_.frames; ++k) {
        const std::string path = pattern.Name(k);
        state_.Cx = SweepValue(cx0, request_.toCx, k, request_.frames);
        state_.Cy = SweepValue(cy0, request_.toCy, k, request_.frames);
        rowsBefore_ = k * size_.height;
        if (const int status = RenderPicture(path); status != kExitSuccess) {
            return status;
        }
    }
    return kExitSuccess;
}

int RenderJob::RenderPicture(const std::string& path) {
    return request_.mode == RenderMode::Export ? RenderExportPicture(path)
                                               : RenderViewPicture(path);
}

bool RenderJob::PrepareState() {
    if (request_.fractalPath && !LoadFractalFile(*request_.fractalPath, state_, diagnostics_)) {
        return false;
    }
    return !request_.palettePath || LoadPaletteFile(*request_.palettePath, state_, diagnostics_);
}

std::unique_ptr<ExportRowWriter> RenderJob::OpenWriter(const std::string& path) {
    ExportJob job;
    job.path = path;
    job.geometry.WidthPixels = size_.width;
    job.geometry.HeightPixels = size_.height;
    job.format = format_;
    // A map is no picture of the fractal's view: its PNG keeps no fractal record.
    if (request_.mode != RenderMode::Map) {
        job.fractal = RecordFromState(state_);
    }
    std::unique_ptr<ExportRowWriter> writer = MakeExportRowWriter(job);
    if (writer->Open()) {
        return writer;
    }
    bar_.Abandon();
    diagnostics_.FileError(
        path, std::string(kCannotOpenForWriting) + " (" + ErrnoReason(writer->error()) + ")");
    return nullptr;
}

int RenderJob::ReportWriteFailure(const std::string& path, int error) {
    bar_.Abandon();
    diagnostics_.FileError(
        path, "ошибка записи (" + ErrnoReason(error != 0 ? error : EIO) + "), файл не записан.");
    return kExitFailure;
}

int RenderJob::CommitWriter(const std::string& path, ExportRowWriter& writer) {
    if (!writer.Commit()) {
        return ReportWriteFailure(path, writer.error());
    }
    return kExitSuccess;
}

int RenderJob::ReportInterrupted() {
    bar_.Abandon();
    diagnostics_.Error(request_.frames != 0 ? "расчёт прерван, недописанный кадр не записан."
                                            : "расчёт прерван, файл не записан.");
    return kExitInterrupted;
}

int RenderJob::ReportOutOfMemory() {
    bar_.Abandon();
    diagnostics_.Error("не хватает памяти для картинки " + SizeText(size_) + ", файл не записан.");
    return kExitFailure;
}

int RenderJob::RenderExportPicture(const std::string& path) {
    const ExportGeometry geometry = MakeExportGeometry(state_.ViewWidth, size_.width, size_.height,
                                                       *ExportLimitForDetail(request_.detail));
    const ExportView view = ExportViewOf(state_);
    ExportOutcome outcome;
    std::unique_ptr<ExportRowWriter> writer;
    try {
        writer = OpenWriter(path);
        if (!writer) {
            return kExitFailure;
        }
        bar_.Update(rowsBefore_);
        const auto takeRow = [&](std::int64_t row, const std::uint8_t* bgr) {
            if (!writer->WriteRow(row, bgr)) {
                return false;
            }
            bar_.Update(rowsBefore_ + row + 1);
            return true;
        };
        const auto keepGoing = [&](std::int32_t) { return !Interrupted(environment_); };
        const auto render = environment_.referenceLoops ? &RenderExportReference : &RenderExport;
        outcome = render(view, state_.colorTable, geometry, takeRow, keepGoing);
    } catch (const std::bad_alloc&) {
        return ReportOutOfMemory();
    }
    switch (outcome) {
        case ExportOutcome::Finished:
            break;
        case ExportOutcome::Cancelled:
            return ReportInterrupted();
        case ExportOutcome::RowRejected:
            return ReportWriteFailure(path, writer->error());
    }
    return CommitWriter(path, *writer);
}

// Bytes 0..2 of each 32-bit pixel of the frame's row r, as a bitmap file's row: four pixels
// at a time as three little-endian words.
static_assert(std::endian::native == std::endian::little);
void PackRow(const Frame32& frame, int r, std::uint8_t* bgr) {
    const std::uint8_t* pixel = frame.Row(r);
    int c = 0;
    for (; c + 4 <= frame.width; c += 4, pixel += 16, bgr += 12) {
        std::uint32_t p[4];
        std::memcpy(p, pixel, sizeof p);
        const std::uint32_t words[3] = {(p[0] & 0xFFFFFFu) | p[1] << 24,
                                        (p[1] >> 8 & 0xFFFFu) | p[2] << 16,
                                        (p[2] >> 16 & 0xFFu) | p[3] << 8};
        std::memcpy(bgr, words, sizeof words);
    }
    for (; c < frame.width; ++c, pixel += 4, bgr += 3) {
        std::memcpy(bgr, pixel, 3);
    }
}

// Writes bands of rows on a thread of its own, one band at a time, while the caller draws the
// next one: one thread for the whole picture rather than one per band.
class BandWriter {
public:
    using WriteBand = std::function<bool(const Frame24&, int)>;

    explicit BandWriter(WriteBand write) : write_(std::move(write)), thread_([this] { Serve(); }) {}

    ~BandWriter() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Hands over band, whose first row is the picture's row `first`; the band before must be
    // written (Wait) first.
    void Start(const Frame24& band, int first) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            band_ = band;
            first_ = first;
            busy_ = true;
        }
        changed_.notify_all();
    }

    // Waits until the band handed over is written; false once any band failed.
    bool Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        return ok_;
    }

private:
    void Serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return busy_ || stopping_; });
            if (!busy_) {
                return;
            }
            const Frame24 band = band_;
            const int first = first_;
            lock.unlock();
            const bool written = write_(band, first);
            lock.lock();
            ok_ = ok_ && written;
            busy_ = false;
            changed_.notify_all();
        }
    }

    WriteBand write_;
    std::mutex mutex_;
    std::condition_variable changed_;  // a band was handed over or written, or the writer stops
    Frame24 band_;
    int first_ = 0;
    bool busy_ = false;
    bool ok_ = true;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once the rest is set up
};

ViewGeometry ViewGeometryFor(const RenderRequest& request, const FractalState& state,
                             const PictureSize& size) {
    switch (request.mode) {
        case RenderMode::Main:
            return MainViewGeometry(state);
        case RenderMode::Overview:
            return OverviewGeometry();
        case RenderMode::Map:
            return MapGeometry(request.mapView, static_cast<int>(size.width),
                               static_cast<int>(size.height));
        case RenderMode::Screen:
        case RenderMode::Export:
            break;
    }
    return ScreenGeometry(state, static_cast<int>(size.width), static_cast<int>(size.height));
}

int RenderJob::RenderViewPicture(const std::string& path) {
    if (environment_.referenceLoops) {
        return RenderWholeViewPicture(path);
    }
    // A band of rows at a time, about 256 KiB of pixels that stays in the cache while its rows
    // go to the file, from the top, the order every picture writer takes. The rows are drawn
    // in the file's 24-bit form and handed to the writer as they are. With more than one
    // thread a band's rows are written on a thread of their own while the next band is drawn
    // into the other buffer.
    const int width = static_cast<int>(size_.width);
    const int height = static_cast<int>(size_.height);
    const auto bytesPerLine = static_cast<std::ptrdiff_t>(width) * 3;
    const int bandRows = static_cast<int>(
        std::clamp<std::int64_t>((std::int64_t{1} << 18) / bytesPerLine, 1, height));
    std::unique_ptr<std::uint8_t[]> pixels[2];
    std::unique_ptr<ExportRowWriter> writer;
    try {
        for (auto& buffer : pixels) {
            buffer = std::make_unique_for_overwrite<std::uint8_t[]>(
                static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(bandRows));
        }
        writer = OpenWriter(path);
    } catch (const std::bad_alloc&) {
        return ReportOutOfMemory();
    }
    if (!writer) {
        return kExitFailure;
    }
    const auto writeBand = [&writer](const Frame24& band, int first) {
        return writer->WriteRows(first, band.height, band.Row(0), band.bytesPerLine);
    };
    std::optional<BandWriter> overlapped;  // with more than one thread
    if (ParallelThreadCount() > 1) {
        overlapped.emplace(writeBand);
    }
    const auto previousWritten = [&overlapped] { return !overlapped || overlapped->Wait(); };
    const ViewGeometry view = ViewGeometryFor(request_, state_, size_);
    bar_.Update(rowsBefore_);
    for (int first = 0, buffer = 0; first < height; first += bandRows, buffer ^= 1) {
        const Frame24 band{pixels[buffer].get(), width, std::min(bandRows, height - first),
                           bytesPerLine};
        if (request_.mode == RenderMode::Map) {
            RenderMapRows24(state_.colorTable, view, first, band);
        } else {
            RenderViewRows24(state_, view, first, band);
        }
        const bool writtenSoFar = previousWritten();
        if (Interrupted(environment_)) {
            return ReportInterrupted();
        }
        if (!writtenSoFar || (!overlapped && !writeBand(band, first))) {
            return ReportWriteFailure(path, writer->error());
        }
        if (overlapped) {
            overlapped->Start(band, first);
        }
        bar_.Update(rowsBefore_ + first + band.height);
    }
    if (!previousWritten()) {
        return ReportWriteFailure(path, writer->error());
    }
    return CommitWriter(path, *writer);
}

// The straightforward way, for comparisons: the whole picture by the reference loops, then
// written.
int RenderJob::RenderWholeViewPicture(const std::string& path) {
    const auto bytesPerLine = static_cast<std::ptrdiff_t>(size_.width) * 4;
    std::unique_ptr<std::uint8_t[]> pixels;
    try {
        pixels = std::make_unique_for_overwrite<std::uint8_t[]>(
            static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(size_.height));
    } catch (const std::bad_alloc&) {
        return ReportOutOfMemory();
    }
    const Frame32 frame{pixels.get(), static_cast<int>(size_.width), static_cast<int>(size_.height),
                        bytesPerLine};
    bar_.Update(rowsBefore_);
    const ViewGeometry view = ViewGeometryFor(request_, state_, size_);
    if (request_.mode == RenderMode::Map) {
        RenderMapReference(state_.colorTable, view, frame);
    } else {
        RenderViewReference(state_, view, frame);
    }
    if (Interrupted(environment_)) {
        return ReportInterrupted();
    }
    const int status = WriteFrame(path, frame);
    if (status == kExitSuccess) {
        bar_.Update(rowsBefore_ + size_.height);
    }
    return status;
}

// Bytes 0..2 of every 32-bit pixel, row after row from the top, into the picture file.
int RenderJob::WriteFrame(const std::string& path, const Frame32& frame) {
    try {
        auto row = std::make_unique_for_overwrite<std::uint8_t[]>(
            static_cast<std::size_t>(frame.width) * 3);
        std::unique_ptr<ExportRowWriter> writer = OpenWriter(path);
        if (!writer) {
            return kExitFailure;
        }
        for (int r = 0; r < frame.height; ++r) {
            PackRow(frame, r, row.get());
            if (!writer->WriteRow(r, row.get())) {
                return ReportWriteFailure(path, writer->error());
            }
        }
        return CommitWriter(path, *writer);
    } catch (const std::bad_alloc&) {
        return ReportOutOfMemory();
    }
}

}  // namespace

int RunRenderCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const RenderCliEnvironment& environment) {
    const ParsedArguments parsed = ParseRenderArguments(args);
    if (std::holds_alternative<HelpRequest>(parsed)) {
        out << RenderUsageText();
        return kExitSuccess;
    }
    if (std::holds_alternative<VersionRequest>(parsed)) {
        out << RenderVersionText();
        return kExitSuccess;
    }
    if (const auto* refused = std::get_if<UsageError>(&parsed)) {
        Diagnostics(err).Error(refused->message);
        err << "Справка: " << kRenderProgramName << " --help\n";
        return kExitUsage;
    }
    return RenderJob(std::get<RenderRequest>(parsed), err, environment).Run();
}

}  // namespace ombrilo
