#include "links/LinkTrace.h"

#include <QByteArray>

namespace ql {

Q_LOGGING_CATEGORY(lcLink, "ql.link", QtInfoMsg)

void TraceLink(TTraceDirection direction, int device, const char* link, const uint8_t* bytes,
               int count)
{
    if (!lcLink().isDebugEnabled())
        return;
    const QByteArray hex =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), count > 0 ? count : 0)
            .toHex(' ');
    qCDebug(lcLink).noquote().nospace()
        << (direction == TTraceDirection::ToDevice ? "-> " : "<- ") << "device " << device
        << " " << link << " [" << count << "] " << hex;
}

}  // namespace ql
