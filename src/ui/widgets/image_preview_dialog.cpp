#include "ui/widgets/image_preview_dialog.h"

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

    auto *scene = new QGraphicsScene(this);
    m_view = new QGraphicsView(scene);
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
    m_view->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform
                           | QPainter::TextAntialiasing | QPainter::HighQualityAntialiasing);
QT_WARNING_POP
    m_view->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    m_view->setOptimizationFlag(QGraphicsView::DontAdjustForAntialiasing, false);
    m_view->setOptimizationFlag(QGraphicsView::DontSavePainterState, true);

    m_original_pixmap = pixmap;
    scene->addPixmap(m_original_pixmap);
    scene->setSceneRect(QRectF(m_original_pixmap.rect()));

    auto *layout = new QVBoxLayout;
    layout->addWidget(m_view);
    setLayout(layout);

    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setResizeAnchor(QGraphicsView::AnchorUnderMouse);

    fit_to_view();

    m_view->viewport()->installEventFilter(this);
}

ImagePreviewDialog::~ImagePreviewDialog() = default;

void ImagePreviewDialog::fit_to_view()
{
    if (m_original_pixmap.isNull())
        return;
    const double scale_x = double(m_view->width() - FIT_MARGIN) / m_original_pixmap.width();
    const double scale_y = double(m_view->height() - FIT_MARGIN) / m_original_pixmap.height();
    const double scale_factor = std::min({scale_x, scale_y, 1.0});
    m_view->setTransform(QTransform::fromScale(scale_factor, scale_factor));
}

double ImagePreviewDialog::zoom() const
{
    return m_view->transform().m11();
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
    m_view->scale(factor, factor);
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
    if (watched == m_view->viewport() && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
