#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// An INI file read and written as plain bytes: no quoting, no escapes, no splitting at
// commas (QSettings would do all three to a folder name). Writing keeps everything it
// does not touch, comments and unknown keys included, in place.
class TIniFile
{
public:
    // Settings files hold a few dozen lines.
    static constexpr qint64 DefaultMaxBytes = qint64(1) << 20;

    // A missing file is no error: it loads as empty. Anything else that stops the read is,
    // a file over `maxBytes` or one that is not a regular file included.
    bool Load(const QByteArray& path, QString* error, qint64 maxBytes = DefaultMaxBytes);
    // `ownerOnly`: the file is written readable by its owner alone (mode 600 at most).
    bool Save(const QByteArray& path, QString* error, bool ownerOnly = false) const;

    QByteArray ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& defaultValue) const;
    // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else, or a value beyond
    // 32 bits, gives the default.
    int ReadInteger(const QByteArray& section, const QByteArray& key, int defaultValue) const;
    bool ReadBool(const QByteArray& section, const QByteArray& key, bool defaultValue) const;

    void WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value);
    void WriteInteger(const QByteArray& section, const QByteArray& key, int value);
    void WriteBool(const QByteArray& section, const QByteArray& key, bool value);
    // Takes the key's line out; false when there was none.
    bool DeleteKey(const QByteArray& section, const QByteArray& key);
    // The names of the section's keys in file order, a name written twice twice.
    QList<QByteArray> Keys(const QByteArray& section) const;

    // The whole content as Save would write it.
    QByteArray ToBytes() const;

private:
    struct Line
    {
        QByteArray text;
        QByteArray ending; // empty only on a last line without one
    };

    void Parse(const QByteArray& data);
    // Index of the line holding `key` in `section`, or -1.
    qsizetype FindKey(const QByteArray& section, const QByteArray& key) const;
    QByteArray NewLineEnding() const;
    void InsertLine(qsizetype index, const QByteArray& text);

    QList<Line> m_lines;
    bool m_bom = false;
};
