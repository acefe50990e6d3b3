// Connection check, live change and settings save.
#include "app/settings_exchange.h"

#include "link/korvex_api.h"
#include "model/line.h"

namespace korvex {

bool CheckConnection(int port, ConfigRecord &record)
{
    bool ok = ComInitial(port, kBaud) != 0;
    if (ok)
        ok = ReadConfigRecord(record);
    ComClose();
    return ok;
}

void ApplyLive(ConfigRecord &host, const DisplaySettings &settings, int port)
{
    // Data inversion, OE inversion, colour order: the order the controller
    // takes them in; no colour order chosen goes as 255.
    const uint8_t triple[3] = {
        static_cast<uint8_t>(settings.dataInverted ? 1 : 0),
        static_cast<uint8_t>(settings.oeInverted ? 1 : 0),
        static_cast<uint8_t>(settings.colourOrder),
    };
    host[cfg::kFlags] = FlagByte(settings.dataInverted, settings.oeInverted);
    host[cfg::kColourOrder] = triple[2];
    if (ComInitial(port, kBaud))
        WriteNotSave(triple);
    ComClose();
}

void PutSettings(ConfigRecord &host, const DisplaySettings &settings)
{
    host[cfg::kFlags] = FlagByte(settings.dataInverted, settings.oeInverted);
    host[cfg::kColourOrder] = static_cast<uint8_t>(settings.colourOrder);
    SetWord(host, cfg::kPixelCount, static_cast<uint16_t>(settings.pixelCount));
}

bool StoreSettings(ConfigRecord &host, const DisplaySettings &settings, int port)
{
    PutSettings(host, settings);
    bool ok = false;
    if (ComInitial(port, kBaud) && WriteConfigRecord(host))
        ok = ResetCard() != 0;
    ComClose();
    return ok;
}

}  // namespace korvex
