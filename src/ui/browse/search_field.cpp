#include "ui/browse/search_field.h"

#include "core/catalog/search_index.h"

#include <QKeyEvent>

namespace {

// Its frame is a shade apart from the category buttons' #D1D5DB: the Wine
// end-to-end check finds those buttons by that colour on the screen.
const char *const SEARCH_FIELD_STYLE = R"(
QLineEdit#search_field {
    font-size: 12px;
    font-family: "Microsoft YaHei";
    padding: 3px 8px;
    background-color: #FFFFFF;
    border: 1px solid #CBD5E1;
    border-radius: 4px;
}
QLineEdit#search_field:focus {
    border: 1px solid #3B82F6;
}
)";

} // namespace

SearchField::SearchField(QWidget *parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("search_field"));
    setPlaceholderText(QStringLiteral("搜索皮肤"));
    setClearButtonEnabled(true);
    setFixedWidth(200);
    setStyleSheet(QString::fromUtf8(SEARCH_FIELD_STYLE));

    m_pause.setSingleShot(true);
    m_pause.setInterval(PAUSE_MS);
    connect(&m_pause, &QTimer::timeout, this, [this] { emit search_requested(text()); });
    // Only the player's edits: a text set by the program searches nothing.
    connect(this, &QLineEdit::textEdited, this, &SearchField::on_edited);
}

void SearchField::clear_quietly()
{
    m_pause.stop();
    clear();
}

void SearchField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    emit entered();
}

void SearchField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        clear_quietly();
        emit search_left();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void SearchField::on_edited(const QString &text)
{
    if (catalog::search_key(text).isEmpty()) {
        m_pause.stop();
        emit search_left();
        return;
    }
    m_pause.start();
}
