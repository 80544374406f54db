#include "widgets/image_preview_dialog.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QIcon>
#include <QPainter>
#include <QResizeEvent>
#include <QTransform>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

ImagePreviewDialog::ImagePreviewDialog(const QPixmap &pixmap, const QString &icon_path)
    : QDialog(nullptr)
{
    setWindowIcon(QIcon(icon_path));
    setWindowTitle(QStringLiteral("查看大图"));
    setWindowFlags(Qt::Window | Qt::WindowCloseButtonHint);
    setMinimumSize(700, 500);

    scene = new QGraphicsScene(this);
    view = new QGraphicsView(scene);
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
    view->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform
                         | QPainter::TextAntialiasing | QPainter::HighQualityAntialiasing);
QT_WARNING_POP
    view->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    view->setOptimizationFlag(QGraphicsView::DontAdjustForAntialiasing, false);
    view->setOptimizationFlag(QGraphicsView::DontSavePainterState, true);

    original_pixmap = pixmap;
    pixmap_item = scene->addPixmap(original_pixmap);
    scene->setSceneRect(QRectF(original_pixmap.rect()));

    auto *layout = new QVBoxLayout;
    layout->addWidget(view);
    setLayout(layout);

    view->setDragMode(QGraphicsView::ScrollHandDrag);
    view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    view->setResizeAnchor(QGraphicsView::AnchorUnderMouse);

    fit_to_view();

    view->viewport()->installEventFilter(this);
}

ImagePreviewDialog::~ImagePreviewDialog() = default;

void ImagePreviewDialog::fit_to_view()
{
    if (original_pixmap.isNull())
        return;
    const double scale_x = double(view->width() - FIT_MARGIN) / original_pixmap.width();
    const double scale_y = double(view->height() - FIT_MARGIN) / original_pixmap.height();
    const double scale_factor = std::min({scale_x, scale_y, 1.0});
    view->setTransform(QTransform::fromScale(scale_factor, scale_factor));
}

double ImagePreviewDialog::zoom() const
{
    return view->transform().m11();
}

void ImagePreviewDialog::wheelEvent(QWheelEvent *event)
{
    double factor = event->angleDelta().y() < 0 ? 1.0 / ZOOM_STEP : ZOOM_STEP;
    const double current_scale = zoom();
    const double new_scale = current_scale * factor;
    if (new_scale < MIN_ZOOM)
        factor = MIN_ZOOM / current_scale;
    else if (new_scale > MAX_ZOOM)
        factor = MAX_ZOOM / current_scale;
    view->scale(factor, factor);
    event->accept();
}

void ImagePreviewDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (zoom() < REFIT_BELOW)
        fit_to_view();
}

bool ImagePreviewDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view->viewport() && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
