#include "catalog/catalog_model.h"

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

template <typename Weight>
void sort_by_weight_desc(QStringList &names, Weight weight)
{
    std::vector<std::pair<double, QString>> keyed;
    keyed.reserve(static_cast<size_t>(names.size()));
    for (const QString &name : names)
        keyed.emplace_back(weight(name), name);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    for (int i = 0; i < names.size(); ++i)
        names[i] = keyed[static_cast<size_t>(i)].second;
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
    for (int i = 0; i < records.size(); ++i) {
        if (!records.at(i).isObject()) {
            if (error)
                *error = QStringLiteral("第 %1 项皮肤数据不是对象: %2").arg(i + 1).arg(json_text(records.at(i)));
            return std::nullopt;
        }
    }
    return records;
}

std::optional<Categories> derive_categories(const QJsonArray &records, QString *error)
{
    static const QString main_key = QStringLiteral("MainCategory");
    static const QString sub_key = QStringLiteral("subcategory");

    Categories result;
    QHash<QString, double> main_category_ranks;
    QHash<QString, double> subcategory_ranks;

    for (const QJsonValue &element : records) {
        const QJsonObject record = element.toObject();
        const QString main_category = name_of(record.value(main_key));
        if (main_category.isEmpty())
            continue;
        const std::optional<double> main_rank = weight_of(record.value(MAIN_RANK_KEY), MAIN_RANK_KEY, error);
        if (!main_rank)
            return std::nullopt;

        auto main_it = main_category_ranks.find(main_category);
        if (main_it == main_category_ranks.end()) {
            result.main_categories.append(main_category);
            main_category_ranks.insert(main_category, *main_rank);
        } else if (*main_rank > *main_it) {
            *main_it = *main_rank;
        }

        const QString subcategory = name_of(record.value(sub_key));
        if (subcategory.isEmpty())
            continue;
        const std::optional<double> sub_rank = weight_of(record.value(SUB_RANK_KEY), SUB_RANK_KEY, error);
        if (!sub_rank)
            return std::nullopt;

        QStringList &names = result.subcategories[main_category];
        const QString key = main_category + QLatin1Char('_') + subcategory;
        if (!names.contains(subcategory)) {
            names.append(subcategory);
            subcategory_ranks.insert(key, *sub_rank);
        } else {
            auto sub_it = subcategory_ranks.find(key);
            if (sub_it != subcategory_ranks.end() && *sub_rank > *sub_it)
                *sub_it = *sub_rank;
        }
    }

    sort_by_weight_desc(result.main_categories,
                        [&](const QString &name) { return main_category_ranks.value(name, 0.0); });
    for (auto it = result.subcategories.begin(); it != result.subcategories.end(); ++it) {
        const QString prefix = it.key() + QLatin1Char('_');
        sort_by_weight_desc(it.value(),
                            [&](const QString &name) { return subcategory_ranks.value(prefix + name, 0.0); });
    }
    return result;
}

QJsonArray filter_records(const QJsonArray &records, const QString &category_name,
                          const std::optional<QString> &subcategory_name)
{
    const bool by_subcategory = subcategory_name && !subcategory_name->isEmpty();
    const QString key = by_subcategory ? QStringLiteral("subcategory") : QStringLiteral("MainCategory");
    const QString wanted = by_subcategory ? *subcategory_name : category_name;
    QJsonArray kept;
    for (const QJsonValue &element : records) {
        const QJsonValue value = element.toObject().value(key);
        if (value.isString() && value.toString() == wanted)
            kept.append(element);
    }
    return kept;
}

bool is_complete(const QJsonObject &record)
{
    for (const char *key : REQUIRED_KEYS) {
        if (is_empty(record.value(QLatin1String(key))))
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
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(records.size()));
    for (int i = 0; i < records.size(); ++i) {
        const QJsonObject record = records.at(i).toObject();
        const auto main = integer_value(record.value(MAIN_RANK_KEY), MAIN_RANK_KEY, error);
        if (!main)
            return std::nullopt;
        const auto sub = integer_value(record.value(SUB_RANK_KEY), SUB_RANK_KEY, error);
        if (!sub)
            return std::nullopt;
        const auto id = integer_value(record.value(SKIN_ID_KEY), SKIN_ID_KEY, error);
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
