#include "app/message_dialogs.h"

#include "core/download/download_manager.h"
#include "core/platform/end_now.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QtMath>

#include <cstdio>

namespace {

const char *const MESSAGE_BOX_STYLE = R"(
QMessageBox {
    background-color: #2b2b2b;
    color: #ffffff;
    border: 1px solid #555555;
    border-radius: 12px;
    font-size: 13px;
    font-family: "Microsoft YaHei";
}
QMessageBox QLabel {
    color: #ffffff;
    font-size: 13px;
    font-family: "Microsoft YaHei";
    min-width: 350px;
    max-width: 450px;
    padding: 20px;
    qproperty-alignment: AlignCenter;
    line-height: 1.5;
}
QMessageBox QPushButton {
    background-color: #4CAF50;
    color: white;
    border: none;
    border-radius: 8px;
    font-weight: 500;
    font-size: 14px;
    font-family: "Microsoft YaHei";
    padding: 10px 25px;
    min-width: 100px;
    margin: 5px;
}
QMessageBox QPushButton:hover {
    background-color: #45a049;
    border: 1px solid #4CAF50;
}
QMessageBox QPushButton:pressed {
    background-color: #3d8b40;
    border: 1px solid #45a049;
}
QMessageBox QDialogButtonBox {
    qproperty-centerButtons: true;
}
QMessageBox QTextEdit#message_text {
    background: transparent;
    border: none;
    color: #ffffff;
    font-size: 13px;
    font-family: "Microsoft YaHei";
    padding: 20px;
    selection-background-color: #4CAF50;
}
)";

// The label's limits, and the height past which a long message scrolls.
constexpr int TEXT_MIN_WIDTH = 350;
constexpr int TEXT_MAX_WIDTH = 450;
constexpr int TEXT_MAX_HEIGHT = 480;
constexpr int TEXT_PADDING = 20;

// Shows the message in a read-only text in place of the box's own label,
// which stays (hidden) as the box's text. The label wraps only between
// words: a line without a break opportunity (an address, a certificate
// subject, a long path) ran past its 450 pixels and, centred, was cut off
// on both sides. This text wraps anywhere when a line has no better place,
// and every character can be selected and copied.
void show_whole_text(QMessageBox &box, const QString &message)
{
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    const int index = label && grid ? grid->indexOf(label) : -1;
    if (index < 0)
        return;   // another Qt's box: its label stays

    auto *text = new QTextEdit(&box);
    text->setObjectName(QStringLiteral("message_text"));
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setFrameShape(QFrame::NoFrame);
    text->setLineWrapMode(QTextEdit::WidgetWidth);
    text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextDocument *document = text->document();
    QTextOption option = document->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    text->setPlainText(message);
    text->ensurePolished();   // the box's style sheet gives the font
    document->setDefaultFont(text->font());

    // As wide as its longest line within the label's limits, as tall as
    // its wrapped text (up to a limit, then it scrolls).
    document->setTextWidth(-1);
    const int width = qBound(TEXT_MIN_WIDTH, qCeil(document->idealWidth()) + 2 * TEXT_PADDING + 2,
                             TEXT_MAX_WIDTH);
    document->setTextWidth(width - 2 * TEXT_PADDING);
    const int height = qMin(qCeil(document->size().height()) + 2 * TEXT_PADDING, TEXT_MAX_HEIGHT);
    text->setFixedSize(width, height);

    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    label->hide();
    grid->addWidget(text, row, column, rows, columns);
}

} // namespace

void show_message(QWidget *parent, const QString &title, const QString &message, const QString &message_type)
{
    // Every kind looks the same; the kind is kept for the callers' sake.
    Q_UNUSED(message_type)
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(message);
    box.setStyleSheet(QString::fromUtf8(MESSAGE_BOX_STYLE));
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    show_whole_text(box, message);
    box.exec();
}

void force_close_program(QWidget *parent, DownloadManager &downloads, const QString &message)
{
    show_message(parent, QStringLiteral("程序错误"), message, QStringLiteral("critical"));
    end_process(downloads, 1);
}

void end_process(DownloadManager &downloads, int status)
{
    // No close handling and no sweep; only the downloads stop first, so
    // the mod folder holds whole skins or the old ones.
    downloads.shutdown();
    std::fflush(nullptr);
    platform::end_now(status);
}
