#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <cstdint>

#include "engine/color_table.h"
#include "engine/map_render.h"
#include "engine/render.h"

class QLabel;

namespace ombrilo {

class ImageView;
class MapCanvas;
class MapRenderer;

// A plane point of the map as its picture computes it: two floats.
struct MapPoint {
    float x = 0.0f;
    float y = 0.0f;
};

// The map of C: the Mandelbrot set, on which the user finds C and takes it with the mouse or the
// keyboard. It is not modal and talks to the main window through a few calls and one signal:
// the main window shows it the current C and palette, and it hands back the C the user takes.
// Its place, size, view and open state are kept in the program's configuration file.
class TMapForm : public QWidget {
    Q_OBJECT

public:
    explicit TMapForm(QWidget* owner);
    ~TMapForm() override;

    // Whether the window was open when the program last ended.
    static bool WasOpenLastRun();

    // The current C: the marker moves (the picture stays) and the period line follows.
    void ShowC(double cx, double cy);
    // The current colours: the map is drawn again when they changed.
    void ShowPalette(const ColorTable& table);

    const MapView& view() const { return view_; }
    // The last map picture that reached the window.
    const QImage& Picture() const { return mapImage_; }
    // The map's size in device pixels and where it lies in the plane.
    QSize PixelSize() const;
    ViewGeometry Geometry() const;
    // The plane point of map pixel (x, y) (device pixels), from the picture's float loop.
    MapPoint PointAt(int x, int y) const;

    // Changes of the view, as the wheel, the keys and the right button make them.
    void ZoomAround(int x, int y, bool in);
    void ZoomAtCentre(bool in);
    void SetDefaultMapView();

signals:
    // The user took C on the map: every step of a drag, with gestureEnds on the last one (a
    // click is a drag without moves).
    void cTaken(double cx, double cy, bool gestureEnds);
    // The user closed the window.
    void closedByUser();
    // A newly drawn map or preview has reached the window.
    void mapShown();
    void previewShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class MapCanvas;

    void BuildWindow();
    void RestorePlace();
    void SavePlace() const;
    void SetView(const MapView& view);
    void RequestMap();
    void TakeAt(int x, int y, bool gestureEnds);
    void Hover(int x, int y);
    void HoverEnded();
    void ShowPointStatus(const MapPoint& point);
    void MoveKeyCursor(int dx, int dy);
    void PanBy(const MapView& start, int dx, int dy);
    void MapArrived(const QImage& image, std::uint64_t request);
    void PreviewArrived(const QImage& image, std::uint64_t request);
    // Where C lies on the map, in device pixels (may lie outside).
    QPointF MarkerPixel() const;

    MapView view_;
    ColorTable table_{};
    bool tableKnown_ = false;
    double cx_ = 0.0;
    double cy_ = 0.0;
    MapRenderer* renderer_ = nullptr;
    std::uint64_t mapRequest_ = 0;
    std::uint64_t previewRequest_ = 0;
    QImage mapImage_;
    bool keyCursorShown_ = false;
    QPoint keyCursor_;
    int wheelRemainder_ = 0;

    MapCanvas* canvas_ = nullptr;
    ImageView* preview_ = nullptr;
    QLabel* pointStatus_ = nullptr;
    QLabel* periodStatus_ = nullptr;
};

}  // namespace ombrilo
