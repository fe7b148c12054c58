#include "writing/Compatibility.h"

#include <algorithm>
#include <iterator>

namespace ql {
namespace {

const QByteArray kTagQlmv = QByteArrayLiteral("QLMV");
const QByteArray kTagLead = QByteArrayLiteral("LEAD");
const QByteArray kTagNrbl = QByteArrayLiteral("NRBL");

// A device family that also takes the images of another tag, from a minimum image
// version on (0: any).
struct TFamilyExchange {
    QByteArray Device;
    QByteArray Image;
    uint16_t MinImageVersion;
};

const TFamilyExchange kFamilyExchanges[] = {
    {kTagQlmv, kTagLead, 0},
    {kTagLead, kTagQlmv, 0},
    {QByteArrayLiteral("WIFI"), QByteArrayLiteral("QLWF"), 304},
};

const QByteArray kGenerationFamilies[] = {kTagQlmv, kTagLead};

const QByteArray kCheckingBootloaders[] = {"STSL", "STL4", "STF4", "BLF4", "NRBL",
                                           "QRST", "QRBL", "SOEM", "BOEM"};

template <typename Table>
bool Listed(const Table& table, const QByteArray& tag)
{
    return std::find(std::begin(table), std::end(table), tag) != std::end(table);
}

// A device with no or an unknown firmware tag takes any image.
bool FamilyMatches(const QByteArray& device, const QByteArray& image, uint16_t imageVersion)
{
    if (device == image || device.isEmpty() || device == kUnknownTag)
        return true;
    return std::any_of(std::begin(kFamilyExchanges), std::end(kFamilyExchanges),
                       [&](const TFamilyExchange& e) {
                           return e.Device == device && e.Image == image
                                  && imageVersion >= e.MinImageVersion;
                       });
}

bool GenerationMatches(const QByteArray& device, uint16_t bootloaderVersion,
                       uint16_t imageVersion)
{
    if (!Listed(kGenerationFamilies, device))
        return true;
    // An older bootloader takes only images below 9.00, a newer one only those from 9.00.
    return (bootloaderVersion >= kGenerationBootloader) == (imageVersion >= kGenerationImage);
}

}  // namespace

TCompatibilityPlan PlanCompatibility(const TFirmwareVersion& device,
                                     const TFirmwareVersion& bootloader,
                                     const TFirmwareVersion& image)
{
    TCompatibilityPlan plan;
    plan.Allowed = GenerationMatches(device.Tag, bootloader.VersionNumber, image.VersionNumber)
                   && FamilyMatches(device.Tag, image.Tag, image.VersionNumber);
    if (!plan.Allowed)
        return plan;
    plan.AskFirmware = Listed(kCheckingBootloaders, bootloader.Tag) || device.Tag == kNrfImageTag
                       || image.Tag == kNrfImageTag;
    plan.AskSd = bootloader.Tag == kTagNrbl && image.StartOffset != kNrblNoSdCheckOffset;
    return plan;
}

}  // namespace ql
