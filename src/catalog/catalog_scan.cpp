#include "catalog/catalog_scan.h"

#include "catalog/category_builder.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <cstring>

namespace catalog::scan {

namespace {

// Larger bodies go the general way; they are far beyond any real catalogue.
constexpr int MAX_BODY = 64 * 1024 * 1024;
// Values nested deeper than this inside a record go the general way.
constexpr int MAX_DEPTH = 64;

// One value of a key the caller asked for, as found in the text.
struct Field {
    enum Kind { Missing, String, Number, True, False, Null, EmptyContainer, Container };
    Kind kind = Missing;
    const char *begin = nullptr;  // string contents (no quotes) or number text
    const char *end = nullptr;
    bool escaped = false;         // the string holds escape sequences
    double number = 0;
};

bool is_noncharacter(uint code_point)
{
    return (code_point >= 0xFDD0 && code_point <= 0xFDEF) || (code_point & 0xFFFE) == 0xFFFE;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hex4(const char *p, const char *end, uint *out)
{
    if (end - p < 4)
        return false;
    uint value = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = hex_digit(p[i]);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<uint>(d);
    }
    *out = value;
    return true;
}

// A strict reader of JSON text. It refuses more than a JSON parser must
// (see the header): refusing only ever costs the general path.
class Reader {
public:
    explicit Reader(const QByteArray &body)
        : p(body.constData()), end(body.constData() + body.size())
    {
    }

    const char *p;
    const char *const end;

    void ws()
    {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
    }
    bool at(char c) const { return p < end && *p == c; }

    // At the opening quote; leaves `p` after the closing one.
    bool string(Field *field)
    {
        ++p;
        const char *const begin = p;
        bool escaped = false;
        while (p < end) {
            const auto c = static_cast<unsigned char>(*p);
            if (c == '"') {
                if (field) {
                    field->kind = Field::String;
                    field->begin = begin;
                    field->end = p;
                    field->escaped = escaped;
                }
                ++p;
                return true;
            }
            if (c == '\\') {
                escaped = true;
                if (!escape())
                    return false;
            } else if (c < 0x20) {
                return false;
            } else if (c < 0x80) {
                ++p;
            } else if (!utf8()) {
                return false;
            }
        }
        return false;
    }

    // At a '-' or digit: strict JSON number grammar, finite, no underflow.
    bool number(Field *field)
    {
        const char *const begin = p;
        bool plain_integer = true;
        bool nonzero_digit = false;
        if (at('-'))
            ++p;
        if (at('0')) {
            ++p;
        } else if (p < end && *p >= '1' && *p <= '9') {
            while (p < end && *p >= '0' && *p <= '9')
                ++p;
            nonzero_digit = true;
        } else {
            return false;
        }
        if (at('.')) {
            plain_integer = false;
            ++p;
            if (!(p < end && *p >= '0' && *p <= '9'))
                return false;
            while (p < end && *p >= '0' && *p <= '9') {
                nonzero_digit = nonzero_digit || *p != '0';
                ++p;
            }
        }
        if (at('e') || at('E')) {
            plain_integer = false;
            ++p;
            if (at('+') || at('-'))
                ++p;
            if (!(p < end && *p >= '0' && *p <= '9'))
                return false;
            while (p < end && *p >= '0' && *p <= '9')
                ++p;
        }
        // Short plain integers are exact; anything else is converted here so
        // that an out-of-range number is never let through.
        const QByteArray text = QByteArray::fromRawData(begin, static_cast<int>(p - begin));
        double value;
        if (plain_integer && text.size() <= 18) {
            value = static_cast<double>(text.toLongLong());
        } else {
            bool ok = false;
            value = text.toDouble(&ok);
            if (!ok || !std::isfinite(value) || (value == 0 && nonzero_digit)
                || (value != 0 && std::fabs(value) < 1e-300))
                return false;
            if (plain_integer) {
                bool fits = false;
                const qlonglong whole = text.toLongLong(&fits);
                if (fits)
                    value = static_cast<double>(whole);
            }
        }
        if (field) {
            field->kind = Field::Number;
            field->begin = begin;
            field->end = p;
            field->number = value;
        }
        return true;
    }

    bool literal(const char *word, Field::Kind kind, Field *field)
    {
        const auto length = static_cast<ptrdiff_t>(std::strlen(word));
        if (end - p < length || std::memcmp(p, word, static_cast<size_t>(length)) != 0)
            return false;
        p += length;
        if (field)
            field->kind = kind;
        return true;
    }

    // Any value; `field` (may be null) receives what it is.
    bool value(int depth, Field *field)
    {
        if (p >= end || depth > MAX_DEPTH)
            return false;
        switch (*p) {
        case '"':
            return string(field);
        case '{':
        case '[':
            return container(depth, field);
        case 't':
            return literal("true", Field::True, field);
        case 'f':
            return literal("false", Field::False, field);
        case 'n':
            return literal("null", Field::Null, field);
        default:
            return number(field);
        }
    }

    // An object whose members named in `keys` (count `n`) fill `fields`.
    // Escaped keys and a repeated wanted key are refused.
    bool object(int depth, const char *const *keys, const int *key_lengths, int n, Field *fields)
    {
        ++p;
        ws();
        if (at('}')) {
            ++p;
            return true;
        }
        while (true) {
            if (!at('"'))
                return false;
            Field key;
            if (!string(&key) || key.escaped)
                return false;
            ws();
            if (!at(':'))
                return false;
            ++p;
            ws();
            Field *target = nullptr;
            const auto key_length = static_cast<int>(key.end - key.begin);
            for (int i = 0; i < n; ++i) {
                if (key_length == key_lengths[i] && std::memcmp(key.begin, keys[i], static_cast<size_t>(key_length)) == 0) {
                    if (fields[i].kind != Field::Missing)
                        return false;
                    target = &fields[i];
                    break;
                }
            }
            if (!value(depth + 1, target))
                return false;
            const After next = after_item('}');
            if (next != After::More)
                return next == After::Done;
        }
    }

    // After an element of an object or array: a comma (more follow), the
    // closing bracket (done), or anything else (refused).
    enum class After { More, Done, Bad };
    After after_item(char closer)
    {
        ws();
        if (at(',')) {
            ++p;
            ws();
            return After::More;
        }
        if (at(closer)) {
            ++p;
            return After::Done;
        }
        return After::Bad;
    }

private:
    bool container(int depth, Field *field)
    {
        const char *const begin = p;
        if (*p == '{') {
            if (!object(depth, nullptr, nullptr, 0, nullptr))
                return false;
        } else {
            ++p;
            ws();
            if (at(']')) {
                ++p;
            } else {
                After next = After::More;
                while (next == After::More) {
                    if (!value(depth + 1, nullptr))
                        return false;
                    next = after_item(']');
                }
                if (next == After::Bad)
                    return false;
            }
        }
        if (field) {
            // Empty when nothing but blanks stands between the brackets.
            const char *q = begin + 1;
            while (q < p && (*q == ' ' || *q == '\t' || *q == '\n' || *q == '\r'))
                ++q;
            field->kind = q == p - 1 ? Field::EmptyContainer : Field::Container;
        }
        return true;
    }

    // At a backslash inside a string. Lone surrogates, noncharacters and NUL
    // are refused.
    bool escape()
    {
        ++p;
        if (p >= end)
            return false;
        switch (*p) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            ++p;
            return true;
        case 'u':
            break;
        default:
            return false;
        }
        uint unit = 0;
        if (!hex4(p + 1, end, &unit))
            return false;
        p += 5;
        uint code_point = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint low = 0;
            if (end - p < 6 || p[0] != '\\' || p[1] != 'u' || !hex4(p + 2, end, &low) || low < 0xDC00
                || low > 0xDFFF)
                return false;
            p += 6;
            code_point = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
        return code_point != 0 && !is_noncharacter(code_point);
    }

    // At a byte >= 0x80: one well-formed UTF-8 sequence (no overlong form,
    // no surrogate, at most U+10FFFF, no noncharacter).
    bool utf8()
    {
        const auto *u = reinterpret_cast<const unsigned char *>(p);
        const auto left = end - p;
        const unsigned char c = u[0];
        int length;
        unsigned char low = 0x80, high = 0xBF;
        uint code_point;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code_point = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code_point = c & 0x0F;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code_point = c & 0x07;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (left < length || u[1] < low || u[1] > high)
            return false;
        code_point = (code_point << 6) | (u[1] & 0x3F);
        for (int i = 2; i < length; ++i) {
            if (u[i] < 0x80 || u[i] > 0xBF)
                return false;
            code_point = (code_point << 6) | (u[i] & 0x3F);
        }
        if (is_noncharacter(code_point))
            return false;
        p += length;
        return true;
    }
};

// The text of a string field, escapes resolved (the reader checked them).
QString text_of(const Field &field)
{
    if (!field.escaped)
        return QString::fromUtf8(field.begin, static_cast<int>(field.end - field.begin));
    QString out;
    const char *p = field.begin;
    while (p < field.end) {
        const char *run = p;
        while (p < field.end && *p != '\\')
            ++p;
        out += QString::fromUtf8(run, static_cast<int>(p - run));
        if (p >= field.end)
            break;
        ++p;
        switch (*p) {
        case 'b': out += QLatin1Char('\b'); ++p; break;
        case 'f': out += QLatin1Char('\f'); ++p; break;
        case 'n': out += QLatin1Char('\n'); ++p; break;
        case 'r': out += QLatin1Char('\r'); ++p; break;
        case 't': out += QLatin1Char('\t'); ++p; break;
        case 'u': {
            uint unit = 0;
            hex4(p + 1, field.end, &unit);
            p += 5;
            out += QChar(static_cast<ushort>(unit));
            break;
        }
        default: out += QLatin1Char(*p); ++p; break;  // " \ /
        }
    }
    return out;
}

// A name: the text of a string, anything else none.
QString name_of(const Field &field)
{
    return field.kind == Field::String ? text_of(field) : QString();
}

// A weight that can be compared as it stands; nothing for a non-empty
// string or container, which the general path then reports.
std::optional<double> weight_of(const Field &field)
{
    switch (field.kind) {
    case Field::Number:
        return field.number;
    case Field::True:
        return 1.0;
    case Field::String:
        if (field.begin != field.end)
            return std::nullopt;
        return 0.0;
    case Field::Container:
        return std::nullopt;
    default:
        return 0.0;
    }
}

// Walks the top-level array of records, handing each record's wanted
// fields and its bytes to `visit`, which may stop the walk by returning
// false. True when the whole body was read.
template <int N, typename Visit>
bool walk(const QByteArray &body, const char *const (&keys)[N], Visit visit)
{
    if (body.size() > MAX_BODY)
        return false;
    int key_lengths[N];
    for (int i = 0; i < N; ++i)
        key_lengths[i] = static_cast<int>(std::strlen(keys[i]));
    Reader reader(body);
    reader.ws();
    if (!reader.at('['))
        return false;
    ++reader.p;
    reader.ws();
    if (reader.at(']')) {
        ++reader.p;
    } else {
        Reader::After next = Reader::After::More;
        while (next == Reader::After::More) {
            if (!reader.at('{'))
                return false;
            const char *const begin = reader.p;
            Field fields[N];
            if (!reader.object(1, keys, key_lengths, N, fields) || !visit(fields, begin, reader.p))
                return false;
            next = reader.after_item(']');
        }
        if (next == Reader::After::Bad)
            return false;
    }
    reader.ws();
    return reader.p == reader.end;
}

} // namespace

std::optional<Categories> categories(const QByteArray &body)
{
    static const char *const keys[] = {"MainCategory", "MainCategory_ranking_id", "subcategory",
                                       "subcategory_ranking_id"};
    CategoryBuilder builder;
    const bool read = walk(body, keys, [&](const Field *fields, const char *, const char *) {
        QString unused;
        return builder.add(
            name_of(fields[0]), [&](QString *) { return weight_of(fields[1]); }, name_of(fields[2]),
            [&](QString *) { return weight_of(fields[3]); }, &unused);
    });
    if (!read)
        return std::nullopt;
    return builder.finish();
}

std::optional<QJsonArray> selection(const QByteArray &body, const QString &category_name,
                                    const std::optional<QString> &subcategory_name)
{
    static const char *const by_main[] = {"MainCategory"};
    static const char *const by_sub[] = {"subcategory"};
    const bool by_subcategory = subcategory_name && !subcategory_name->isEmpty();
    const QString wanted = by_subcategory ? *subcategory_name : category_name;
    const QByteArray wanted_utf8 = wanted.toUtf8();

    QByteArray kept("[");
    auto visit = [&](const Field *fields, const char *begin, const char *end) {
        const Field &field = fields[0];
        if (field.kind != Field::String)
            return true;
        const bool match = field.escaped
            ? text_of(field) == wanted
            : (field.end - field.begin == wanted_utf8.size()
               && std::memcmp(field.begin, wanted_utf8.constData(), static_cast<size_t>(wanted_utf8.size())) == 0);
        if (match) {
            if (kept.size() > 1)
                kept += ',';
            kept.append(begin, static_cast<int>(end - begin));
        }
        return true;
    };
    const bool read = by_subcategory ? walk(body, by_sub, visit) : walk(body, by_main, visit);
    if (!read)
        return std::nullopt;
    kept += ']';
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(kept, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    return doc.array();
}

} // namespace catalog::scan
