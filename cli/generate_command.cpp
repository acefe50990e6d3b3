// korvex-cli generate: makes a picture from a pattern description (a solid
// colour, a gradient, a rainbow, stripes, a comet, dots) with the same
// generator as the pattern dialog, and adds it to a library file or puts
// it in place of an existing picture.
#include <QColor>
#include <QString>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/picture_store.h"
#include "model/pattern.h"

namespace korvex::cli {

namespace {

// The option that carries each number of a description.
const char *OptionOf(PatternParam param)
{
    switch (param) {
    case PatternParam::Colours: return "colors";
    case PatternParam::Pixels: return "pixels";
    case PatternParam::Repeat: return "repeat";
    case PatternParam::Width: return "width";
    case PatternParam::Length: return "length";
    }
    return "";
}

void NumberError(PatternParam param, const std::string &given)
{
    const PatternRange range = RangeOf(param);
    Error(std::string("--") + OptionOf(param) + " takes a number from " + std::to_string(range.lo) +
          " to " + std::to_string(range.hi) + ", not '" + given + "'");
}

// "#RRGGBB" or any other form QColor takes, an SVG colour name included.
bool ReadColours(const std::string &text, std::vector<Rgb> &out)
{
    out.clear();
    for (const QString &item : QString::fromStdString(text).split(QLatin1Char(','))) {
        const QColor c = QColor::fromString(item.trimmed());
        if (!c.isValid()) {
            Error("--colors: '" + item.toStdString() +
                  "' is not a colour; give #RRGGBB or a name such as red");
            return false;
        }
        out.push_back(Rgb{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                          static_cast<uint8_t>(c.blue())});
    }
    return true;
}

// The description the options give, checked by the generator's own rule.
bool ReadDescription(const ParsedArgs &args, PatternKind kind, PatternDescription &pattern)
{
    pattern = DefaultPattern(kind);
    if (args.Has("colors") && !ReadColours(args.Get("colors"), pattern.colours))
        return false;
    const std::pair<PatternParam, int *> numbers[] = {
        {PatternParam::Pixels, &pattern.pixels},
        {PatternParam::Repeat, &pattern.repeat},
        {PatternParam::Width, &pattern.width},
        {PatternParam::Length, &pattern.length},
    };
    for (const auto &[param, dest] : numbers) {
        const char *option = OptionOf(param);
        if (!args.Has(option))
            continue;
        // Any whole number is read; its range is the generator's to judge.
        if (!ParseInt(args.Get(option), 0, 999999999, *dest)) {
            NumberError(param, args.Get(option));
            return false;
        }
    }
    pattern.reverse = args.Has("reverse");
    pattern.dither = args.Has("dither");

    if (const auto fault = CheckPattern(pattern)) {
        if (fault->param == PatternParam::Colours)
            Error("--colors takes " + std::to_string(fault->range.lo) + " to " +
                  std::to_string(fault->range.hi) + " colours, not " +
                  std::to_string(fault->value));
        else
            NumberError(fault->param, args.Get(OptionOf(fault->param)));
        return false;
    }
    // An option the kind has no use for is most likely a mistake in the
    // command line; the picture is still made.
    for (PatternParam param :
         {PatternParam::Colours, PatternParam::Repeat, PatternParam::Width, PatternParam::Length}) {
        if (args.Has(OptionOf(param)) && !PatternUses(kind, param))
            Error(std::string("warning: --") + OptionOf(param) + " has no effect on " +
                  PatternKindName(kind));
    }
    if (static_cast<int>(pattern.colours.size()) > PatternColourSlots(kind) &&
        PatternColourSlots(kind))
        Error(std::string("warning: ") + PatternKindName(kind) + " uses only the first colour");
    return true;
}

int RunGenerate(const Invocation &inv)
{
    const ParsedArgs &args = inv.args;
    const std::vector<std::string> &positional = args.positional;
    if (positional.size() != 1) {
        Error("generate takes one kind: solid, gradient, rainbow, stripes, comet or dots");
        return kExitUsage;
    }
    const auto kind = PatternKindFromName(positional[0]);
    if (!kind) {
        Error("unknown kind '" + positional[0] +
              "'; the kinds are solid, gradient, rainbow, stripes, comet and dots");
        return kExitUsage;
    }
    std::string gbkName;
    if (!PictureName(args, "generate", gbkName))
        return kExitUsage;
    PatternDescription pattern;
    if (!ReadDescription(args, *kind, pattern))
        return kExitUsage;

    PictureTarget target;
    if (!OpenPictureTarget(inv, target))
        return kExitUsage;
    return StorePicture(target, MakePattern(pattern), gbkName);
}

}  // namespace

const CommandDecl kGenerateCommand = {
    "generate",
    "make a picture from a pattern",
    "KIND",
    "Makes a picture of 2048 colours from a pattern, exactly as the pattern\n"
    "dialog does, and appends it to the library file (or replaces picture N).\n"
    "KIND is one of:\n"
    "  solid     every pixel in colour 1\n"
    "  gradient  the colours as stops at equal spacing, blended in between\n"
    "  rainbow   the hues from red round to red\n"
    "  stripes   W pixels of each colour in turn\n"
    "  comet     a head in colour 1 at the end of each run, its tail fading\n"
    "            to black over L pixels\n"
    "  dots      one pixel in every W lit, in each colour in turn\n"
    "Each channel goes to the nearest of the 16 levels the controller shows.\n"
    "A library file that does not exist yet is created.\n",
    {
        kPictureNameOption,
        {"colors", "C1,C2,...",
         "1 to 8 colours, #RRGGBB or names such as red;\n"
         "default red (gradient and stripes: red,blue)"},
        {"pixels", "P",
         "the pattern fills the first P pixels, 16..2048, the\nrest are black; default 2048"},
        {"repeat", "K",
         "gradient, rainbow and comet: K runs of equal length\nacross the P pixels, 1..64; "
         "default 1"},
        {"width", "W",
         "stripes: the width of a stripe; dots: the spacing;\n1..2048, default 16 and 8"},
        {"length", "L", "comet: the length of the tail, 1..2048; default 64"},
        {"reverse", nullptr, "mirror the pattern over its P pixels"},
        {"dither", nullptr,
         "spread the rounding to the levels over neighbouring\n"
         "pixels (gradient, rainbow, comet), so that a slow\n"
         "gradient shows no flat bands"},
        kReplaceOption,
    },
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunGenerate,
    "Exit status: 0 done, 2 bad usage (the option, the value and its range\n"
    "are named) or a library file that cannot be read or written or is\n"
    "damaged (nothing is then written).\n",
};

}  // namespace korvex::cli
