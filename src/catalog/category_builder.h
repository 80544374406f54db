#pragma once

#include "catalog/catalog_model.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace catalog {

// Builds the category tree one record at a time, whichever way the records
// were read. A weight is asked for only when it is used, since a weight that
// cannot be compared fails the load only then.
class CategoryBuilder {
public:
    // `main_rank` and `sub_rank` are callables returning std::optional<double>
    // (nothing, with `error` set, for a weight that cannot be compared).
    template <typename MainRank, typename SubRank>
    bool add(const QString &main_category, MainRank main_rank, const QString &subcategory, SubRank sub_rank,
             QString *error)
    {
        if (main_category.isEmpty())
            return true;
        const std::optional<double> main_weight = main_rank(error);
        if (!main_weight)
            return false;
        auto main_it = m_main_ranks.find(main_category);
        if (main_it == m_main_ranks.end()) {
            m_result.main_categories.append(main_category);
            m_main_ranks.insert(main_category, *main_weight);
        } else if (*main_weight > *main_it) {
            *main_it = *main_weight;
        }

        if (subcategory.isEmpty())
            return true;
        const std::optional<double> sub_weight = sub_rank(error);
        if (!sub_weight)
            return false;
        QHash<QString, int> &slot_of = m_pair_slots[main_category];
        const auto slot_it = slot_of.constFind(subcategory);
        if (slot_it == slot_of.constEnd()) {
            // A new subcategory of this main category: its first record sets
            // the joined key's weight, whatever another pair put there.
            m_result.subcategories[main_category].append(subcategory);
            const QString key = main_category + QLatin1Char('_') + subcategory;
            const auto key_it = m_sub_ranks.constFind(key);
            int slot;
            if (key_it == m_sub_ranks.constEnd()) {
                slot = static_cast<int>(m_weights.size());
                m_weights.push_back(*sub_weight);
                m_sub_ranks.insert(key, slot);
            } else {
                slot = *key_it;
                m_weights[static_cast<size_t>(slot)] = *sub_weight;
            }
            slot_of.insert(subcategory, slot);
        } else if (*sub_weight > m_weights[static_cast<size_t>(*slot_it)]) {
            m_weights[static_cast<size_t>(*slot_it)] = *sub_weight;
        }
        return true;
    }

    // Sorts by descending weight, stably, and hands the tree over.
    Categories finish()
    {
        sort_desc(m_result.main_categories, [&](const QString &name) { return m_main_ranks.value(name, 0.0); });
        for (auto it = m_result.subcategories.begin(); it != m_result.subcategories.end(); ++it) {
            const QHash<QString, int> &slot_of = m_pair_slots[it.key()];
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
    QHash<QString, double> m_main_ranks;
    // Subcategory weights live under the joined key "<main>_<sub>", so two
    // pairs that join to the same text share one weight. Each pair remembers
    // the slot of its joined key, so repeated records need no joining.
    QHash<QString, int> m_sub_ranks;
    std::vector<double> m_weights;
    QHash<QString, QHash<QString, int>> m_pair_slots;
};

} // namespace catalog
