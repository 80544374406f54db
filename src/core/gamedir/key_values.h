#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Valve's KeyValues text, as Steam writes its library list and its app
// manifests: quoted keys and values, blocks in braces, "//" comments.
namespace gamedir {

struct KeyValue {
    QString key;
    QString value;                   // a leaf's text
    std::vector<KeyValue> children;  // a block's entries, in file order
    bool is_block = false;

    // The first entry of this block named `name`, ignoring case as Steam
    // does; null when there is none.
    const KeyValue *child(const QString &name) const;
    // That entry's text; empty when it is missing or a block.
    QString text(const QString &name) const;
};

// Reads KeyValues text (UTF-8). It never fails: what cannot be read (a file
// cut short, a stray brace, a key without a value, blocks nested deeper
// than any Steam file) is left out, and everything complete before it is
// kept. A block cut short keeps the entries it had.
std::vector<KeyValue> parse_key_values(const QByteArray &text);

} // namespace gamedir
