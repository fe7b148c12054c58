#include "links/ComPortLog.h"

#include <cerrno>

namespace ql {

QStringList ComPortFaultTexts(const TComPortFault& fault)
{
    QStringList texts;
    switch (fault.Stage) {
    case TComPortFault::None:
        return texts;
    case TComPortFault::Open:
    case TComPortFault::Session:
        texts << FormatText(Msg(msg::ComPortCannotOpen), fault.Path, fault.Reason);
        break;
    case TComPortFault::Exclusive:
        texts << FormatText(Msg(msg::ComPortNotExclusive), fault.Path, fault.Reason);
        break;
    case TComPortFault::Line:
        texts << FormatText(Msg(msg::ComPortFailed), fault.Path, fault.Reason);
        break;
    case TComPortFault::BridgeOpen:
        texts << FormatText(Msg(msg::BridgeCannotOpen), fault.Path, fault.Reason);
        // A bridge is opened by whoever the package's udev rule lets in, or by the
        // group that owns its node.
        if (!fault.AccessGroup.isEmpty())
            texts << FormatText(Msg(msg::BridgeAccess), fault.Path, fault.AccessGroup);
        return texts;
    }
    if (!fault.AccessGroup.isEmpty())
        texts << FormatText(Msg(msg::ComPortAccess), fault.Path, fault.AccessGroup);
    return texts;
}

bool PassReportsComPortFault(const TComPortFault& fault)
{
    return fault.Stage != TComPortFault::None && fault.Stage != TComPortFault::Session
           && !(fault.Stage == TComPortFault::Open && fault.Error == ENOENT);
}

void LogComPortFault(THandedLog& log, int device, const TComPortFault& fault)
{
    for (const QString& text : ComPortFaultTexts(fault))
        log.Text(lkError, device, text);
}

}  // namespace ql
