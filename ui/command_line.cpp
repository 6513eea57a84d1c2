#include "command_line.h"

#include <array>
#include <string_view>

#include "engine/command_words.h"
#include "ombrilo/program_version.h"

namespace ombrilo {

namespace {

struct ToolkitOption {
    std::string_view name;
    bool takesValue;
};

// The options the toolkit reads itself from the command line of every program.
constexpr std::array<ToolkitOption, 17> kToolkitOptions = {{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"display", true},
    {"style", true},
    {"stylesheet", true},
    {"session", true},
    {"qwindowgeometry", true},
    {"qwindowtitle", true},
    {"qwindowicon", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
    {"qmljsdebugger", true},
}};

// The toolkit option arg names, written with one or two dashes and its value after "=" or as
// the next argument; null for any other word.
const ToolkitOption* FindToolkitOption(std::string_view arg) {
    std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
    name = name.substr(0, name.find('='));
    for (const ToolkitOption& option : kToolkitOptions) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

ProgramCommand ParseProgramArguments(const std::vector<std::string>& args) {
    if (AsksFor(args, "--help", "-h")) {
        return ProgramHelpRequest{};
    }
    if (AsksFor(args, "--version", "--version")) {
        return ProgramVersionRequest{};
    }
    StartRequest request;
    std::vector<std::string> files;
    for (std::size_t index = 0; index < args.size(); ++index) {
        const std::string& arg = args[index];
        if (arg == "--") {
            files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                         args.end());
            break;
        }
        if (arg == "--user-folder") {
            request.userFolder = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            const ToolkitOption* option = FindToolkitOption(arg);
            if (option == nullptr) {
                return ProgramUsageError{"неизвестный параметр " + Quoted(arg) + "."};
            }
            if (option->takesValue && arg.find('=') == std::string::npos) {
                if (index + 1 >= args.size()) {
                    return ProgramUsageError{"после параметра " + arg + " не указано значение."};
                }
                ++index;
            }
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() > 1) {
        return ProgramUsageError{"указано больше одного файла: программа открывает один файл."};
    }
    if (!files.empty()) {
        if (files.front().empty()) {
            return ProgramUsageError{"указано пустое имя файла."};
        }
        request.file = files.front();
    }
    return request;
}

std::string ProgramUsageText() {
    return "Использование: ombrilo [--user-folder] [ФАЙЛ]\n"
           "\n"
           "Исследование заполненных множеств Жюлиа z -> z^2 + C.\n"
           "\n"
           "ФАЙЛ - файл фрактала (.frc), который открывается так же, как командой\n"
           "\"Открыть фрактал..\", или файл палитры (.ptt), который применяется так же,\n"
           "как командой \"Открыть палитру..\", или изображение PNG, сохраненное\n"
           "программой: открывается фрактал, записанный в нем.\n"
           "\n"
           "Окно \"Карта C\" (клавиша M, меню \"Вид\") показывает множество Мандельброта:\n"
           "щелчок по нему задаёт C. Команда \"Задать C...\" (Ctrl+E, меню \"Фрактал\")\n"
           "задаёт C числами. Место и вид карты хранятся в $XDG_CONFIG_HOME/Ombrilo.\n"
           "\n"
           "Параметры:\n"
           "  --user-folder  рабочая папка - $XDG_DATA_HOME/ombrilo (обычно\n"
           "                 ~/.local/share/ombrilo): при первом запуске она создаётся\n"
           "                 и в неё копируются фракталы, палитры и описание программы;\n"
           "                 без параметра рабочая папка - текущий каталог\n"
           "  --help, -h     эта справка\n"
           "  --version      версия программы\n"
           "  --             дальше идёт только имя файла\n"
           "\n"
           "Коды выхода: 0 - программа закрыта, 1 - рабочую папку не удалось создать\n"
           "или записать, 2 - неверная командная строка.\n";
}

std::string ProgramVersionText() {
    return "Ombrilo " OMBRILO_VERSION
           "\n"
           "Лицензия MIT: свободная программа, её можно изменять и распространять.\n"
           "Гарантий нет. Страница программы: https://ombrilo.example.org/\n";
}

}  // namespace ombrilo
