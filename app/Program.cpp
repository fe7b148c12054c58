#include "app/Program.h"

#include "app/CommandLine.h"
#include "app/DeviceControllers.h"
#include "app/FixedTexts.h"
#include "app/MainForm.h"
#include "app/ProgramInfo.h"
#include "platform/InstanceLock.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>

#include <exception>
#include <memory>

namespace ql {
namespace {
const QString kApplicationName = QStringLiteral("qlfwloader");

QStringList RawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int RunLoader(int argc, char** argv)
{
    // Answered before the lock and the window toolkit: a running loader does not stand in
    // the way, and no display is needed.
    const TInfoRequest info = FindInfoRequest(RawArguments(argc, argv));
    if (info != TInfoRequest::None)
        return AnswerInfoRequest(info, argc, argv);

    TInstanceLock lock;
    if (!lock.Acquire(kInstanceLockWaitMs))
        return -1;

    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationName);
    // The installed desktop entry's name: desktops match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(kApplicationName);
    int result = -1;
    std::unique_ptr<TMainForm> form;
    try {
        form = std::make_unique<TMainForm>(ParseCommandLine(ProgramArguments()));
        InstallDeviceControllers(*form);
        TTerminationSignals stop;
        stop.Install();
        // Stopped from outside: every loop ends, a modal box's included, as after a close
        // by hand.
        QObject::connect(&stop, &TTerminationSignals::Requested, &application, [] { QApplication::exit(); });
        // Shown from inside the loop, so the start-up sequence and its message box run
        // under the loop that a stop request or the last window's close ends.
        QMetaObject::invokeMethod(form.get(), &QWidget::show, Qt::QueuedConnection);
        QApplication::exec();
        result = form->ExitCode();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, kMessageBoxCaption, QString::fromUtf8(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, kMessageBoxCaption, QString());
    }
    lock.Release();
    // The window's destruction saves the settings after the lock is free again.
    form.reset();
    return result;
}

}  // namespace ql
