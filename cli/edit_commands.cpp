// korvex-cli rename, delete and program: the picture page's Rename and
// Delete and the program page's Add, Change and Delete, run by script.
// Each loads the library, applies the library document's operation that
// the window's handler applies, and saves as the window's Save does, so the
// file comes out as the window would write it. A refused edit writes
// nothing.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "model/effects.h"
#include "model/library_document.h"

namespace korvex::cli {

namespace {

// What an edit asks of EditLibrary besides an exit status: save, or leave
// the file as it is.
constexpr int kSave = -1;

// Loads the library, runs `edit` on it and saves it when `edit` returns
// kSave; any other value is the exit status, with the file untouched.
int EditLibrary(const Invocation &inv, const std::function<int(LibraryDocument &)> &edit)
{
    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;
    const int status = edit(*doc);
    if (status != kSave)
        return status;
    return SaveLibrary(inv.libraryPath, *doc, *data) ? kExitOk : kExitUsage;
}

// Reads a 1-based picture or step number (as 'list' numbers them) within
// 1..count into a 0-based index. The message names the number and the
// range: `what` is "picture" or "step", `holder` and `plural` say what
// holds them ("the library holds", "pictures").
bool ParseNumber(const std::string &text, int count, const std::string &what,
                 const std::string &holder, const std::string &plural, int &index)
{
    const std::string range = count == 0 ? holder + " no " + plural
                                         : holder + " " + plural + " 1 to " + std::to_string(count);
    int n = 0;
    if (!ParseInt(text, 0, 999999999, n)) {
        Error("'" + text + "' is not a " + what + " number; " + range);
        return false;
    }
    if (n < 1 || n > count) {
        Error(what + " " + std::to_string(n) + " is out of range: " + range);
        return false;
    }
    index = n - 1;
    return true;
}

bool ParsePicture(const std::string &text, const LibraryDocument &doc, int &index)
{
    return ParseNumber(text, doc.PictureCount(), "picture", "the library holds", "pictures", index);
}

bool ParseStep(const std::string &text, const LibraryDocument &doc, int &index)
{
    return ParseNumber(text, doc.ProgramLength(), "step", "the program lists", "steps", index);
}

// Checks the operand count; prints the usage hint otherwise.
bool Operands(const Invocation &inv, const char *command, size_t count, const char *what)
{
    if (inv.args.positional.size() == count)
        return true;
    Error(std::string(command) + " takes " + what + "; try 'korvex-cli " + command + " --help'");
    return false;
}

// ---- rename N NAME

int RunRename(const Invocation &inv)
{
    if (!Operands(inv, "rename", 2, "a picture number and a name"))
        return kExitUsage;
    const std::string &name = inv.args.positional[1];
    return EditLibrary(inv, [&](LibraryDocument &doc) {
        int r = 0;
        if (!ParsePicture(inv.args.positional[0], doc, r))
            return kExitUsage;
        // The dialog's OK with the name it was shown changes nothing.
        if (name == doc.PictureName(r)) {
            Error("note: picture " + std::to_string(r + 1) +
                  " already has that name; the library is left as it is");
            return kExitOk;
        }
        std::string gbk;
        if (!NameToGbk(name, gbk))
            return kExitUsage;
        doc.RenamePicture(r, gbk);
        std::printf("%s\n", doc.PictureLabel(r).c_str());
        return kSave;
    });
}

// ---- delete N

int RunDelete(const Invocation &inv)
{
    if (!Operands(inv, "delete", 1, "one picture number"))
        return kExitUsage;
    return EditLibrary(inv, [&](LibraryDocument &doc) {
        int d = 0;
        if (!ParsePicture(inv.args.positional[0], doc, d))
            return kExitUsage;
        // The rebuild keeps each step's picture number: a step of picture d
        // or a later one now shows the picture that moved into its number,
        // and the steps of the last picture are dropped. Said, so that a
        // script does not change a program unawares.
        int moved = 0;
        for (int s = 0; s < doc.ProgramLength(); ++s)
            moved += doc.Program()[static_cast<size_t>(s)].picture >= d;
        const int before = doc.ProgramLength();
        doc.DeletePicture(d);
        const int dropped = before - doc.ProgramLength();
        if (moved > 0)
            Error("note: program steps keep their picture numbers, as in the window: " +
                  std::to_string(moved - dropped) + " step(s) now show another picture, " +
                  std::to_string(dropped) + " step(s) were dropped");
        return kSave;
    });
}

// ---- program add|change|delete|clear

// --effect and --value as given: effect -1 and value -1 when absent.
bool ParseStepOptions(const ParsedArgs &args, int &effect, int &value)
{
    effect = -1;
    value = -1;
    if (args.Has("effect")) {
        effect = EffectFromText(args.Get("effect"));
        if (effect < 0) {
            Error("--effect wants one of " + EffectTextList() + " or its number 0..7, not '" +
                  args.Get("effect") + "'");
            return false;
        }
    }
    if (args.Has("value") && !ParseInt(args.Get("value"), kValueMin, kValueMax, value)) {
        Error("--value wants a whole number from 0 to 31, not '" + args.Get("value") + "'");
        return false;
    }
    return true;
}

void PrintStep(const LibraryDocument &doc, int s)
{
    std::printf("%s (value %d)\n", doc.StepLabel(s).c_str(),
                doc.Program()[static_cast<size_t>(s)].value);
}

int RunProgram(const Invocation &inv)
{
    const std::vector<std::string> &ops = inv.args.positional;
    const std::string op = ops.empty() ? std::string() : ops[0];
    const bool takesNumber = op == "add" || op == "change" || op == "delete";
    if (!takesNumber && op != "clear") {
        Error(op.empty()
                  ? "program needs an operation: add, change, delete or clear"
                  : "unknown program operation '" + op + "'; it is add, change, delete or clear");
        return kExitUsage;
    }
    if (ops.size() != (takesNumber ? 2u : 1u)) {
        Error("program " + op + (takesNumber ? " takes one number" : " takes no operand") +
              "; try 'korvex-cli program --help'");
        return kExitUsage;
    }
    if ((op == "delete" || op == "clear") && (inv.args.Has("effect") || inv.args.Has("value"))) {
        Error("--effect and --value are for program add and program change");
        return kExitUsage;
    }
    int effect = -1, value = -1;
    if (!ParseStepOptions(inv.args, effect, value))
        return kExitUsage;

    return EditLibrary(inv, [&](LibraryDocument &doc) {
        int index = 0;
        if (op == "add") {
            if (!ParsePicture(ops[1], doc, index))
                return kExitUsage;
            if (doc.ProgramFull()) {
                Error("the program already lists 512 steps, the most it can hold");
                return kExitUsage;
            }
            const StepChoice step = NewStepChoice(effect, value);
            PrintStep(doc, doc.AddStep(index, step.effect, step.value));
            return kSave;
        }
        if (op == "clear") {
            // Delete on each step, the last first.
            while (doc.ProgramLength() > 0)
                doc.DeleteStep(doc.ProgramLength() - 1);
            return kSave;
        }
        if (!ParseStep(ops[1], doc, index))
            return kExitUsage;
        if (op == "delete") {
            doc.DeleteStep(index);
            return kSave;
        }
        if (effect < 0 && value < 0) {
            Error("program change needs --effect, --value or both");
            return kExitUsage;
        }
        // As the page: picking an effect sets its default value; a value
        // alone keeps the step's effect.
        doc.ChangeStep(index, effect, value >= 0 ? value : DefaultValue(effect));
        PrintStep(doc, index);
        return kSave;
    });
}

}  // namespace

const CommandDecl kRenameCommand = {
    "rename",
    "give a picture a new name",
    "N NAME",
    "Gives picture N (numbered from 1 as 'korvex-cli list' shows them) the\n"
    "name NAME, as the picture page's Rename does, and prints its new label.\n"
    "NAME is UTF-8, at most 15 bytes in GBK (a Chinese character counts two);\n"
    "a name GBK cannot hold is refused. The name the picture already has\n"
    "changes nothing and the file is not written.\n",
    {},
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunRename,
    "Exit status: 0 done, 2 bad usage, a number out of range, a refused name\n"
    "or a library file that cannot be read or written (nothing is then\n"
    "written).\n",
};

const CommandDecl kDeleteCommand = {
    "delete",
    "delete a picture",
    "N",
    "Deletes picture N (numbered from 1 as 'korvex-cli list' shows them) as\n"
    "the picture page's Delete does: the later pictures move up a place and\n"
    "the program is rebuilt. Its steps keep their picture numbers, so a step\n"
    "of picture N or a later one then shows the picture that moved into that\n"
    "number, and the steps of the last picture are dropped; a note on stderr\n"
    "says how many steps this touched.\n",
    {},
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunDelete,
    "Exit status: 0 done, 2 bad usage, a number out of range or a library\n"
    "file that cannot be read or written (nothing is then written).\n",
};

const CommandDecl kProgramCommand = {
    "program",
    "add, change or delete program steps",
    "{add PICTURE | change STEP | delete STEP | clear}",
    "Edits the program as the program page does; pictures and steps are\n"
    "numbered from 1 as 'korvex-cli list' shows them. The first operand is\n"
    "the operation:\n"
    "  add PICTURE   appends a step showing PICTURE (a double-click on it);\n"
    "                the effect is 显示 unless --effect names one, the value\n"
    "                the effect's default unless --value gives it\n"
    "  change STEP   sets STEP's effect and/or value; a new effect without\n"
    "                --value takes its default value, as in the window\n"
    "  delete STEP   removes STEP; the later steps move up\n"
    "  clear         removes every step\n"
    "add and change print the step's label and value.\n",
    {
        {"effect", "E",
         "the step's effect: 显示 渐显 左移 右移 渐隐 等待 展开 收拢,\n"
         "or its number 0..7 in that order"},
        {"value", "V",
         "speed or stay time, 0..31; default: the effect's own,\n"
         "1 for 显示 and 等待, 31 for the others"},
    },
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunProgram,
    "Exit status: 0 done, 2 bad usage, a number out of range, a full program\n"
    "or a library file that cannot be read or written (nothing is then\n"
    "written).\n",
};

}  // namespace korvex::cli
