#include "sim/ControlCommands.h"

#include "sim/SimConfig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <algorithm>
#include <iterator>

namespace ql::sim {
namespace {

// What a command takes after its name. The rules are checked before the handler runs, in
// this order: the serial number, that the simulator has that tracker, the JSON object.
enum class TArguments {
    None,           // anything after the name is ignored
    Object,         // a JSON object
    Tracker,        // a tracker's serial number
    TrackerObject,  // a serial number, then a JSON object
    TrackerText,    // a serial number, then the handler's own words
};

struct TControlLine {
    QByteArray Rest;          // after the name, trimmed
    QList<QByteArray> Words;  // Rest split at single spaces
    uint32_t Serial = 0;
    QByteArray AfterSerial;   // Rest without the serial number, trimmed
    QJsonObject Object;
};

struct TContext {
    TSimulator& Sim;
    bool& Quit;
};

using THandler = QByteArray (*)(TContext& context, const TControlLine& line);

struct TCommand {
    const char* Name;
    TArguments Arguments;
    THandler Handler;
};

QByteArray Ok(const QByteArray& rest = {})
{
    return rest.isEmpty() ? QByteArray("OK") : "OK " + rest;
}

QByteArray Err(const QString& reason)
{
    return "ERR " + reason.toUtf8();
}

QByteArray Compact(const QJsonArray& a)
{
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

bool ParseSerial(const QByteArray& word, uint32_t& serial)
{
    bool ok = false;
    serial = word.toUInt(&ok);
    return ok && serial != 0;
}

QJsonObject ParseObject(const QByteArray& text, QString& error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (!doc.isObject())
        error = doc.isNull() ? parse.errorString() : QStringLiteral("expected a JSON object");
    return doc.object();
}

QString NoTracker(uint32_t serial)
{
    return QStringLiteral("no tracker %1").arg(serial);
}

// ---- the handlers ----

QByteArray Add(TContext& c, const TControlLine& line)
{
    TSimTracker tracker;
    QString error;
    if (!TrackerFromJson(line.Object, tracker, error))
        return Err(error);
    if (!c.Sim.AddTracker(tracker))
        return Err(QStringLiteral("serial %1 taken, or no pseudo-terminal").arg(tracker.Serial));
    return Ok(c.Sim.ComPortPath(tracker.Serial).toUtf8());
}

QByteArray List(TContext& c, const TControlLine&)
{
    QJsonArray list;
    for (uint32_t s : c.Sim.Serials()) {
        TSimTracker t;
        if (!c.Sim.Tracker(s, t))
            continue;
        QJsonObject o = TrackerToJson(t);
        o.insert("Present", c.Sim.Present(s));
        if (t.Link == TSimLink::ComPort)
            o.insert("ComPort", c.Sim.ComPortPath(s));
        list.append(o);
    }
    return Ok(Compact(list));
}

QByteArray Quit(TContext& c, const TControlLine&)
{
    c.Quit = true;
    return Ok();
}

QByteArray Remove(TContext& c, const TControlLine& line)
{
    return c.Sim.RemoveTracker(line.Serial) ? Ok() : Err(NoTracker(line.Serial));
}

QByteArray Faults(TContext& c, const TControlLine& line)
{
    TSimFaults faults;
    QString error;
    if (!FaultsFromJson(line.Object, faults, error))
        return Err(error);
    c.Sim.SetFaults(line.Serial, faults);
    return Ok();
}

QByteArray Trace(TContext& c, const TControlLine& line)
{
    const bool withBytes = line.Words.value(1) != "brief";
    QJsonArray list;
    for (const TSimRequest& r : c.Sim.Trace(line.Serial))
        list.append(RequestToJson(r, withBytes));
    return Ok(Compact(list));
}

QByteArray ClearTrace(TContext& c, const TControlLine& line)
{
    c.Sim.ClearTrace(line.Serial);
    return Ok();
}

QByteArray Dump(TContext& c, const TControlLine& line)
{
    const QString file = QString::fromUtf8(line.AfterSerial);
    QFile out(file);
    const QByteArray flash = c.Sim.Flash(line.Serial);
    if (file.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(flash) != flash.size())
        return Err(QStringLiteral("cannot write \"%1\"").arg(file));
    return Ok(QByteArray("0x") + QByteArray::number(c.Sim.FlashStart(line.Serial), 16) + ' '
              + QByteArray::number(flash.size()));
}

QByteArray Mode(TContext& c, const TControlLine& line)
{
    return Ok(ModeName(c.Sim.Mode(line.Serial)).toUtf8());
}

QByteArray Wire(TContext& c, const TControlLine& line)
{
    uint64_t toTracker = 0, fromTracker = 0;
    if (!c.Sim.WireBytes(line.Serial, toTracker, fromTracker))
        return Err(QStringLiteral("tracker %1 has no COM line").arg(line.Serial));
    return Ok(QByteArray::number(toTracker) + ' ' + QByteArray::number(fromTracker));
}

QByteArray LineTime(TContext& c, const TControlLine& line)
{
    int64_t waitingUs = 0, lateUs = 0;
    if (!c.Sim.LineTimes(line.Serial, waitingUs, lateUs))
        return Err(QStringLiteral("tracker %1 has no COM line").arg(line.Serial));
    return Ok(QByteArray::number(waitingUs) + ' ' + QByteArray::number(lateUs));
}

QByteArray Present(TContext& c, const TControlLine& line)
{
    return Ok(c.Sim.Present(line.Serial) ? "1" : "0");
}

const TCommand kCommands[] = {
    {"add", TArguments::Object, Add},
    {"list", TArguments::None, List},
    {"quit", TArguments::None, Quit},
    {"remove", TArguments::Tracker, Remove},
    {"faults", TArguments::TrackerObject, Faults},
    {"trace", TArguments::TrackerText, Trace},  // [brief]
    {"cleartrace", TArguments::Tracker, ClearTrace},
    {"dump", TArguments::TrackerText, Dump},    // FILE
    {"mode", TArguments::Tracker, Mode},
    {"wire", TArguments::Tracker, Wire},
    {"linetime", TArguments::Tracker, LineTime},
    {"present", TArguments::Tracker, Present},
};

bool NamesTracker(TArguments arguments)
{
    return arguments == TArguments::Tracker || arguments == TArguments::TrackerObject
           || arguments == TArguments::TrackerText;
}

}  // namespace

QByteArray ExecuteControlLine(TSimulator& simulator, const QByteArray& line, bool& quit)
{
    const qsizetype space = line.indexOf(' ');
    const QByteArray name = line.left(space < 0 ? line.size() : space).toLower();
    if (name.isEmpty())
        return Err(QStringLiteral("empty command"));
    const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                      [&name](const TCommand& c) { return name == c.Name; });
    if (command == std::end(kCommands))
        return Err(QStringLiteral("unknown command \"%1\"").arg(QString::fromUtf8(name)));

    TControlLine args;
    args.Rest = space < 0 ? QByteArray() : line.mid(space + 1).trimmed();
    args.Words = args.Rest.split(' ');
    if (NamesTracker(command->Arguments)) {
        if (!ParseSerial(args.Words.value(0), args.Serial))
            return Err(QStringLiteral("expected a serial number"));
        TSimTracker tracker;
        if (!simulator.Tracker(args.Serial, tracker))
            return Err(NoTracker(args.Serial));
        args.AfterSerial = args.Rest.mid(args.Words[0].size()).trimmed();
    }
    if (command->Arguments == TArguments::Object || command->Arguments == TArguments::TrackerObject) {
        QString error;
        args.Object = ParseObject(
            command->Arguments == TArguments::Object ? args.Rest : args.AfterSerial, error);
        if (!error.isEmpty())
            return Err(error);
    }
    TContext context{simulator, quit};
    return command->Handler(context, args);
}

}  // namespace ql::sim
