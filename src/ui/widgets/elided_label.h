#pragma once

#include <QLabel>

// A one-line label whose text, when it does not fit, is cut with "…" where
// the mode says (in the middle, a path keeps its end and a file name its
// ending) and shown whole as its tooltip. text() stays the whole text.
class ElidedLabel final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidedLabel)

public:
    explicit ElidedLabel(const QString &text, Qt::TextElideMode mode, QWidget *parent = nullptr);

    // What the label shows at its present width.
    QString shown_text() const;
    bool is_elided() const { return shown_text() != text(); }

    // Any width will do: the text gives way.
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect text_area() const;

    Qt::TextElideMode m_mode;
};
