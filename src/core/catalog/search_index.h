#pragma once

#include <QJsonArray>
#include <QString>

#include <vector>

namespace catalog {

// The form a name and a query are compared in: compatibility forms folded
// (NFKC, so full-width "ＡＢＣ" is "ABC"), case folded, every white space
// removed.
QString search_key(const QString &text);

// Finding a skin by name in the whole catalogue, without a request. Holds
// the records a list could show (complete ones, in the order the category
// lists use) with their names already in search form, so a query is one
// pass over plain strings.
class SearchIndex {
public:
    SearchIndex() = default;
    explicit SearchIndex(const QJsonArray &records) { rebuild(records); }

    // Replaces the index with `records` (any order; elements that are not
    // complete records are left out, and so is a record the lists could not
    // order).
    void rebuild(const QJsonArray &records);

    // The records whose name contains the query in search form, or whose
    // skin_id is the query (trimmed), in display order. A query with
    // nothing but white space finds nothing.
    QJsonArray find(const QString &query) const;

    int size() const { return static_cast<int>(m_keys.size()); }

private:
    QJsonArray m_records;          // display order
    std::vector<QString> m_keys;   // search form of each record's name
    std::vector<QString> m_ids;    // each record's skin_id as text
};

} // namespace catalog
