#include "core/catalog/search_index.h"

#include "core/catalog/catalog_model.h"

#include <QJsonObject>
#include <QLocale>
#include <QRunnable>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

namespace catalog {

namespace {

// Freeing a whole catalogue (some 20,000 records) takes milliseconds that
// the window would feel under a key press: the last reference goes on a
// pool thread. Nothing else may still share `doomed`'s data.
template <typename T>
void release_elsewhere(T &&doomed)
{
    auto holder = std::make_shared<std::decay_t<T>>(std::forward<T>(doomed));
    QThreadPool::globalInstance()->start(QRunnable::create([holder = std::move(holder)]() mutable { holder.reset(); }));
}

} // namespace

QString search_key(const QString &text)
{
    // Case folding can undo a composition, so the folded text is brought
    // back to NFKC before the white space goes.
    const QString folded =
        text.normalized(QString::NormalizationForm_KC).toCaseFolded().normalized(QString::NormalizationForm_KC);
    QString key;
    key.reserve(folded.size());
    for (const QChar c : folded) {
        if (!c.isSpace())
            key.append(c);
    }
    return key;
}

void SearchIndex::rebuild(const QJsonArray &records)
{
    m_pending.reset();
    // Every list answer carries the whole catalogue, mostly unchanged:
    // comparing costs a fraction of indexing it again.
    if (records == m_source)
        return;
    release_elsewhere(std::exchange(m_source, records));
    release_elsewhere(std::exchange(m_entries, {}));
    struct Keyed {
        OrderKey order;
        Entry entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(records.size()));
    for (int i = 0; i < records.size(); ++i) {
        const QJsonValue element = records.at(i);
        if (!element.isObject())
            continue;
        const QJsonObject record = element.toObject();
        if (!is_complete(record))
            continue;
        const std::optional<OrderKey> order = order_key(record, nullptr);
        if (!order)
            continue;
        const QJsonValue id = record.value(QLatin1String("skin_id"));
        keyed.push_back({*order,
                         {i, search_key(name_of(record.value(QLatin1String("name")))),
                          id.isString() ? id.toString() : QString(),
                          id.isDouble() ? id.toDouble() : std::numeric_limits<double>::quiet_NaN()}});
    }
    // The order of the category lists; stable, so ties keep the catalogue's.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed &a, const Keyed &b) { return comes_before(a.order, b.order); });
    m_entries.clear();
    m_entries.reserve(keyed.size());
    for (Keyed &k : keyed)
        m_entries.push_back(std::move(k.entry));
}

void SearchIndex::set_catalogue(const QJsonArray &records)
{
    m_pending = records;
}

void SearchIndex::refresh()
{
    if (!m_pending)
        return;
    QJsonArray records = *std::exchange(m_pending, std::nullopt);
    rebuild(records);
    // The copy the index did not keep, when it was the same as before.
    release_elsewhere(std::move(records));
}

QJsonArray SearchIndex::find(const QString &query)
{
    refresh();
    QJsonArray found;
    const QString key = search_key(query);
    if (key.isEmpty())
        return found;
    // A numeric skin_id reads as its shortest form ("4", never "4.0"), as
    // the log shows it: only a query written that way can be one.
    const QString id = query.trimmed();
    bool numeric = false;
    const double number = id.toDouble(&numeric);
    numeric = numeric && QString::number(number, 'g', QLocale::FloatingPointShortest) == id;
    for (const Entry &entry : m_entries) {
        if (entry.key.contains(key) || (!entry.id_text.isEmpty() && entry.id_text == id)
            || (numeric && entry.id_number == number && std::signbit(entry.id_number) == std::signbit(number)))
            found.append(m_source.at(entry.index));
    }
    return found;
}

} // namespace catalog
