// The configuration record: byte order of its five words, version number,
// blank record, and the read and write exchanges against the simulator.
#include <gtest/gtest.h>

#include "link/korvex_api.h"
#include "model/config_record.h"
#include "tests/support/sim_port.h"

namespace korvex {
namespace {

TEST(ConfigRecordFields, VersionNumberWrapsInEightBits)
{
    ConfigRecord r = BlankRecord();
    auto digits = [&](uint8_t a, uint8_t b) {
        r[3] = a;
        r[5] = b;
        return VersionNumber(r);
    };
    EXPECT_EQ(digits('1', '0'), 10);
    EXPECT_EQ(digits('1', '1'), 11);
    EXPECT_EQ(digits('2', '3'), 23);
    EXPECT_EQ(digits(0, 0), 240);  // (0-48)*10 + (0-48) mod 256
    EXPECT_EQ(digits('9', '9'), 99);
}

TEST(ConfigRecordFields, SignatureAndBlankRecord)
{
    const ConfigRecord blank = BlankRecord();
    EXPECT_TRUE(HasSignature(blank));
    for (size_t i = 3; i < blank.size(); ++i)
        ASSERT_EQ(blank[i], 0) << i;
    ConfigRecord r = blank;
    r[0] = 'v';
    EXPECT_FALSE(HasSignature(r));
    EXPECT_EQ(ByteSwap16(0x1234), 0x3412);
    SetWord(r, cfg::kProgramCount, 512);
    EXPECT_EQ(r[19], 0x00);
    EXPECT_EQ(r[20], 0x02);
    EXPECT_EQ(GetWord(r, cfg::kProgramCount), 512);
}

// Opens the simulator's port for the lifetime of the object.
struct OpenPort {
    OpenPort() { ok = ComInitial(1, 38400) != 0; }
    ~OpenPort() { ComClose(); }
    bool ok = false;
};

ConfigRecord ControllerRecord()
{
    ConfigRecord c{};
    for (size_t i = 0; i < c.size(); ++i)
        c[i] = static_cast<uint8_t>(i * 7 + 3);
    c[0] = 'V';
    c[1] = 'e';
    c[2] = 'r';
    c[3] = '1';
    c[4] = '.';
    c[5] = '1';
    c[8] = 0x08;  // pixel count 2048, big-endian
    c[9] = 0x00;
    c[19] = 0x02;  // 512 program entries
    c[20] = 0x00;
    return c;
}

TEST(ConfigRecordExchange, ReadConvertsWordsAndWriteSendsThemBackStamped)
{
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    const ConfigRecord controller = ControllerRecord();
    sp->SetConfigRecord(controller);

    OpenPort port;
    ASSERT_TRUE(port.ok);
    ConfigRecord host{};
    ASSERT_TRUE(ReadConfigRecord(host));
    EXPECT_EQ(GetWord(host, cfg::kPixelCount), 2048);
    EXPECT_EQ(GetWord(host, cfg::kProgramCount), 512);
    for (int w : kWordFields) {
        EXPECT_EQ(host[w], controller[w + 1]) << w;
        EXPECT_EQ(host[w + 1], controller[w]) << w;
    }
    EXPECT_EQ(VersionNumber(host), 11);

    const ConfigRecord beforeWrite = host;
    ASSERT_TRUE(WriteConfigRecord(host));
    EXPECT_EQ(host, beforeWrite);  // the argument is never modified
    const auto sent = sp->ConfigRecord();
    for (size_t i = 0; i < sent.size(); ++i) {
        if (i == 3 || i == 4 || i == 5)
            continue;
        ASSERT_EQ(sent[i], controller[i]) << "byte " << i;
    }
    EXPECT_EQ(sent[3], '1');
    EXPECT_EQ(sent[4], '.');
    EXPECT_EQ(sent[5], '0');
    EXPECT_EQ(host[5], '1');  // the host copy keeps the digits it read
}

TEST(ConfigRecordExchange, FailuresLeaveTheRecordsAsTheyWere)
{
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    sp->SetConfigRecord(ControllerRecord());

    ConfigRecord host = BlankRecord();
    host[cfg::kPictureCount] = 42;
    SetWord(host, cfg::kProgramCount, 300);
    const ConfigRecord kept = host;
    // No port open: nothing read, nothing written.
    EXPECT_FALSE(ReadConfigRecord(host));
    EXPECT_EQ(host, kept);
    EXPECT_FALSE(WriteConfigRecord(host));

    OpenPort port;
    ASSERT_TRUE(port.ok);
    sp->SetFault(sim::Fault::NoReply);
    EXPECT_FALSE(ReadConfigRecord(host));
    EXPECT_EQ(host, kept);
    sp->SetFault(sim::Fault::NotOk);
    EXPECT_FALSE(WriteConfigRecord(host));
    EXPECT_EQ(host, kept);
}

}  // namespace
}  // namespace korvex
