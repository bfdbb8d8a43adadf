#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <random>

namespace tovra::test {

// Seeded, so a failure names an input that the same seed makes again. Mutates raw bytes and
// UTF-16 text alike: flips, inserts of tokens that mean something to the code under test,
// deletions, duplications, splices of two seeds, and now and then a piece repeated thousands of
// times, which is what finds the helpers whose time grows faster than their input.
class Mutator
{
public:
    static constexpr qsizetype kMaxSize = 400 * 1024;

    explicit Mutator(quint32 seed) : m_random(seed) {}

    int below(int bound) { return bound <= 1 ? 0 : int(m_random() % quint32(bound)); }
    bool chance(int percent) { return below(100) < percent; }

    template<class Text>
    Text mutate(const QList<Text> &seeds, const QList<Text> &tokens)
    {
        Text text = seeds.at(below(int(seeds.size())));
        const int rounds = 1 + below(4);
        for (int round = 0; round < rounds; ++round)
            mutateOnce(text, seeds, tokens);
        if (text.size() > kMaxSize)
            text.truncate(kMaxSize);
        return text;
    }

    // A JSON document with one value somewhere in it replaced by a value of another kind: the
    // shape a server sends when a field changes type. Unparsable bytes come back unchanged.
    QByteArray retype(const QByteArray &json)
    {
        const QJsonDocument document = QJsonDocument::fromJson(json);
        if (document.isObject())
            return QJsonDocument(retype(QJsonValue(document.object())).toObject()).toJson(QJsonDocument::Compact);
        if (document.isArray())
            return QJsonDocument(retype(QJsonValue(document.array())).toArray()).toJson(QJsonDocument::Compact);
        return json;
    }

private:
    static void setUnit(QString &text, qsizetype i, quint32 value) { text[i] = QChar(char16_t(value)); }
    static void setUnit(QByteArray &text, qsizetype i, quint32 value) { text[i] = char(value); }

    template<class Text>
    void mutateOnce(Text &text, const QList<Text> &seeds, const QList<Text> &tokens)
    {
        const qsizetype size = text.size();
        const qsizetype at = size ? below(int(size + 1)) : 0;
        const qsizetype length = size ? 1 + below(int(std::min<qsizetype>(size, 64))) : 0;
        switch (below(8)) {
        case 0: // flip one unit, now and then into a surrogate or a control character
            if (size)
                setUnit(text, below(int(size)), chance(20) ? 0xD800 + below(0x800) : m_random() & 0xFFFF);
            break;
        case 1:
        case 2:
            text.insert(at, tokens.at(below(int(tokens.size()))));
            break;
        case 3:
            text.remove(at, length);
            break;
        case 4:
            text.insert(at, text.mid(at, length));
            break;
        case 5: { // splice: this one's head with another seed's tail
            const Text &other = seeds.at(below(int(seeds.size())));
            text = text.left(at) + other.mid(other.isEmpty() ? 0 : below(int(other.size())));
            break;
        }
        case 6: // repeat a token or a piece many times
            if (chance(40)) {
                const Text piece = chance(50) ? tokens.at(below(int(tokens.size()))) : text.mid(at, length);
                if (!piece.isEmpty()) {
                    const qsizetype times = std::min<qsizetype>(100 + below(20000), kMaxSize / piece.size());
                    text.insert(at, piece.repeated(times));
                }
            }
            break;
        default: // truncate
            text.truncate(at);
            break;
        }
    }

    QJsonValue retype(const QJsonValue &value)
    {
        if (value.isObject() && !value.toObject().isEmpty() && chance(75)) {
            QJsonObject object = value.toObject();
            const QString key = object.keys().at(below(int(object.size())));
            object.insert(key, retype(object.value(key)));
            return object;
        }
        if (value.isArray() && !value.toArray().isEmpty() && chance(75)) {
            QJsonArray array = value.toArray();
            const int i = below(int(array.size()));
            array.replace(i, retype(array.at(i)));
            return array;
        }
        switch (below(9)) {
        case 0: return QJsonValue();
        case 1: return QJsonValue(chance(50));
        case 2: return QJsonValue(double(qint64(m_random()) - (1LL << 31)));
        case 3: return QJsonValue(1e300 * (chance(50) ? 1 : -1));
        case 4: return QJsonValue(0.5);
        case 5: return QJsonValue(QStringLiteral("文本"));
        case 6: return QJsonValue(QString(QChar(char16_t(0xD800 + below(0x800)))));
        case 7: return QJsonArray{value};
        default: return QJsonObject{{QStringLiteral("x"), value}};
        }
    }

    std::mt19937 m_random;
};

}
