#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tovra::json {

// Writes compact JSON with members in the order they are given. QJsonObject sorts its keys, and
// the entries the client stores for itself keep the order the records declare.
class Writer
{
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();

    // The member name for the next value inside an object.
    void key(QLatin1StringView name);

    void value(const QString &text);
    void value(qint64 number);
    void value(bool flag);
    // Shortest text that reads back as the same double; JSON has no NaN or infinity, so those
    // are written as null.
    void value(double number);
    void value(const QStringList &texts);

    template<class T>
    void value(const QList<T> &records)
    {
        beginArray();
        for (const T &record : records)
            record.writeJson(*this);
        endArray();
    }

    // Members that are left out when absent.
    template<class T>
    void optionalMember(QLatin1StringView name, const std::optional<T> &member)
    {
        if (member) {
            key(name);
            value(*member);
        }
    }

    template<class T>
    void member(QLatin1StringView name, const T &member)
    {
        key(name);
        value(member);
    }

    QByteArray take() { return std::move(m_out); }

private:
    void separate();

    QByteArray m_out;
    // Per open container: whether a value has been written in it yet.
    QList<bool> m_hasValue;
    bool m_afterKey = false;
};

// The records of a list as one JSON array.
template<class T>
QByteArray writeList(const QList<T> &records)
{
    Writer writer;
    writer.value(records);
    return writer.take();
}

// The records of a list as the array of their toJson() objects.
template<class T>
QJsonArray toArray(const QList<T> &records)
{
    QJsonArray array;
    for (const T &record : records)
        array.append(record.toJson());
    return array;
}

template<class T>
QByteArray writeRecord(const T &record)
{
    Writer writer;
    record.writeJson(writer);
    return writer.take();
}

}
