#include "render_cli.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "engine/export_render.h"
#include "engine/fractal_state.h"
#include "engine/render.h"
#include "formats/bmp_file.h"
#include "formats/fractal_file.h"
#include "formats/messages.h"
#include "formats/palette_file.h"
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

// The start-up state with the fractal file laid over it.
bool LoadFractalFile(const std::string& path, FractalState& state, Diagnostics& diagnostics) {
    const FractalReadResult result = ReadFractalFile(path, state, /*loadPalette=*/true);
    if (!result.opened) {
        ReportUnreadable(diagnostics, path);
        return false;
    }
    if (!result.fractalAccepted) {
        diagnostics.FileError(path,
                              "Неизвестный тип фрактала: эта версия рисует только "
                              "тип 1 (Z <- Z^2 + C).");
        return false;
    }
    if (!result.paletteAccepted) {
        diagnostics.FileWarning(path, "неизвестный тип палитры, палитра файла не использована.");
    }
    state.MainStep = MainStepFor(state.ViewWidth);
    return true;
}

bool LoadPaletteFile(const std::string& path, FractalState& state, Diagnostics& diagnostics) {
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
std::optional<int> CheckOutputPath(const RenderRequest& request, Diagnostics& diagnostics) {
    for (const auto& input : {request.fractalPath, request.palettePath}) {
        if (input && IsSameFile(*input, request.outputPath)) {
            diagnostics.FileError(request.outputPath,
                                  "выходной файл совпадает с входным; выберите другое имя.");
            return kExitUsage;
        }
    }
    std::error_code ec;
    if (std::filesystem::is_directory(request.outputPath, ec)) {
        diagnostics.FileError(request.outputPath, std::string(kCannotOpenForWriting) + " (" +
                                                      ErrnoReason(EISDIR) + ")");
        return kExitFailure;
    }
    return std::nullopt;
}

bool Interrupted(const RenderCliEnvironment& environment) {
    return environment.interrupted && environment.interrupted();
}

// One run of the tool after its command line has been understood.
class RenderJob {
public:
    RenderJob(const RenderRequest& request, std::ostream& err,
              const RenderCliEnvironment& environment)
        : request_(request),
          err_(err),
          diagnostics_(err),
          environment_(environment),
          showProgress_(environment.stderrIsTerminal && !request.quiet) {}

    int Run();

private:
    bool PrepareState();
    int RenderExportPicture(const BmpLayout& layout);
    int RenderViewPicture(const BmpLayout& layout);
    int WriteFrame(const BmpLayout& layout, const Frame32& frame);
    bool OpenWriter(BmpFileWriter& writer);
    int CommitWriter(BmpFileWriter& writer);
    int ReportWriteFailure(BmpFileWriter& writer);
    int ReportInterrupted(BmpFileWriter* writer);
    int ReportOutOfMemory(const BmpLayout& layout);

    const RenderRequest& request_;
    std::ostream& err_;
    Diagnostics diagnostics_;
    const RenderCliEnvironment& environment_;
    bool showProgress_;
    FractalState state_ = MakeStartState();
};

int RenderJob::Run() {
    const PictureSize size = PictureSizeFor(request_);
    const std::optional<BmpLayout> layout = BmpLayoutFor(size.width, size.height);
    if (!layout) {
        diagnostics_.Error("Размер " + SizeText(size) +
                           " не помещается в файл BMP: сторона не больше 2147483647 пикселей, "
                           "файл не больше 4 ГБ.");
        return kExitUsage;
    }
    if (auto refused = CheckOutputPath(request_, diagnostics_)) {
        return *refused;
    }
    if (!PrepareState()) {
        return kExitFailure;
    }
    if (request_.mode == RenderMode::Export) {
        return RenderExportPicture(*layout);
    }
    return RenderViewPicture(*layout);
}

bool RenderJob::PrepareState() {
    if (request_.fractalPath && !LoadFractalFile(*request_.fractalPath, state_, diagnostics_)) {
        return false;
    }
    return !request_.palettePath || LoadPaletteFile(*request_.palettePath, state_, diagnostics_);
}

bool RenderJob::OpenWriter(BmpFileWriter& writer) {
    if (writer.Open()) {
        return true;
    }
    diagnostics_.FileError(request_.outputPath, std::string(kCannotOpenForWriting) + " (" +
                                                    ErrnoReason(writer.error()) + ")");
    writer.Discard();
    return false;
}

int RenderJob::ReportWriteFailure(BmpFileWriter& writer) {
    const int error = writer.error();
    writer.Discard();
    diagnostics_.FileError(request_.outputPath,
                           "ошибка записи (" + ErrnoReason(error) + "), файл не записан.");
    return kExitFailure;
}

int RenderJob::CommitWriter(BmpFileWriter& writer) {
    if (!writer.Commit()) {
        return ReportWriteFailure(writer);
    }
    return kExitSuccess;
}

int RenderJob::ReportInterrupted(BmpFileWriter* writer) {
    if (writer != nullptr) {
        writer->Discard();
    }
    diagnostics_.Error("расчёт прерван, файл не записан.");
    return kExitInterrupted;
}

int RenderJob::ReportOutOfMemory(const BmpLayout& layout) {
    diagnostics_.Error("не хватает памяти для картинки " + SizeText({layout.width, layout.height}) +
                       ", файл не записан.");
    return kExitFailure;
}

int RenderJob::RenderExportPicture(const BmpLayout& layout) {
    const ExportGeometry geometry = MakeExportGeometry(
        state_.ViewWidth, layout.width, layout.height, *ExportLimitForDetail(request_.detail));
    const ExportView view{state_.Cx, state_.Cy, state_.CenterX, state_.CenterY, state_.ViewWidth};
    BmpFileWriter writer(request_.outputPath, layout);
    if (!OpenWriter(writer)) {
        return kExitFailure;
    }
    ProgressBar bar(err_, showProgress_, layout.height);
    bar.Update(0);
    const auto takeRow = [&](std::int64_t row, const std::uint8_t* bgr) {
        if (!writer.WriteRow(row, bgr)) {
            return false;
        }
        bar.Update(row + 1);
        return true;
    };
    const auto keepGoing = [&](std::int32_t) { return !Interrupted(environment_); };
    ExportOutcome outcome;
    try {
        outcome = RenderExport(view, state_.colorTable, geometry, takeRow, keepGoing);
    } catch (const std::bad_alloc&) {
        bar.Abandon();
        writer.Discard();
        return ReportOutOfMemory(layout);
    }
    switch (outcome) {
        case ExportOutcome::Finished:
            break;
        case ExportOutcome::Cancelled:
            bar.Abandon();
            return ReportInterrupted(&writer);
        case ExportOutcome::RowRejected:
            bar.Abandon();
            return ReportWriteFailure(writer);
    }
    const int status = CommitWriter(writer);
    if (status == kExitSuccess) {
        bar.Finish();
    }
    return status;
}

ViewGeometry ViewGeometryFor(RenderMode mode, const FractalState& state, const BmpLayout& layout) {
    switch (mode) {
        case RenderMode::Main:
            return MainViewGeometry(state);
        case RenderMode::Overview:
            return OverviewGeometry();
        case RenderMode::Screen:
        case RenderMode::Export:
            break;
    }
    return ScreenGeometry(state, layout.width, layout.height);
}

int RenderJob::RenderViewPicture(const BmpLayout& layout) {
    const auto bytesPerLine = static_cast<std::ptrdiff_t>(layout.width) * 4;
    std::unique_ptr<std::uint8_t[]> pixels;
    try {
        pixels = std::make_unique_for_overwrite<std::uint8_t[]>(
            static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(layout.height));
    } catch (const std::bad_alloc&) {
        return ReportOutOfMemory(layout);
    }
    const Frame32 frame{pixels.get(), layout.width, layout.height, bytesPerLine};
    ProgressBar bar(err_, showProgress_, layout.height);
    bar.Update(0);
    RenderView(state_, ViewGeometryFor(request_.mode, state_, layout), frame);
    if (Interrupted(environment_)) {
        bar.Abandon();
        return ReportInterrupted(nullptr);
    }
    const int status = WriteFrame(layout, frame);
    if (status == kExitSuccess) {
        bar.Finish();
    } else {
        bar.Abandon();
    }
    return status;
}

// Bytes 0..2 of every 32-bit pixel, row after row from the top, into the bitmap file.
int RenderJob::WriteFrame(const BmpLayout& layout, const Frame32& frame) {
    std::unique_ptr<std::uint8_t[]> row;
    try {
        row = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(frame.width) *
                                                             3);
    } catch (const std::bad_alloc&) {
        return ReportOutOfMemory(layout);
    }
    BmpFileWriter writer(request_.outputPath, layout);
    if (!OpenWriter(writer)) {
        return kExitFailure;
    }
    for (int r = 0; r < frame.height; ++r) {
        const std::uint8_t* pixel = frame.Row(r);
        for (int c = 0; c < frame.width; ++c, pixel += 4) {
            std::memcpy(&row[static_cast<std::size_t>(c) * 3], pixel, 3);
        }
        if (!writer.WriteRow(r, row.get())) {
            return ReportWriteFailure(writer);
        }
    }
    return CommitWriter(writer);
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
