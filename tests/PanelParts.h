#pragma once
// The controls of a device panel, which the panel keeps to itself, found for reading by
// their object names (and the update button, for a press as a user's).

#include "panels/FWLoaderDevGroup.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace ql::test {

struct TPanelParts {
    explicit TPanelParts(const TFWLoaderDevGroup& panel)
        : Box(panel.Frame()), SerialCaption(Find<QLabel>("SerialCaption")), SerialValue(Find<QLabel>("SerialValue")),
          FirmwareCaption(Find<QLabel>("FirmwareCaption")), FirmwareValue(Find<QLabel>("FirmwareValue")),
          BootloaderCaption(Find<QLabel>("BootloaderCaption")), BootloaderValue(Find<QLabel>("BootloaderValue")),
          StatusLine(Find<QLabel>("StatusLine")), UpdateButton(Find<QPushButton>("UpdateButton")),
          Progress(Find<QProgressBar>("Progress"))
    {
    }

    const QGroupBox* Box;
    const QLabel* SerialCaption;
    const QLabel* SerialValue;
    const QLabel* FirmwareCaption;
    const QLabel* FirmwareValue;
    const QLabel* BootloaderCaption;
    const QLabel* BootloaderValue;
    const QLabel* StatusLine;
    QPushButton* UpdateButton;
    const QProgressBar* Progress;

private:
    template <typename Widget>
    Widget* Find(const char* name) const
    {
        return Box ? Box->findChild<Widget*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly) : nullptr;
    }
};

}  // namespace ql::test
