#include "ui/widgets/elided_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

ElidedLabel::ElidedLabel(const QString &text, Qt::TextElideMode mode, QWidget *parent)
    : QLabel(text, parent), m_mode(mode)
{
    // Names and folders come from outside: shown as written, never read as
    // markup (a name like "<img src=...>" would otherwise load a picture).
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

QRect ElidedLabel::text_area() const
{
    const int m = margin();
    return contentsRect().adjusted(m, m, -m, -m);
}

QString ElidedLabel::shown_text() const
{
    return fontMetrics().elidedText(text(), m_mode, text_area().width());
}

QSize ElidedLabel::minimumSizeHint() const
{
    QSize size = QLabel::minimumSizeHint();
    const QMargins frame = contentsMargins();
    size.setWidth(fontMetrics().horizontalAdvance(QStringLiteral("……")) + frame.left() + frame.right()
                  + 2 * margin());
    return size;
}

bool ElidedLabel::event(QEvent *event)
{
    // A tooltip set from outside wins; otherwise a cut text is shown whole.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (is_elided())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    const QString shown = shown_text();
    if (shown == text()) {
        QLabel::paintEvent(event);
        return;
    }
    // The frame and the style sheet's box as a label draws them, then the
    // cut text where the label would put the whole one.
    QFrame::paintEvent(event);
    QPainter painter(this);
    style()->drawItemText(&painter, text_area(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shown, foregroundRole());
}
