#include "app/program_services.h"
#include "ui/card/skin_widget.h"
#include "support/card_fixtures.h"
#include "support/test_server.h"
#include "ui/widgets/image_preview_dialog.h"

#include <QApplication>
#include <QGraphicsView>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <functional>
#include <memory>

using namespace card_fixtures;

namespace {

QPixmap picture(int width, int height)
{
    return QPixmap::fromImage(gradient_image(QSize(width, height)));
}

void set_zoom(ImagePreviewDialog &dialog, double zoom)
{
    dialog.view()->setTransform(QTransform::fromScale(zoom, zoom));
}

void wheel(QWidget *target, const QPoint &angle)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent event(at, target->mapToGlobal(at.toPoint()), QPoint(), angle, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void mouse(QWidget *target, QEvent::Type type, const QPoint &at, Qt::MouseButtons held)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// What fitting gives for the view's present size.
double fitted(const ImagePreviewDialog &dialog)
{
    const QSize image = dialog.pixmap().size();
    return std::min({double(dialog.view()->width() - 20) / image.width(),
                     double(dialog.view()->height() - 20) / image.height(), 1.0});
}

// Runs `probe` on the first modal window that opens while `action` runs,
// then closes that window.
// Runs `action`, then answers the first modal box with `probe` and closes
// it; returns once that happened or `settled` holds.
void on_modal(const std::function<void()> &action, const std::function<void(QWidget *)> &probe,
              const std::function<bool()> &settled = [] { return false; })
{
    bool probed = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll.stop();
            probe(modal);
            probed = true;
            modal->close();
        }
    });
    poll.start();
    action();
    (void)QTest::qWaitFor([&] { return probed || settled(); }, 15000);
}

} // namespace

class TestImagePreview : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void fit_data();
    void fit();
    void fit_ignores_a_null_picture();
    void wheel_zoom_data();
    void wheel_zoom();
    void showing_fits_again_only_when_small();
    void resize_refits_below_half();
    void drag_pans();
    void zoom_button_opens_the_full_cover();
    void no_cover_no_viewer();

private:
    TestServer server;
    bool server_up = false;
};

void TestImagePreview::fit_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<double>("zoom");

    QTest::newRow("400x300 is never enlarged") << QSize(400, 300) << 1.0;
    QTest::newRow("4000x1000 fits the width") << QSize(4000, 1000) << 0.17;
    QTest::newRow("1000x2000 fits the height") << QSize(1000, 2000) << 0.24;
    QTest::newRow("exactly the view less the margin") << QSize(680, 480) << 1.0;
}

void TestImagePreview::fit()
{
    QFETCH(QSize, image);
    QFETCH(double, zoom);

    ImagePreviewDialog dialog(picture(image.width(), image.height()), QString());
    dialog.view()->resize(700, 500);
    set_zoom(dialog, 3.0);
    dialog.fit_to_view();
    QVERIFY2(qFuzzyCompare(dialog.zoom(), zoom), qPrintable(QString::number(dialog.zoom())));
    QCOMPARE(dialog.view()->transform().m22(), dialog.zoom());
}

void TestImagePreview::fit_ignores_a_null_picture()
{
    ImagePreviewDialog dialog{QPixmap(), QString()};
    set_zoom(dialog, 2.0);
    dialog.fit_to_view();
    QCOMPARE(dialog.zoom(), 2.0);
}

void TestImagePreview::wheel_zoom_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<bool>("on_view");
    QTest::addColumn<double>("zoom");

    QTest::newRow("ten steps out from 0.2 stop at 0.1") << 0.2 << 10 << QPoint(0, -120) << true << 0.1;
    QTest::newRow("steps in from 9.0 stop at 10.0") << 9.0 << 3 << QPoint(0, 120) << true << 10.0;
    QTest::newRow("one step in") << 1.0 << 1 << QPoint(0, 120) << true << 1.2;
    QTest::newRow("one step out") << 1.0 << 1 << QPoint(0, -120) << true << 1.0 / 1.2;
    QTest::newRow("horizontal wheel zooms in") << 1.0 << 1 << QPoint(120, 0) << true << 1.2;
    QTest::newRow("wheel on the dialog itself") << 0.5 << 2 << QPoint(0, 120) << false << 0.72;
}

void TestImagePreview::wheel_zoom()
{
    QFETCH(double, start);
    QFETCH(int, steps);
    QFETCH(QPoint, angle);
    QFETCH(bool, on_view);
    QFETCH(double, zoom);

    ImagePreviewDialog dialog(picture(3000, 2000), QString());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    set_zoom(dialog, start);
    for (int i = 0; i < steps; ++i)
        wheel(on_view ? dialog.view()->viewport() : static_cast<QWidget *>(&dialog), angle);
    QVERIFY2(qFuzzyCompare(dialog.zoom(), zoom), qPrintable(QString::number(dialog.zoom(), 'g', 17)));
    QVERIFY(qFuzzyCompare(dialog.view()->transform().m22(), zoom));
}

void TestImagePreview::showing_fits_again_only_when_small()
{
    ImagePreviewDialog small(picture(400, 300), QString());
    QCOMPARE(small.windowTitle(), QStringLiteral("查看大图"));
    QCOMPARE(small.minimumSize(), QSize(700, 500));
    small.show();
    QVERIFY(QTest::qWaitForWindowExposed(&small));
    QCOMPARE(small.zoom(), 1.0);

    ImagePreviewDialog wide(picture(4000, 1000), QString());
    wide.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wide));
    QVERIFY(wide.view()->width() >= 600);
    QVERIFY(qFuzzyCompare(wide.zoom(), fitted(wide)));
}

void TestImagePreview::resize_refits_below_half()
{
    ImagePreviewDialog dialog(picture(2000, 1500), QString());
    dialog.resize(700, 500);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    set_zoom(dialog, 0.8);
    dialog.resize(900, 700);
    QTRY_COMPARE(dialog.view()->width() > 800, true);
    QCOMPARE(dialog.zoom(), 0.8);

    set_zoom(dialog, 0.4);
    dialog.resize(760, 560);
    QTRY_VERIFY(dialog.view()->width() < 800);
    QVERIFY2(qFuzzyCompare(dialog.zoom(), fitted(dialog)), qPrintable(QString::number(dialog.zoom())));
}

void TestImagePreview::drag_pans()
{
    ImagePreviewDialog dialog(picture(3000, 3000), QString());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    set_zoom(dialog, 1.0);
    QWidget *viewport = dialog.view()->viewport();
    QScrollBar *horizontal = dialog.view()->horizontalScrollBar();
    QScrollBar *vertical = dialog.view()->verticalScrollBar();
    const int x = horizontal->value(), y = vertical->value();

    const QPoint from = viewport->rect().center();
    mouse(viewport, QEvent::MouseButtonPress, from, Qt::LeftButton);
    mouse(viewport, QEvent::MouseMove, from + QPoint(-60, -40), Qt::LeftButton);
    mouse(viewport, QEvent::MouseMove, from + QPoint(-120, -80), Qt::LeftButton);
    mouse(viewport, QEvent::MouseButtonRelease, from + QPoint(-120, -80), Qt::NoButton);
    QCOMPARE(horizontal->value(), x + 120);
    QCOMPARE(vertical->value(), y + 80);
    QCOMPARE(dialog.zoom(), 1.0);
}

void TestImagePreview::zoom_button_opens_the_full_cover()
{
    if (!server_up)
        QVERIFY(server_up = start_server(server, m_services));
    const QJsonObject record = skin_record(QStringLiteral("大图"), QStringLiteral("big.png"));
    put_cover(server, record, encode(gradient_image(QSize(1200, 700)), "PNG"));
    std::unique_ptr<SkinWidget> card(SkinWidget::create(record, QString(), m_services.downloads, m_services.states, m_services.covers));
    QStringList messages;
    connect(card.get(), &SkinWidget::show_message_signal, card.get(),
            [&](const QString &title, const QString &text, const QString &) { messages << title + text; });

    QSize shown;
    QString title;
    on_modal([&] { QTest::mouseClick(card->zoom_button(), Qt::LeftButton); },
             [&](QWidget *modal) {
                 auto *dialog = qobject_cast<ImagePreviewDialog *>(modal);
                 QVERIFY(dialog);
                 shown = dialog->pixmap().size();
                 title = dialog->windowTitle();
             });
    QCOMPARE(shown, QSize(1200, 700));   // the viewer gets the cover at full size
    QCOMPARE(title, QStringLiteral("查看大图"));
    QVERIFY(messages.isEmpty());
}

void TestImagePreview::no_cover_no_viewer()
{
    if (!server_up)
        QVERIFY(server_up = start_server(server, m_services));
    std::unique_ptr<SkinWidget> card(
        SkinWidget::create(skin_record(QStringLiteral("无图"), QStringLiteral("absent.png")), QString(),
                           m_services.downloads, m_services.states, m_services.covers));
    QStringList messages;
    connect(card.get(), &SkinWidget::show_message_signal, card.get(),
            [&](const QString &title, const QString &text, const QString &kind) {
                messages << title + QLatin1Char('|') + text + QLatin1Char('|') + kind;
            });
    bool opened = false;
    on_modal([&] { QTest::mouseClick(card->zoom_button(), Qt::LeftButton); },
             [&](QWidget *) { opened = true; }, [&] { return !messages.isEmpty(); });
    QVERIFY(!opened);
    QCOMPARE(messages, QStringList{QStringLiteral("提示|该皮肤暂无封面图片，将显示默认图片|info")});
}

QTEST_MAIN(TestImagePreview)
#include "tst_image_preview.moc"
