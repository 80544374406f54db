#include "core/gamedir/key_values.h"

namespace gamedir {

namespace {

// Steam's files nest three or four levels; deeper input is not Steam's.
constexpr int MAX_DEPTH = 32;

class Reader {
public:
    explicit Reader(const QByteArray &text) : m_text(text) {}

    std::vector<KeyValue> read_all()
    {
        std::vector<KeyValue> entries;
        read_block(0, entries);
        return entries;
    }

private:
    enum class Token { end, open, close, text };

    // Reads entries into `entries` up to the block's closing brace (true)
    // or the end of the input (false). At the top level a stray closing
    // brace is passed over.
    bool read_block(int depth, std::vector<KeyValue> &entries)
    {
        for (;;) {
            QString key;
            switch (next(key)) {
            case Token::end:
                return false;
            case Token::close:
                if (depth > 0)
                    return true;
                continue;
            case Token::open: {
                // A block without a key: read past it, keep nothing.
                std::vector<KeyValue> ignored;
                if (depth + 1 >= MAX_DEPTH || !read_block(depth + 1, ignored)) {
                    m_stopped = true;
                    return false;
                }
                continue;
            }
            case Token::text:
                break;
            }

            KeyValue entry;
            entry.key = key;
            switch (next(entry.value)) {
            case Token::end:
                return false;  // a key without its value is dropped
            case Token::close:
                if (depth > 0)
                    return true;
                continue;
            case Token::text:
                entries.push_back(std::move(entry));
                continue;
            case Token::open:
                break;
            }
            entry.is_block = true;
            if (depth + 1 >= MAX_DEPTH) {
                m_stopped = true;
                return false;
            }
            const bool closed = read_block(depth + 1, entry.children);
            entries.push_back(std::move(entry));
            if (!closed || m_stopped)
                return false;
        }
    }

    // The next token; a text token's content goes to `text`. Conditions
    // ("[$WIN32]") are passed over. A quoted or bare text that the input
    // cuts short counts as the end.
    Token next(QString &text)
    {
        if (m_stopped)
            return Token::end;
        for (;;) {
            skip_space_and_comments();
            if (m_pos >= m_text.size())
                return Token::end;
            const char c = m_text.at(m_pos);
            if (c == '{') {
                ++m_pos;
                return Token::open;
            }
            if (c == '}') {
                ++m_pos;
                return Token::close;
            }
            if (c == '[') {
                const int close = m_text.indexOf(']', m_pos);
                if (close < 0)
                    return Token::end;
                m_pos = close + 1;
                continue;
            }
            if (c == '"')
                return read_quoted(text) ? Token::text : Token::end;
            return read_bare(text) ? Token::text : Token::end;
        }
    }

    void skip_space_and_comments()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text.at(m_pos);
            if (static_cast<unsigned char>(c) <= ' ') {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text.at(m_pos + 1) == '/') {
                const int line_end = m_text.indexOf('\n', m_pos);
                m_pos = line_end < 0 ? m_text.size() : line_end + 1;
            } else {
                return;
            }
        }
    }

    bool read_quoted(QString &text)
    {
        QByteArray bytes;
        for (int pos = m_pos + 1; pos < m_text.size(); ++pos) {
            const char c = m_text.at(pos);
            if (c == '"') {
                m_pos = pos + 1;
                text = QString::fromUtf8(bytes);
                return true;
            }
            if (c == '\\' && pos + 1 < m_text.size()) {
                const char escaped = m_text.at(++pos);
                switch (escaped) {
                case '\\': bytes += '\\'; break;
                case '"': bytes += '"'; break;
                case 'n': bytes += '\n'; break;
                case 't': bytes += '\t'; break;
                default:
                    // Not an escape Steam writes: kept as it stands.
                    bytes += '\\';
                    bytes += escaped;
                }
                continue;
            }
            bytes += c;
        }
        m_pos = m_text.size();
        return false;
    }

    bool read_bare(QString &text)
    {
        int end = m_pos;
        while (end < m_text.size()) {
            const char c = m_text.at(end);
            if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '{' || c == '}')
                break;
            ++end;
        }
        // A bare word the input ends in may be cut short.
        if (end >= m_text.size()) {
            m_pos = end;
            return false;
        }
        text = QString::fromUtf8(m_text.mid(m_pos, end - m_pos));
        m_pos = end;
        return true;
    }

    const QByteArray &m_text;
    int m_pos = 0;
    bool m_stopped = false;
};

} // namespace

const KeyValue *KeyValue::child(const QString &name) const
{
    for (const KeyValue &entry : children) {
        if (entry.key.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

QString KeyValue::text(const QString &name) const
{
    const KeyValue *entry = child(name);
    return entry && !entry->is_block ? entry->value : QString();
}

std::vector<KeyValue> parse_key_values(const QByteArray &text)
{
    return Reader(text).read_all();
}

} // namespace gamedir
