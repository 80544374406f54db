#include "catalog/catalog_model.h"

#include "catalog/catalog_scan.h"
#include "catalog/category_builder.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocale>
#include <QRegularExpression>
#include <QTextCodec>

#include <algorithm>
#include <cmath>
#include <vector>

namespace catalog {

const char *const REQUIRED_KEYS[5] = {"name", "MainCategory", "subcategory", "pak_original", "sig_original"};

namespace {

const QString MAIN_RANK_KEY = QStringLiteral("MainCategory_ranking_id");
const QString SUB_RANK_KEY = QStringLiteral("subcategory_ranking_id");
const QString SKIN_ID_KEY = QStringLiteral("skin_id");

// A value as it would appear in the catalogue, for error texts and logs.
QString json_text(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Undefined:
        break;
    }
    return QString();
}

// The number a value stands for without any conversion: empty counts 0,
// true counts 1, a number itself. Nothing for a non-empty string, array or
// object.
std::optional<double> plain_number(const QJsonValue &value)
{
    if (is_empty(value))
        return 0.0;
    if (value.isBool())
        return 1.0;
    if (value.isDouble())
        return value.toDouble();
    return std::nullopt;
}

// A ranking weight, used as the number it is. A string, array or object
// cannot be compared with numbers.
std::optional<double> weight_of(const QJsonValue &value, const QString &key, QString *error)
{
    if (const auto number = plain_number(value))
        return number;
    if (error)
        *error = QStringLiteral("%1 的值不是数字，无法比较: %2").arg(key, json_text(value));
    return std::nullopt;
}

// QJsonArray and QJsonObject share their storage with QCborArray and
// QCborMap, and key look-ups through the CBOR view cost a fraction of the
// JSON ones: that counts with catalogues of tens of thousands of records.
// The rules below are the ones above, read through that view.
bool is_empty_cbor(const QCborValue &value)
{
    switch (value.type()) {
    case QCborValue::Undefined:
    case QCborValue::Null:
    case QCborValue::False:
        return true;
    case QCborValue::Integer:
        return value.toInteger() == 0;
    case QCborValue::Double:
        return value.toDouble() == 0.0;
    case QCborValue::String:
        return value.toString().isEmpty();
    case QCborValue::Array:
        return value.toArray().isEmpty();
    case QCborValue::Map:
        return value.toMap().isEmpty();
    default:
        return false;
    }
}

std::optional<double> weight_of(const QCborValue &value, const QString &key, QString *error)
{
    if (value.isInteger())
        return static_cast<double>(value.toInteger());
    if (value.isDouble())
        return value.toDouble();
    return weight_of(value.toJsonValue(), key, error);
}

std::optional<double> integer_value_cbor(const QCborValue &value, const QString &key, QString *error)
{
    if (value.isInteger())
        return static_cast<double>(value.toInteger());
    if (value.isDouble())
        return std::trunc(value.toDouble());
    return integer_value(value.toJsonValue(), key, error);
}

QString name_of(const QCborValue &value)
{
    return value.isString() ? value.toString() : QString();
}

} // namespace

bool is_empty(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Undefined:
    case QJsonValue::Null:
        return true;
    case QJsonValue::Bool:
        return !value.toBool();
    case QJsonValue::Double:
        return value.toDouble() == 0.0;
    case QJsonValue::String:
        return value.toString().isEmpty();
    case QJsonValue::Array:
        return value.toArray().isEmpty();
    case QJsonValue::Object:
        return value.toObject().isEmpty();
    }
    return true;
}

QString name_of(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

std::optional<double> integer_value(const QJsonValue &value, const QString &key, QString *error)
{
    if (const auto number = plain_number(value))
        return std::trunc(*number);
    if (value.isString()) {
        static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
        const QString text = value.toString().trimmed();
        if (decimal.match(text).hasMatch()) {
            bool ok = false;
            const double number = text.toDouble(&ok);
            if (ok)
                return number;
        }
    }
    if (error)
        *error = QStringLiteral("%1 的值不是整数: %2").arg(key, json_text(value));
    return std::nullopt;
}

std::optional<QJsonArray> parse_records(const QByteArray &body, QString *error)
{
    QJsonParseError parse_error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parse_error);
    if (parse_error.error != QJsonParseError::NoError) {
        // A bare JSON value cannot be a document; "" stands for no records.
        QJsonParseError wrapped_error;
        const QJsonDocument wrapped = QJsonDocument::fromJson("[" + body + "]", &wrapped_error);
        if (wrapped_error.error == QJsonParseError::NoError && wrapped.array().size() == 1) {
            const QJsonValue only = wrapped.array().at(0);
            if (only.isString() && only.toString().isEmpty())
                return QJsonArray();
            if (error)
                *error = QStringLiteral("皮肤数据不是列表: %1").arg(json_text(only));
            return std::nullopt;
        }
        if (error)
            *error = QStringLiteral("JSON解析失败: %1 (位置 %2)").arg(parse_error.errorString()).arg(parse_error.offset);
        return std::nullopt;
    }
    if (doc.isObject()) {
        if (doc.object().isEmpty())
            return QJsonArray();
        if (error)
            *error = QStringLiteral("皮肤数据不是列表，而是对象");
        return std::nullopt;
    }
    QJsonArray records = doc.array();
    const QCborArray view = QCborArray::fromJsonArray(records);
    for (qsizetype i = 0; i < view.size(); ++i) {
        if (!view.at(i).isMap()) {
            if (error)
                *error = QStringLiteral("第 %1 项皮肤数据不是对象: %2")
                             .arg(i + 1)
                             .arg(json_text(records.at(static_cast<int>(i))));
            return std::nullopt;
        }
    }
    return records;
}

std::optional<Categories> derive_categories(const QJsonArray &records, QString *error)
{
    static const QLatin1String main_key("MainCategory");
    static const QLatin1String sub_key("subcategory");
    static const QLatin1String main_rank_key("MainCategory_ranking_id");
    static const QLatin1String sub_rank_key("subcategory_ranking_id");

    CategoryBuilder builder;
    const QCborArray view = QCborArray::fromJsonArray(records);
    for (const QCborValue &element : view) {
        const QCborMap record = element.toMap();
        const bool added = builder.add(
            name_of(record.value(main_key)),
            [&](QString *e) { return weight_of(record.value(main_rank_key), MAIN_RANK_KEY, e); },
            name_of(record.value(sub_key)),
            [&](QString *e) { return weight_of(record.value(sub_rank_key), SUB_RANK_KEY, e); }, error);
        if (!added)
            return std::nullopt;
    }
    return builder.finish();
}

std::optional<Categories> categories_from_body(const QByteArray &body, QString *error)
{
    if (std::optional<Categories> fast = scan::categories(body))
        return fast;
    const std::optional<QJsonArray> records = parse_records(body, error);
    if (!records)
        return std::nullopt;
    return derive_categories(*records, error);
}

std::optional<QJsonArray> selection_from_body(const QByteArray &body, const QString &category_name,
                                              const std::optional<QString> &subcategory_name, QString *error)
{
    std::optional<QJsonArray> selected = scan::selection(body, category_name, subcategory_name);
    if (!selected) {
        const std::optional<QJsonArray> records = parse_records(body, error);
        if (!records)
            return std::nullopt;
        selected = filter_records(*records, category_name, subcategory_name);
    }
    return order_records(*selected, error);
}

QJsonArray filter_records(const QJsonArray &records, const QString &category_name,
                          const std::optional<QString> &subcategory_name)
{
    const bool by_subcategory = subcategory_name && !subcategory_name->isEmpty();
    const QLatin1String key = by_subcategory ? QLatin1String("subcategory") : QLatin1String("MainCategory");
    const QString wanted = by_subcategory ? *subcategory_name : category_name;
    const QCborArray view = QCborArray::fromJsonArray(records);
    QJsonArray kept;
    for (qsizetype i = 0; i < view.size(); ++i) {
        const QCborValue value = view.at(i).toMap().value(key);
        if (value.isString() && value.toString() == wanted)
            kept.append(records.at(static_cast<int>(i)));
    }
    return kept;
}

bool is_complete(const QJsonObject &record)
{
    const QCborMap view = QCborMap::fromJsonObject(record);
    for (const char *key : REQUIRED_KEYS) {
        if (is_empty_cbor(view.value(QLatin1String(key))))
            return false;
    }
    return true;
}

std::optional<QJsonArray> order_records(const QJsonArray &records, QString *error)
{
    struct Keyed {
        double main;
        double sub;
        double id;
        int index;
    };
    static const QLatin1String main_rank_key("MainCategory_ranking_id");
    static const QLatin1String sub_rank_key("subcategory_ranking_id");
    static const QLatin1String skin_id_key("skin_id");
    const QCborArray view = QCborArray::fromJsonArray(records);
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(records.size()));
    for (int i = 0; i < records.size(); ++i) {
        const QCborMap record = view.at(i).toMap();
        const auto main = integer_value_cbor(record.value(main_rank_key), MAIN_RANK_KEY, error);
        if (!main)
            return std::nullopt;
        const auto sub = integer_value_cbor(record.value(sub_rank_key), SUB_RANK_KEY, error);
        if (!sub)
            return std::nullopt;
        const auto id = integer_value_cbor(record.value(skin_id_key), SKIN_ID_KEY, error);
        if (!id)
            return std::nullopt;
        keyed.push_back({*main, *sub, *id, i});
    }
    // Descending on all three keys; stable, so ties keep the response order.
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.main != b.main)
            return a.main > b.main;
        if (a.sub != b.sub)
            return a.sub > b.sub;
        return a.id > b.id;
    });
    QJsonArray ordered;
    for (const Keyed &k : keyed)
        ordered.append(records.at(k.index));
    return ordered;
}

int page_count(int count, int per_page)
{
    if (per_page <= 0)
        return 0;
    return (count + per_page - 1) / per_page;
}

QString decode_text_body(const QByteArray &body, const QByteArray &content_type)
{
    static const QRegularExpression charset_re(QStringLiteral("charset\\s*=\\s*\"?([^\";\\s]+)"),
                                               QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = charset_re.match(QString::fromLatin1(content_type));
    if (match.hasMatch()) {
        if (QTextCodec *codec = QTextCodec::codecForName(match.captured(1).toLatin1()))
            return codec->toUnicode(body);
    }
    return QString::fromUtf8(body);
}

QString skin_id_text(const QJsonObject &record)
{
    const auto it = record.constFind(SKIN_ID_KEY);
    if (it == record.constEnd())
        return QStringLiteral("unknown");
    return json_text(it.value());
}

} // namespace catalog
