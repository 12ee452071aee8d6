#include "common/IniFile.h"

#include "common/UUtils.h"

#include "common/ByteFile.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray Trimmed(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text.at(begin)))
        ++begin;
    while (end > begin && IsBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Names are bytes in the system's code page, so only ASCII letters fold.
bool SameName(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (AsciiLower(a.at(i)) != AsciiLower(b.at(i))) return false;
    }
    return true;
}

struct Entry
{
    enum Kind {
        Other, // blank, comment or a line we cannot read: kept as it is
        Section,
        Key,
    };
    Kind kind = Other;
    QByteArray name;
    QByteArray value;
};

Entry Classify(const QByteArray& line)
{
    Entry entry;
    const QByteArray text = Trimmed(line);
    if (text.isEmpty() || text.startsWith(';') || text.startsWith('#')) return entry;
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            entry.kind = Entry::Section;
            entry.name = Trimmed(text.mid(1, close - 1));
        }
        return entry;
    }
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0) return entry;
    entry.kind = Entry::Key;
    entry.name = Trimmed(text.left(equals));
    entry.value = Trimmed(text.mid(equals + 1));
    return entry;
}

bool IsMissing(const QByteArray& path)
{
    struct stat st;
    return !path.isEmpty() && !path.contains('\0') && ::stat(path.constData(), &st) != 0 && errno == ENOENT;
}

} // namespace

bool TIniFile::Load(const QByteArray& path, QString* error, qint64 maxBytes)
{
    m_lines.clear();
    m_bom = false;
    QByteArray data;
    QString readError;
    if (!ByteFile::ReadAll(path, &data, &readError, maxBytes)) {
        if (IsMissing(path)) return true;
        if (error) *error = readError;
        return false;
    }
    Parse(data);
    return true;
}

bool TIniFile::Save(const QByteArray& path, QString* error, bool ownerOnly) const
{
    return ByteFile::WriteReplacing(path, ToBytes(), error, ownerOnly ? 0600 : 0777);
}

QByteArray TIniFile::ToBytes() const
{
    QByteArray data = m_bom ? QByteArrayLiteral("\xEF\xBB\xBF") : QByteArray();
    for (const Line& line : m_lines)
        data += line.text + line.ending;
    return data;
}

void TIniFile::Parse(const QByteArray& data)
{
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < data.size()) {
        const char c = data.at(i);
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        const qsizetype endingSize = (c == '\r' && i + 1 < data.size() && data.at(i + 1) == '\n') ? 2 : 1;
        m_lines.append({data.mid(start, i - start), data.mid(i, endingSize)});
        i += endingSize;
        start = i;
    }
    if (start < data.size()) m_lines.append({data.mid(start), QByteArray()});

    // An editor's UTF-8 mark would otherwise hide the first section header.
    static const QByteArray bom = QByteArrayLiteral("\xEF\xBB\xBF");
    if (!m_lines.isEmpty() && m_lines.first().text.startsWith(bom)) {
        m_bom = true;
        m_lines.first().text.remove(0, bom.size());
    }
}

qsizetype TIniFile::FindKey(const QByteArray& section, const QByteArray& key) const
{
    bool inSection = section.isEmpty();
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Entry entry = Classify(m_lines.at(i).text);
        if (entry.kind == Entry::Section)
            inSection = SameName(entry.name, section);
        else if (entry.kind == Entry::Key && inSection && SameName(entry.name, key))
            return i;
    }
    return -1;
}

QByteArray TIniFile::NewLineEnding() const
{
    // Files we create get LF; an existing file keeps the ending its first line uses,
    // so one written by a Windows editor stays CR LF throughout.
    for (const Line& line : m_lines) {
        if (!line.ending.isEmpty()) return line.ending;
    }
    return QByteArrayLiteral("\n");
}

QByteArray TIniFile::ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& defaultValue) const
{
    const qsizetype index = FindKey(section, key);
    return index < 0 ? defaultValue : Classify(m_lines.at(index).text).value;
}

int TIniFile::ReadInteger(const QByteArray& section, const QByteArray& key, int defaultValue) const
{
    const qsizetype index = FindKey(section, key);
    int value = defaultValue;
    if (index < 0 || !ParseInteger(Classify(m_lines.at(index).text).value, &value)) return defaultValue;
    return value;
}

bool TIniFile::ReadBool(const QByteArray& section, const QByteArray& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    // A line break would end the line early and turn the rest into a line of its own.
    QByteArray text = key + '=' + value;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '\r' || text.at(i) == '\n') {
            text.truncate(i);
            break;
        }
    }

    const qsizetype existing = FindKey(section, key);
    if (existing >= 0) {
        m_lines[existing].text = text;
        return;
    }

    // After the last key of the section's first block, so comments that lead into the
    // next section stay with it.
    qsizetype insertAt = section.isEmpty() ? 0 : -1;
    bool inSection = section.isEmpty();
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Entry entry = Classify(m_lines.at(i).text);
        if (entry.kind == Entry::Section) {
            if (inSection) break;
            if (SameName(entry.name, section)) {
                inSection = true;
                insertAt = i + 1;
            }
        } else if (entry.kind == Entry::Key && inSection) {
            insertAt = i + 1;
        }
    }
    if (insertAt >= 0) {
        InsertLine(insertAt, text);
        return;
    }
    if (!m_lines.isEmpty() && !Trimmed(m_lines.last().text).isEmpty()) InsertLine(m_lines.size(), QByteArray());
    InsertLine(m_lines.size(), '[' + section + ']');
    InsertLine(m_lines.size(), text);
}

void TIniFile::WriteInteger(const QByteArray& section, const QByteArray& key, int value)
{
    WriteString(section, key, QByteArray::number(value));
}

void TIniFile::WriteBool(const QByteArray& section, const QByteArray& key, bool value)
{
    WriteString(section, key, value ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
}

bool TIniFile::DeleteKey(const QByteArray& section, const QByteArray& key)
{
    const qsizetype index = FindKey(section, key);
    if (index < 0) return false;
    m_lines.removeAt(index);
    return true;
}

QList<QByteArray> TIniFile::Keys(const QByteArray& section) const
{
    QList<QByteArray> keys;
    bool inSection = section.isEmpty();
    for (const Line& line : m_lines) {
        const Entry entry = Classify(line.text);
        if (entry.kind == Entry::Section)
            inSection = SameName(entry.name, section);
        else if (entry.kind == Entry::Key && inSection)
            keys << entry.name;
    }
    return keys;
}

void TIniFile::InsertLine(qsizetype index, const QByteArray& text)
{
    const QByteArray ending = NewLineEnding();
    if (index > 0 && m_lines.at(index - 1).ending.isEmpty()) m_lines[index - 1].ending = ending;
    m_lines.insert(index, {text, ending});
}
