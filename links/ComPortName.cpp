#include "links/ComPortName.h"

#include <QByteArray>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include <vector>

namespace ql {
namespace {

const QString kUsualSerialGroup = QStringLiteral("dialout");
constexpr size_t kGroupBufferBytes = 4096;

}  // namespace

QString ComPortDevicePath(const QString& name)
{
    if (name.isEmpty() || name.startsWith(u'/'))
        return name;
    return QString::fromLatin1(kDeviceFolder) + name;
}

QString SystemErrorText(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error));
}

QString OwningGroupName(const QString& path)
{
    struct stat info {};
    if (::stat(path.toLocal8Bit().constData(), &info) != 0)
        return kUsualSerialGroup;
    std::vector<char> buffer(kGroupBufferBytes);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(info.st_gid);
}

TComPortFault MakeComPortFault(TComPortFault::TStage stage, const QString& path, int error)
{
    TComPortFault fault;
    fault.Stage = stage;
    fault.Path = path;
    fault.Error = error;
    fault.Reason = SystemErrorText(error);
    if (error == EACCES)
        fault.AccessGroup = OwningGroupName(path);
    return fault;
}

}  // namespace ql
