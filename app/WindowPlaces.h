#pragma once
// Design positions of the configuration box's controls: left, top, width, height in pixels
// inside the box, for the window's design width. They assume the narrow glyphs of the
// design font; TMainForm::FitControlsToTexts moves and widens what the real font needs.

#include <QRect>

namespace ql::place {

inline constexpr QRect kUpdateDevices{12, 19, 219, 25};
inline constexpr QRect kFileName{237, 21, 432, 21};
inline constexpr QRect kOpenButton{675, 19, 25, 25};
inline constexpr QRect kReadButton{706, 19, 63, 25};
inline constexpr QRect kDateTitle{12, 47, 118, 20};
inline constexpr QRect kDateValue{130, 50, 200, 17};
// The version title and value are right-aligned and keep their right edges: the title
// ends before the value, the value at the right end of the Read button.
inline constexpr int kVersionTitleRight = 686;
inline constexpr int kVersionValueRight = 769;
inline constexpr int kVersionTitleTop = 47;
inline constexpr int kVersionTitleHeight = 20;
inline constexpr int kVersionValueTop = 50;
inline constexpr int kVersionValueHeight = 17;
inline constexpr QRect kAutoWrite{12, 71, 209, 21};
inline constexpr QRect kStartApp{271, 71, 195, 21};
inline constexpr QRect kStartLoader{472, 71, 247, 21};
inline constexpr QRect kDisableFtdi{12, 94, 216, 21};
inline constexpr QRect kWriteLogToFile{271, 94, 164, 21};
inline constexpr QRect kNeedComPort{472, 94, 137, 21};
inline constexpr QRect kComPorts{614, 92, 105, 21};
inline constexpr QRect kAutoClose{12, 117, 253, 21};
inline constexpr QRect kExternFirmware{271, 117, 195, 21};

// Space the design leaves between neighbours in a row, and between a title and its value.
inline constexpr int kButtonGap = 6;
inline constexpr int kColumnGap = 6;
inline constexpr int kComboGap = 5;
inline constexpr int kTextGap = 4;
// Room kept between the right end of a row and the box's right edge.
inline constexpr int kRightMargin = 8;

}  // namespace ql::place
