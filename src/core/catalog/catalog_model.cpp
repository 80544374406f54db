#include "core/catalog/catalog_model.h"

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

const QLatin1String MAIN_KEY("MainCategory");
const QLatin1String SUB_KEY("subcategory");
const QLatin1String MAIN_RANK_KEY("MainCategory_ranking_id");
const QLatin1String SUB_RANK_KEY("subcategory_ranking_id");
const QLatin1String SKIN_ID_KEY("skin_id");

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
    if (value.isDouble())
        return value.toDouble();
    if (is_empty(value))
        return 0.0;
    if (value.isBool())
        return 1.0;
    return std::nullopt;
}

// A ranking weight, used as the number it is. A string, array or object
// cannot be compared with numbers.
std::optional<double> weight_of(const QJsonValue &value, QLatin1String key, QString *error)
{
    if (const auto number = plain_number(value))
        return number;
    if (error)
        *error = QStringLiteral("%1 的值不是数字，无法比较: %2").arg(key, json_text(value));
    return std::nullopt;
}

// The catalogue body as the array of its elements, each still to be checked.
// An empty JSON object or an empty JSON string stands for an empty list.
std::optional<QJsonArray> parse_body(const QByteArray &body, QString *error)
{
    QJsonParseError parse_error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parse_error);
    if (parse_error.error != QJsonParseError::NoError) {
        // A bare JSON value cannot be a document; "" stands for no records.
        // A broken array or object is not worth a second parse.
        const auto first = std::find_if(body.cbegin(), body.cend(),
                                        [](char c) { return c != ' ' && c != '\t' && c != '\n' && c != '\r'; });
        const bool bare_value = first != body.cend() && *first != '[' && *first != '{';
        QJsonParseError wrapped_error;
        const QJsonDocument wrapped =
            bare_value ? QJsonDocument::fromJson("[" + body + "]", &wrapped_error) : QJsonDocument();
        if (bare_value && wrapped_error.error == QJsonParseError::NoError && wrapped.array().size() == 1) {
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
    return doc.array();
}

// Element `index` (0-based) of the catalogue as a record; false, with the
// error text, when it is not an object.
bool check_record(const QJsonValue &element, int index, QString *error)
{
    if (element.isObject())
        return true;
    if (error)
        *error = QStringLiteral("第 %1 项皮肤数据不是对象: %2").arg(index + 1).arg(json_text(element));
    return false;
}

// Collects the category tree one record at a time and sorts it at the end.
class CategoryCollector {
public:
    struct Main {
        double weight;
        // Each of its subcategories with the slot of its joined key's weight,
        // so repeated records need no joining.
        QHash<QString, int> sub_slots;
    };

    // Enters a record's main category; the entry returned takes the record's
    // subcategory.
    Main &add_main(const QString &name, double weight)
    {
        const auto it = m_mains.find(name);
        if (it == m_mains.end()) {
            m_result.main_categories.append(name);
            return *m_mains.insert(name, Main{weight, {}});
        }
        if (weight > it->weight)
            it->weight = weight;
        return *it;
    }

    void add_sub(Main &main, const QString &main_name, const QString &subcategory, double weight)
    {
        const auto slot_it = main.sub_slots.constFind(subcategory);
        if (slot_it != main.sub_slots.constEnd()) {
            double &known = m_weights[static_cast<size_t>(*slot_it)];
            if (weight > known)
                known = weight;
            return;
        }
        // A new subcategory of this main category: its first record sets the
        // joined key's weight, whatever another pair put there.
        m_result.subcategories[main_name].append(subcategory);
        const QString key = main_name + QLatin1Char('_') + subcategory;
        const auto key_it = m_sub_ranks.constFind(key);
        int slot;
        if (key_it == m_sub_ranks.constEnd()) {
            slot = static_cast<int>(m_weights.size());
            m_weights.push_back(weight);
            m_sub_ranks.insert(key, slot);
        } else {
            slot = *key_it;
            m_weights[static_cast<size_t>(slot)] = weight;
        }
        main.sub_slots.insert(subcategory, slot);
    }

    // Sorts by descending weight, stably, and hands the tree over.
    Categories finish()
    {
        sort_desc(m_result.main_categories, [&](const QString &name) { return m_mains.value(name).weight; });
        for (auto it = m_result.subcategories.begin(); it != m_result.subcategories.end(); ++it) {
            const QHash<QString, int> &slot_of = m_mains[it.key()].sub_slots;
            sort_desc(it.value(), [&](const QString &name) { return m_weights[static_cast<size_t>(slot_of.value(name))]; });
        }
        return std::move(m_result);
    }

private:
    template <typename Weight>
    static void sort_desc(QStringList &names, Weight weight)
    {
        std::vector<std::pair<double, QString>> keyed;
        keyed.reserve(static_cast<size_t>(names.size()));
        for (const QString &name : names)
            keyed.emplace_back(weight(name), name);
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
        for (int i = 0; i < names.size(); ++i)
            names[i] = keyed[static_cast<size_t>(i)].second;
    }

    Categories m_result;
    QHash<QString, Main> m_mains;
    // Subcategory weights live under the joined key "<main>_<sub>", so two
    // pairs that join to the same text share one weight.
    QHash<QString, int> m_sub_ranks;
    std::vector<double> m_weights;
};

// One record's share of the category tree. A weight is read only when its
// name is there: an unused weight that cannot be compared does no harm.
bool collect(CategoryCollector &collector, const QJsonObject &record, QString *error)
{
    const QString main_category = name_of(record.value(MAIN_KEY));
    if (main_category.isEmpty())
        return true;
    const auto main_weight = weight_of(record.value(MAIN_RANK_KEY), MAIN_RANK_KEY, error);
    if (!main_weight)
        return false;
    CategoryCollector::Main &main = collector.add_main(main_category, *main_weight);

    const QString subcategory = name_of(record.value(SUB_KEY));
    if (subcategory.isEmpty())
        return true;
    const auto sub_weight = weight_of(record.value(SUB_RANK_KEY), SUB_RANK_KEY, error);
    if (!sub_weight)
        return false;
    collector.add_sub(main, main_category, subcategory, *sub_weight);
    return true;
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

std::optional<double> integer_value(const QJsonValue &value, QLatin1String key, QString *error)
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

std::optional<Categories> derive_categories(const QJsonArray &records, QString *error)
{
    // Every element must be a record before a weight error counts, so the
    // walk goes on checking them after one.
    CategoryCollector collector;
    QString weight_error;
    bool weights_ok = true;
    for (int i = 0; i < records.size(); ++i) {
        const QJsonValue element = records.at(i);
        if (!check_record(element, i, error))
            return std::nullopt;
        if (weights_ok)
            weights_ok = collect(collector, element.toObject(), &weight_error);
    }
    if (!weights_ok) {
        if (error)
            *error = weight_error;
        return std::nullopt;
    }
    return collector.finish();
}

std::optional<Categories> categories_from_body(const QByteArray &body, QString *error)
{
    const std::optional<QJsonArray> records = parse_body(body, error);
    if (!records)
        return std::nullopt;
    return derive_categories(*records, error);
}

std::optional<QJsonArray> records_from_body(const QByteArray &body, QString *error)
{
    return parse_body(body, error);
}

std::optional<QJsonArray> selection_from_body(const QByteArray &body, const QString &category_name,
                                              const std::optional<QString> &subcategory_name, QString *error)
{
    const std::optional<QJsonArray> records = parse_body(body, error);
    if (!records)
        return std::nullopt;
    return selection_from_records(*records, category_name, subcategory_name, error);
}

std::optional<QJsonArray> selection_from_records(const QJsonArray &records, const QString &category_name,
                                                 const std::optional<QString> &subcategory_name, QString *error)
{
    const CategoryFilter filter(category_name, subcategory_name);
    QJsonArray kept;
    for (int i = 0; i < records.size(); ++i) {
        const QJsonValue element = records.at(i);
        if (!check_record(element, i, error))
            return std::nullopt;
        if (filter.keeps(element.toObject()))
            kept.append(element);
    }
    return order_records(kept, error);
}

CategoryFilter::CategoryFilter(const QString &category_name, const std::optional<QString> &subcategory_name)
    : m_key(subcategory_name && !subcategory_name->isEmpty() ? SUB_KEY : MAIN_KEY),
      m_wanted(subcategory_name && !subcategory_name->isEmpty() ? *subcategory_name : category_name)
{
}

bool CategoryFilter::keeps(const QJsonObject &record) const
{
    const QJsonValue value = record.value(m_key);
    return value.isString() && value.toString() == m_wanted;
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
