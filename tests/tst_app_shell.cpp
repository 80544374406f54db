#include "app/program_services.h"
#include "app/display_scale.h"
#include "app/main_window.h"
#include "app/message_dialogs.h"
#include "app/queue_taskbar_progress.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/skin_grid.h"
#include "core/download/download_manager.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "support/modal_answerer.h"
#include "core/support/single_instance.h"
#include "support/test_server.h"
#include "ui/widgets/flow_layout.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocalServer>
#include <QFontInfo>
#include <QLockFile>
#include <QProcess>
#include <QScreen>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

const char *const LOG_CHILD = "--child-log";
const char *const FATAL_CHILD = "--child-fatal";
const char *const SCALE_CHILD = "--child-scale";
const char *const INSTANCE_CHILD = "--child-instance";

QString self_path() { return QCoreApplication::applicationFilePath(); }

// Child: writes one record per level so the parent can read the bytes;
// with a file name, into that log file too.
int run_log_child(int argc, char **argv)
{
    applog::install();
    if (argc > 2)
        applog::open_log_file(QString::fromLocal8Bit(argv[2]));
    applog::debug(QStringLiteral("调试 d"));
    applog::info(QStringLiteral("信息 i"));
    applog::warning(QStringLiteral("警告 w"));
    applog::error(QStringLiteral("错误 e"));
    return 0;
}

// Child: shows the fatal box, answers it, and must never come back.
int run_fatal_child(int argc, char **argv)
{
    applog::install();
    config::use_server_for_tests(QStringLiteral("http://127.0.0.1:%1").arg(TestServer::closed_port()));
    QApplication app(argc, argv);
    // Report each box before answering it: the process ends right after the
    // last. Answering starts before the window exists, since its start-up
    // catalogue load fails here with a box of its own.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        std::printf("BOX %s|%s\n", box->windowTitle().toUtf8().constData(), box->text().toUtf8().constData());
        std::fflush(stdout);
        box->buttons().first()->click();
    });
    answer.start(5);
    ProgramServices services;
    MainWindow window(services);
    QTimer::singleShot(0, &window, [&] { force_close_program(&window, services.downloads, QStringLiteral("致命错误 X")); });
    app.exec();
    std::printf("RETURNED\n");
    return 0;
}

// Child: the start-up's scale set-up, then what Qt made of it and whether
// the environment is as it was (programs started later decide afresh).
int run_scale_child(int argc, char **argv)
{
    const auto variables = [] {
        QByteArray text;
        for (const char *name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI"})
            text += qEnvironmentVariableIsSet(name) ? qgetenv(name) + ';' : QByteArray("unset;");
        return text;
    };
    const QByteArray before = variables();
    DisplayScaleSetup setup;
    QApplication app(argc, argv);
    setup.restore_environment();
    QFont font(QStringLiteral("Sans"));
    font.setPointSize(12);
    std::printf("%g %g %g %d %s\n", setup.factor(), app.devicePixelRatio(),
                QGuiApplication::primaryScreen()->logicalDotsPerInchY(), QFontInfo(font).pixelSize(),
                variables() == before ? "kept" : "changed");
    return 0;
}

// Child: holds the one-instance lock of the folder named after it and answers
// later starts until it is killed.
int run_instance_child(int argc, char **argv)
{
    applog::install();
    if (argc < 3)
        return 2;
    SingleInstance instance(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    if (instance.claim() != SingleInstance::Claim::First || !instance.listen())
        return 1;
    std::printf("LISTENING\n");
    std::fflush(stdout);
    return app.exec();
}

} // namespace

class TestAppShell : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void frame();
    void fixedSizeCannotChange();
    void clearLayout();
    void logFormat_data();
    void logFormat();
    void messageBoxLooksTheSameForEveryKind();
    void messageShownWhole_data();
    void messageShownWhole();
    void scaleFactor_data();
    void scaleFactor();
    void fittedWindowSize_data();
    void fittedWindowSize();
    void queuePercent_data();
    void queuePercent();
    void scaleSetUp_data();
    void scaleSetUp();
    void forceCloseEndsWithStatusOne();
    void cacheFolderCreated();
    void noCacheFolderNoStart();
    void oneInstancePerUser_data();
    void oneInstancePerUser();

private:
    TestServer version_server;
    std::unique_ptr<MainWindow> window;
};

void TestAppShell::initTestCase()
{
    config::use_server_for_tests(QStringLiteral("http://127.0.0.1:%1").arg(TestServer::closed_port()));
    // The start-up catalogue load fails against the closed port with a box.
    ModalAnswerer answerer;
    window.reset(new MainWindow(m_services));
    QSignalSpy loaded(window.get(), &MainWindow::catalog_loaded);
    QVERIFY(loaded.wait(20000));
    // The update check a second later must find the version record, or it
    // would end this program should the tests take that long.
    QVERIFY(version_server.start());
    config::use_server_for_tests(version_server.base());
}

void TestAppShell::frame()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Furlane"));
    QCOMPARE(window->size(), QSize(970, 870));
    auto *dir_label = window->findChild<QLabel *>(QStringLiteral("dir_label"));
    QVERIFY(dir_label);
    QCOMPARE(dir_label->text(), QStringLiteral("请先启动Dread Hunger游戏后点击检测目录"));

    QStringList texts;
    for (QPushButton *b : window->centralWidget()->findChildren<QPushButton *>())
        texts << b->text();
    for (const char *t : {"检测目录", "打开皮肤目录", "下载队列", "上一页", "下一页", "刷新页面"})
        QVERIFY2(texts.contains(QString::fromUtf8(t)), t);

    // Directory row: label, dir_label, then the three buttons in order.
    auto *dir_row = qobject_cast<QHBoxLayout *>(dir_label->parentWidget()->layout());
    QVERIFY(dir_row);
    QCOMPARE(dir_row->count(), 5);
    QCOMPARE(qobject_cast<QLabel *>(dir_row->itemAt(0)->widget())->text(), QStringLiteral("皮肤目录："));
    QCOMPARE(dir_row->itemAt(1)->widget(), dir_label);
    QCOMPARE(dir_row->stretch(1), 4);
    QCOMPARE(qobject_cast<QPushButton *>(dir_row->itemAt(2)->widget())->text(), QStringLiteral("检测目录"));
    QCOMPARE(qobject_cast<QPushButton *>(dir_row->itemAt(3)->widget())->text(), QStringLiteral("打开皮肤目录"));
    QCOMPARE(qobject_cast<QPushButton *>(dir_row->itemAt(4)->widget())->text(), QStringLiteral("下载队列"));

    // Four stacked areas: the folder row, the category bar, then the grid's
    // card area over its pager; only the card area takes extra height.
    auto *main_layout = qobject_cast<QVBoxLayout *>(window->centralWidget()->layout());
    auto *bar = window->findChild<CategoryBar *>();
    auto *grid = window->findChild<SkinGrid *>();
    auto *card_area = window->findChild<QWidget *>(QStringLiteral("card_area"));
    QVERIFY(main_layout && bar && grid && card_area);
    auto *grid_layout = qobject_cast<QVBoxLayout *>(grid->layout());
    auto *flow_layout = qobject_cast<FlowLayout *>(card_area->layout());
    QVERIFY(grid_layout && flow_layout);
    QCOMPARE(main_layout->count(), 3);
    QCOMPARE(main_layout->itemAt(0)->widget(), dir_label->parentWidget());
    QCOMPARE(main_layout->itemAt(1)->widget(), bar);
    auto *grid_scroll = qobject_cast<QScrollArea *>(main_layout->itemAt(2)->widget());
    QVERIFY(grid_scroll);
    QCOMPARE(grid_scroll->widget(), grid);
    QCOMPARE(grid_layout->count(), 2);
    QCOMPARE(grid_layout->itemAt(0)->widget(), card_area);
    QCOMPARE(grid_layout->itemAt(1)->widget(), grid->findChild<QPushButton *>(QStringLiteral("prev_btn"))->parentWidget());
    QCOMPARE(main_layout->stretch(2), 1);
    QCOMPARE(grid_layout->stretch(0), 1);
    QCOMPARE(main_layout->stretch(0) + main_layout->stretch(1) + grid_layout->stretch(1), 0);
    QCOMPARE(flow_layout->maxColumns(), 3);
    QCOMPARE(bar->minimumHeight(), 130);

    // No app.ico beside the test program: the icon built into the program,
    // drawn for every size a desktop asks for.
    QVERIFY(!QFileInfo::exists(MainWindow::icon_path()));
    const QList<QSize> icon_sizes = window->windowIcon().availableSizes();
    for (const int side : {16, 24, 32, 48, 64, 128, 256})
        QVERIFY2(icon_sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    QVERIFY(MainWindow::icon_path().endsWith(QStringLiteral("/app.ico")));
    QVERIFY(QFileInfo(MainWindow::icon_path()).isAbsolute());

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(bar->height() >= 130);
    // Room for two whole rows of 260-pixel cards and the gap between them.
    const QMargins m = flow_layout->contentsMargins();
    QVERIFY2(card_area->height() >= m.top() + 2 * 260 + flow_layout->verticalSpacing(),
             qPrintable(QString::number(card_area->height())));
    QVERIFY(!grid_scroll->verticalScrollBar()->isVisible());

    // On a lower screen the rows keep their height and the pager is
    // scrolled to, not cut off.
    window->fit_size(QSize(970, 688));
    QTRY_VERIFY(grid_scroll->verticalScrollBar()->isVisible());
    QVERIFY(card_area->height() >= m.top() + 2 * 260 + flow_layout->verticalSpacing());
    QCOMPARE(grid_scroll->verticalScrollBar()->maximum(), grid->height() - grid_scroll->viewport()->height());
    window->fit_size(MAIN_WINDOW_SIZE);
    QTRY_VERIFY(!grid_scroll->verticalScrollBar()->isVisible());
}

void TestAppShell::fixedSizeCannotChange()
{
    window->resize(500, 400);
    QCOMPARE(window->size(), QSize(970, 870));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(window->maximumSize(), QSize(970, 870));
}

void TestAppShell::clearLayout()
{
    QWidget host;
    auto *outer = new QVBoxLayout(&host);
    auto *direct = new QLabel(QStringLiteral("direct"));
    outer->addWidget(direct);
    auto *nested = new QHBoxLayout;
    auto *inner = new QLabel(QStringLiteral("inner"));
    nested->addWidget(inner);
    outer->addLayout(nested);
    outer->addStretch(1);
    QPointer<QLabel> direct_ptr(direct), inner_ptr(inner);

    clear_layout(outer);
    QCOMPARE(outer->count(), 0);
    QVERIFY(direct_ptr);   // deletion is deferred, but it is off the screen at once
    QVERIFY(direct_ptr->isHidden());
    QVERIFY(!inner_ptr->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!direct_ptr);
    QVERIFY(inner_ptr);    // widgets inside a nested layout stay with their parent
    QCOMPARE(inner_ptr->parentWidget(), &host);

    clear_layout(outer);  // empty layout: returns at once
    QCOMPARE(outer->count(), 0);
}

void TestAppShell::logFormat_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("log_file"); // "old": a temporary file holding an old log
    QTest::newRow("debug") << "DEBUG" << QStringLiteral("调试 d") << "";
    QTest::newRow("info") << "INFO" << QStringLiteral("信息 i") << "";
    QTest::newRow("warning") << "WARNING" << QStringLiteral("警告 w") << "";
    QTest::newRow("error") << "ERROR" << QStringLiteral("错误 e") << "";
    QTest::newRow("log file after a long old one") << "WARNING" << QStringLiteral("警告 w") << "old";
    QTest::newRow("log file cannot be opened")
        << "WARNING" << QStringLiteral("无法写入日志文件: /proc/furlane.log: ") << "/proc/furlane.log";
}

void TestAppShell::logFormat()
{
    QFETCH(QString, level);
    QFETCH(QString, text);
    QFETCH(QString, log_file);
    const bool to_file = log_file == QLatin1String("old");
    QTemporaryDir dir;
    const QString log_path = to_file ? dir.filePath(QStringLiteral("furlane.log")) : log_file;
    QStringList args{QString::fromLatin1(LOG_CHILD)};
    if (!log_path.isEmpty())
        args << log_path;
    // An old log of 1.5 MiB in lines of 100 bytes: the last whole lines
    // within 1 MiB stay.
    QByteArray old_log;
    if (to_file) {
        for (int i = 0; i < 15729; ++i)
            old_log += QByteArray::number(i).rightJustified(99, '#') + '\n';
        QFile old(log_path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(old_log) == old_log.size());
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    child.setProcessEnvironment(env);
    child.start(self_path(), args);
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitCode(), 0);
    const QByteArray output = child.readAllStandardError();
    if (to_file) {
        QFile log(log_path);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray content = log.readAll();
        const QByteArray kept = old_log.right(1024 * 1024 / 100 * 100);
        QVERIFY2(content.startsWith(kept), content.left(200).constData());
        // After them, the same records as on standard error.
        QCOMPARE(content.mid(kept.size()), output);
    }
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // A text ending in ": " is a fixed prefix before a detail.
    const QRegularExpression record(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2},\\d{3} \\[%1\\] main: %2%3$")
            .arg(level, QRegularExpression::escape(text),
                 text.endsWith(QLatin1String(": ")) ? QStringLiteral(".+") : QString()));
    bool found = false;
    for (const QString &line : lines)
        found = found || record.match(line).hasMatch();
    QVERIFY2(found, qPrintable(lines.join(QLatin1Char('\n'))));
}

void TestAppShell::messageBoxLooksTheSameForEveryKind()
{
    QStringList sheets;
    for (const char *kind : {"info", "warning", "critical"}) {
        QString sheet;
        QMessageBox::Icon icon = QMessageBox::Question;
        QString button;
        QTimer::singleShot(20, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            sheet = box->styleSheet();
            icon = box->icon();
            QCOMPARE(box->buttons().size(), 1);
            button = box->buttons().first()->text();
            QCOMPARE(box->windowTitle(), QStringLiteral("标题"));
            QCOMPARE(box->text(), QStringLiteral("内容"));
            box->buttons().first()->click();
        });
        show_message(window.get(), QStringLiteral("标题"), QStringLiteral("内容"), QString::fromLatin1(kind));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(button, QStringLiteral("确定"));
        QVERIFY(sheet.contains(QStringLiteral("#2b2b2b")));
        sheets << sheet;
    }
    QCOMPARE(sheets.size(), 3);
    QCOMPARE(sheets[0], sheets[1]);
    QCOMPARE(sheets[1], sheets[2]);
}

void TestAppShell::messageShownWhole_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("one_line");

    QTest::newRow("short text, one line") << QStringLiteral("皮肤已成功卸载") << true;
    QTest::newRow("address without a break opportunity")
        << QStringLiteral("加载失败: https://skins.example.invalid/subcutaneous/index_skin_download.php"
                          "?MainCategory=%E8%A7%92%E8%89%B2&subcategory=%E7%8C%8E%E4%BA%BA"
                          "&pak_original=files/2024/very_long_skin_file_name_without_any_break.pak")
        << false;
    QTest::newRow("certificate subject")
        << QStringLiteral("证书错误: CN=*.cdn.skins.example.invalid,O=Example_Hosting_Limited_Liability_Company,"
                          "L=Somewhere_Far_Away,ST=Some_State,C=XX")
        << false;
    QTest::newRow("long Windows path in an error")
        << QStringLiteral("以下皮肤文件无法删除:\nC:\\Program_Files_(x86)\\Steam\\steamapps\\common\\Dread_Hunger\\"
                          "DreadHunger\\Content\\Paks\\orvexs\\character_skins\\hunter_winter_2024_edition.pak")
        << false;
    QTest::newRow("a hundred lines scroll") << QStringLiteral("行\n").repeated(100) << false;
}

// Every character of a message is inside the box, readable and selectable,
// however long its lines; the box's own label keeps the text.
void TestAppShell::messageShownWhole()
{
    QFETCH(QString, message);
    QFETCH(bool, one_line);

    bool checked = false;
    QTimer::singleShot(20, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        // Closed whatever the outcome, once looked at.
        const auto close = qScopeGuard([box] { box->buttons().first()->click(); });
        QCOMPARE(box->text(), message);
        auto *text = box->findChild<QTextEdit *>(QStringLiteral("message_text"));
        QVERIFY(text);
        QVERIFY(text->isVisible());
        QCOMPARE(text->toPlainText(), message);
        QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(QRect(QPoint(0, 0), box->size()).contains(QRect(text->mapTo(box, QPoint(0, 0)), text->size())));
        QVERIFY2(text->width() >= 350 && text->width() <= 450, qPrintable(QString::number(text->width())));
        // Nothing runs past the right edge; what is below the bottom scrolls.
        QTextDocument *document = text->document();
        QVERIFY2(document->idealWidth() <= text->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(document->idealWidth()).arg(text->viewport()->width())));
        QCOMPARE(text->horizontalScrollBar()->maximum(), 0);
        const bool fits = document->size().height() <= text->viewport()->height() + 1;
        QVERIFY(fits || text->verticalScrollBar()->maximum() > 0);
        int lines = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            lines += block.layout()->lineCount();
        QCOMPARE(lines == 1, one_line);
        checked = true;
    });
    show_message(window.get(), QStringLiteral("提示"), message);
    QVERIFY(checked);
}

void TestAppShell::scaleFactor_data()
{
    QTest::addColumn<double>("display_scale");
    QTest::addColumn<QSize>("available");
    QTest::addColumn<double>("factor");

    const QSize full_hd(1920, 1040);      // 1080 rows less a task bar
    const QSize qhd(2560, 1400);
    const QSize uhd(3840, 2100);
    QTest::newRow("100 %") << 1.0 << full_hd << 1.0;
    QTest::newRow("below 100 % stays at 100 %") << 0.75 << full_hd << 1.0;
    QTest::newRow("125 % on 1080 rows: 100 %") << 1.25 << full_hd << 1.0;
    QTest::newRow("150 % on 1080 rows: 1455x1305 is too tall") << 1.5 << full_hd << 1.0;
    QTest::newRow("150 % on 1440 rows fits") << 1.5 << qhd << 1.5;
    QTest::newRow("125 % on 1440 rows fits") << 1.25 << qhd << 1.25;
    QTest::newRow("175 % on 1440 rows: 100 %") << 1.75 << qhd << 1.0;
    QTest::newRow("175 % on 2160 rows fits") << 1.75 << uhd << 1.75;
    QTest::newRow("200 % on 2160 rows") << 2.0 << uhd << 2.0;
    QTest::newRow("200 % on 1440 rows would not fit: 100 %") << 2.0 << qhd << 1.0;
    QTest::newRow("250 % on 2160 rows: 200 %") << 2.5 << uhd << 2.0;
    QTest::newRow("300 % on 2160 rows: 200 %") << 3.0 << uhd << 2.0;
    QTest::newRow("300 % on 3200 rows") << 3.0 << QSize(5760, 3200) << 3.0;
    QTest::newRow("191 DPI counts as 200 %") << 191.0 / 96 << uhd << 2.0;
    QTest::newRow("unknown area: the exact scale") << 1.5 << QSize() << 1.5;
    QTest::newRow("too small even at 100 %") << 1.0 << QSize(1366, 728) << 1.0;
    QTest::newRow("frame counted at the display's scale") << 1.5 << QSize(1500, 1305 + 59) << 1.0;
    QTest::newRow("frame just fits") << 1.5 << QSize(1500, 1305 + 60) << 1.5;
}

void TestAppShell::scaleFactor()
{
    QFETCH(double, display_scale);
    QFETCH(QSize, available);
    QFETCH(double, factor);
    QCOMPARE(choose_scale_factor(display_scale, available), factor);
}

void TestAppShell::fittedWindowSize_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("display_scale");
    QTest::addColumn<QSize>("available");
    QTest::addColumn<QSize>("size");

    QTest::newRow("1920x1080: whole") << 1.0 << 1.0 << QSize(1920, 1040) << QSize(970, 870);
    QTest::newRow("unknown area: whole") << 1.0 << 1.0 << QSize() << QSize(970, 870);
    QTest::newRow("exactly room for the frame: whole") << 1.0 << 1.0 << QSize(986, 910) << QSize(970, 870);
    QTest::newRow("one row short") << 1.0 << 1.0 << QSize(986, 909) << QSize(970, 869);
    QTest::newRow("1366x768 less a 40 px task bar") << 1.0 << 1.0 << QSize(1366, 728) << QSize(970, 688);
    QTest::newRow("1280x720 less a 40 px task bar") << 1.0 << 1.0 << QSize(1280, 680) << QSize(970, 640);
    QTest::newRow("150 % laptop drawn at 100 %: frame at 150 %") << 1.0 << 1.5 << QSize(1366, 728) << QSize(970, 668);
    QTest::newRow("150 % that fits: whole") << 1.5 << 1.5 << QSize(2560, 1400) << QSize(970, 870);
    QTest::newRow("scaled window: device pixels over the factor") << 2.0 << 2.0 << QSize(2000, 1600) << QSize(970, 760);
    QTest::newRow("narrow screen") << 1.0 << 1.0 << QSize(900, 1040) << QSize(884, 870);
    QTest::newRow("tiny screen: the least that works") << 1.0 << 1.0 << QSize(600, 400) << MINIMUM_WINDOW_SIZE;
}

void TestAppShell::fittedWindowSize()
{
    QFETCH(double, factor);
    QFETCH(double, display_scale);
    QFETCH(QSize, available);
    QFETCH(QSize, size);
    QCOMPARE(fitted_window_size(factor, display_scale, available), size);
}

void TestAppShell::queuePercent_data()
{
    QTest::addColumn<int>("finished");
    QTest::addColumn<int>("running_percent");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("waiting");
    QTest::addColumn<int>("percent");

    QTest::newRow("first task starts") << 0 << 0 << true << 0 << 0;
    QTest::newRow("one task half done") << 0 << 50 << true << 0 << 50;
    QTest::newRow("two of three done, the last waits") << 2 << 0 << false << 1 << 66;
    QTest::newRow("one done, one half, two waiting") << 1 << 50 << true << 2 << 37;
    QTest::newRow("a waiting task does not count as done") << 0 << 100 << true << 1 << 50;
    QTest::newRow("a report beyond 100 counts as 100") << 1 << 250 << true << 0 << 100;
    QTest::newRow("all ended") << 3 << 0 << false << 0 << 100;
    QTest::newRow("nothing at all") << 0 << 0 << false << 0 << 0;
}

void TestAppShell::queuePercent()
{
    QFETCH(int, finished);
    QFETCH(int, running_percent);
    QFETCH(bool, running);
    QFETCH(int, waiting);
    QFETCH(int, percent);
    QCOMPARE(queue_percent(finished, running_percent, running, waiting), percent);
}

void TestAppShell::scaleSetUp_data()
{
    QTest::addColumn<QString>("scale_factor");     // QT_SCALE_FACTOR from outside
    QTest::addColumn<QString>("screen_factors");   // QT_SCREEN_SCALE_FACTORS
    QTest::addColumn<QString>("font_dpi");         // QT_FONT_DPI
    QTest::addColumn<double>("factor");

    QTest::newRow("nothing set") << QString() << QString() << QString() << 1.0;
    QTest::newRow("QT_SCALE_FACTOR 1.5") << QStringLiteral("1.5") << QString() << QString() << 1.5;
    QTest::newRow("a screen's factor by name; a font DPI from outside does not grow the text")
        << QString() << QStringLiteral("screen0=2;other=1") << QStringLiteral("144") << 2.0;
    QTest::newRow("both factors multiply") << QStringLiteral("1.25") << QStringLiteral("2") << QString() << 2.5;
}

// The real set-up: Qt draws at the chosen factor, a 12 pt text is 16 pixels
// of the window whatever the DPI, and the variables are back as they were.
void TestAppShell::scaleSetUp()
{
    QFETCH(QString, scale_factor);
    QFETCH(QString, screen_factors);
    QFETCH(QString, font_dpi);
    QFETCH(double, factor);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QList<QPair<QString, QString>> variables = {
        {QStringLiteral("QT_SCALE_FACTOR"), scale_factor},
        {QStringLiteral("QT_SCREEN_SCALE_FACTORS"), screen_factors},
        {QStringLiteral("QT_FONT_DPI"), font_dpi},
    };
    for (const auto &[name, value] : variables) {
        if (value.isEmpty())
            env.remove(name);
        else
            env.insert(name, value);
    }
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(self_path(), {QString::fromLatin1(SCALE_CHILD)});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitCode(), 0);
    const QStringList seen = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    QCOMPARE(seen.size(), 5);
    QCOMPARE(seen[1], seen[0]);                    // drawn at the chosen factor
    QCOMPARE(seen[2], QStringLiteral("96"));       // points measured at 96 DPI
    QCOMPARE(seen[3], QStringLiteral("16"));
    QCOMPARE(seen[4], QStringLiteral("kept"));
#ifndef Q_OS_WIN
    // Offscreen, the screen's size is unknown: the factor is the scale.
    QCOMPARE(seen[0].toDouble(), factor);
#else
    Q_UNUSED(factor)   // the Win32 display of the test machine decides
#endif
}

void TestAppShell::forceCloseEndsWithStatusOne()
{
    QProcess child;
    child.start(self_path(), {QString::fromLatin1(FATAL_CHILD)});
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    QVERIFY2(out.contains(QStringLiteral("BOX 程序错误|致命错误 X")), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("RETURNED")));
}

void TestAppShell::cacheFolderCreated()
{
    // A second set-up over an existing folder goes through as well.
    QVERIFY(config::init_configuration());
    QVERIFY(config::init_configuration());
    QVERIFY(QFileInfo(config::CACHE_DIR()).isDir());
    QCOMPARE(config::CACHE_DIR(), QDir::homePath() + QStringLiteral("/.cache/Furlane"));
}

void TestAppShell::noCacheFolderNoStart()
{
#ifdef Q_OS_WIN
    QSKIP("the cache folder follows the Windows user profile, which HOME does not move");
#endif
    // The real program, with a home below which no folder can be made.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/furlane");
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QStringLiteral("/proc"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    app.setProcessEnvironment(env);
    app.start(program, QStringList());
    QVERIFY(app.waitForFinished(20000));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 1);
    const QString err = QString::fromUtf8(app.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("[ERROR] main: 无法创建缓存目录: /proc/.cache/Furlane")), qPrintable(err));
    // It stopped before anything else: no endpoint was resolved.
    QVERIFY2(!err.contains(QStringLiteral("API地址设置完成")), qPrintable(err));
}

void TestAppShell::oneInstancePerUser_data()
{
    QTest::addColumn<QString>("before");   // who holds the data folder's lock as the program starts
    QTest::addColumn<int>("status");       // -1: the program runs on
    QTest::addColumn<QString>("log");

    QTest::newRow("a running one is told to come forward, this one ends")
        << "running" << 0 << QStringLiteral("[INFO] main: Furlane 已在运行");
    QTest::newRow("a running one that never answers: this one ends all the same")
        << "silent" << 0 << QStringLiteral("[WARNING] main: 无法唤起正在运行的 Furlane");
    QTest::newRow("a closing one that no longer answers: its lock is taken once free, this one runs")
        << "closing" << -1 << QStringLiteral("[INFO] main: Furlane 已在运行");
    QTest::newRow("the lock and socket of a killed one are taken over") << "killed" << -1 << QString();
    QTest::newRow("the socket's name is taken: the program runs, not to be raised")
        << "socket taken" << -1 << QStringLiteral("[WARNING] main: 无法监听本地连接: ");
    QTest::newRow("a dead holder's lock naming this process's number is taken over") << "own number" << -1 << QString();
    QTest::newRow("no lock file can be made: no start")
        << "no lock" << 1 << QStringLiteral("[ERROR] main: 无法创建锁文件: ");
}

// The real program, started beside another holder of its lock or what one
// left behind.
void TestAppShell::oneInstancePerUser()
{
    QFETCH(QString, before);
    QFETCH(int, status);
    QFETCH(QString, log);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
#ifdef Q_OS_WIN
    if (before == QLatin1String("socket taken") || before == QLatin1String("no lock"))
        QSKIP("needs a Unix socket file and /proc");
    // The data folder follows the Windows user profile, which HOME does not move.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/furlane.exe");
    const QString folder = config::CACHE_DIR();
#else
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/furlane");
    const QString folder = home.filePath(QStringLiteral(".cache/Furlane"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
#endif
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    if (before == QLatin1String("no lock")) {
        // A data folder in which no file can be made, even by root.
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".cache"))));
        QVERIFY(QFile::link(QStringLiteral("/proc/1"), folder));
    } else {
        QVERIFY(QDir().mkpath(folder));
    }

    if (before == QLatin1String("own number")) {
        // What a holder that died leaves behind, when its number is now this process's.
        const QString path = QDir(folder).filePath(QStringLiteral("furlane.lock"));
        QByteArray left;
        {
            QLockFile dead(path);
            QVERIFY(dead.tryLock(0));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            left = file.readAll();
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(left) == left.size());
        file.close();
        SingleInstance again(folder);
        QCOMPARE(again.claim(), SingleInstance::Claim::First);
        return;
    }
    SingleInstance first(folder);
    QSignalSpy told(&first, &SingleInstance::activation_requested);
    const QString socket_path = QDir::temp().filePath(first.server_name());
    QProcess holder;
    const auto clean_up = qScopeGuard([&] {
        holder.kill();
        holder.waitForFinished(20000);
        QDir(socket_path).removeRecursively();
    });
    // Holds the lock without answering, as a holder that is closing does,
    // and lets go of it while the program waits.
    std::unique_ptr<SingleInstance> closing;
    if (before == QLatin1String("closing")) {
        closing.reset(new SingleInstance(folder));
        QCOMPARE(closing->claim(), SingleInstance::Claim::First);
    }
    if (before == QLatin1String("running") || before == QLatin1String("silent")) {
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        if (before == QLatin1String("running"))
            QVERIFY(first.listen());
    } else if (before == QLatin1String("killed")) {
        holder.start(self_path(), {QString::fromLatin1(INSTANCE_CHILD), folder});
        while (!holder.canReadLine())
            QVERIFY(holder.waitForReadyRead(20000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("LISTENING"));
        holder.kill();
        QVERIFY(holder.waitForFinished(20000));
        QVERIFY(QFileInfo::exists(first.lock_path()));
    } else if (before == QLatin1String("socket taken")) {
        QVERIFY(QDir().mkpath(socket_path));
    }

    QProcess app;
    app.setProcessEnvironment(env);
    app.start(program, QStringList());
    const auto end_app = qScopeGuard([&] {
        app.kill();
        app.waitForFinished(20000);
        // A killed program leaves its socket file behind on Unix.
        if (before != QLatin1String("running"))
            QLocalServer::removeServer(first.server_name());
    });
    QByteArray err;
    if (status >= 0) {
        // With this loop running: a running one answers from it.
        QTRY_COMPARE_WITH_TIMEOUT(app.state(), QProcess::NotRunning, 20000);
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        err = app.readAllStandardError();
        QVERIFY2(err.contains(log.toUtf8()), err.constData());
        QCOMPARE(app.exitCode(), status);
        // It ended before anything else: no endpoint was resolved.
        QVERIFY2(!err.contains("API地址设置完成"), err.constData());
        if (before == QLatin1String("running")) {
            QTRY_COMPARE(told.count(), 1);
            QVERIFY2(!err.contains("无法唤起"), err.constData());
        }
        return;
    }
    // It runs and holds the lock.
    // A later start here must not take over a lock the program is about to take.
    const auto lock_holder = [&] {
        qint64 pid = 0;
        QString host, name;
        return QLockFile(first.lock_path()).getLockInfo(&pid, &host, &name) ? pid : qint64(0);
    };
    SingleInstance later(folder);
    if (before == QLatin1String("killed")) {
        QTRY_COMPARE_WITH_TIMEOUT(lock_holder(), app.processId(), 20000);
        QCOMPARE(later.notify_running(20000), SingleInstance::Notice::Told);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT((err += app.readAllStandardError()).contains(log.toUtf8()), 20000);
    }
    if (closing) {
        // It waits: still nobody to tell, and the lock not its own.
        QCOMPARE(app.state(), QProcess::Running);
        closing.reset();
        QTRY_COMPARE_WITH_TIMEOUT(lock_holder(), app.processId(), 20000);
        QCOMPARE(later.notify_running(20000), SingleInstance::Notice::Told);
    }
    QCOMPARE(later.claim(), SingleInstance::Claim::Running);
    QVERIFY(app.waitForStarted());
    QCOMPARE(app.state(), QProcess::Running);
    err += app.readAllStandardError();
    QVERIFY2(!err.contains("无法唤起"), err.constData());
    if (before != QLatin1String("closing"))
        QVERIFY2(!err.contains("已在运行"), err.constData());
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], INSTANCE_CHILD) == 0)
        return run_instance_child(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], LOG_CHILD) == 0)
        return run_log_child(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], FATAL_CHILD) == 0)
        return run_fatal_child(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], SCALE_CHILD) == 0)
        return run_scale_child(argc, argv);
    QApplication app(argc, argv);
    TestAppShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app_shell.moc"
