#include "core/catalog/search_index.h"

#include "core/catalog/catalog_model.h"

#include <QJsonObject>

namespace catalog {

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
    QJsonArray shown;
    for (const QJsonValue &element : records) {
        const QJsonObject record = element.toObject();
        if (element.isObject() && is_complete(record) && has_order_keys(record))
            shown.append(element);
    }
    // Cannot fail: every record kept has its three ordering keys.
    m_records = order_records(shown, nullptr).value_or(QJsonArray());
    m_keys.clear();
    m_ids.clear();
    m_keys.reserve(static_cast<size_t>(m_records.size()));
    m_ids.reserve(static_cast<size_t>(m_records.size()));
    for (const QJsonValue &element : qAsConst(m_records)) {
        const QJsonObject record = element.toObject();
        m_keys.push_back(search_key(name_of(record.value(QLatin1String("name")))));
        m_ids.push_back(record.contains(QLatin1String("skin_id")) ? skin_id_text(record) : QString());
    }
}

QJsonArray SearchIndex::find(const QString &query) const
{
    QJsonArray found;
    const QString key = search_key(query);
    if (key.isEmpty())
        return found;
    const QString id = query.trimmed();
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i].contains(key) || (!m_ids[i].isEmpty() && m_ids[i] == id))
            found.append(m_records.at(static_cast<int>(i)));
    }
    return found;
}

} // namespace catalog
