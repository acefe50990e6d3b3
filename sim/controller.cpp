// The controller's memory and command semantics; see controller.h.
#include "sim/controller.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvex::sim {

namespace {

// The configuration record: page 127, block 3, from byte 512.
constexpr size_t kRecordOffset = 127 * kPageSize + 3 * kBlockSize + 512;
// Payload lengths, command letter included.
constexpr size_t kAddressed = 3;  // letter and two address bytes
constexpr size_t kBlockWrite = kAddressed + kBlockSize;
constexpr size_t kRecordWrite = 1 + kRecordSize;
constexpr size_t kSettings = 4;  // letter and three setting bytes
constexpr size_t kClock = 5;     // letter, seconds, minutes, hours, day (BCD)
constexpr size_t kRestart = 1;

const std::vector<uint8_t> kOk = {'O', 'K'};

bool InMemory(int page, int block)
{
    return page >= 0 && page < kPages && block >= 0 && block < kPageSize / kBlockSize;
}

// The two address bytes count 256-byte units; page and block as the log shows them.
size_t Address(const uint8_t *payload, FrameLogEntry *entry)
{
    const unsigned units = (static_cast<unsigned>(payload[1]) << 8) | payload[2];
    entry->page = static_cast<int>(units >> 4);
    entry->block = static_cast<int>((units >> 2) & 3);
    return static_cast<size_t>(units) * 256;
}

std::string HexBytes(const uint8_t *p, size_t n)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, " %02X", p[i]);
        s += buf;
    }
    return s;
}

}  // namespace

Controller::Controller(const std::string &firmware, bool signature) : mem_(kMemorySize, 0)
{
    uint8_t *r = mem_.data() + kRecordOffset;
    if (signature) {
        r[0] = 'V';
        r[1] = 'e';
        r[2] = 'r';
    }
    const std::string fw = firmware.size() >= 3 ? firmware : std::string("1.1");
    r[3] = static_cast<uint8_t>(fw[0]);
    r[4] = static_cast<uint8_t>(fw[1]);
    r[5] = static_cast<uint8_t>(fw[2]);
    r[8] = 0x08;  // pixel count 2048, big-endian
    r[9] = 0x00;
}

Answer Controller::Handle(const uint8_t *p, size_t n)
{
    Answer a;
    const char letter = static_cast<char>(p[0]);
    a.entry.command = letter;
    switch (letter) {
    case 'A':  // read a block
        a.understood = n == kAddressed;
        if (a.understood) {
            const size_t off = Address(p, &a.entry);
            a.reply.resize(kBlockSize);
            for (size_t i = 0; i < kBlockSize; ++i)
                a.reply[i] = mem_[(off + i) % kMemorySize];
            a.entry.result = "DATA";
        }
        break;
    case 'B':
    case 'C':  // write a block
        a.understood = n == kBlockWrite;
        if (a.understood) {
            const size_t off = Address(p, &a.entry);
            for (size_t i = 0; i < kBlockSize; ++i)
                mem_[(off + i) % kMemorySize] = p[kAddressed + i];
            a.reply = kOk;
        }
        break;
    case 'D':  // write the configuration record
        a.understood = n == kRecordWrite;
        if (a.understood) {
            std::memcpy(mem_.data() + kRecordOffset, p + 1, kRecordSize);
            a.reply = kOk;
        }
        break;
    case 'E':  // display settings, applied and not stored
    case 'F':  // clock
        a.understood = n == (letter == 'E' ? kSettings : kClock);
        if (a.understood) {
            a.parameters = HexBytes(p + 1, n - 1);
            a.reply = kOk;
        }
        break;
    case 'G':  // restart: answers nothing
        a.understood = n == kRestart;
        a.entry.result = "none";
        break;
    default: a.entry.command = '?'; break;
    }
    if (!a.understood) {
        a.reply.clear();
        a.entry.result = "unknown";
    } else if (a.entry.result.empty()) {
        a.entry.result = "OK";
    }
    return a;
}

std::vector<uint8_t> Controller::Block(int page, int block) const
{
    if (!InMemory(page, block))
        return {};
    const auto first = mem_.begin() + page * kPageSize + block * kBlockSize;
    return std::vector<uint8_t>(first, first + kBlockSize);
}

void Controller::SetBlock(int page, int block, const std::vector<uint8_t> &data)
{
    if (!InMemory(page, block))
        return;
    const size_t n = std::min<size_t>(data.size(), kBlockSize);
    std::memcpy(mem_.data() + page * kPageSize + block * kBlockSize, data.data(), n);
}

std::array<uint8_t, kRecordSize> Controller::ConfigRecord() const
{
    std::array<uint8_t, kRecordSize> r{};
    std::memcpy(r.data(), mem_.data() + kRecordOffset, r.size());
    return r;
}

void Controller::SetConfigRecord(const std::array<uint8_t, kRecordSize> &record)
{
    std::memcpy(mem_.data() + kRecordOffset, record.data(), record.size());
}

bool Controller::LoadImage(const std::string &path)
{
    if (path.empty())
        return false;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> image(kMemorySize);
    const size_t got = std::fread(image.data(), 1, image.size(), f);
    const bool exact = got == image.size() && std::fgetc(f) == EOF;
    std::fclose(f);
    if (!exact)
        return false;
    mem_.swap(image);
    return true;
}

bool Controller::SaveImage(const std::string &path) const
{
    if (path.empty())
        return false;
    const std::string tmp = path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(mem_.data(), 1, mem_.size(), f) == mem_.size();
    if (std::fclose(f) != 0 || !ok) {
        std::remove(tmp.c_str());
        return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace korvex::sim
