#pragma once

#include <QImage>
#include <QThread>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/color_table.h"
#include "engine/map_render.h"

namespace ombrilo {

// Draws the map of C and the Julia-set previews of the map window on a thread of its own, so
// that the window's thread never waits for them. Each kind of picture has one slot: a newer
// request replaces the one still waiting and makes a map still being drawn stop at its next band
// of rows, so only the latest request of each kind is finished. Pictures come back through the
// queued signals; their numbers tell the window which request they answer.
class MapRenderer : public QThread {
    Q_OBJECT

public:
    explicit MapRenderer(QObject* parent = nullptr);
    ~MapRenderer() override;

    // The map of `view` at width x height pixels with the table's colours.
    std::uint64_t RequestMap(const MapView& view, int width, int height, const ColorTable& table);
    // The Julia set of C in the default view, as the browsers' previews show it.
    std::uint64_t RequestPreview(double cx, double cy, int width, int height,
                                 const ColorTable& table);

signals:
    void mapReady(const QImage& image, std::uint64_t request);
    void previewReady(const QImage& image, std::uint64_t request);

protected:
    void run() override;

private:
    struct MapJob {
        MapView view;
        int width = 0;
        int height = 0;
        std::shared_ptr<const ColorTable> table;
        std::uint64_t request = 0;
    };
    struct PreviewJob {
        double cx = 0.0;
        double cy = 0.0;
        int width = 0;
        int height = 0;
        std::shared_ptr<const ColorTable> table;
        std::uint64_t request = 0;
    };

    std::shared_ptr<const ColorTable> SharedTable(const ColorTable& table);
    void DrawMap(const MapJob& job);
    void DrawPreview(const PreviewJob& job);
    bool MapSuperseded();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<MapJob> mapJob_;
    std::optional<PreviewJob> previewJob_;
    std::shared_ptr<const ColorTable> lastTable_;
    std::uint64_t lastRequest_ = 0;
    bool quit_ = false;
};

}  // namespace ombrilo
