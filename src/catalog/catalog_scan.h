#pragma once

#include "catalog/catalog_model.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>

#include <optional>

// Quick paths over a raw catalogue body for catalogues of tens of thousands
// of records: one validating pass over the bytes reads only the keys needed,
// instead of building and searching every record. They accept only a plain,
// strictly valid JSON array of objects and give nothing for anything else
// (an odd number, an escaped key, a repeated key that matters, invalid text,
// a weight that cannot be compared ...): the caller then takes the general
// path, which gives the same answer and words any error.
namespace catalog::scan {

// The category tree, as derive_categories gives it.
std::optional<Categories> categories(const QByteArray &body);

// The records kept by the category filter, in response order, parsed from
// their own bytes.
std::optional<QJsonArray> selection(const QByteArray &body, const QString &category_name,
                                    const std::optional<QString> &subcategory_name);

} // namespace catalog::scan
