#include "bench/SimProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace ql::bench {
namespace {

constexpr int kStartMs = 10000;
constexpr int kAnswerMs = 60000;  // a trace of a whole image is a long line
constexpr int kQuitMs = 5000;
constexpr char kSocketKey[] = "QLSIM_SOCKET=";

}  // namespace

TSimProcess::~TSimProcess() { Stop(); }

bool TSimProcess::Start(const QByteArray& trackersJson, const QString& eventsPath, QString& error)
{
    if (!dir_.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString config = dir_.filePath(QStringLiteral("trackers.json"));
    const QString control = dir_.filePath(QStringLiteral("control"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write("{\"Trackers\": " + trackersJson + "}") < 0) {
        error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.close();
    QStringList args{QStringLiteral("--config"), config, QStringLiteral("--control"), control};
    if (!eventsPath.isEmpty())
        args << QStringLiteral("--events") << eventsPath;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(QLTRACKER_SIM_PATH), args);
    QByteArray banner;
    while (!banner.contains("Ready.") && process_.waitForReadyRead(kStartMs))
        banner += process_.readAllStandardOutput();
    const qsizetype at = banner.indexOf(kSocketKey);
    if (!banner.contains("Ready.") || at < 0) {
        error = QStringLiteral("qltracker-sim did not start: %1").arg(QString::fromLocal8Bit(banner));
        return false;
    }
    const qsizetype from = at + qsizetype(sizeof kSocketKey) - 1;
    qputenv("QLSIM_SOCKET", banner.mid(from, banner.indexOf('\n', from) - from));
    control_.connectToServer(control);
    if (!control_.waitForConnected(kStartMs)) {
        error = QStringLiteral("control socket: %1").arg(control_.errorString());
        return false;
    }
    return true;
}

QByteArray TSimProcess::Ask(const QByteArray& command)
{
    if (control_.state() != QLocalSocket::ConnectedState)
        return {};
    control_.write(command + '\n');
    control_.flush();
    QByteArray answer;
    while (!answer.endsWith('\n')) {
        if (!control_.bytesAvailable() && !control_.waitForReadyRead(kAnswerMs))
            return {};
        answer += control_.readAll();
    }
    answer.chop(1);
    return answer;
}

bool TSimProcess::WireBytes(uint32_t serial, uint64_t& toTracker, uint64_t& fromTracker)
{
    const QList<QByteArray> words = Ask("wire " + QByteArray::number(serial)).split(' ');
    if (words.size() != 3 || words[0] != "OK")
        return false;
    toTracker = words[1].toULongLong();
    fromTracker = words[2].toULongLong();
    return true;
}

bool TSimProcess::LineTimes(uint32_t serial, double& waitingS, double& lateS)
{
    const QList<QByteArray> words = Ask("linetime " + QByteArray::number(serial)).split(' ');
    if (words.size() != 3 || words[0] != "OK")
        return false;
    waitingS = words[1].toDouble() / 1e6;
    lateS = words[2].toDouble() / 1e6;
    return true;
}

QString TSimProcess::ComPortPath(uint32_t serial)
{
    const QJsonArray list = QJsonDocument::fromJson(Ask("list").mid(3)).array();
    for (const QJsonValue& tracker : list)
        if (tracker.toObject().value("Serial").toInteger() == serial)
            return tracker.toObject().value("ComPort").toString();
    return {};
}

double TSimProcess::CpuSeconds() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process_.processId()));
    if (process_.processId() <= 0 || !stat.open(QIODevice::ReadOnly))
        return -1;
    // The name in parentheses may hold spaces: the fields are counted after its ")".
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    constexpr int kUtimeField = 11;  // field 14 of the line, the 12th after the name
    constexpr int kStimeField = 12;
    if (fields.size() <= kStimeField)
        return -1;
    const double ticks = fields[kUtimeField].toDouble() + fields[kStimeField].toDouble();
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

void TSimProcess::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    Ask("quit");
    if (!process_.waitForFinished(kQuitMs)) {
        process_.terminate();
        process_.waitForFinished(kQuitMs);
    }
}

QByteArray TrackerJson(uint32_t serial, const char* link, const QByteArray& extra)
{
    QByteArray json = "{\"Serial\": " + QByteArray::number(serial) + ", \"Link\": \"" + link
                      + "\", \"Mode\": \"Bootloader\", \"ProcessorId\": \"0x00400419\"";
    if (!extra.isEmpty())
        json += ", " + extra;
    return json + '}';
}

}  // namespace ql::bench
