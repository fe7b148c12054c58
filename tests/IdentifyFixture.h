#pragma once
// The identification bench: a simulator, the pass context over it, and the lines logged.

#include "MessageMatch.h"
#include "SimBench.h"
#include "core/MessageCatalogue.h"
#include "devices/Identification.h"
#include "links/LoaderRecord.h"

#include <gtest/gtest.h>

namespace ql::test {


inline const QByteArray kQrgxImage =
    BuildFirmwareImage("QRGX-13.39-a6", "", false, 0, 0xFFFFFFFF, QByteArray(4096, '\x5A'));
inline const QByteArray kNrfImage =
    BuildFirmwareImage("QLBT-2.01", "", true, 0x1000, 0x00A80000, QByteArray(4096, '\x5A'));

class Identify : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetCurrentLanguage(kEnglish); }
    void SetUp() override { ASSERT_TRUE(bench.Start()); }

    TPassContext Pass(const QByteArray& image = kQrgxImage)
    {
        return TPassContext(bench.Channel, handOver, log, bench.Options, ImageLoader(image, &loads));
    }

    std::vector<int> Messages() const { return MessageNumbers(log); }

    TSimBench bench;
    TDirectHandOver handOver;
    TCollectingLog log;
    int loads = 0;
};

}  // namespace ql::test
