#pragma once
// The JSON form of trackers, faults and trace entries, for qltracker-sim's config file
// and its control socket. Keys are the field names of TSimTracker, TSimFaults and
// TSimRequest; a key that is not one of them is an error, so a typo does not pass as a
// tracker without its fault.
//
//   {"Trackers": [{"Serial": 1000001, "Link": "Ftdi", "Mode": "Bootloader",
//                  "ProcessorId": "0x00400419", "Faults": {"EraseStatus": "0x83"}}]}
//
// Link is "Ftdi", "MakerUsb" or "ComPort"; Mode "Application" or "Bootloader". Numbers
// may be written as JSON numbers or as "0x..." texts. PaceBaud true means 115200.

#include "sim/Simulator.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <vector>

namespace ql::sim {

bool TrackerFromJson(const QJsonObject& json, TSimTracker& tracker, QString& error);
bool FaultsFromJson(const QJsonObject& json, TSimFaults& faults, QString& error);
// A config file's text: an object with "Trackers", or a bare array of trackers.
bool TrackersFromJson(const QByteArray& text, std::vector<TSimTracker>& trackers, QString& error);

QJsonObject TrackerToJson(const TSimTracker& tracker);
QJsonObject FaultsToJson(const TSimFaults& faults);
QJsonObject RequestToJson(const TSimRequest& request, bool withBytes);

QString LinkName(TSimLink link);
QString ModeName(TSimMode mode);

}  // namespace ql::sim
