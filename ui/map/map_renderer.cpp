#include "map_renderer.h"

#include <algorithm>

#include "engine/fractal_state.h"
#include "engine/render.h"

namespace ombrilo {

namespace {

// Rows of the map drawn between two looks for a newer request: small enough that a drag over a
// large map is answered within a few milliseconds, large enough to keep every core busy.
constexpr int kBandRows = 32;

Frame32 FrameOf(QImage& image) {
    return Frame32{image.bits(), image.width(), image.height(), image.bytesPerLine()};
}

}  // namespace

MapRenderer::MapRenderer(QObject* parent) : QThread(parent) {
    start();
}

MapRenderer::~MapRenderer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    wait();  // the thread makes no blocking calls to the window's thread
}

std::shared_ptr<const ColorTable> MapRenderer::SharedTable(const ColorTable& table) {
    if (!lastTable_ || *lastTable_ != table) {
        lastTable_ = std::make_shared<const ColorTable>(table);
    }
    return lastTable_;
}

std::uint64_t MapRenderer::RequestMap(const MapView& view, int width, int height,
                                      const ColorTable& table) {
    std::uint64_t request;
    {
        std::lock_guard lock(mutex_);
        request = ++lastRequest_;
        mapJob_ = MapJob{view, width, height, SharedTable(table), request};
    }
    wake_.notify_one();
    return request;
}

std::uint64_t MapRenderer::RequestPreview(double cx, double cy, int width, int height,
                                          const ColorTable& table) {
    std::uint64_t request;
    {
        std::lock_guard lock(mutex_);
        request = ++lastRequest_;
        previewJob_ = PreviewJob{cx, cy, width, height, SharedTable(table), request};
    }
    wake_.notify_one();
    return request;
}

void MapRenderer::run() {
    for (;;) {
        std::optional<MapJob> map;
        std::optional<PreviewJob> preview;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || mapJob_ || previewJob_; });
            if (quit_) {
                return;
            }
            // The preview is small and follows the cursor: it goes first.
            preview.swap(previewJob_);
            if (!preview) {
                map.swap(mapJob_);
            }
        }
        if (preview) {
            DrawPreview(*preview);
        } else {
            DrawMap(*map);
        }
    }
}

bool MapRenderer::MapSuperseded() {
    std::lock_guard lock(mutex_);
    return quit_ || mapJob_.has_value();
}

void MapRenderer::DrawMap(const MapJob& job) {
    if (job.width <= 0 || job.height <= 0) {
        return;
    }
    QImage image(job.width, job.height, QImage::Format_RGB32);
    const ViewGeometry geometry = MapGeometry(job.view, job.width, job.height);
    const Frame32 frame = FrameOf(image);
    for (int first = 0; first < job.height; first += kBandRows) {
        if (MapSuperseded()) {
            return;
        }
        const int rows = std::min(kBandRows, job.height - first);
        RenderMapRows(*job.table, geometry, first,
                      Frame32{frame.Row(first), frame.width, rows, frame.bytesPerLine});
    }
    emit mapReady(image, job.request);
}

void MapRenderer::DrawPreview(const PreviewJob& job) {
    if (job.width <= 0 || job.height <= 0) {
        return;
    }
    FractalState state;  // the default view
    state.Cx = job.cx;
    state.Cy = job.cy;
    state.colorTable = *job.table;
    QImage image(job.width, job.height, QImage::Format_RGB32);
    RenderView(state, ScreenGeometry(state, job.width, job.height), FrameOf(image));
    emit previewReady(image, job.request);
}

}  // namespace ombrilo
