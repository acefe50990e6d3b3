// Closing the port must not take back what has already been written: the
// restart frame that ends every upload and settings save awaits no reply,
// so it is usually still on its way to the controller when the port closes.
#include <gtest/gtest.h>

#include "link/korvex_api.h"
#include "tests/support/pty_peer.h"

using korvex::test::PtyPeer;

namespace {

const std::vector<uint8_t> kRestart = {0x1B, '$', 'Q',  'u',  'o',  'r',  'l',
                                       '0',  'P', 0x00, 0x01, 0x47, 0x0B, 0x12};

void RestartAndClose()
{
    ASSERT_EQ(ComInitial(1, 38400), 1);
    EXPECT_EQ(ResetCard(), 1);
    EXPECT_EQ(ComClose(), 1);
}

}  // namespace

TEST(PortClose, RestartWrittenJustBeforeCloseReachesAReadingPeer)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Start();
    constexpr int kRounds = 20;
    for (int i = 1; i <= kRounds; ++i) {
        RestartAndClose();
        ASSERT_TRUE(peer.WaitFrames(i, 2000)) << "round " << i;
    }
    for (const auto &f : peer.Frames())
        EXPECT_EQ(f, kRestart);
}

TEST(PortClose, RestartWaitsInTheLineForAPeerThatReadsAfterClose)
{
    PtyPeer peer;  // not reading yet
    ASSERT_TRUE(peer.ok());
    RestartAndClose();
    peer.Start();
    ASSERT_TRUE(peer.WaitFrames(1, 2000));
    EXPECT_EQ(peer.Frames().at(0), kRestart);
}
