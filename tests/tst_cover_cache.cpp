#include "app/program_services.h"
#include "core/covers/cover_cache.h"
#include "core/covers/cover_cache_trim.h"
#include "ui/card/skin_widget.h"
#include "support/card_fixtures.h"
#include "core/support/config.h"
#include "support/log_capture.h"
#include "support/test_server.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QtTest>

#include <memory>

using namespace card_fixtures;

namespace {

const QColor PLACEHOLDER_GREY(245, 245, 245);

// The cover area in the card's device pixels; some of these tests run again
// with the whole program at 200 % (see CMakeLists.txt).
QSize cover_area(const SkinWidget &card)
{
    return cover_pixel_size(card.devicePixelRatioF());
}

QImage shown_cover(const SkinWidget &card)
{
    return card.cover()->pixmap(Qt::ReturnByValue).toImage();
}

// Made at the device-pixel size and marked so, it is drawn one for one.
bool shown_at_pixel_size(const SkinWidget &card)
{
    const QPixmap pixmap = card.cover()->pixmap(Qt::ReturnByValue);
    return pixmap.size() == cover_area(card) && pixmap.devicePixelRatio() == card.devicePixelRatioF();
}

// The placeholder's text sits in the middle of the cover at every scale.
bool text_centred(const QImage &image)
{
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != PLACEHOLDER_GREY)
                ink |= QRect(x, y, 1, 1);
    const QPoint off = ink.center() - image.rect().center();
    return !ink.isEmpty() && qAbs(off.x()) <= image.width() / 20 && qAbs(off.y()) <= image.height() / 20;
}

bool shows_placeholder(const SkinWidget &card)
{
    const QImage shown = shown_cover(card);
    return shown_at_pixel_size(card) && shown.pixelColor(2, 2) == PLACEHOLDER_GREY && text_centred(shown);
}

bool close_enough(const QColor &seen, const QColor &wanted)
{
    return qAbs(seen.red() - wanted.red()) <= 8 && qAbs(seen.green() - wanted.green()) <= 8
        && qAbs(seen.blue() - wanted.blue()) <= 8;
}

QStringList cache_files()
{
    return QDir(config::CACHE_DIR()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray read_file(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<SkinWidget> make_card(ProgramServices &services, const QJsonObject &record)
{
    return settled_card(services, record);
}

} // namespace

class TestCoverCache : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void init();

    void url_and_cache_name_data();
    void url_and_cache_name();
    void cache_name_is_md5_of_the_unencoded_text();
    void crop_geometry_data();
    void crop_geometry();
    void reduced_decode_matches_full_scale_data();
    void reduced_decode_matches_full_scale();
    void decode_refuses_non_images();

    void first_load_fetches_and_caches();
    void no_request_without_cover_values_data();
    void no_request_without_cover_values();
    void cached_non_image_replaced_after_200();
    void not_found_writes_nothing();
    void cache_kept_within_its_limit_data();
    void cache_kept_within_its_limit();
    void non_image_answer_cached_but_placeholder();
    void dropped_connection_logged();
    void unusable_cache_entry_logged_and_nothing_left_behind();
    void same_file_under_two_subcategories_cached_apart();
    void removed_cache_folder_made_again();
    void full_size_cover_for_the_viewer();
    void prefetched_covers_handed_out_once_while_fresh();
    void card_takes_the_prefetched_cover();

private:
    TestServer server;
};

void TestCoverCache::initTestCase()
{
    QVERIFY(start_server(server, m_services));
}

void TestCoverCache::init()
{
    QVERIFY(server.reset());
    QDir cache(config::CACHE_DIR());
    cache.removeRecursively();
    QVERIFY(QDir().mkpath(config::CACHE_DIR()));
}

void TestCoverCache::url_and_cache_name_data()
{
    QTest::addColumn<QJsonObject>("record");
    QTest::addColumn<QString>("query");

    QTest::newRow("plain names")
        << skin_record(QStringLiteral("a"), QStringLiteral("a.jpg"), QStringLiteral("M"), QStringLiteral("S"))
        << QStringLiteral("?MainCategory=M&subcategory=S&cover=a.jpg");
    QTest::newRow("blanks and non-ASCII stay unencoded")
        << skin_record(QStringLiteral("a"), QStringLiteral("封面 1.jpg"), QStringLiteral("角色 皮肤"), QStringLiteral("a b"))
        << QStringLiteral("?MainCategory=角色 皮肤&subcategory=a b&cover=封面 1.jpg");
    QTest::newRow("percent sign not re-encoded")
        << skin_record(QStringLiteral("a"), QStringLiteral("x%20y.png"), QStringLiteral("M"), QStringLiteral("S"))
        << QStringLiteral("?MainCategory=M&subcategory=S&cover=x%20y.png");

    QJsonObject no_cover = skin_record(QStringLiteral("a"));
    no_cover.remove(QStringLiteral("cover"));
    QTest::newRow("missing cover gives no address") << no_cover << QString();
    QTest::newRow("empty cover gives no address") << skin_record(QStringLiteral("a"), QString()) << QString();
    QTest::newRow("empty main category gives no address")
        << skin_record(QStringLiteral("a"), QStringLiteral("c.png"), QString()) << QString();
    QTest::newRow("empty subcategory gives no address")
        << skin_record(QStringLiteral("a"), QStringLiteral("c.png"), QStringLiteral("M"), QString()) << QString();
    QJsonObject numeric = skin_record(QStringLiteral("a"));
    numeric.insert(QStringLiteral("subcategory"), 7);
    QTest::newRow("non-text subcategory counts as empty") << numeric << QString();
}

void TestCoverCache::url_and_cache_name()
{
    QFETCH(QJsonObject, record);
    QFETCH(QString, query);

    const QString url = cover_url(m_services.covers.endpoints(), record);
    if (query.isEmpty()) {
        QVERIFY(url.isEmpty());
        return;
    }
    QCOMPARE(url, m_services.covers.endpoints().image_download_api + query);
    QCOMPARE(cover_cache_path(url), config::CACHE_DIR() + QLatin1Char('/') + cover_cache_name(url));
}

void TestCoverCache::cache_name_is_md5_of_the_unencoded_text()
{
    // Digests worked out independently (Python hashlib over the UTF-8 text).
    QCOMPARE(cover_cache_name(QStringLiteral("abc")), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    const QString raw = QStringLiteral("http://127.0.0.1:1/subcutaneous/index_image_download.php"
                                       "?MainCategory=角色 皮肤&subcategory=a b&cover=封面 1.jpg");
    QCOMPARE(cover_cache_name(raw), QStringLiteral("76826b5ffa38b64071e75b8c2bbe9ccc"));
    // Hashing the address as it goes over the wire would give another name.
    QVERIFY(cover_cache_name(raw) != QStringLiteral("3562003b1fcfe85c2b613f73a1312496"));
}

void TestCoverCache::crop_geometry_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<qreal>("ratio");   // device pixels per pixel
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("scaled");
    QTest::addColumn<QPoint>("offset");

    const QSize area(256, 185);
    QTest::newRow("wide 1000x500 crops from x 57") << QSize(1000, 500) << 1.0 << area << QSize(370, 185) << QPoint(57, 0);
    QTest::newRow("square 100x100 scales up, crops from y 35") << QSize(100, 100) << 1.0 << area << QSize(256, 256) << QPoint(0, 35);
    QTest::newRow("exact area is left alone") << QSize(256, 185) << 1.0 << area << QSize(256, 185) << QPoint(0, 0);
    QTest::newRow("odd excess cut on the right") << QSize(257, 185) << 1.0 << area << QSize(257, 185) << QPoint(0, 0);
    QTest::newRow("full HD") << QSize(1920, 1080) << 1.0 << area << QSize(328, 185) << QPoint(36, 0);
    QTest::newRow("tall picture") << QSize(185, 1000) << 1.0 << area << QSize(256, 1383) << QPoint(0, 599);
    // A half pixel of area is a whole one more, never a bare edge.
    QTest::newRow("full HD at 150 %") << QSize(1920, 1080) << 1.5 << QSize(384, 278) << QSize(494, 278) << QPoint(55, 0);
    QTest::newRow("wide at 200 %") << QSize(1000, 500) << 2.0 << QSize(512, 370) << QSize(740, 370) << QPoint(114, 0);
    QTest::newRow("small picture at 125 %") << QSize(100, 100) << 1.25 << QSize(320, 232) << QSize(320, 320) << QPoint(0, 44);
    QTest::newRow("exact area at 175 %") << QSize(448, 324) << 1.75 << QSize(448, 324) << QSize(448, 324) << QPoint(0, 0);
}

void TestCoverCache::crop_geometry()
{
    QFETCH(QSize, source);
    QFETCH(qreal, ratio);
    QFETCH(QSize, area);
    QFETCH(QSize, scaled);
    QFETCH(QPoint, offset);

    QCOMPARE(cover_pixel_size(ratio), area);
    const CoverCrop crop = cover_crop(source, area);
    QCOMPARE(crop.scaled, scaled);
    QCOMPARE(crop.offset, offset);
    // The same size a plain smooth scale of the pixmap gives.
    QCOMPARE(QPixmap(source).scaled(area, Qt::KeepAspectRatioByExpanding,
                                    Qt::SmoothTransformation).size(), scaled);
    QCOMPARE(crop_cover(QImage(source, QImage::Format_RGB32), area).size(), area);
}

void TestCoverCache::reduced_decode_matches_full_scale_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("area");

    const QSize area(256, 185);
    QTest::newRow("JPEG full HD") << QSize(1920, 1080) << QByteArray("JPEG") << area;
    QTest::newRow("JPEG tall") << QSize(600, 1600) << QByteArray("JPEG") << area;
    QTest::newRow("PNG wide") << QSize(1000, 500) << QByteArray("PNG") << area;
    QTest::newRow("PNG small, scaled up") << QSize(100, 100) << QByteArray("PNG") << area;
    QTest::newRow("BMP exact size") << QSize(256, 185) << QByteArray("BMP") << area;
    QTest::newRow("JPEG full HD at 150 %") << QSize(1920, 1080) << QByteArray("JPEG") << QSize(384, 278);
    QTest::newRow("PNG tall at 200 %") << QSize(600, 1600) << QByteArray("PNG") << QSize(512, 370);
}

void TestCoverCache::reduced_decode_matches_full_scale()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    QFETCH(QSize, area);

    QByteArray bytes = encode(gradient_image(size), format.constData(), 95);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const QImage reduced = decode_cover(&buffer, area);
    const QImage reference = crop_cover(QImage::fromData(bytes), area);

    QCOMPARE(reduced.size(), area);
    QCOMPARE(reference.size(), area);
    // A shift of the crop by a few pixels moves the gradient by far more
    // than scaling and JPEG noise do.
    QVERIFY2(max_channel_difference(reduced, reference) <= 6,
             qPrintable(QString::number(max_channel_difference(reduced, reference))));
}

void TestCoverCache::decode_refuses_non_images()
{
    QByteArray html("<html>502 Bad Gateway</html>");
    QBuffer buffer(&html);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVERIFY(decode_cover(&buffer).isNull());

    // A strip-shaped picture still yields a full cover area.
    QByteArray strip = encode(gradient_image(QSize(5000, 2)), "PNG");
    QBuffer strip_buffer(&strip);
    QVERIFY(strip_buffer.open(QIODevice::ReadOnly));
    QCOMPARE(decode_cover(&strip_buffer).size(), QSize(256, 185));
    QCOMPARE(crop_cover(QImage::fromData(strip)).size(), QSize(256, 185));
}

void TestCoverCache::first_load_fetches_and_caches()
{
    const QJsonObject record = skin_record(QStringLiteral("红"));
    const QByteArray body = encode(solid_image(QSize(1000, 500), Qt::red), "PNG");
    put_cover(server, record, body);

    {
        auto card = make_card(m_services, record);
        QVERIFY(shown_at_pixel_size(*card));
        QCOMPARE(shown_cover(*card).pixelColor(128, 92), QColor(Qt::red));
    }
    QCOMPARE(cover_requests(server), 1);
    const QString cache_path = cover_cache_path(cover_url(m_services.covers.endpoints(), record));
    QCOMPARE(read_file(cache_path), body);

    // Later cards read the cache without asking the server.
    server.write_file(QStringLiteral("covers/角色/猎人/c.png"), encode(solid_image(QSize(10, 10), Qt::blue), "PNG"));
    auto again = make_card(m_services, record);
    QCOMPARE(shown_cover(*again).pixelColor(128, 92), QColor(Qt::red));
    QCOMPARE(cover_requests(server), 1);
}

void TestCoverCache::no_request_without_cover_values_data()
{
    QTest::addColumn<QJsonObject>("record");
    QJsonObject no_cover = skin_record(QStringLiteral("a"));
    no_cover.remove(QStringLiteral("cover"));
    QTest::newRow("empty cover") << skin_record(QStringLiteral("a"), QString());
    QTest::newRow("no cover key") << no_cover;
    QTest::newRow("empty main category") << skin_record(QStringLiteral("a"), QStringLiteral("c.png"), QString());
}

void TestCoverCache::no_request_without_cover_values()
{
    QFETCH(QJsonObject, record);
    LogCapture log;
    auto card = make_card(m_services, record);
    QVERIFY(card);
    QVERIFY(shows_placeholder(*card));
    QCOMPARE(cover_requests(server), 0);
    QVERIFY2(log.texts().isEmpty(), qPrintable(log.texts().join(QLatin1Char('\n'))));
    QVERIFY(cache_files().isEmpty());
}

void TestCoverCache::cached_non_image_replaced_after_200()
{
    const QJsonObject record = skin_record(QStringLiteral("绿"));
    const QByteArray body = encode(solid_image(QSize(300, 300), Qt::green), "JPEG");
    put_cover(server, record, body);
    const QString cache_path = cover_cache_path(cover_url(m_services.covers.endpoints(), record));
    {
        QFile stale(cache_path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("<html>gateway error</html>");
    }

    auto card = make_card(m_services, record);
    QCOMPARE(cover_requests(server), 1);
    QCOMPARE(read_file(cache_path), body);
    QVERIFY(!shows_placeholder(*card));
    const QColor centre = shown_cover(*card).pixelColor(128, 92);
    QVERIFY(centre.green() > 200 && centre.red() < 60);
}

void TestCoverCache::cache_kept_within_its_limit_data()
{
    QTest::addColumn<QStringList>("files");     // "key|KiB|seconds since last use", "*" = on the page shown
    QTest::addColumn<int>("limit_kib");
    QTest::addColumn<QStringList>("removed");   // keys, oldest first
    QTest::newRow("under the limit nothing goes")
        << QStringList{"a|100|10", "b|100|20"} << 300 << QStringList{};
    QTest::newRow("over it the least recently used go first")
        << QStringList{"a|100|10", "b|100|30", "c|100|20", "d|100|5"} << 250 << QStringList{"b", "c"};
    QTest::newRow("a cover of the shown page stays however old")
        << QStringList{"a|100|10", "b*|100|30", "c|100|20"} << 150 << QStringList{"c", "a"};
    QTest::newRow("the log and the lock are not covers")
        << QStringList{"furlane.log|400|50", "furlane.lock|1|50", "a|100|10"} << 50 << QStringList{"a"};
}

void TestCoverCache::cache_kept_within_its_limit()
{
    QFETCH(QStringList, files);
    QFETCH(int, limit_kib);
    QFETCH(QStringList, removed);
    QTemporaryDir folder;
    const auto name_of = [](QString key) {
        key.remove(QLatin1Char('*'));
        return key.startsWith(QStringLiteral("furlane.")) ? key : cover_cache_name(key);
    };
    QSet<QString> shown;
    QStringList all;
    for (const QString &spec : files) {
        const QStringList part = spec.split(QLatin1Char('|'));
        const QString path = folder.filePath(name_of(part.at(0)));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(part.at(1).toInt() * 1024, 'x'));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-part.at(2).toInt()),
                                 QFileDevice::FileModificationTime));
        file.close();
        if (part.at(0).endsWith(QLatin1Char('*')))
            shown.insert(name_of(part.at(0)));
        all << path;
    }
    QStringList expected;
    for (const QString &key : removed)
        expected << QDir(folder.path()).absoluteFilePath(name_of(key));
    QCOMPARE(cover_trim::trim_folder(folder.path(), qint64(limit_kib) * 1024, shown), expected);
    for (const QString &path : all)
        QCOMPARE(QFile::exists(path), !expected.contains(path));
}

void TestCoverCache::not_found_writes_nothing()
{
    LogCapture log;
    auto card = make_card(m_services, skin_record(QStringLiteral("无图"), QStringLiteral("missing.png")));
    QCOMPARE(cover_requests(server), 1);
    QVERIFY(shows_placeholder(*card));
    QVERIFY(cache_files().isEmpty());
    QVERIFY2(log.texts().isEmpty(), qPrintable(log.texts().join(QLatin1Char('\n'))));
}

void TestCoverCache::non_image_answer_cached_but_placeholder()
{
    const QJsonObject record = skin_record(QStringLiteral("坏"), QStringLiteral("bad.png"));
    put_cover(server, record, "not a picture");
    auto card = make_card(m_services, record);
    QVERIFY(shows_placeholder(*card));
    QCOMPARE(read_file(cover_cache_path(cover_url(m_services.covers.endpoints(), record))), QByteArray("not a picture"));
}

void TestCoverCache::dropped_connection_logged()
{
    const QJsonObject record = skin_record(QStringLiteral("断"), QStringLiteral("drop.png"));
    put_cover(server, record, encode(solid_image(QSize(50, 50), Qt::red), "PNG"));
    QVERIFY(server.set_faults(QJsonArray{QJsonObject{
        {QStringLiteral("match"), QStringLiteral("drop.png")}, {QStringLiteral("drop"), true}}}));

    LogCapture log;
    auto card = make_card(m_services, record);
    QVERIFY(shows_placeholder(*card));
    QVERIFY(cache_files().isEmpty());
    const QStringList lines = log.texts();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QStringLiteral("ERROR 加载封面图片失败: ")), qPrintable(lines.first()));
}

void TestCoverCache::unusable_cache_entry_logged_and_nothing_left_behind()
{
    // A folder where the cache file belongs can be neither read nor replaced.
    const QJsonObject record = skin_record(QStringLiteral("堵"));
    put_cover(server, record, encode(solid_image(QSize(50, 50), Qt::red), "PNG"));
    const QString cache_path = cover_cache_path(cover_url(m_services.covers.endpoints(), record));
    QVERIFY(QDir().mkpath(cache_path + QStringLiteral("/keep")));

    LogCapture log;
    auto card = make_card(m_services, record);
    QVERIFY(shows_placeholder(*card));
    QCOMPARE(cover_requests(server), 1);
    const QStringList lines = log.texts();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(QStringLiteral("WARNING 加载缓存图片失败: ")), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("ERROR 加载封面图片失败: ")), qPrintable(lines.at(1)));
    QCOMPARE(cache_files(), QStringList{cover_cache_name(cover_url(m_services.covers.endpoints(), record))});
    QVERIFY(QFileInfo(cache_path + QStringLiteral("/keep")).isDir());
}

void TestCoverCache::same_file_under_two_subcategories_cached_apart()
{
    const QJsonObject first = skin_record(QStringLiteral("一"), QStringLiteral("same.png"), QStringLiteral("角色"), QStringLiteral("甲"));
    const QJsonObject second = skin_record(QStringLiteral("二"), QStringLiteral("same.png"), QStringLiteral("角色"), QStringLiteral("乙"));
    put_cover(server, first, encode(solid_image(QSize(40, 40), Qt::red), "PNG"));
    put_cover(server, second, encode(solid_image(QSize(40, 40), Qt::blue), "PNG"));

    auto a = make_card(m_services, first);
    auto b = make_card(m_services, second);
    QCOMPARE(shown_cover(*a).pixelColor(128, 92), QColor(Qt::red));
    QCOMPARE(shown_cover(*b).pixelColor(128, 92), QColor(Qt::blue));
    QCOMPARE(cache_files().size(), 2);
}

void TestCoverCache::removed_cache_folder_made_again()
{
    const QJsonObject record = skin_record(QStringLiteral("重建"), QStringLiteral("again.png"));
    put_cover(server, record, encode(solid_image(QSize(40, 40), Qt::red), "PNG"));
    QVERIFY(QDir(config::CACHE_DIR()).removeRecursively());
    auto card = make_card(m_services, record);
    QCOMPARE(shown_cover(*card).pixelColor(128, 92), QColor(Qt::red));
    QVERIFY(QFileInfo::exists(cover_cache_path(cover_url(m_services.covers.endpoints(), record))));
}

void TestCoverCache::full_size_cover_for_the_viewer()
{
    const QJsonObject record = skin_record(QStringLiteral("大"), QStringLiteral("big.jpg"));
    put_cover(server, record, encode(gradient_image(QSize(1600, 900)), "JPEG"));
    auto card = make_card(m_services, record);
    // The viewer's copy: the whole image, from the cache the card filled.
    auto full = std::make_shared<QImage>();
    m_services.covers.fetch(cover_url(m_services.covers.endpoints(), record), QSize(), card.get(), [full](const QImage &image) { *full = image; });
    QCOMPARE(full->size(), QSize(1600, 900));
    QCOMPARE(cover_requests(server), 1);

    // A full image handed in is cut exactly like the card's own cover.
    card->set_cover_pixmap(QPixmap::fromImage(gradient_image(QSize(1000, 500))));
    const QImage shown = shown_cover(*card);
    QCOMPARE(shown.size(), QSize(256, 185));
    const QImage expected = gradient_image(QSize(1000, 500)).scaled(370, 185, Qt::IgnoreAspectRatio,
                                                                   Qt::SmoothTransformation).copy(57, 0, 256, 185);
    QVERIFY(max_channel_difference(shown, expected) <= 1);
}

namespace {

// Puts an image straight into the cache, as an earlier download would have.
QString warm_cache(const ServerEndpoints &endpoints, const QJsonObject &record, const QImage &image)
{
    const QString path = cover_cache_path(cover_url(endpoints, record));
    image.save(path, "JPEG", 90);
    return path;
}

} // namespace

void TestCoverCache::prefetched_covers_handed_out_once_while_fresh()
{
    const QJsonObject red = skin_record(QStringLiteral("甲"), QStringLiteral("a.jpg"));
    const QJsonObject blue = skin_record(QStringLiteral("乙"), QStringLiteral("b.jpg"));
    const QJsonObject broken = skin_record(QStringLiteral("丙"), QStringLiteral("c.jpg"));
    const QJsonObject uncached = skin_record(QStringLiteral("丁"), QStringLiteral("d.jpg"));
    const QString red_path = warm_cache(m_services.covers.endpoints(), red, solid_image(QSize(1920, 1080), Qt::red));
    const QString blue_path = warm_cache(m_services.covers.endpoints(), blue, solid_image(QSize(800, 800), Qt::blue));
    const QString broken_path = cover_cache_path(cover_url(m_services.covers.endpoints(), broken));
    QFile(broken_path).open(QIODevice::WriteOnly);

    LogCapture log;
    prefetch_covers(m_services.covers.endpoints(), {red, blue, broken, uncached, skin_record(QStringLiteral("戊"), QString())});
    const QImage first = take_prefetched_cover(red_path);
    QCOMPARE(first.size(), QSize(256, 185));
    QVERIFY(close_enough(first.pixelColor(128, 92), Qt::red));
    QVERIFY(take_prefetched_cover(red_path).isNull());   // handed out once
    QVERIFY(take_prefetched_cover(broken_path).isNull());
    QVERIFY(take_prefetched_cover(cover_cache_path(cover_url(m_services.covers.endpoints(), uncached))).isNull());

    // A file rewritten after the prefetch is not answered from memory.
    warm_cache(m_services.covers.endpoints(), blue, solid_image(QSize(640, 480), Qt::green));
    QVERIFY(take_prefetched_cover(blue_path).isNull());

    // A new page drops what the last one left.
    prefetch_covers(m_services.covers.endpoints(), {red});
    prefetch_covers(m_services.covers.endpoints(), {blue});
    QVERIFY(take_prefetched_cover(red_path).isNull());
    QVERIFY(!take_prefetched_cover(blue_path).isNull());

    QCOMPARE(cover_requests(server), 0);
    QVERIFY2(log.texts().isEmpty(), qPrintable(log.texts().join(QLatin1Char('\n'))));
}

void TestCoverCache::card_takes_the_prefetched_cover()
{
    const QJsonObject record = skin_record(QStringLiteral("预取"), QStringLiteral("p.jpg"));
    const QString path = warm_cache(m_services.covers.endpoints(), record, solid_image(QSize(1920, 1080), Qt::red));
    prefetch_covers(m_services.covers.endpoints(), {record});

    // Same size and time, other bytes: only the prefetched picture is red.
    const QDateTime modified = QFileInfo(path).lastModified();
    QByteArray bytes = read_file(path);
    bytes.fill('x');
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    auto card = make_card(m_services, record);
    QVERIFY(close_enough(shown_cover(*card).pixelColor(128, 92), Qt::red));
    QCOMPARE(cover_requests(server), 0);
}

QTEST_MAIN(TestCoverCache)
#include "tst_cover_cache.moc"
