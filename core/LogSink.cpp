#include "core/LogSink.h"

#include "core/MessageCatalogue.h"
#include "core/MessageFormat.h"

namespace ql {

void LogCatalogue(TLogSink& sink, TLogKind kind, int message)
{
    sink.LogMessageText(kind, 0, message, Msg(message));
}

QString DevicePrefix(int device)
{
    if (device == 0)
        return Msg(msg::NoDevicePrefix);
    return FormatText(Msg(msg::DevicePrefix), device);
}

}  // namespace ql
