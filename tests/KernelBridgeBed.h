#pragma once
// A umockdev testbed holding FTDI bridges as the kernel's ftdi_sio shows them: the USB
// device (vendor, product string, serial string), its interface, the usb-serial port with
// its latency_timer attribute and the ttyUSBn node, which umockdev backs with a
// pseudo-terminal. Terminal calls on the node are run on that pseudo-terminal by an ioctl
// handler, so the loader's side behaves as a tty; the master end is for the simulator.
//
// Only a process running under umockdev's preload library sees the testbed, and so do
// the processes it starts (they inherit the preload and $UMOCKDEV_DIR).

#include <umockdev.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

namespace ql::test {

struct TBridgeSpec {
    int Index = 0;             // ttyUSB<Index>, bus port 1-<Index + 1>, minor <Index>
    QByteArray Vendor = "0403";
    QByteArray Product = "Quillomar";
    QByteArray Serial;
};

class TKernelBridgeBed {
public:
    TKernelBridgeBed() : bed_(umockdev_testbed_new()) {}
    ~TKernelBridgeBed()
    {
        g_object_unref(bed_);
        for (UMockdevIoctlBase* handler : handlers_)
            g_object_unref(handler);
    }
    TKernelBridgeBed(const TKernelBridgeBed&) = delete;
    TKernelBridgeBed& operator=(const TKernelBridgeBed&) = delete;

    // Adds the bridge; error says why not.
    bool Add(const TBridgeSpec& bridge, QString& error)
    {
        const QByteArray port = UsbPort(bridge);
        const QByteArray tty = TtyName(bridge);
        const QByteArray description =
            "P: " + TtyDevPath(bridge) + "\nN: " + tty + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty
            + "\nA: dev=188:" + QByteArray::number(bridge.Index) + "\n\n"
            + "P: " + PortDevPath(bridge) + "\nE: SUBSYSTEM=usb-serial\nA: latency_timer=16\n\n"
            + "P: /devices/pci0000:00/usb1/" + port + "/" + port + ":1.0\nE: SUBSYSTEM=usb\n"
            + "E: DEVTYPE=usb_interface\n\n"
            + "P: " + UsbDevPath(bridge) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
            + "A: idVendor=" + bridge.Vendor + "\nA: idProduct=6001\nA: product=" + bridge.Product
            + "\nA: serial=" + bridge.Serial + "\n";
        UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&RunOnPseudoTerminal), nullptr);
        handlers_.push_back(handler);
        GError* failure = nullptr;
        if (!umockdev_testbed_add_from_string(bed_, description.constData(), &failure)
            || !umockdev_testbed_attach_ioctl(bed_, ("/dev/" + tty).constData(), handler, &failure)) {
            error = QString::fromUtf8(failure ? failure->message : "umockdev");
            if (failure)
                g_error_free(failure);
            return false;
        }
        return true;
    }

    // Tells listeners (the loader's udev monitor) that the bridge's nodes were added.
    void AnnounceAdded(const TBridgeSpec& bridge)
    {
        for (const QByteArray& path : {UsbDevPath(bridge), TtyDevPath(bridge)})
            umockdev_testbed_uevent(bed_, ("/sys" + path).constData(), "add");
    }

    // Unplugs the bridge: listeners are told, then its nodes leave the testbed.
    void Unplug(const TBridgeSpec& bridge)
    {
        for (const QByteArray& path : {TtyDevPath(bridge), UsbDevPath(bridge)})
            umockdev_testbed_uevent(bed_, ("/sys" + path).constData(), "remove");
        umockdev_testbed_remove_device(bed_, ("/sys" + UsbDevPath(bridge)).constData());
    }

    // The master end of the bridge's pseudo-terminal (owned by the testbed).
    int LineFd(const TBridgeSpec& bridge)
    {
        return umockdev_testbed_get_dev_fd(bed_, ("/dev/" + TtyName(bridge)).constData());
    }

    // The port's latency_timer attribute as a file of the testbed.
    QString LatencyTimerFile(const TBridgeSpec& bridge) const
    {
        return SysDir() + QString::fromLatin1(PortDevPath(bridge)) + "/latency_timer";
    }
    // The testbed's own file of the node (what the loader opens as /dev/ttyUSBn).
    QString NodeFile(const TBridgeSpec& bridge) const
    {
        return RootDir() + "/dev/" + QString::fromLatin1(TtyName(bridge));
    }
    // The socket through which the preload of every process hands the node's terminal
    // calls to this testbed; a process of another user must be let in to it.
    QString IoctlSocketFile(const TBridgeSpec& bridge) const
    {
        return RootDir() + "/ioctl/dev/" + QString::fromLatin1(TtyName(bridge));
    }
    QString RootDir() const
    {
        gchar* root = umockdev_testbed_get_root_dir(bed_);
        const QString path = QString::fromLocal8Bit(root);
        g_free(root);
        return path;
    }

private:
    static QByteArray UsbPort(const TBridgeSpec& b) { return "1-" + QByteArray::number(b.Index + 1); }
    static QByteArray TtyName(const TBridgeSpec& b) { return "ttyUSB" + QByteArray::number(b.Index); }
    static QByteArray UsbDevPath(const TBridgeSpec& b) { return "/devices/pci0000:00/usb1/" + UsbPort(b); }
    static QByteArray PortDevPath(const TBridgeSpec& b)
    {
        return UsbDevPath(b) + "/" + UsbPort(b) + ":1.0/" + TtyName(b);
    }
    static QByteArray TtyDevPath(const TBridgeSpec& b) { return PortDevPath(b) + "/tty/" + TtyName(b); }

    QString SysDir() const
    {
        gchar* sys = umockdev_testbed_get_sys_dir(bed_);
        const QString path = QString::fromLocal8Bit(sys);
        g_free(sys);
        return path;
    }

    // Every terminal call on a node runs on its pseudo-terminal, in the calling process.
    static gboolean RunOnPseudoTerminal(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer)
    {
        int error = 0;
        GError* failure = nullptr;
        const int result = umockdev_ioctl_client_execute(client, &error, &failure);
        if (failure)
            g_error_free(failure);
        umockdev_ioctl_client_complete(client, result, error);
        return TRUE;
    }

    UMockdevTestbed* bed_;
    std::vector<UMockdevIoctlBase*> handlers_;
};

}  // namespace ql::test
