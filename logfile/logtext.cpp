#include "logfile/logtext.h"

#include <algorithm>
#include <cstring>

QByteArray LogText::mid(qint64 position, qint64 count) const
{
    position = std::clamp<qint64>(position, 0, size());
    count = std::clamp<qint64>(count, 0, size() - position);
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    bytes.truncate(qsizetype(read(position, bytes.data(), count)));
    return bytes;
}

qint64 MemoryLogText::read(qint64 position, char *data, qint64 count) const
{
    if (position < 0 || position >= m_text.size() || count <= 0)
        return 0;
    const qint64 take = std::min<qint64>(count, m_text.size() - position);
    std::memcpy(data, m_text.constData() + position, size_t(take));
    return take;
}
