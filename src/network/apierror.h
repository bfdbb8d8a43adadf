#pragma once

#include <QString>
#include <expected>

namespace tovra {

// The one error type of the site API. Every screen shows description() as it stands, so the
// texts are final user-facing Chinese; kind() and the accessors are for the few callers that
// react to one case (the sign-in state signs out on a server 401).
class APIError
{
public:
    enum class Kind { Server, Transport, Decoding, BadURL, EmptyData };

    // The envelope's code was not 200 (or a side request was refused; code is then the HTTP status).
    static APIError server(qint64 code, const QString &message);
    // The transfer failed; text is already the message to show.
    static APIError transport(const QString &text);
    // The reply could not be read; text is the reader's own description.
    static APIError decoding(const QString &text);
    static APIError badURL();
    // Code 200 but no payload where one was needed.
    static APIError emptyData();

    Kind kind() const { return m_kind; }
    bool isServer() const { return m_kind == Kind::Server; }
    bool isServer(qint64 code) const { return m_kind == Kind::Server && m_code == code; }
    // Server: the envelope's code; 0 for every other kind.
    qint64 code() const { return m_code; }
    // Server: the server's message; Transport and Decoding: their text; empty otherwise.
    const QString &text() const { return m_text; }

    QString description() const;

    bool operator==(const APIError &other) const = default;

private:
    APIError(Kind kind, qint64 code, QString text) : m_kind(kind), m_code(code), m_text(std::move(text)) {}

    Kind m_kind;
    qint64 m_code = 0;
    QString m_text;
};

template<class T>
using Result = std::expected<T, APIError>;

}
