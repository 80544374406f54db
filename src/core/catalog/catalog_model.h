#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// Rules of the skin catalogue that need no widget: what counts as an empty
// value, the integer value of a key, the category tree derived from the
// records, the category filter, the completeness test and the display order.
namespace catalog {

// The five keys a record needs before a card is made for it, in the order
// they are checked.
extern const char *const REQUIRED_KEYS[5];

// Missing (undefined), null, false, 0, "", [] and {} are empty.
bool is_empty(const QJsonValue &value);

// A name (MainCategory, subcategory): the text of a non-empty string value;
// any other value, including a number or an object, counts as no name.
QString name_of(const QJsonValue &value);

// Integer value of a key: 0 when empty; numbers truncated toward zero; true
// as 1; a string holding a decimal integer (sign and surrounding blanks
// allowed). Anything else gives nothing and an error text naming `key`.
// Kept as a double so that any JSON number orders correctly.
std::optional<double> integer_value(const QJsonValue &value, QLatin1String key, QString *error);

// The category tree: main categories in display order and, for each main
// category with at least one subcategory, its subcategories in display order.
struct Categories {
    QStringList main_categories;
    QMap<QString, QStringList> subcategories;
};

// Derives the category tree from the records. A weight is the largest value
// among a category's records (0 for an empty one); subcategory weights are
// kept under the key "<main>_<sub>", so two pairs joining to the same text
// share one weight. Sorting is by descending weight, stable. An element that
// is not an object fails, and so does a weight that is not a number (or
// true), such as a non-empty string.
std::optional<Categories> derive_categories(const QJsonArray &records, QString *error);

// A catalogue response body is a JSON array of records. An empty JSON object
// or an empty JSON string stands for an empty list; any other body that is
// not an array, and any element that is not an object, is an error. Each
// body is parsed once and its records walked once.

// The category tree of a catalogue response body (derive_categories).
std::optional<Categories> categories_from_body(const QByteArray &body, QString *error);

// The selection's records of a catalogue response body in display order:
// CategoryFilter, then order_records.
std::optional<QJsonArray> selection_from_body(const QByteArray &body, const QString &category_name,
                                              const std::optional<QString> &subcategory_name, QString *error);

// The elements of a catalogue response body, each still to be checked; and
// the selection of such elements (selection_from_body without the parse).
std::optional<QJsonArray> records_from_body(const QByteArray &body, QString *error);
std::optional<QJsonArray> selection_from_records(const QJsonArray &records, const QString &category_name,
                                                 const std::optional<QString> &subcategory_name, QString *error);

// The category filter: with a subcategory named, a record stays when its
// subcategory is that name (whatever its main category); otherwise when its
// MainCategory is the selected main category. Exact text equality; a missing
// or non-string value never matches.
class CategoryFilter {
public:
    CategoryFilter(const QString &category_name, const std::optional<QString> &subcategory_name);
    bool keeps(const QJsonObject &record) const;

private:
    QLatin1String m_key;
    QString m_wanted;
};

// All five required keys present and non-empty.
bool is_complete(const QJsonObject &record);

// Sorts by descending main weight, then subcategory weight, then skin_id,
// keeping the response order of records equal in all three. Fails when one
// of those keys has no integer value.
std::optional<QJsonArray> order_records(const QJsonArray &records, QString *error);

// How many pages `count` items fill, rounded up.
int page_count(int count, int per_page);

// An HTTP text body decoded with the charset named in its Content-Type, or
// as UTF-8 when none (or an unknown one) is named.
QString decode_text_body(const QByteArray &body, const QByteArray &content_type);

// The record's skin_id as shown in log lines ("unknown" when it has none).
QString skin_id_text(const QJsonObject &record);

} // namespace catalog
