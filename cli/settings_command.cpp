// korvex-cli settings and set-time.
#include <cstdio>

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/port_choice.h"
#include "link/korvex_api.h"
#include "model/config_record.h"
#include "model/line.h"

namespace korvex::cli {

namespace {

struct Wanted {
    int pixels = -1, order = -1, data = -1, oe = -1;
};

bool ReadWanted(const ParsedArgs &args, Wanted &w)
{
    struct {
        const char *name;
        int lo, hi;
        int *dest;
    } fields[] = {{"pixels", kPixelCountMin, kPixelCountMax, &w.pixels},
                  {"order", 0, kColourOrders - 1, &w.order},
                  {"data-invert", 0, 1, &w.data},
                  {"oe-invert", 0, 1, &w.oe}};
    for (const auto &f : fields) {
        if (!args.Has(f.name))
            continue;
        if (!ParseInt(args.Get(f.name), f.lo, f.hi, *f.dest)) {
            Error(std::string("--") + f.name + " takes a number from " + std::to_string(f.lo) +
                  " to " + std::to_string(f.hi) + ", not '" + args.Get(f.name) + "'");
            return false;
        }
    }
    return true;
}

int RunSettings(const Invocation &inv)
{
    const ParsedArgs &args = inv.args;
    Wanted w;
    if (!ReadWanted(args, w))
        return kExitUsage;
    const bool live = args.Has("live");
    if (live && w.pixels >= 0) {
        Error("the pixel count cannot be applied live; store it without --live");
        return kExitUsage;
    }
    if (w.pixels < 0 && w.order < 0 && w.data < 0 && w.oe < 0) {
        Error("nothing to change: give --pixels, --order, --data-invert or --oe-invert");
        return kExitUsage;
    }
    const int port = inv.port;

    // The record is read first so that every byte the host does not own
    // goes back as the controller holds it.
    ConfigRecord record{};
    const bool opened = ComInitial(port, kBaud) != 0;
    bool ok = opened && ReadConfigRecord(record);
    const bool read = ok;
    bool blankWithoutPixels = false;
    if (ok && !HasSignature(record)) {
        // A controller without a record: a complete one is stored, as the
        // desktop program does, and it needs a pixel count to be sensible.
        record = BlankRecord();
        if (!live && w.pixels < 0) {
            blankWithoutPixels = true;
            ok = false;
        }
    }
    if (ok) {
        const int data = w.data >= 0 ? w.data : DataInverted(record);
        const int oe = w.oe >= 0 ? w.oe : OeInverted(record);
        const int order = w.order >= 0 ? w.order : record[cfg::kColourOrder];
        if (live) {
            const uint8_t triple[3] = {static_cast<uint8_t>(data), static_cast<uint8_t>(oe),
                                       static_cast<uint8_t>(order)};
            ok = WriteNotSave(triple) != 0;
        } else {
            // Setting a flag sets the whole flag byte, as the desktop program does.
            if (w.data >= 0 || w.oe >= 0)
                record[cfg::kFlags] = FlagByte(data != 0, oe != 0);
            record[cfg::kColourOrder] = static_cast<uint8_t>(order);
            if (w.pixels >= 0)
                SetWord(record, cfg::kPixelCount, static_cast<uint16_t>(w.pixels));
            ok = WriteConfigRecord(record);
            if (ok)
                ok = ResetCard() != 0;
        }
    }
    ComClose();
    if (!RecordWasRead(opened, read, port))
        return kExitExchange;
    if (blankWithoutPixels) {
        Error("the controller holds no settings record yet; give --pixels as well so that a "
              "complete record is stored");
        return kExitUsage;
    }
    if (!ok) {
        Error(std::string(live ? "applying" : "storing") +
              " the settings failed: " + WhyExchangeFailed(port));
        return kExitExchange;
    }
    std::printf(live ? "settings applied (not stored)\n"
                     : "settings stored; the controller restarts\n");
    return kExitOk;
}

int RunSetTime(const Invocation &inv)
{
    const int port = inv.port;
    const bool opened = ComInitial(port, kBaud) != 0;
    const bool ok = opened && SetTime() != 0;
    ComClose();
    if (!ok) {
        Error("setting the clock failed: " + WhyExchangeFailed(port));
        return kExitExchange;
    }
    std::printf("clock set\n");
    return kExitOk;
}

}  // namespace

const CommandDecl kSettingsCommand = {
    "settings",
    "store or try display settings",
    nullptr,
    "Without --live: reads the controller's configuration record, changes the\n"
    "given settings, stores the record and restarts the controller.\n"
    "With --live: applies data inversion, OE inversion and colour order at once\n"
    "without storing them (settings not given keep the controller's values);\n"
    "the pixel count cannot be applied live.\n",
    {
        {"pixels", "N", "pixel count, 16..2048"},
        {"order", "K", "colour order: 0 RGB, 1 RBG, 2 GRB, 3 GBR, 4 BRG, 5 BGR"},
        {"data-invert", "B", "data inversion, 0 or 1"},
        {"oe-invert", "B", "blanking (OE) inversion, 0 or 1"},
        {"live", nullptr, "try the settings without storing them"},
    },
    /*usesPort=*/true,
    /*usesLibrary=*/false,
    RunSettings,
};

const CommandDecl kSetTimeCommand = {
    "set-time",
    "set the controller's clock from this computer",
    nullptr,
    "Sets the controller's clock (seconds, minutes, hours, day of the month)\n"
    "from this computer's local time.\n",
    {},
    /*usesPort=*/true,
    /*usesLibrary=*/false,
    RunSetTime,
};

}  // namespace korvex::cli
