#pragma once
// A desktop of our own for what only a real X session shows (frames, fonts, window
// geometry): Xvfb on a free display with openbox managing it, stopped again at the end.
// Where either program is missing, Start() says which package gives it, so a test can
// skip with that reason.

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

namespace ql::test {

inline constexpr int kDesktopStartMs = 10000;
inline constexpr int kDesktopPollMs = 50;

// Set by a test program that wanted a desktop and could not start one.
inline QString& DesktopSkipReason()
{
    static QString reason;
    return reason;
}

// Set by a test program that runs its window tests on its own desktop.
inline bool& OnOwnDesktop()
{
    static bool onDesktop = false;
    return onDesktop;
}

class TXDesktop {
public:
    ~TXDesktop() { Stop(); }

    // Empty on success, else why the desktop is not there.
    QString Start()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString openbox = QStandardPaths::findExecutable("openbox");
        const QString xprop = QStandardPaths::findExecutable("xprop");
        if (xvfb.isEmpty())
            return "Xvfb is not installed (Debian package xvfb)";
        if (openbox.isEmpty())
            return "openbox is not installed (Debian package openbox)";
        if (xprop.isEmpty())
            return "xprop is not installed (Debian package x11-utils)";
        // Xvfb picks a free display itself and writes its number to our pipe.
        xvfb_.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        if (!xvfb_.waitForStarted(kDesktopStartMs))
            return "Xvfb did not start";
        QByteArray number;
        QElapsedTimer timer;
        timer.start();
        while (!number.contains('\n') && timer.elapsed() < kDesktopStartMs) {
            xvfb_.waitForReadyRead(100);
            number += xvfb_.readAllStandardOutput();
        }
        if (!number.contains('\n'))
            return "Xvfb gave no display number: " + QString::fromLocal8Bit(xvfb_.readAllStandardError());
        display_ = ":" + QString::fromLatin1(number.trimmed());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        openbox_.setProcessEnvironment(env);
        openbox_.start(openbox, {"--sm-disable"});
        if (!openbox_.waitForStarted(kDesktopStartMs))
            return "openbox did not start";
        // A window manager announces itself on the root window.
        timer.restart();
        while (timer.elapsed() < kDesktopStartMs) {
            if (Query(xprop, {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"))
                return QString();
            QThread::msleep(kDesktopPollMs);
        }
        return "openbox did not take over the display";
    }

    QString Display() const { return display_; }

    // Runs an X client on this display and returns its standard output.
    QByteArray Query(const QString& program, const QStringList& arguments) const
    {
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        client.setProcessEnvironment(env);
        client.start(program, arguments);
        client.waitForFinished(kDesktopStartMs);
        return client.readAllStandardOutput();
    }

    void Stop()
    {
        for (QProcess* process : {&openbox_, &xvfb_}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(kDesktopStartMs)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

private:
    QProcess xvfb_;
    QProcess openbox_;
    QString display_;
};

}  // namespace ql::test
