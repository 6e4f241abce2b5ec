// What qxas was asked to do: the option set made from the common tool
// options and the assembler's options, read into plain settings, and the
// source files left on the command line.
#ifndef ASSEMBLER_TOOL_QXASCOMMANDLINE_H
#define ASSEMBLER_TOOL_QXASCOMMANDLINE_H

#include <string>
#include <vector>

namespace Configuration {
class CommandOptions;
}

namespace Qxas {

struct QxasSettings {
    bool help = false;
    bool version = false;
    bool verbose = false;
    std::string info;                     // --info: the mnemonic to describe
    std::string dump;                     // --dump: the qxx file to write as text
    std::string output;                   // --output, empty when not given
    std::vector<std::string> macroFiles;  // --fovel-file, in command-line order
    std::vector<std::string> sources;     // the unoptioned arguments
    std::string emptyValue;               // "--output/-o" when -o '' was given, and the like
};

class QxasCommandLine {
public:
    // Makes the process-wide option set from the command line; the option
    // set ends the process itself when an option is malformed or the
    // system configuration cannot be read. Null when "--useconfig" had no
    // usable value (the option set has said why).
    static Configuration::CommandOptions* makeOptions(int& argc, char** argv);

    // Prints the usage text as the option set does, without one: for
    // --help when there is no configuration to make the option set from.
    static void printUsageWithoutOptions(char const* programName);

    // Reads the settings from the option set and the arguments it left.
    static QxasSettings readSettings(Configuration::CommandOptions& options, int argc, char** argv);

    // The first of qxas's value options given an empty value, as
    // "--long/-s"; empty when there is none. The option set takes an empty
    // value for a switch, so this looks at the command line before it.
    static std::string findEmptyValue(int argc, char** argv);

    // The first argument that looks like an option, which no option
    // claimed; null when there is none.
    static char const* findUnknownOption(QxasSettings const& settings);
};

}  // namespace Qxas

#endif  // ASSEMBLER_TOOL_QXASCOMMANDLINE_H
