#include "app/download_list_dialog.h"

#include "app/message_dialogs.h"
#include "core/download/download_manager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLayoutItem>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char *const CANCEL_ROW_BUTTON_STYLE =
    "QPushButton { background-color: #ff6b6b; color: white; border: none; padding: 4px 8px; "
    "border-radius: 3px; } QPushButton:hover { background-color: #ff5252; }";

QLabel *section_label(const QString &text, const char *style)
{
    auto *label = new QLabel(text);
    label->setStyleSheet(QString::fromUtf8(style));
    return label;
}

} // namespace

DownloadListDialog::DownloadListDialog(DownloadManager &downloads, QWidget *parent)
    : QDialog(parent), m_downloads(downloads)
{
    setWindowTitle(QStringLiteral("下载队列"));
    if (parent)
        setWindowIcon(parent->windowIcon());
    setFixedSize(450, 300);

    auto *layout = new QVBoxLayout;
    auto *scroll_area = new QScrollArea;
    auto *scroll_widget = new QWidget;
    m_scroll_layout = new QVBoxLayout(scroll_widget);
    scroll_area->setWidget(scroll_widget);
    scroll_area->setWidgetResizable(true);
    layout->addWidget(scroll_area);

    // The first fill comes with the first tick, a second after opening.
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DownloadListDialog::update_list);
    timer->start(1000);

    setLayout(layout);
}

void DownloadListDialog::update_list()
{
    for (int i = m_scroll_layout->count() - 1; i >= 0; --i) {
        QLayoutItem *item = m_scroll_layout->takeAt(i);
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        delete item;
    }

    const std::optional<DownloadTask> current = m_downloads.get_current_task();
    const QList<DownloadTask> waiting = m_downloads.get_queue();

    auto *heading = section_label(QStringLiteral("=== 下载队列 ==="),
                                  "background-color: #f0f0f0; padding: 8px; font-weight: bold; margin: 2px;");
    heading->setAlignment(Qt::AlignCenter);
    m_scroll_layout->addWidget(heading);

    if (current) {
        m_scroll_layout->addWidget(section_label(
            QStringLiteral("📥 正在下载:"),
            "background-color: #dcf0ff; padding: 6px; font-weight: bold; margin: 2px;"));
        add_task_row(QStringLiteral("   • ") + current->skin_data.value(QStringLiteral("name")).toString(),
                     QStringLiteral("color: #006400; padding: 4px;"), current->skin_id);
    }
    if (!waiting.isEmpty()) {
        m_scroll_layout->addWidget(section_label(
            QStringLiteral("⏳ 等待下载:"),
            "background-color: #fff5dc; padding: 6px; font-weight: bold; margin: 2px;"));
        int number = 1;
        for (const DownloadTask &task : waiting) {
            add_task_row(QStringLiteral("   %1. ").arg(number++) + task.skin_data.value(QStringLiteral("name")).toString(),
                         QStringLiteral("color: #646464; padding: 4px;"), task.skin_id);
        }
    }
    if (!current && waiting.isEmpty()) {
        auto *empty = section_label(QStringLiteral("📭 下载队列为空"),
                                    "color: #969696; padding: 20px; font-style: italic; margin: 2px;");
        empty->setAlignment(Qt::AlignCenter);
        m_scroll_layout->addWidget(empty);
    } else {
        m_scroll_layout->addStretch();
    }
}

void DownloadListDialog::add_task_row(const QString &text, const QString &style, const QString &skin_id)
{
    auto *row = new QWidget;
    auto *row_layout = new QHBoxLayout(row);
    row_layout->setContentsMargins(10, 2, 10, 2);
    auto *label = new QLabel(text);
    label->setStyleSheet(style);
    row_layout->addWidget(label);
    row_layout->addStretch();
    auto *cancel = new QPushButton(QStringLiteral("取消"));
    cancel->setFixedSize(60, 25);
    cancel->setStyleSheet(QString::fromUtf8(CANCEL_ROW_BUTTON_STYLE));
    connect(cancel, &QPushButton::clicked, this, [this, skin_id] { cancel_task(skin_id); });
    row_layout->addWidget(cancel);
    m_scroll_layout->addWidget(row);
}

void DownloadListDialog::cancel_task(const QString &skin_id)
{
    if (m_downloads.cancel_task(skin_id)) {
        update_list();
        return;
    }
    // The application's own box, over this dialog.
    show_message(this, QStringLiteral("提示"), QStringLiteral("该任务不在下载队列中"), QStringLiteral("info"));
}
