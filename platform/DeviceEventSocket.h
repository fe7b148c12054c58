#pragma once
// A Unix datagram socket bound at a path, through which other programs (the tracker
// simulator, scripts) announce device changes: each datagram is an event code in ASCII
// decimal ("7" = the set of device nodes changed). A datagram that is not a decimal
// number is ignored. Read on the thread the socket lives on, from its event loop.

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace ql {

class TDeviceEventSocket : public QObject {
    Q_OBJECT
public:
    explicit TDeviceEventSocket(QObject* parent = nullptr);
    ~TDeviceEventSocket() override;  // closes the socket and removes its file

    // Binds at path. A socket file left there by an earlier run is replaced; any other
    // kind of file is left alone and the bind fails. False on failure.
    bool Bind(const QString& path);
    // Binds at the path named by QLFW_DEVICE_EVENTS; false when it is unset or empty.
    bool BindFromEnvironment();
    QString Path() const { return path_; }

signals:
    void DeviceChange(int eventCode);

private:
    void ReadDatagrams();
    void Close();

    int fd_ = -1;
    QString path_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ql
