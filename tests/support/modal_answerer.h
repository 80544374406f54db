#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// Answers modal boxes while a test drives code that opens them: finds the
// active modal widget from a timer, records its title and text, and presses
// a button (the default one, or the first whose text matches).
class ModalAnswerer : public QObject {
    Q_OBJECT
public:
    explicit ModalAnswerer(QObject *parent = nullptr);

    // Button to press: empty = the box's default/first button.
    void set_button_text(const QString &text) { m_button_text = text; }
    void set_standard_button(QMessageBox::StandardButton button) { m_standard = button; }
    // Close the box through its window frame instead of pressing a button.
    void set_close_without_choosing(bool close) { m_close = close; }

    QStringList titles;
    QStringList texts;
    int count() const { return titles.size(); }

private:
    void poll();

    QTimer m_timer;
    QString m_button_text;
    QMessageBox::StandardButton m_standard = QMessageBox::NoButton;
    bool m_close = false;
};
