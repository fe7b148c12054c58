#pragma once
// A real main window on the offscreen platform, with its own exeDir, a settings file
// written beforehand, both driver libraries reported bound unless a test says otherwise,
// and message boxes recorded instead of shown.

#include "FileBytes.h"
#include "app/LogPane.h"
#include "app/MainForm.h"
#include "core/MessageCatalogue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out)
{
    for (const QString& text : texts)
        *out << "\n  \"" << text.toStdString() << '"';
}

namespace ql::test {

struct TShownBox {
    QString Caption;
    QString Text;
};

// Runs the event loop until the condition holds or the time is up.
template <typename Condition>
bool PumpUntil(Condition condition, int timeoutMs = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
inline void Pump() { QCoreApplication::processEvents(); }

// Stands in for the device controllers where a test watches what the window asks of them;
// an unset call does nothing.
struct TCommandsProbe : TDeviceCommands {
    std::function<void()> Discovery;
    std::function<void(TDevEntry&)> UpdateButton;
    std::function<void()> Stop;

    void StartDiscovery() override
    {
        if (Discovery)
            Discovery();
    }
    void UpdateButtonClick(TDevEntry& entry) override
    {
        if (UpdateButton)
            UpdateButton(entry);
    }
    void StopThreads() override
    {
        if (Stop)
            Stop();
    }
    void CloseLink(TDevEntry&) override {}
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString ExeDir() const { return dir.path() + "/"; }
    QString IniPath() const { return dir.filePath("QLFWLoader.ini"); }
    void WriteIni(const QByteArray& text) { ASSERT_TRUE(WriteFileBytes(IniPath(), text)); }
    QByteArray Ini() const { return ReadFileBytes(IniPath()); }

    // Constructs the window; Show() runs its start-up sequence.
    TMainForm& Make(const LoaderOptions& options = {})
    {
        form = std::make_unique<TMainForm>(options);
        form->SetExeDir(ExeDir());
        form->SetDriverBinders(binders);
        form->SetErrorBox([this](const QString& caption, const QString& text) { boxes.push_back({caption, text}); });
        return *form;
    }
    TMainForm& Show(const LoaderOptions& options = {})
    {
        if (!form)
            Make(options);
        form->show();
        Pump();
        return *form;
    }
    // Destroys the window, which saves the settings.
    void Destroy() { form.reset(); }


    QStringList LogLines() const { return form->reLog->toPlainText().split(u'\n', Qt::SkipEmptyParts); }
    QColor LineColour(int line) const
    {
        const QTextBlock block = form->reLog->document()->findBlockByNumber(line);
        return block.begin().fragment().charFormat().foreground().color();
    }

    QTemporaryDir dir;
    TDriverBinders binders{[] { return true; }, [] { return true; }};
    std::vector<TShownBox> boxes;
    TCommandsProbe commands;  // outlives the window, which calls it while it is destroyed
    std::unique_ptr<TMainForm> form;
};

inline QString NoDeviceLine(const QString& text) { return Msg(msg::NoDevicePrefix) + text; }
inline QString NoDevice(int message) { return NoDeviceLine(Msg(message)); }

}  // namespace ql::test
