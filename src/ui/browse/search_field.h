#pragma once

#include <QLineEdit>
#include <QString>
#include <QTimer>

class QFocusEvent;
class QKeyEvent;

// "搜索皮肤": the field a skin is found by name with. It says when the player
// pauses typing on a query, and when the search is left (Esc, or the text
// deleted); what a search shows is up to whoever listens.
class SearchField final : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchField)

public:
    // How long typing must pause before a query counts: a word typed in a
    // burst is looked up once.
    static constexpr int PAUSE_MS = 150;

    explicit SearchField(QWidget *parent = nullptr);

    // Empties the field without a signal and forgets a query still waiting:
    // the category chosen meanwhile already has the grid.
    void clear_quietly();

signals:
    // The field took the focus: typing may follow.
    void entered();
    // Typing paused on `query`, which holds more than white space.
    void search_requested(const QString &query);
    // Esc, or the text was deleted down to white space.
    void search_left();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void on_edited(const QString &text);

    QTimer m_pause;
};
