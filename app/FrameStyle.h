#pragma once
// The look of the window's framed boxes (the configuration box and the device panels):
// the caption stands on the frame's top line, as the pixel layout of their contents
// expects. A style that puts the caption above the frame (Fusion does) would run the
// line through the first row of controls.

#include <QString>

namespace ql {

inline const QString kCaptionOnFrameStyle = QStringLiteral(
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px; padding: 0 2px; }");

}  // namespace ql
