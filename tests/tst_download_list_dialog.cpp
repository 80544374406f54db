#include "app/program_services.h"
#include "app/download_list_dialog.h"
#include "core/download/download_manager.h"
#include "core/support/config.h"
#include "support/download_fixtures.h"
#include "support/modal_answerer.h"
#include "support/test_server.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

namespace {

DownloadTask task(const QString &name, const QString &game_dir)
{
    return download_fixtures::make_task(name, game_dir, QStringLiteral("主"), QStringLiteral("子"));
}

// The layout the rows stand in: the one of the widget inside the scroll area.
QLayout *rows_layout(const DownloadListDialog &dialog)
{
    return dialog.findChild<QScrollArea *>()->widget()->layout();
}

// What a person reads in the list, top to bottom; "<stretch>" for free space.
QStringList rows(const DownloadListDialog &dialog)
{
    QStringList out;
    QLayout *layout = rows_layout(dialog);
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->spacerItem()) {
            out << QStringLiteral("<stretch>");
        } else if (auto *label = qobject_cast<QLabel *>(item->widget())) {
            out << label->text();
        } else if (QWidget *row = item->widget()) {
            QLabel *label = row->findChild<QLabel *>();
            QPushButton *button = row->findChild<QPushButton *>();
            out << (label ? label->text() : QString()) + QStringLiteral(" [") + (button ? button->text() : QString()) + QLatin1Char(']');
        }
    }
    return out;
}

QPushButton *cancel_button_of(const DownloadListDialog &dialog, const QString &row_text)
{
    QLayout *layout = rows_layout(dialog);
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *row = layout->itemAt(i)->widget();
        if (!row || qobject_cast<QLabel *>(row))
            continue;
        QLabel *label = row->findChild<QLabel *>();
        if (label && label->text() == row_text)
            return row->findChild<QPushButton *>();
    }
    return nullptr;
}

} // namespace

class TestDownloadListDialog : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void cleanup();
    void frameAndFirstTick();
    void emptyQueue();
    void runningAndWaiting();
    void cancelWaitingRowClosesNumbering();
    void cancelRunningRow();
    void cancelFinishedTaskShowsInformation();

private:
    TestServer server;
    QTemporaryDir game;
};

void TestDownloadListDialog::initTestCase()
{
    QVERIFY(server.start());
    config::use_server_for_tests(server.base());
    m_services.downloads.set_endpoints(ServerEndpoints::from_base(server.base()));
    for (const char *n : {"甲", "乙", "丙"}) {
        const QString name = QString::fromUtf8(n);
        server.write_file(QStringLiteral("skins/主/子/") + name + QStringLiteral(".pak"), QByteArray(1000, 'p'));
        server.write_file(QStringLiteral("skins/主/子/") + name + QStringLiteral(".sig"), QByteArray(24, 's'));
    }
    QDir().mkpath(game.filePath(QStringLiteral("DreadHunger/Content/Paks/orvexs")));
}

void TestDownloadListDialog::cleanup()
{
    DownloadManager *manager = (&m_services.downloads);
    for (const DownloadTask &t : manager->get_queue())
        manager->cancel_task(t.skin_id);
    if (auto current = manager->get_current_task())
        manager->cancel_task(current->skin_id);
    server.reset();
}

void TestDownloadListDialog::frameAndFirstTick()
{
    QWidget parent;
    parent.setWindowIcon(QIcon(QPixmap(16, 16)));
    DownloadListDialog dialog(m_services.downloads, &parent);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("下载队列"));
    QCOMPARE(dialog.size(), QSize(450, 300));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!dialog.windowIcon().isNull());
    auto *area = dialog.findChild<QScrollArea *>();
    QVERIFY(area);
    QVERIFY(area->widgetResizable());
    QVERIFY(area->widget());
    QVERIFY(qobject_cast<QVBoxLayout *>(area->widget()->layout()));
    // Opens empty; the first fill comes a second later.
    QCOMPARE(rows_layout(dialog)->count(), 0);
    auto *timer = dialog.findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(rows_layout(dialog)->count() > 0, 3000);
}

void TestDownloadListDialog::emptyQueue()
{
    DownloadListDialog dialog(m_services.downloads);
    dialog.update_list();
    QCOMPARE(rows(dialog), (QStringList{QStringLiteral("=== 下载队列 ==="), QStringLiteral("📭 下载队列为空")}));
    auto *empty = qobject_cast<QLabel *>(rows_layout(dialog)->itemAt(1)->widget());
    QCOMPARE(empty->alignment(), Qt::AlignCenter);
}

void TestDownloadListDialog::runningAndWaiting()
{
    // The first download stalls at its sizing request and keeps running.
    server.set_faults({QJsonObject{{"match", QStringLiteral("甲")}, {"delay", 60}}});
    DownloadManager *manager = (&m_services.downloads);
    for (const char *n : {"甲", "乙", "丙"})
        manager->add_task(task(QString::fromUtf8(n), game.path()));
    DownloadListDialog dialog(*manager);
    QTest::qWait(1100);   // one tick
    QCOMPARE(rows(dialog), (QStringList{
        QStringLiteral("=== 下载队列 ==="),
        QStringLiteral("📥 正在下载:"),
        QStringLiteral("   • 甲 [取消]"),
        QStringLiteral("⏳ 等待下载:"),
        QStringLiteral("   1. 乙 [取消]"),
        QStringLiteral("   2. 丙 [取消]"),
        QStringLiteral("<stretch>"),
    }));
    QPushButton *cancel = cancel_button_of(dialog, QStringLiteral("   1. 乙"));
    QVERIFY(cancel);
    QCOMPARE(cancel->size(), QSize(60, 25));
}

void TestDownloadListDialog::cancelWaitingRowClosesNumbering()
{
    server.set_faults({QJsonObject{{"match", QStringLiteral("甲")}, {"delay", 60}}});
    DownloadManager *manager = (&m_services.downloads);
    for (const char *n : {"甲", "乙", "丙"})
        manager->add_task(task(QString::fromUtf8(n), game.path()));
    DownloadListDialog dialog(*manager);
    dialog.update_list();
    cancel_button_of(dialog, QStringLiteral("   1. 乙"))->click();
    // Refreshed at once, without waiting for the timer.
    QCOMPARE(rows(dialog), (QStringList{
        QStringLiteral("=== 下载队列 ==="),
        QStringLiteral("📥 正在下载:"),
        QStringLiteral("   • 甲 [取消]"),
        QStringLiteral("⏳ 等待下载:"),
        QStringLiteral("   1. 丙 [取消]"),
        QStringLiteral("<stretch>"),
    }));
    QCOMPARE(manager->get_queue().size(), 1);
}

void TestDownloadListDialog::cancelRunningRow()
{
    server.set_faults({QJsonObject{{"match", QStringLiteral("甲")}, {"delay", 60}}});
    DownloadManager *manager = (&m_services.downloads);
    QSignalSpy cancelled(manager, &DownloadManager::task_cancelled);
    manager->add_task(task(QStringLiteral("甲"), game.path()));
    DownloadListDialog dialog(*manager);
    dialog.update_list();
    cancel_button_of(dialog, QStringLiteral("   • 甲"))->click();
    QCOMPARE(cancelled.size(), 1);
    QCOMPARE(cancelled.at(0).at(0).toString(), QStringLiteral("甲"));
    QCOMPARE(rows(dialog), (QStringList{QStringLiteral("=== 下载队列 ==="), QStringLiteral("📭 下载队列为空")}));
}

void TestDownloadListDialog::cancelFinishedTaskShowsInformation()
{
    DownloadManager *manager = (&m_services.downloads);
    QSignalSpy completed(manager, &DownloadManager::task_completed);
    manager->add_task(task(QStringLiteral("乙"), game.path()));
    DownloadListDialog dialog(*manager);
    dialog.update_list();
    QPushButton *stale = cancel_button_of(dialog, QStringLiteral("   • 乙"));
    QVERIFY(stale);
    QTRY_COMPARE_WITH_TIMEOUT(completed.size(), 1, 10000);
    dialog.findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly)->stop();

    ModalAnswerer answerer;
    const QStringList before = rows(dialog);
    stale->click();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.titles.first(), QStringLiteral("提示"));
    QCOMPARE(answerer.texts.first(), QStringLiteral("该任务不在下载队列中"));
    // Not refreshed until the next tick.
    QCOMPARE(rows(dialog), before);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestDownloadListDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_download_list_dialog.moc"
