#pragma once
// The colours of the log kinds, shared by the log pane and the panels' status lines.

#include "core/LogSink.h"

#include <QColor>

namespace ql {

inline const QColor kInfoColour(0, 0, 0);
inline const QColor kErrorColour(255, 0, 0);
inline const QColor kSuccessColour(0, 128, 0);

// Error red, Success green; Info and any other value: fallback.
inline QColor KindColour(int kind, const QColor& fallback = kInfoColour)
{
    switch (kind) {
    case lkError: return kErrorColour;
    case lkSuccess: return kSuccessColour;
    default: return fallback;
    }
}

}  // namespace ql
