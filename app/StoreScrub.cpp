#include "StoreScrub.h"

#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace
{
// Type numbers as the store writes them (Qt 4's, which its reader maps):
// bool, int, uint, long long, unsigned long long, double, char, string, byte
// array, rect, rect F, size, size F, point, point F, colour, float.
constexpr quint32 kSafeTypes[] = {1, 2, 3, 4, 5, 6, 7, 10, 12, 19, 20, 21, 22, 25, 26, 67, 135};

constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'},  {'n', '\n'},   {'r', '\r'}, {'t', '\t'},
                                {'v', '\v'}, {'"', '"'},  {'?', '?'},   {'\'', '\''}, {'\\', '\\'}};

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// A value as the store's reader takes it apart: escapes resolved, quotes
// dropped, split at commas outside quotes. Only what decides the type is
// needed, so spaces around list items are left as they are.
QStringList Unescaped(const QByteArray& value)
{
    QStringList items;
    QString item;
    bool quoted = false;
    for (int i = 0; i < value.size();) {
        const char c = value[i++];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            items << item.trimmed();
            item.clear();
        } else if (c != '\\') {
            item += QLatin1Char(c);
        } else if (i < value.size()) {
            const char e = value[i++];
            const char* escape = nullptr;
            for (const char* code : kEscapes)
                if (code[0] == e)
                    escape = code;
            uint number = 0;
            if (escape) {
                item += QLatin1Char(escape[1]);
            } else if (e == 'x' && i < value.size() && IsHexDigit(value[i])) {
                while (i < value.size() && IsHexDigit(value[i]))
                    number = (number << 4) + uint(HexValue(value[i++]));
                item += QChar(ushort(number));
            } else if (e >= '0' && e <= '7') {
                number = uint(e - '0');
                while (i < value.size() && value[i] >= '0' && value[i] <= '7')
                    number = (number << 3) + uint(value[i++] - '0');
                item += QChar(ushort(number));
            }
        }
    }
    items << item.trimmed();
    return items;
}

bool IsSafeItem(const QString& item)
{
    int prefix = 0;
    if (item.startsWith(QLatin1String("@Variant(")))
        prefix = 9;
    else if (item.startsWith(QLatin1String("@DateTime(")))
        prefix = 10;
    else
        return true;
    // Characters beyond Latin-1 reach the stream as '?', as in Qt's reader.
    const QByteArray bytes = item.mid(prefix, 4).toLatin1();
    if (bytes.size() < 4)
        return true;
    const quint32 type = quint32(uchar(bytes[0])) << 24 | quint32(uchar(bytes[1])) << 16
                         | quint32(uchar(bytes[2])) << 8 | quint32(uchar(bytes[3]));
    return std::find(std::begin(kSafeTypes), std::end(kSafeTypes), type) != std::end(kSafeTypes);
}

bool IsSafeLine(const QByteArray& line)
{
    const int equals = line.indexOf('=');
    if (equals < 0 || line.startsWith('['))
        return true;
    const QStringList items = Unescaped(line.mid(equals + 1).trimmed());
    return std::all_of(items.cbegin(), items.cend(), IsSafeItem);
}
} // namespace

QByteArray StoreScrub::WithoutUnsafeValues(const QByteArray& store)
{
    QByteArray kept("");
    kept.reserve(store.size());
    bool dropped = false;
    for (int start = 0; start < store.size();) {
        // A backslash at the end of a line carries the value on to the next.
        int end = start;
        while (true) {
            end = store.indexOf('\n', end);
            if (end < 0) {
                end = store.size();
                break;
            }
            const int text = end > start && store[end - 1] == '\r' ? end - 1 : end;
            ++end;
            if (text == start || store[text - 1] != '\\')
                break;
        }
        const QByteArray line = store.mid(start, end - start);
        if (IsSafeLine(line))
            kept += line;
        else
            dropped = true;
        start = end;
    }
    return dropped ? kept : QByteArray();
}

void StoreScrub::RemoveUnsafeValues()
{
    const QString path = QSettings().fileName();
    const auto read = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    if (WithoutUnsafeValues(read()).isNull())
        return;
    // Read again under the lock, so that no write of another instance is lost.
    QLockFile lock(path + QLatin1String(".lock"));
    if (!lock.tryLock(2000))
        return;
    const QByteArray store = read();
    const QByteArray kept = WithoutUnsafeValues(store);
    QSaveFile replacement(path);
    if (!kept.isNull() && replacement.open(QIODevice::WriteOnly) && replacement.write(kept) == kept.size())
        replacement.commit();
}
