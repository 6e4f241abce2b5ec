// The option set: the one process-wide object through which every tool of
// the kit reads its command line and its configuration. Lookups consult
// the command line, then the user's configuration file, then the system
// configuration file, and succeed only with a non-empty value.
#ifndef CONFIGURATION_COMMANDOPTIONS_H
#define CONFIGURATION_COMMANDOPTIONS_H

#include <array>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "configuration/CommonOptions.h"
#include "generic/Export.h"

namespace Configuration {

class Options;
class Properties;

class QX_FRAMEWORK_API CommandOptions {
public:
    // Common option tables, null-terminated, created before main runs.
    static Options* s_std_tool_command_line_args[];
    static Options* s_arch_config_command_line_args[];
    static Options* s_linker_command_line_args[];
    static Options* s_compiler_command_line_args[];
    static Options* s_assembler_command_line_args[];
    // The merged table the scanner and the usage text use; null until
    // makeCommandOptionList builds it.
    static Options** s_command_line_args;

    static char const* const s_config_file_name;  // "target_device.cfg"
    static char const* const s_home_dir_name;     // "HOME"

    // Creates the single instance from the command line and the tool's
    // option tables. "--useconfig <file>" is taken off the command line
    // first and names the system configuration. When "--useconfig" has no
    // usable value (missing, or given twice), this prints
    // "Found the --useconfig option, but: " + the reason on standard output
    // and returns null (or the instance made before, if any); the caller
    // then ends with status 1 without touching the card. A second call
    // replaces the instance made by the first.
    static CommandOptions* makeCommandOptions(int& argc, char** argv, std::vector<Options**>* optionLists,
                                              char const* usageTail);
    // The instance; made from the configuration files alone when no tool
    // has made it yet.
    static CommandOptions* getCommandOptions();
    static bool makeCommandOptionList(std::vector<Options**>* optionLists);

    // Locates and reads the configuration, scans the command line, checks
    // values; ends the process with status 1 when any of that fails.
    CommandOptions(int& argc, char** argv, char const* configFileName, char const* usageTail);
    virtual ~CommandOptions();
    CommandOptions(CommandOptions const&) = delete;
    CommandOptions& operator=(CommandOptions const&) = delete;

    // Lookups in precedence order: command line, user file, system file.
    bool get(std::string& value, char const* key);
    bool getDelimiter(std::string& delimiter, char const* key);
    bool getVector(std::vector<std::string>& values, char const* key);
    bool isOn(char const* key);
    bool isVerbose();
    bool isDebugOn();
    bool isNoStdIncPathOn();
    bool isNoStdLibsOn();
    bool isNoStdLibPathOn();
    bool getVersion(std::string& value);
    bool getOutput(std::string& value);
    bool getIncludePath(std::vector<std::string>& paths);
    bool getLibraries(std::vector<std::string>& libraries);
    bool getLibraryPath(std::vector<std::string>& paths);

    // Writes into the first store present: command line, user, system.
    bool set(std::string const& value, char const* key);
    bool setVector(std::vector<std::string> const& values, char const* key);

    char const* getProgramName();
    std::string& getLastError();

    void usageLineFormat(bool showUseconfig, bool showOptions, bool showFilenames);
    void usage();
    // The usage text of the merged option table (makeCommandOptionList),
    // as usage() prints it, for a tool that answers --help before it has
    // an option set, e.g. when no configuration can be found.
    static void printUsage(char const* programName, bool showUseconfig, bool showOptions, bool showFilenames,
                           char const* usageTail);
    // Where the usage text goes when the command line or a configured
    // value is refused (the process then ends with status 1): standard
    // output unless a tool whose standard output carries its results
    // chooses standard error. Asked-for usage (usage()) stays on standard
    // output.
    static void setRefusalUsageStream(std::ostream& stream);
    void invalid_option_exit(char const* option);
    void invalid_option_ignore(char const* option);
    void no_input_files();

    bool setupCommandLine(int& argc, char** argv);

    // Configuration files and the system prefix.
    char* getConfigFileName(char const* environmentVariable);
    void usageConfigFile(char const* reason);
    bool makeSystemPrefix(std::string& prefix);
    bool getPrefixPart(std::string const& prefix, std::string part, std::string& result);
    int getIndex(std::string& list, std::string& item);
    std::string getIndexedValue(std::string& list, int index);
    bool getWithSystemPrefix(std::string& value, char const* key);

    // Copies of configuration keys into a store of the caller's.
    bool extractProperties(std::vector<std::string>& names, Properties& target);
    bool extractSection(std::string const& section, Properties& target);
    void extractAllProperties(Properties& target);

    // Verification of values.
    bool checkForValidValues(char const* source, Properties* store);
    bool configVerify(Properties& store);
    bool containsValues(Properties& store);
    void auxReportConfigError(char const* name, int configValue, int storeValue, bool equality);
    void auxReportConfigError(char const* name, std::string const& configValue,
                              std::string const& storeValue);
    void auxReportConfigError(char const* name);

private:
    // Construction steps; each failure ends the process with status 1.
    void readConfigurationFiles(char const* configFileName);
    [[noreturn]] void exitWithConfigFileFailure(std::string const& reason);
    [[noreturn]] void exitWithUsage();
    // Stores the value of one found option; false (and the "Error: " line
    // printed) when the scan recorded an error for it.
    bool storeFoundOption(Options& option);
    void writeCommandLineIntoConfiguration();

    // The stores in lookup order: command line, user, system (any may be null).
    std::array<Properties*, 3> storesByPrecedence() const;
    // The delimiter of the highest store that makes name a list, or empty.
    std::string listDelimiter(std::string const& name);
    // Names under prefix: the system store's, then those the user and
    // command-line stores add.
    std::vector<std::string> collectSectionNames(std::string const& prefix) const;

    // get() as a lookup for the system prefix.
    std::function<bool(std::string&, char const*)> lookup();

    bool verifyEqualityRules(Properties& configuration, Properties& store);
    bool verifyAtLeastRules(Properties& configuration, Properties& store);

    std::unique_ptr<Properties> m_system_properties;
    std::unique_ptr<Properties> m_user_properties;          // null when there is none
    std::unique_ptr<Properties> m_command_line_properties;  // null when the scan found no option
    std::string m_config_file_name;
    char const* m_usage_tail = nullptr;
    bool m_show_useconfig = false;
    bool m_show_options = true;
    bool m_show_filenames = true;
    std::string m_user_config_file_name;  // empty when there is none
    char const* m_program_name = nullptr;
    std::string m_last_error;
};

// The single instance; null until made.
extern QX_FRAMEWORK_API CommandOptions* the_command_options;

// Prints the usage line and the heading of the option list.
QX_FRAMEWORK_API void print_usage(char const* programName, bool showUseconfig, bool showOptions,
                                  bool showFilenames, char const* usageTail);

}  // namespace Configuration

#endif  // CONFIGURATION_COMMANDOPTIONS_H
