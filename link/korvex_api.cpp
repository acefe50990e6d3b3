// The nine exported functions. The seven commands only build their payload
// and hand it to the one frame exchange.
#include "link/korvex_api.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "link/frame.h"
#include "link/link.h"

using korvex::link::AddressBytes;
using korvex::link::ExchangeFrame;

namespace {

int32_t WriteBlock(uint8_t letter, int32_t page, int32_t block, const uint8_t *src)
{
    if (!src)
        return 0;  // like a null destination for reads: nothing is sent
    uint8_t payload[3 + 1024];
    payload[0] = letter;
    AddressBytes(page, block, payload + 1);
    std::memcpy(payload + 3, src, 1024);
    return ExchangeFrame(sizeof payload, payload, nullptr);
}

uint8_t Bcd(const char *twoDigits)
{
    return static_cast<uint8_t>(((twoDigits[0] - '0') << 4) | (twoDigits[1] - '0'));
}

}  // namespace

extern "C" {

KORVEX_API int32_t KORVEX_CALL ComInitial(int32_t port, int32_t baud)
{
    return korvex::link::PortOpen(port, baud);
}

KORVEX_API int32_t KORVEX_CALL ComClose(void)
{
    return korvex::link::PortClose();
}

KORVEX_API int32_t KORVEX_CALL Read1KData(int32_t page, int32_t block, uint8_t *dest)
{
    if (!dest)
        return 0;
    uint8_t payload[3] = {'A', 0, 0};
    AddressBytes(page, block, payload + 1);
    return ExchangeFrame(sizeof payload, payload, dest);
}

KORVEX_API int32_t KORVEX_CALL Write1KData(int32_t page, int32_t block, const uint8_t *src)
{
    if (page < 8)
        return 0;  // the pages below 8 are refused before anything else
    return WriteBlock('B', page, block, src);
}

KORVEX_API int32_t KORVEX_CALL Write1KData_Ex(int32_t page, int32_t block, const uint8_t *src)
{
    return WriteBlock('C', page, block, src);
}

KORVEX_API int32_t KORVEX_CALL WriteSpecial(const uint8_t *src)
{
    if (!src)
        return 0;
    uint8_t payload[1 + 256];
    payload[0] = 'D';
    std::memcpy(payload + 1, src, 256);
    return ExchangeFrame(sizeof payload, payload, nullptr);
}

KORVEX_API int32_t KORVEX_CALL WriteNotSave(const uint8_t *settings)
{
    if (!settings)
        return 0;
    const uint8_t payload[4] = {'E', settings[0], settings[1], settings[2]};
    return ExchangeFrame(sizeof payload, payload, nullptr);
}

KORVEX_API int32_t KORVEX_CALL SetTime(void)
{
    // Local time: seconds, minutes, hours, day of month, each as packed BCD.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return 0;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d%02d", local.tm_sec, local.tm_min,
                  local.tm_hour, local.tm_mday);
    const uint8_t payload[5] = {'F', Bcd(digits), Bcd(digits + 2), Bcd(digits + 4),
                                Bcd(digits + 6)};
    return ExchangeFrame(sizeof payload, payload, nullptr);
}

KORVEX_API int32_t KORVEX_CALL ResetCard(void)
{
    const uint8_t payload[1] = {'G'};
    ExchangeFrame(sizeof payload, payload, nullptr);
    return 1;
}

}  // extern "C"
