#pragma once
// SIGTERM, SIGINT and SIGHUP as an ordinary event of the UI thread's loop, so a loader
// stopped from a terminal or by a script ends like a window closed by hand: the loop
// ends, the settings are saved and the devices released, exit status 255. The signal
// handler itself only writes one byte into a pipe.

#include <QObject>

class QSocketNotifier;

namespace ql {

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;  // the signals take their default actions again

    // False when the pipe could not be made; the signals then keep their default actions.
    bool Install();

signals:
    void Requested();

private:
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace ql
