#include "app/ProgramInfo.h"

#include "app/ExeDir.h"
#include "core/MessageCatalogue.h"
#include "app/ProgramVersion.h"
#include "app/Settings.h"

#include <QCoreApplication>

#include <cstdio>

namespace ql {
namespace {

const QString kProgramName = QStringLiteral("qlfwloader");
constexpr int kExitAnswered = 0;

void PrintUtf8(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

}  // namespace

QString VersionLine() { return kProgramName + u' ' + QLatin1String(kProgramVersion); }

QString UsageText(int language) { return MessageText(language, msg::Usage); }

int AnswerInfoRequest(TInfoRequest request, int& argc, char** argv)
{
    if (request == TInfoRequest::Version) {
        PrintUtf8(VersionLine() + u'\n');
        return kExitAnswered;
    }
    // The executable's folder and the data folder are known only through the
    // application object; the console one needs no display.
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(kProgramName);
    const QString exeDir = ResolveExeDir(TDataDir::Leave);
    PrintUtf8(UsageText(StartupLanguage(SettingsFilePath(exeDir))));
    return kExitAnswered;
}

}  // namespace ql
