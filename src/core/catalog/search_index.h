#pragma once

#include <QJsonArray>
#include <QString>

#include <optional>
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
    // order). The same catalogue again is kept as it is.
    void rebuild(const QJsonArray &records);

    // Takes `records` for the index without the work: every list answer
    // brings the catalogue, and it is indexed only once a search needs it
    // (refresh, find), so the answer's page is not held up.
    void set_catalogue(const QJsonArray &records);
    // Indexes the catalogue set last, when that is not done yet.
    void refresh();

    // The records whose name contains the query in search form, or whose
    // skin_id is the query (trimmed) as written in the catalogue, in display
    // order. A query with nothing but white space finds nothing. Refreshes
    // the index first.
    QJsonArray find(const QString &query);

    int size() const { return static_cast<int>(m_entries.size()); }

private:
    struct Entry {
        int index;          // into m_source
        QString key;        // the name in search form
        QString id_text;    // a skin_id given as text, else empty
        double id_number;   // a skin_id given as a number, else NaN
    };

    QJsonArray m_source;
    std::vector<Entry> m_entries;  // display order
    std::optional<QJsonArray> m_pending;
};

} // namespace catalog
