#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

class QGraphicsView;
class QResizeEvent;
class QWheelEvent;

// A resizable window showing one picture: dragged to pan, mouse wheel to
// zoom between 10 % and 1000 %. Opens fitted to the window, never enlarged.
class ImagePreviewDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImagePreviewDialog)

public:
    static constexpr double ZOOM_STEP = 1.2;
    static constexpr double MIN_ZOOM = 0.1;
    static constexpr double MAX_ZOOM = 10.0;
    // Margin (pixels) left around the picture when it is fitted.
    static constexpr int FIT_MARGIN = 20;
    // Below this zoom a resize fits the picture again.
    static constexpr double REFIT_BELOW = 0.5;

    ImagePreviewDialog(const QPixmap &pixmap, const QString &icon_path);
    ~ImagePreviewDialog() override;

    // The picture as handed in, and the view showing it, for tests.
    const QPixmap &pixmap() const { return m_original_pixmap; }
    QGraphicsView *view() const { return m_view; }

    void fit_to_view();
    // The current zoom: the view's horizontal scale.
    double zoom() const;

protected:
    // Zooms; also receives the view's wheel events, so the wheel never scrolls.
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPixmap m_original_pixmap;
    QGraphicsView *m_view = nullptr;
};
