#include "U_mapform.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

#include "engine/fractal_state.h"
#include "ui/decimal_separator.h"
#include "ui/image_view.h"
#include "ui/map/map_renderer.h"
#include "ui/number_text.h"
#include "ui/program_config.h"

namespace ombrilo {

namespace {

constexpr int kStartWidth = 530;  // the map's pixels at the first start, as the main view's
constexpr int kStartHeight = 409;
constexpr int kPreviewWidth = 145;  // the browsers' previews
constexpr int kPreviewHeight = 105;
constexpr int kPreviewMargin = 6;
constexpr long double kZoomInFactor = 0.7L;  // the main view's zoom buttons
constexpr long double kZoomOutFactor = 1.3L;
constexpr float kWidestView = 12.0f;  // the set is 3.4 wide; beyond this there is nothing to see
constexpr float kFarthestCentre = 8.0f;
constexpr int kWheelNotch = 120;

const char* const kConfigGroup = "MapWindow";

float Clamped(float value, float limit) {
    return std::isfinite(value) ? std::clamp(value, -limit, limit) : 0.0f;
}

MapView DefaultMapView() {
    return MapView{};
}

QString PeriodText(int period) {
    if (period <= 0) {
        return "Притягивающий цикл не найден";
    }
    return QString("Притягивающий цикл периода %1").arg(period);
}

QString EscapeText(int index) {
    if (index == 0) {
        return "в множестве";
    }
    return QString("уходит за %1 шагов").arg(index);
}

}  // namespace

// The picture of the map with the marker of C and the keyboard's cursor mark, and the mouse.
class MapCanvas : public QWidget {
public:
    explicit MapCanvas(TMapForm& form) : QWidget(&form), form_(form) {
        setObjectName("MapPic");
        setAccessibleName("Карта C");
        setAccessibleDescription(
            "Множество Мандельброта. Щелчок или стрелки и Enter задают C, колесо и клавиши + и - "
            "меняют масштаб, правая кнопка сдвигает карту, Home возвращает исходный вид.");
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::CrossCursor);
        setMinimumSize(160, 120);
    }

    // Device pixel under a mouse position, as the main view counts it.
    QPoint DevicePixel(QPointF position) const {
        const qreal ratio = devicePixelRatioF();
        return QPoint(DevicePixels(position.x(), ratio), DevicePixels(position.y(), ratio));
    }

protected:
    // The map's own keys win over the main window's shortcuts (Home, + and - among them) while
    // the map has the focus.
    bool event(QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            switch (static_cast<QKeyEvent*>(event)->key()) {
                case Qt::Key_Left:
                case Qt::Key_Right:
                case Qt::Key_Up:
                case Qt::Key_Down:
                case Qt::Key_Return:
                case Qt::Key_Enter:
                case Qt::Key_Home:
                case Qt::Key_Plus:
                case Qt::Key_Equal:
                case Qt::Key_Minus:
                    event->accept();
                    return true;
                default:
                    break;
            }
        }
        return QWidget::event(event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        const qreal ratio = devicePixelRatioF();
        const QImage& image = form_.mapImage_;
        if (!image.isNull()) {
            // One picture pixel on one device pixel.
            painter.drawImage(QRectF(0, 0, image.width() / ratio, image.height() / ratio), image);
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        const QPointF marker = form_.MarkerPixel() / ratio;
        DrawCross(painter, marker);
        if (form_.keyCursorShown_) {
            const QPointF mark = (QPointF(form_.keyCursor_) + QPointF(0.5, 0.5)) / ratio;
            DrawCursorMark(painter, mark);
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        const QPoint pixel = DevicePixel(event->position());
        if (event->button() == Qt::LeftButton) {
            form_.keyCursorShown_ = false;
            form_.TakeAt(pixel.x(), pixel.y(), false);
        } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
            panStart_ = form_.view_;
            panAnchor_ = pixel;
            panning_ = true;
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint pixel = DevicePixel(event->position());
        if (event->buttons() & Qt::LeftButton) {
            form_.TakeAt(pixel.x(), pixel.y(), false);
        } else if (panning_) {
            form_.PanBy(panStart_, pixel.x() - panAnchor_.x(), pixel.y() - panAnchor_.y());
        }
        form_.Hover(pixel.x(), pixel.y());
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        const QPoint pixel = DevicePixel(event->position());
        if (event->button() == Qt::LeftButton) {
            form_.TakeAt(pixel.x(), pixel.y(), true);
        } else if (panning_ && !(event->buttons() & (Qt::RightButton | Qt::MiddleButton))) {
            panning_ = false;
        }
    }

    void wheelEvent(QWheelEvent* event) override {
        // Touchpads send small steps: they add up to notches.
        form_.wheelRemainder_ += event->angleDelta().y();
        const QPoint pixel = DevicePixel(event->position());
        while (std::abs(form_.wheelRemainder_) >= kWheelNotch) {
            const bool in = form_.wheelRemainder_ > 0;
            form_.wheelRemainder_ += in ? -kWheelNotch : kWheelNotch;
            form_.ZoomAround(pixel.x(), pixel.y(), in);
        }
        event->accept();
    }

    void leaveEvent(QEvent*) override { form_.HoverEnded(); }

    void resizeEvent(QResizeEvent*) override { form_.RequestMap(); }

private:
    // A cross with a dark rim around a light line, seen on every palette; the centre stays free.
    static void DrawCross(QPainter& painter, QPointF c) {
        const qreal inner = 3, outer = 10;
        const QLineF arms[] = {{c.x() - outer, c.y(), c.x() - inner, c.y()},
                               {c.x() + inner, c.y(), c.x() + outer, c.y()},
                               {c.x(), c.y() - outer, c.x(), c.y() - inner},
                               {c.x(), c.y() + inner, c.x(), c.y() + outer}};
        painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::SquareCap));
        painter.drawLines(arms, 4);
        painter.setPen(QPen(Qt::white, 1, Qt::SolidLine, Qt::SquareCap));
        painter.drawLines(arms, 4);
    }

    static void DrawCursorMark(QPainter& painter, QPointF c) {
        const QRectF box(c.x() - 4, c.y() - 4, 8, 8);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(box);
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(box);
    }

    TMapForm& form_;
    bool panning_ = false;
    MapView panStart_;
    QPoint panAnchor_;
};

TMapForm::TMapForm(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName("MapForm");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle("Карта C");
    renderer_ = new MapRenderer(this);
    connect(renderer_, &MapRenderer::mapReady, this, &TMapForm::MapArrived, Qt::QueuedConnection);
    connect(renderer_, &MapRenderer::previewReady, this, &TMapForm::PreviewArrived,
            Qt::QueuedConnection);
    BuildWindow();
    RestorePlace();
}

TMapForm::~TMapForm() {
    SavePlace();
}

void TMapForm::BuildWindow() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    canvas_ = new MapCanvas(*this);
    layout->addWidget(canvas_, 1);
    preview_ = new ImageView(canvas_);
    preview_->setObjectName("MapPreview");
    preview_->setAccessibleName("Множество Жюлиа для C под курсором");
    preview_->setAttribute(Qt::WA_TransparentForMouseEvents);
    preview_->hide();

    auto* status = new QStatusBar(this);
    status->setObjectName("MapStatusBar");
    status->setSizeGripEnabled(true);
    pointStatus_ = new QLabel(status);
    pointStatus_->setObjectName("MapPointStatus");
    pointStatus_->setAccessibleName("C под курсором");
    periodStatus_ = new QLabel(status);
    periodStatus_->setObjectName("MapPeriodStatus");
    periodStatus_->setAccessibleName("Период текущего C");
    status->addWidget(pointStatus_, 1);
    status->addPermanentWidget(periodStatus_);
    layout->addWidget(status);
    setFocusProxy(canvas_);
}

// --- Place, size and view between runs ------------------------------------------------------

bool TMapForm::WasOpenLastRun() {
    return ProgramConfig()->value(QString(kConfigGroup) + "/open", false).toBool();
}

void TMapForm::RestorePlace() {
    const auto config = ProgramConfig();
    config->beginGroup(kConfigGroup);
    if (!restoreGeometry(config->value("geometry").toByteArray())) {
        resize(kStartWidth, kStartHeight + 22);
    }
    MapView view = DefaultMapView();
    view.centerX = config->value("centerX", view.centerX).toFloat();
    view.centerY = config->value("centerY", view.centerY).toFloat();
    view.width = config->value("width", view.width).toFloat();
    config->endGroup();
    // A hand-edited file may hold anything.
    if (!(view.width > 0.0f && view.width <= kWidestView) ||
        !MapPixelsDistinct(MapGeometry(view, kStartWidth, kStartHeight), kStartWidth,
                           kStartHeight)) {
        view = DefaultMapView();
    }
    view.centerX = Clamped(view.centerX, kFarthestCentre);
    view.centerY = Clamped(view.centerY, kFarthestCentre);
    view_ = view;
}

void TMapForm::SavePlace() const {
    const auto config = ProgramConfig();
    config->beginGroup(kConfigGroup);
    config->setValue("geometry", saveGeometry());
    config->setValue("centerX", view_.centerX);
    config->setValue("centerY", view_.centerY);
    config->setValue("width", view_.width);
    config->endGroup();
}

void TMapForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ProgramConfig()->setValue(QString(kConfigGroup) + "/open", true);
}

void TMapForm::closeEvent(QCloseEvent* event) {
    SavePlace();
    ProgramConfig()->setValue(QString(kConfigGroup) + "/open", false);
    event->accept();
    emit closedByUser();
}

// --- The picture --------------------------------------------------------------------------------

QSize TMapForm::PixelSize() const {
    const qreal ratio = canvas_->devicePixelRatioF();
    return QSize(std::max(1, DevicePixels(canvas_->width(), ratio)),
                 std::max(1, DevicePixels(canvas_->height(), ratio)));
}

ViewGeometry TMapForm::Geometry() const {
    const QSize size = PixelSize();
    return MapGeometry(view_, size.width(), size.height());
}

MapPoint TMapForm::PointAt(int x, int y) const {
    const ViewGeometry g = Geometry();
    float px = ViewLeft(g);
    for (int i = 0; i < x; ++i) {
        px += g.step;
    }
    float py = ViewTop(g);
    for (int i = 0; i < y; ++i) {
        py -= g.step;
    }
    return {px, py};
}

QPointF TMapForm::MarkerPixel() const {
    const ViewGeometry g = Geometry();
    const long double step = g.step;
    return QPointF(static_cast<double>((cx_ - ViewLeft(g)) / step) + 0.5,
                   static_cast<double>((ViewTop(g) - cy_) / step) + 0.5);
}

void TMapForm::RequestMap() {
    if (!tableKnown_) {
        return;
    }
    const QSize size = PixelSize();
    mapRequest_ = renderer_->RequestMap(view_, size.width(), size.height(), table_);
}

void TMapForm::MapArrived(const QImage& image, std::uint64_t request) {
    if (request != mapRequest_) {
        return;  // an older view; the newer one is on its way
    }
    mapImage_ = image;
    canvas_->update();
    emit mapShown();
}

void TMapForm::ShowPalette(const ColorTable& table) {
    if (tableKnown_ && table == table_) {
        return;
    }
    table_ = table;
    tableKnown_ = true;
    RequestMap();
}

void TMapForm::ShowC(double cx, double cy) {
    cx_ = cx;
    cy_ = cy;
    periodStatus_->setText(PeriodText(AttractingCyclePeriod(cx, cy)));
    canvas_->update();
}

// --- Taking C -----------------------------------------------------------------------------------

void TMapForm::TakeAt(int x, int y, bool gestureEnds) {
    const MapPoint point = PointAt(x, y);
    emit cTaken(point.x, point.y, gestureEnds);
}

void TMapForm::ShowPointStatus(const MapPoint& point) {
    pointStatus_->setText(
        QString::fromStdString(CoordinateReadout(point.x, point.y, DecimalSeparator())) + "   " +
        EscapeText(MapEscapeIndex(point.x, point.y)));
}

void TMapForm::Hover(int x, int y) {
    const MapPoint point = PointAt(x, y);
    ShowPointStatus(point);
    const qreal ratio = canvas_->devicePixelRatioF();
    previewRequest_ =
        renderer_->RequestPreview(point.x, point.y, DevicePixels(kPreviewWidth, ratio),
                                  DevicePixels(kPreviewHeight, ratio), table_);
}

void TMapForm::HoverEnded() {
    previewRequest_ = 0;  // a preview still on its way is not shown
    preview_->hide();
    pointStatus_->clear();
}

void TMapForm::PreviewArrived(const QImage& image, std::uint64_t request) {
    if (request != previewRequest_) {
        return;
    }
    preview_->SetImage(image);
    preview_->setGeometry(canvas_->width() - kPreviewWidth - kPreviewMargin, kPreviewMargin,
                          kPreviewWidth, kPreviewHeight);
    preview_->show();
    emit previewShown();
}

// --- Looking around -----------------------------------------------------------------------------

void TMapForm::SetView(const MapView& view) {
    view_ = view;
    RequestMap();
    canvas_->update();
}

void TMapForm::SetDefaultMapView() {
    SetView(DefaultMapView());
}

// Zooms so that the plane point under pixel (x, y) stays under it; zooming in stops where
// neighbouring pixels would share a coordinate.
void TMapForm::ZoomAround(int x, int y, bool in) {
    const ViewGeometry g = Geometry();
    const QSize size = PixelSize();
    const long double px = ViewLeft(g) + static_cast<long double>(x) * g.step;
    const long double py = ViewTop(g) - static_cast<long double>(y) * g.step;
    MapView next = view_;
    next.width = static_cast<float>(view_.width * (in ? kZoomInFactor : kZoomOutFactor));
    if (!(next.width > 0.0f) || next.width > kWidestView) {
        return;
    }
    const long double step = static_cast<long double>(next.width) / size.width();
    next.centerX = Clamped(static_cast<float>(px - (x - size.width() / 2) * step), kFarthestCentre);
    next.centerY =
        Clamped(static_cast<float>(py + (y - size.height() / 2) * step), kFarthestCentre);
    if (in && !MapPixelsDistinct(MapGeometry(next, size.width(), size.height()), size.width(),
                                 size.height())) {
        return;
    }
    SetView(next);
}

void TMapForm::ZoomAtCentre(bool in) {
    const QSize size = PixelSize();
    ZoomAround(size.width() / 2, size.height() / 2, in);
}

void TMapForm::PanBy(const MapView& start, int dx, int dy) {
    const long double step = Geometry().step;
    MapView next = start;
    next.centerX = Clamped(static_cast<float>(start.centerX - dx * step), kFarthestCentre);
    next.centerY = Clamped(static_cast<float>(start.centerY + dy * step), kFarthestCentre);
    SetView(next);
}

// --- Keyboard -----------------------------------------------------------------------------------

void TMapForm::MoveKeyCursor(int dx, int dy) {
    const QSize size = PixelSize();
    if (!keyCursorShown_) {
        const QPointF marker = MarkerPixel();
        keyCursor_ = QPoint(static_cast<int>(std::floor(marker.x())),
                            static_cast<int>(std::floor(marker.y())));
        keyCursorShown_ = true;
        dx = dy = 0;
    }
    keyCursor_.setX(std::clamp(keyCursor_.x() + dx, 0, size.width() - 1));
    keyCursor_.setY(std::clamp(keyCursor_.y() + dy, 0, size.height() - 1));
    ShowPointStatus(PointAt(keyCursor_.x(), keyCursor_.y()));
    canvas_->update();
}

void TMapForm::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            MoveKeyCursor(-1, 0);
            break;
        case Qt::Key_Right:
            MoveKeyCursor(1, 0);
            break;
        case Qt::Key_Up:
            MoveKeyCursor(0, -1);
            break;
        case Qt::Key_Down:
            MoveKeyCursor(0, 1);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (keyCursorShown_) {
                TakeAt(keyCursor_.x(), keyCursor_.y(), true);
            }
            break;
        case Qt::Key_Home:
            SetDefaultMapView();
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomAtCentre(true);
            break;
        case Qt::Key_Minus:
            ZoomAtCentre(false);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

}  // namespace ombrilo
