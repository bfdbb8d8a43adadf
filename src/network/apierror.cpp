#include "network/apierror.h"

namespace tovra {

APIError APIError::server(qint64 code, const QString &message)
{
    return APIError(Kind::Server, code, message);
}

APIError APIError::transport(const QString &text)
{
    return APIError(Kind::Transport, 0, text);
}

APIError APIError::decoding(const QString &text)
{
    return APIError(Kind::Decoding, 0, text);
}

APIError APIError::badURL()
{
    return APIError(Kind::BadURL, 0, {});
}

APIError APIError::emptyData()
{
    return APIError(Kind::EmptyData, 0, {});
}

QString APIError::description() const
{
    switch (m_kind) {
    case Kind::Server:
        return m_text + QStringLiteral("（") + QString::number(m_code) + QStringLiteral("）");
    case Kind::Transport:
        return m_text;
    case Kind::Decoding:
        return QStringLiteral("数据解析失败：") + m_text;
    case Kind::BadURL:
        return QStringLiteral("接口地址不合法");
    case Kind::EmptyData:
        return QStringLiteral("服务端没有返回数据");
    }
    return {};
}

}
