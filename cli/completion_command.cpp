// korvex-cli completion: a bash completion script made from the command
// table, so that it completes exactly the commands and options the program
// takes. The build runs it to make the script the package installs.
#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"

namespace korvex::cli {

namespace {

// A placeholder that stands for a file name: an option's value or an
// operand such as IMAGE or FILE.png.
bool NamesAFile(const std::string &placeholder)
{
    return placeholder == "FILE" || placeholder == "PATH" || placeholder == "DIR" ||
           placeholder == "IMAGE" || placeholder.compare(0, 5, "FILE.") == 0;
}

bool IsWord(const std::string &token)
{
    if (token.empty())
        return false;
    for (char c : token)
        if (!std::islower(static_cast<unsigned char>(c)) && c != '-')
            return false;
    return true;
}

std::vector<std::string> Split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

std::string Join(const std::vector<std::string> &words)
{
    std::string out;
    for (const std::string &w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

// What the script completes after one command.
struct CommandWords {
    std::vector<std::string> options;       // every --option, --help last
    std::vector<std::string> fileValues;    // options whose value is a file
    std::vector<std::string> values;        // the other options that take a value
    std::vector<std::string> first;         // literal words the first operand may be
    std::vector<std::string> fileOperands;  // positions (0-based) of file operands
};

// The operands synopsis is either "{op ARG | op | ...}", operations whose
// names are the first operand's words, or a list of placeholders and
// literal words ("IMAGE", "N NAME", "bash").
CommandWords WordsOf(const CommandDecl &command)
{
    CommandWords w;
    for (const OptionDecl &o : AllOptions(command)) {
        const std::string name = std::string("--") + o.name;
        w.options.push_back(name);
        if (o.value)
            (NamesAFile(o.value) ? w.fileValues : w.values).push_back(name);
    }
    w.options.push_back("--help");
    const std::string operands = command.operands ? command.operands : "";
    if (!operands.empty() && operands.front() == '{') {
        for (const std::string &alternative :
             Split(operands.substr(1, operands.find('}') - 1), '|')) {
            const std::vector<std::string> tokens = Split(alternative, ' ');
            if (!tokens.empty() && IsWord(tokens[0]))
                w.first.push_back(tokens[0]);
        }
        return w;
    }
    const std::vector<std::string> tokens = Split(operands, ' ');
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i == 0 && IsWord(tokens[i]))
            w.first.push_back(tokens[i]);
        else if (NamesAFile(tokens[i]))
            w.fileOperands.push_back(std::to_string(i));
    }
    return w;
}

// The script's fixed part: finds the command, the word before the cursor
// and how many operands precede it, then completes from the command's
// lists (set by the generated case below).
const char kScriptHead[] =
    R"(# bash completion for korvex-cli, made by 'korvex-cli completion bash' from
# its command table.
_korvex_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local options="" filevalues="" values="" first="" fileoperands=""
    COMPREPLY=()
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W '%s --help --version' -- "$cur"))
        return 0
    fi
    case ${COMP_WORDS[1]} in
)";

const char kScriptTail[] =
    R"(    *) return 0 ;;
    esac
    case " $filevalues " in *" $prev "*)
        COMPREPLY=($(compgen -f -- "$cur"))
        return 0 ;;
    esac
    case " $values " in *" $prev "*) return 0 ;; esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return 0
    fi
    # The operand under the cursor: count the words before it that are
    # neither options nor their values.
    local i n=0
    for ((i = 2; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        -*) case " $filevalues $values " in *" ${COMP_WORDS[i]} "*) i=$((i + 1)) ;; esac ;;
        *) n=$((n + 1)) ;;
        esac
    done
    if [ "$n" -eq 0 ] && [ -n "$first" ]; then
        COMPREPLY=($(compgen -W "$first" -- "$cur"))
    elif [[ " $fileoperands " == *" $n "* ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
    return 0
}
complete -o filenames -F _korvex_cli korvex-cli
)";

std::string BashScript()
{
    std::vector<std::string> names;
    std::string cases;
    for (const CommandDecl *c : Commands()) {
        names.push_back(c->name);
        const CommandWords w = WordsOf(*c);
        cases += std::string("    ") + c->name + ")\n";
        cases += "        options='" + Join(w.options) + "'\n";
        if (!w.fileValues.empty())
            cases += "        filevalues='" + Join(w.fileValues) + "'\n";
        if (!w.values.empty())
            cases += "        values='" + Join(w.values) + "'\n";
        if (!w.first.empty())
            cases += "        first='" + Join(w.first) + "'\n";
        if (!w.fileOperands.empty())
            cases += "        fileoperands='" + Join(w.fileOperands) + "'\n";
        cases += "        ;;\n";
    }
    std::string head = kScriptHead;
    head.replace(head.find("%s"), 2, Join(names));
    return head + cases + kScriptTail;
}

int RunCompletion(const Invocation &inv)
{
    const std::vector<std::string> &shell = inv.args.positional;
    if (shell.size() != 1 || shell[0] != "bash") {
        Error("completion makes a script for bash: 'korvex-cli completion bash'");
        return kExitUsage;
    }
    std::fputs(BashScript().c_str(), stdout);
    return kExitOk;
}

}  // namespace

const CommandDecl kCompletionCommand = {
    "completion",
    "print the bash completion script",
    "bash",
    "Prints a bash completion script for korvex-cli: its commands, each\n"
    "command's options, and file names where a file is expected. The package\n"
    "installs it; to use it elsewhere:\n"
    "  source <(korvex-cli completion bash)\n",
    {},
    /*usesPort=*/false,
    /*usesLibrary=*/false,
    RunCompletion,
};

}  // namespace korvex::cli
