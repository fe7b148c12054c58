#include "bench/BenchLoader.h"

#include "app/DeviceControllers.h"
#include "app/Discovery.h"
#include "app/DriverCheck.h"
#include "app/LogPane.h"
#include "app/MainForm.h"
#include "core/MessageCatalogue.h"
#include "app/WriteSessions.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace ql::bench {

TBenchLoader::TBenchLoader() = default;

TBenchLoader::~TBenchLoader() = default;

bool TBenchLoader::Open(const LoaderOptions& options, QString& error)
{
    QFile ini(dir_.filePath(QStringLiteral("QLFWLoader.ini")));
    if (!dir_.isValid() || !ini.open(QIODevice::WriteOnly) || ini.write(kBenchSettings) < 0) {
        error = QStringLiteral("cannot write the settings file");
        return false;
    }
    ini.close();
    form_ = std::make_unique<TMainForm>(options);
    form_->SetExeDir(ExeDir());
    form_->SetDriverBinders(SystemDriverBinders());
    form_->SetErrorBox([](const QString& caption, const QString& text) {
        std::fprintf(stderr, "message box: %s: %s\n", qPrintable(caption), qPrintable(text));
    });
    controllers_ = &InstallDeviceControllers(*form_);
    form_->show();
    return true;
}

int TBenchLoader::DeviceCount() const { return int(form_->DeviceList().Entries.size()); }

bool TBenchLoader::Busy() const
{
    return controllers_->Writes().RunningCount() > 0 || controllers_->Discovery().PassRunning();
}

int TBenchLoader::StartWrites()
{
    int started = 0;
    for (const auto& entry : form_->DeviceList().Entries) {
        if (!entry->InBootloader)
            continue;
        controllers_->Writes().UpdateButtonClick(*entry);
        ++started;
    }
    return started;
}

int TBenchLoader::CompletedWrites() const
{
    QString done = Msg(msg::UpdateDone);
    done = done.mid(done.indexOf(u')') + 1);
    int count = 0;
    for (const QString& line : form_->reLog->toPlainText().split(u'\n'))
        if (line.endsWith(done))
            ++count;
    return count;
}

bool RunUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(pollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return condition();
}

}  // namespace ql::bench
