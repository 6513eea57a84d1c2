#include "accessible_names.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <array>
#include <string_view>

namespace ombrilo {

namespace {

struct ControlName {
    std::string_view control;  // the widget's object name
    const char* name;
};

// Controls whose pictures or hints do not make a short name of their own.
constexpr std::array kControlNames = std::to_array<ControlName>({
    // Main window: views, tools, coefficients, palette.
    {"Pic", "Изображение фрактала"},
    {"GeneralView", "Общий вид"},
    {"PaletteLine", "Полоса палитры"},
    {"DefButton", "Начальный вид (Home)"},
    {"Hand", "Рука (H)"},
    {"Center", "Центр (C)"},
    {"Lupa", "Лупа (L)"},
    {"LupaPlus", "Увеличить на 30% (+)"},
    {"LupaMinus", "Уменьшить на 30% (-)"},
    {"Koef", "Коэффициенты (K)"},
    {"To_From", "Приближение (A)"},
    {"MapButton", "Карта C (M)"},
    {"FullScreenButton", "Полный экран (F)"},
    {"CloseButton", "Закрыть программу (Ctrl+Q)"},
    {"E_cx", "Re(C)"},
    {"E_cy", "Im(C)"},
    {"TrackBarCx", "Ползунок Re(C)"},
    {"TrackBarCy", "Ползунок Im(C)"},
    {"PlusCx", "Re(C) плюс 0.001"},
    {"MinusCx", "Re(C) минус 0.001"},
    {"PlusCy", "Im(C) плюс 0.001"},
    {"MinusCy", "Im(C) минус 0.001"},
    {"DownCx", "Уменьшение Re(C)"},
    {"StopCx", "Остановить изменение Re(C)"},
    {"UpCx", "Увеличение Re(C)"},
    {"DownCy", "Уменьшение Im(C)"},
    {"StopCy", "Остановить изменение Im(C)"},
    {"UpCy", "Увеличение Im(C)"},
    {"TypeOfPalette", "Тип палитры"},
    {"ChPalette", "Применить палитру (U)"},
    // Full-screen view and slide show.
    {"FullScreenForm", "Полноэкранное изображение"},
    {"Slide", "Слайд"},
    // Browsers and their rename dialogs.
    {"PreView", "Область предпросмотра"},
    {"OldName", "Старое имя"},
    {"NewName", "Новое имя"},
    {"OldNamePal", "Старое имя"},
    {"NewNamePal", "Новое имя"},
    // Export window.
    {"ImageWidth", "Ширина изображения"},
    {"ImageHeight", "Высота изображения"},
    {"Units", "Единицы"},
    {"Permission", "Разрешение"},
    {"Iterations", "Детализация"},
    {"PrF", "Приоритет"},
    {"CGauge1", "Выполнено"},
    // Options, help windows.
    {"TimeInterval", "Задержка слайд-шоу, секунд"},
    {"BTInterval", "Задержка слайд-шоу"},
    {"RichEdit1", "Описание"},
    {"GoodByePicture", "Значок программы"},
});

const char* ProgramName(const QString& control) {
    for (const ControlName& entry : kControlNames) {
        if (control == QLatin1String(entry.control.data(), qsizetype(entry.control.size()))) {
            return entry.name;
        }
    }
    return nullptr;
}

// " Включает уменьшение Re(C): При повторном нажатии..." reads as "Включает уменьшение Re(C)".
QString ShortHint(const QString& hint) {
    return hint.section(QLatin1Char(':'), 0, 0).trimmed();
}

class NameOnPolish : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish && watched->isWidgetType()) {
            NameForScreenReaders(static_cast<QWidget*>(watched));
        }
        return false;
    }
};

}  // namespace

void NameForScreenReaders(QWidget* widget) {
    if (!widget->accessibleName().isEmpty()) {
        return;
    }
    if (const char* name = ProgramName(widget->objectName())) {
        widget->setAccessibleName(QString::fromUtf8(name));
        return;
    }
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    if (button != nullptr && !button->text().isEmpty()) {
        return;
    }
    const QString hint = ShortHint(widget->statusTip());
    if (!hint.isEmpty()) {
        widget->setAccessibleName(hint);
    }
}

void InstallAccessibleNames() {
    if (qApp != nullptr) {
        qApp->installEventFilter(new NameOnPolish(qApp));
    }
}

}  // namespace ombrilo
