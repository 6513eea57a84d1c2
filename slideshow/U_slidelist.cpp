#include "U_slidelist.h"

#include <QDir>
#include <QFile>

#include "ui/file_order.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

namespace ombrilo {

SlideList BuildSlideList(const QString& folder) {
    SlideList list;
    if (!QDir::setCurrent(folder)) {
        return list;
    }
    const QDir dir(folder);
    const QStringList found = dir.entryList(
        QStringList{"*.frc"}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDir::Unsorted);
    list.names.assign(found.begin(), found.end());
    std::sort(list.names.begin(), list.names.end(), FileNameLess);
    return list;
}

QString NextSlideName(SlideList& list) {
    const QString name = list.names[list.cursor];
    list.cursor = (list.cursor + 1) % list.names.size();
    return name;
}

SlideRandom MakeClockSeededRandom() {
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    auto engine = std::make_shared<std::mt19937>(static_cast<std::uint32_t>(ticks));
    return [engine] { return static_cast<std::uint32_t>((*engine)() >> 1); };
}

QString ChooseSlideName(SlideList& list, int order, const SlideRandom& random) {
    if (order == 0) {
        return NextSlideName(list);
    }
    const std::uint32_t steps = (random() & 0x7fffffffu) % static_cast<std::uint32_t>(list.count());
    QString name;
    for (std::uint32_t i = 0; i <= steps; ++i) {
        name = NextSlideName(list);
    }
    return name;
}

SlidePick PickSlide(SlideList& list, int order, const SlideRandom& random, const QString& folder,
                    FractalState& state, bool loadPalette) {
    SlidePick pick;
    pick.path = folder + "/" + ChooseSlideName(list, order, random);
    pick.result = ReadFractalFile(QFile::encodeName(pick.path).toStdString(), state, loadPalette);
    return pick;
}

}  // namespace ombrilo
