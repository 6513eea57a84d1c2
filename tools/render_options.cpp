#include "render_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "engine/command_words.h"
#include "engine/export_render.h"
#include "ombrilo/program_version.h"

namespace ombrilo {

namespace {

// The separators a size may be written with: the Latin letters and the Cyrillic ones that look
// the same on a Russian keyboard.
constexpr std::array<std::string_view, 4> kSizeSeparators = {"x", "X", "\xD1\x85", "\xD0\xA5"};

struct SplitSize {
    std::string_view width;
    std::string_view height;
};

std::optional<SplitSize> SplitAtSeparator(std::string_view text) {
    for (std::string_view separator : kSizeSeparators) {
        const auto at = text.find(separator);
        if (at != std::string_view::npos) {
            return SplitSize{text.substr(0, at), text.substr(at + separator.size())};
        }
    }
    return std::nullopt;
}

std::string DetailChoicesText() {
    std::string text;
    for (int detail : kExportDetails) {
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(detail);
    }
    return text;
}

// Options that take a value.
enum class ValueOption { Size, Detail, Palette, Screen, Frames, ToC, MapView };

// Options that stand alone.
enum class FlagOption { Main, Overview, Map, Quiet };

struct OptionName {
    std::string_view name;
    std::variant<ValueOption, FlagOption> option;
};

constexpr std::array<OptionName, 11> kOptions = {{
    {"--size", ValueOption::Size},
    {"--detail", ValueOption::Detail},
    {"--palette", ValueOption::Palette},
    {"--screen", ValueOption::Screen},
    {"--frames", ValueOption::Frames},
    {"--to-c", ValueOption::ToC},
    {"--main", FlagOption::Main},
    {"--overview", FlagOption::Overview},
    {"--map", FlagOption::Map},
    {"--map-view", ValueOption::MapView},
    {"--quiet", FlagOption::Quiet},
}};

const OptionName* FindOption(std::string_view name) {
    for (const OptionName& option : kOptions) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

// Collects the command line piece by piece; the first problem found is kept and ends the work.
class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::string>& args) : args_(args) {}

    ParsedArguments Read();

private:
    bool ReadOne(std::size_t& index);
    bool ReadOption(const std::string& arg, std::size_t& index);
    bool TakeValue(const OptionName& option, std::string_view value);
    bool TakeFlag(const OptionName& option);
    bool TakeSize(std::string_view optionName, std::string_view value, PictureSize& size);
    bool TakeDetail(std::string_view value);
    bool TakeMode(std::string_view optionName, RenderMode mode);
    bool TakeFrames(std::string_view value);
    bool TakeTargetC(std::size_t& index);
    bool TakeMapView(std::size_t& index);
    bool MarkSeen(std::string_view optionName);
    bool Fail(std::string message);
    ParsedArguments Finish();
    std::optional<std::string> ConflictOfModeAndExportOptions() const;

    const std::vector<std::string>& args_;
    RenderRequest request_;
    std::vector<std::string> files_;
    std::vector<std::string_view> seen_;
    std::optional<std::string_view> modeOption_;
    bool sizeGiven_ = false;
    bool detailGiven_ = false;
    std::optional<std::string> error_;
};

ParsedArguments ArgumentReader::Read() {
    // Help wins when both help and the version are asked for.
    if (AsksFor(args_, "--help", "-h")) {
        return HelpRequest{};
    }
    if (AsksFor(args_, "--version", "--version")) {
        return VersionRequest{};
    }
    for (std::size_t index = 0; index < args_.size(); ++index) {
        if (!ReadOne(index)) {
            break;
        }
    }
    if (error_) {
        return UsageError{*error_};
    }
    return Finish();
}

bool ArgumentReader::ReadOne(std::size_t& index) {
    const std::string& arg = args_[index];
    if (arg == "--") {
        files_.insert(files_.end(), args_.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                      args_.end());
        index = args_.size();
        return true;
    }
    if (!arg.empty() && arg[0] == '-') {
        return ReadOption(arg, index);
    }
    files_.push_back(arg);
    return true;
}

bool ArgumentReader::ReadOption(const std::string& arg, std::size_t& index) {
    const auto equals = arg.find('=');
    const std::string_view name = std::string_view(arg).substr(0, equals);
    const OptionName* option = FindOption(name);
    if (option == nullptr) {
        return Fail("Неизвестный параметр " + Quoted(arg) + ".");
    }
    if (std::holds_alternative<ValueOption>(option->option) &&
        std::get<ValueOption>(option->option) == ValueOption::ToC) {
        if (equals != std::string::npos) {
            return Fail("Параметр --to-c записывается как --to-c X Y.");
        }
        return MarkSeen(option->name) && TakeTargetC(index);
    }
    if (std::holds_alternative<ValueOption>(option->option) &&
        std::get<ValueOption>(option->option) == ValueOption::MapView) {
        if (equals != std::string::npos) {
            return Fail("Параметр --map-view записывается как --map-view X Y ШИРИНА.");
        }
        return MarkSeen(option->name) && TakeMapView(index);
    }
    if (std::holds_alternative<FlagOption>(option->option)) {
        if (equals != std::string::npos) {
            return Fail("Параметр " + std::string(name) + " не принимает значения.");
        }
        return TakeFlag(*option);
    }
    if (equals != std::string::npos) {
        return TakeValue(*option, std::string_view(arg).substr(equals + 1));
    }
    if (index + 1 >= args_.size()) {
        return Fail("После параметра " + std::string(name) + " не указано значение.");
    }
    ++index;
    return TakeValue(*option, args_[index]);
}

bool ArgumentReader::MarkSeen(std::string_view optionName) {
    for (std::string_view seen : seen_) {
        if (seen == optionName) {
            return Fail("Параметр " + std::string(optionName) + " указан дважды.");
        }
    }
    seen_.push_back(optionName);
    return true;
}

bool ArgumentReader::TakeFlag(const OptionName& option) {
    if (!MarkSeen(option.name)) {
        return false;
    }
    switch (std::get<FlagOption>(option.option)) {
        case FlagOption::Main:
            return TakeMode(option.name, RenderMode::Main);
        case FlagOption::Overview:
            return TakeMode(option.name, RenderMode::Overview);
        case FlagOption::Map:
            return TakeMode(option.name, RenderMode::Map);
        case FlagOption::Quiet:
            request_.quiet = true;
            return true;
    }
    return true;
}

bool ArgumentReader::TakeValue(const OptionName& option, std::string_view value) {
    if (!MarkSeen(option.name)) {
        return false;
    }
    switch (std::get<ValueOption>(option.option)) {
        case ValueOption::Size:
            sizeGiven_ = true;
            return TakeSize(option.name, value, request_.size);
        case ValueOption::Screen:
            return TakeMode(option.name, RenderMode::Screen) &&
                   TakeSize(option.name, value, request_.size);
        case ValueOption::Detail:
            detailGiven_ = true;
            return TakeDetail(value);
        case ValueOption::Frames:
            return TakeFrames(value);
        case ValueOption::ToC:
        case ValueOption::MapView:
            return true;  // read by TakeTargetC and TakeMapView
        case ValueOption::Palette:
            if (value.empty()) {
                return Fail("После параметра --palette указано пустое имя файла.");
            }
            request_.palettePath = std::string(value);
            return true;
    }
    return true;
}

bool ArgumentReader::TakeMode(std::string_view optionName, RenderMode mode) {
    if (modeOption_) {
        return Fail("Параметры " + std::string(*modeOption_) + " и " + std::string(optionName) +
                    " нельзя указывать вместе: выберите один режим.");
    }
    modeOption_ = optionName;
    request_.mode = mode;
    return true;
}

bool ArgumentReader::TakeSize(std::string_view optionName, std::string_view value,
                              PictureSize& size) {
    auto parsed = ParsePictureSize(value);
    if (auto* reason = std::get_if<std::string>(&parsed)) {
        return Fail("Неверный размер " + Quoted(value) + " у параметра " + std::string(optionName) +
                    ": " + *reason);
    }
    size = std::get<PictureSize>(parsed);
    return true;
}

bool ArgumentReader::TakeDetail(std::string_view value) {
    const ParsedNumber number = ParseDecimal(value);
    const bool listed = number.error == NumberError::None &&
                        number.value <= std::numeric_limits<int>::max() &&
                        ExportLimitForDetail(static_cast<int>(number.value)).has_value();
    if (!listed) {
        return Fail("Неверная детализация " + Quoted(value) + ": допустимы " + DetailChoicesText() +
                    ".");
    }
    request_.detail = static_cast<int>(number.value);
    return true;
}

bool ArgumentReader::TakeFrames(std::string_view value) {
    const ParsedNumber number = ParseDecimal(value);
    if (number.error != NumberError::None || number.value < 2 || number.value > kMaxFrames) {
        return Fail("Неверное число кадров " + Quoted(value) + ": допустимо от 2 до " +
                    std::to_string(kMaxFrames) + ".");
    }
    request_.frames = number.value;
    return true;
}

bool ArgumentReader::TakeTargetC(std::size_t& index) {
    if (index + 2 >= args_.size()) {
        return Fail("После параметра --to-c нужны два числа: X и Y.");
    }
    const std::string& x = args_[index + 1];
    const std::string& y = args_[index + 2];
    index += 2;
    const std::optional<double> cx = ParseReal(x);
    const std::optional<double> cy = ParseReal(y);
    if (!cx || !cy) {
        return Fail("Неверное значение C " + Quoted(cx ? y : x) +
                    " у параметра --to-c: нужно число, например -0.75.");
    }
    request_.toCx = *cx;
    request_.toCy = *cy;
    return true;
}

bool ArgumentReader::TakeMapView(std::size_t& index) {
    if (index + 3 >= args_.size()) {
        return Fail("После параметра --map-view нужны три числа: X и Y центра и ширина.");
    }
    const std::string* texts[3] = {&args_[index + 1], &args_[index + 2], &args_[index + 3]};
    index += 3;
    float values[3] = {};
    for (int k = 0; k < 3; ++k) {
        const std::optional<double> value = ParseReal(*texts[k]);
        if (!value) {
            return Fail("Неверное число " + Quoted(*texts[k]) +
                        " у параметра --map-view: нужно число, например -0.75.");
        }
        values[k] = static_cast<float>(*value);
        if (!std::isfinite(values[k])) {
            return Fail("Число " + Quoted(*texts[k]) +
                        " у параметра --map-view слишком велико по модулю.");
        }
    }
    if (!(values[2] > 0.0f)) {
        return Fail("Неверная ширина карты " + Quoted(*texts[2]) +
                    " у параметра --map-view: нужно число больше нуля.");
    }
    request_.mapView = MapView{values[0], values[1], values[2]};
    return true;
}

bool ArgumentReader::Fail(std::string message) {
    if (!error_) {
        error_ = std::move(message);
    }
    return false;
}

std::optional<std::string> ArgumentReader::ConflictOfModeAndExportOptions() const {
    // The map takes a size of its own.
    const bool sizeConflicts = sizeGiven_ && request_.mode != RenderMode::Map;
    if (!modeOption_ || (!sizeConflicts && !detailGiven_)) {
        return std::nullopt;
    }
    const char* exportOption = sizeConflicts ? "--size" : "--detail";
    return "Параметр " + std::string(exportOption) + " относится только к экспорту и не " +
           "сочетается с " + std::string(*modeOption_) + ".";
}

ParsedArguments ArgumentReader::Finish() {
    if (auto conflict = ConflictOfModeAndExportOptions()) {
        return UsageError{*conflict};
    }
    const bool framesGiven = request_.frames != 0;
    const bool targetGiven = std::find(seen_.begin(), seen_.end(), "--to-c") != seen_.end();
    const bool mapViewGiven = std::find(seen_.begin(), seen_.end(), "--map-view") != seen_.end();
    if (mapViewGiven && request_.mode != RenderMode::Map) {
        return UsageError{"Параметр --map-view указывается только вместе с --map."};
    }
    if (request_.mode == RenderMode::Map) {
        if (framesGiven || targetGiven) {
            return UsageError{
                "Параметры --frames и --to-c не сочетаются с --map: карта не зависит от C."};
        }
        if (!sizeGiven_) {
            request_.size = kDefaultMapSize;
        }
    }
    if (framesGiven != targetGiven) {
        return UsageError{"Параметры --frames и --to-c указываются только вместе."};
    }
    if (files_.empty()) {
        return UsageError{"Не указан выходной файл .bmp или .png."};
    }
    if (files_.size() > 2) {
        return UsageError{
            "Слишком много имён файлов: укажите не больше одного файла .frc (или .png с "
            "фракталом) и выходной файл .bmp или .png."};
    }
    for (const std::string& file : files_) {
        if (file.empty()) {
            return UsageError{"Указано пустое имя файла."};
        }
    }
    request_.outputPath = files_.back();
    if (files_.size() == 2) {
        request_.fractalPath = files_.front();
    }
    return request_;
}

}  // namespace

ParsedNumber ParseDecimal(std::string_view text) {
    if (text.empty()) {
        return {0, NumberError::NotANumber};
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return {0, NumberError::NotANumber};
        }
        const int digit = c - '0';
        if (value > (kMax - digit) / 10) {
            return {0, NumberError::TooLarge};
        }
        value = value * 10 + digit;
    }
    return {value, NumberError::None};
}

std::variant<PictureSize, std::string> ParsePictureSize(std::string_view text) {
    const auto parts = SplitAtSeparator(text);
    if (!parts) {
        return std::string("нужны ширина и высота в пикселях через x, например 1024x768.");
    }
    const ParsedNumber width = ParseDecimal(parts->width);
    const ParsedNumber height = ParseDecimal(parts->height);
    if (width.error == NumberError::NotANumber || height.error == NumberError::NotANumber) {
        return std::string("ширина и высота должны быть целыми числами, например 1024x768.");
    }
    if (width.error == NumberError::TooLarge || height.error == NumberError::TooLarge) {
        return std::string("число слишком велико.");
    }
    if (width.value == 0 || height.value == 0) {
        return std::string("ширина и высота должны быть больше нуля.");
    }
    return PictureSize{width.value, height.value};
}

std::optional<double> ParseReal(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

ParsedArguments ParseRenderArguments(const std::vector<std::string>& args) {
    return ArgumentReader(args).Read();
}

std::string RenderUsageText() {
    return "Использование:\n"
           "  ombrilo-render [--size ШxВ] [--detail N] [--palette ФАЙЛ.ptt] [ФАЙЛ.frc] "
           "ВЫХОД.bmp|.png\n"
           "  ombrilo-render --main [--palette ФАЙЛ.ptt] [ФАЙЛ.frc] ВЫХОД.bmp|.png\n"
           "  ombrilo-render --screen ШxВ [--palette ФАЙЛ.ptt] [ФАЙЛ.frc] ВЫХОД.bmp|.png\n"
           "  ombrilo-render --overview [--palette ФАЙЛ.ptt] [ФАЙЛ.frc] ВЫХОД.bmp|.png\n"
           "  ombrilo-render --map [--map-view X Y ШИРИНА] [--size ШxВ] [--palette ФАЙЛ.ptt]\n"
           "                 [ФАЙЛ.frc] ВЫХОД.bmp|.png\n"
           "  ombrilo-render --frames N --to-c X Y [другие параметры] [ФАЙЛ.frc] ШАБЛОН\n"
           "\n"
           "Рисует заполненное множество Жюлиа z -> z^2 + C и записывает его в 24-битный\n"
           "файл BMP или PNG: формат задаёт расширение выходного файла (.bmp или .png,\n"
           "в любом регистре). Файл PNG сжат и хранит параметры фрактала (C, область,\n"
           "палитру); такой файл можно указать вместо ФАЙЛ.frc. Без файла фрактала\n"
           "рисуется стартовый фрактал: C = 0.402 + 0.339i, ширина 5 вокруг начала\n"
           "координат, стартовая палитра.\n"
           "\n"
           "Режимы:\n"
           "  (по умолчанию)  экспорт изображения ШxВ пикселей с выбранной детализацией\n"
           "  --main          картинка главного окна, 530 x 409\n"
           "  --screen ШxВ    полноэкранная картинка на экране ШxВ\n"
           "  --overview      обзор 81 x 65 (окрестность начала координат шириной 5)\n"
           "  --map           карта C (множество Мандельброта): точка c раскрашена по тому,\n"
           "                  как быстро уходит орбита 0 при z -> z^2 + c; размер --size\n"
           "                  (по умолчанию 530x409), палитра фрактала; в PNG карты\n"
           "                  параметры фрактала не записываются\n"
           "\n"
           "Параметры:\n"
           "  --size ШxВ      размер экспорта или карты в пикселях (по умолчанию 1024x768)\n"
           "  --detail N      детализация экспорта: " +
           DetailChoicesText() +
           " (по умолчанию 256)\n"
           "  --palette ФАЙЛ  палитра из файла .ptt вместо палитры фрактала\n"
           "  --frames N      N кадров (от 2 до " +
           std::to_string(kMaxFrames) +
           "), в которых C идёт по прямой от C фрактала\n"
           "                  к X + iY; кадр k: Cx = Cx0 + (X - Cx0) * k / (N - 1), так же Cy\n"
           "  --to-c X Y      конечное C сдвига по кадрам (только вместе с --frames)\n"
           "  --map-view X Y ШИРИНА\n"
           "                  область карты: центр X + iY и ширина (по умолчанию -0.6 0 3.4;\n"
           "                  только вместе с --map)\n"
           "  --quiet         не показывать ход расчёта\n"
           "  --help          эта справка\n"
           "  --version       версия программы\n"
           "  --              дальше идут только имена файлов\n"
           "\n"
           "ШАБЛОН имён кадров содержит одно целое поле в духе printf: кадр%04d.png даёт\n"
           "кадр0000.png, кадр0001.png ...; %% означает знак процента. Кадры нумеруются с 0.\n"
           "Прерывание (Ctrl+C) оставляет только дописанные кадры.\n"
           "\n"
           "Коды выхода: 0 - файл записан, 1 - ошибка чтения, расчёта или записи,\n"
           "2 - неверная командная строка, 130 - расчёт прерван.\n";
}

std::string RenderVersionText() {
    return "ombrilo-render (Ombrilo) " OMBRILO_VERSION
           "\n"
           "Лицензия MIT: свободная программа, её можно изменять и распространять.\n"
           "Гарантий нет. Страница программы: https://ombrilo.example.org/\n";
}

}  // namespace ombrilo
