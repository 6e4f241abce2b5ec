// Fuzzes the option scanner and the option set.
//
// Input: NUL-separated segments; the first is the text of a system
// configuration file, every further one an argument word (argv[1], ...).
//
// The option set ends the process when the configuration cannot be read,
// an option fails or a value is invalid, and the descriptors it scans with
// keep what they found. So each input gets descriptors of its own (built
// from the common option table, the loader's seven options and two with
// attached values), and the option set is built only when nothing will
// make it exit: the same checks the construction makes are run first, on
// a throw-away scan and on a probe option set made once at start-up. An
// option set is then constructed per input as a local object, never as
// the process-wide instance; its destructor releases what it owns. Should
// the checks ever disagree with the construction, the process exits and
// libFuzzer reports it, which is a finding in its own right.
//
// A fork per input would let the singleton path run as is, but its
// coverage would stay in the child and the fuzzer would be blind; the
// direct approach keeps full feedback at a few thousand inputs a second.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "configuration/CommandOptions.h"
#include "configuration/CommonOptions.h"
#include "configuration/Options.h"
#include "configuration/Properties.h"

using Configuration::CommandOptions;
using Configuration::Options;
using Configuration::Properties;

namespace {

std::size_t const s_max_arguments = 64;
std::string s_scratch;      // temporary directory of this process
std::string s_config_path;  // rewritten for each input
CommandOptions* s_probe = nullptr;

// A fresh set of descriptors and the null-terminated table of them.
class Descriptors {
public:
    Descriptors() {
        using namespace Configuration;
#define CO_INTEGER Options::s_integer
#define CO_VALID(name, text)
#define CO_KEY(suffix, text)
#define CO_HELP(suffix, text)
#define CO_OPTION(table, suffix, longName, valid, flags) \
    add(CO_L_##suffix, 0, nullptr, valid, flags, nullptr);
#define CO_OPTION_S(table, suffix, longName, shortLetter, valid, flags) \
    add(CO_L_##suffix, CO_S_##suffix, nullptr, valid, flags, nullptr);
#define CO_OPTION_H(table, suffix, longName, valid, flags, help) \
    add(CO_L_##suffix, 0, nullptr, valid, flags, CO_Hlp_##suffix);
#define CO_OPTION_SH(table, suffix, longName, shortLetter, valid, flags, help) \
    add(CO_L_##suffix, CO_S_##suffix, nullptr, valid, flags, CO_Hlp_##suffix);
#include "configuration/CommonOptions.def"
#undef CO_OPTION_SH
#undef CO_OPTION_H
#undef CO_OPTION_S
#undef CO_OPTION
#undef CO_HELP
#undef CO_KEY
#undef CO_VALID
#undef CO_INTEGER
        // The loader's own options.
        add("fake", 0, nullptr, nullptr, 0, "Backward compatibility with tolk output");
        add("qxx", 0, nullptr, nullptr, 0, "Backward compatibility with tolk");
        add("chip", 'c', nullptr, nullptr, 1, "Which chip to run on (0 or 1), default: 0");
        add("instance", 0, nullptr, nullptr, 1, "What instance of hardware");
        add("host", 0, nullptr, nullptr, 1, "Which host the simulator is running on");
        add("sim", 's', nullptr, nullptr, 0, "Connect to the simulator");
        add("qxtrace", 0, nullptr, nullptr, 1, "Set file name for trace output and enabled trace");
        // Attached values (-Dname, -Wl...), which no common option uses.
        add("define", 0, "D", nullptr, 4 | 2, "Defines a name");
        add("warn", 'W', "Wx", "<real>,<string>", 4, nullptr);
        m_table.push_back(nullptr);
    }

    Options** table() {
        return m_table.data();
    }
    std::vector<std::unique_ptr<Options>>& all() {
        return m_options;
    }

private:
    void add(char const* longName, char shortName, char const* longShortName, char const* valid, int flags,
             char const* help) {
        m_options.push_back(
            std::make_unique<Options>(longName, shortName, longShortName, valid, flags, help));
        m_table.push_back(m_options.back().get());
    }

    std::vector<std::unique_ptr<Options>> m_options;
    std::vector<Options*> m_table;
};

// A modifiable argument vector, as main receives it.
class Argv {
public:
    explicit Argv(std::vector<std::string> const& words) : m_words(words) {
        for (std::string& word : m_words) m_pointers.push_back(word.data());
        m_pointers.push_back(nullptr);
        argc = static_cast<int>(m_words.size());
    }
    char** argv() { return m_pointers.data(); }
    bool isOriginal(char const* pointer) const {
        for (std::string const& word : m_words)
            if (word.data() == pointer) return true;
        return false;
    }
    int argc;

private:
    std::vector<std::string> m_words;
    std::vector<char*> m_pointers;
};

void split(uint8_t const* data, std::size_t size, std::string& config, std::vector<std::string>& words) {
    std::string const input(reinterpret_cast<char const*>(data), size);
    std::size_t const end = input.find('\0');
    config = input.substr(0, end);
    words.push_back("qxrun");
    std::size_t start = end == std::string::npos ? input.size() : end + 1;
    while (start < input.size() && words.size() <= s_max_arguments) {
        std::size_t next = input.find('\0', start);
        if (next == std::string::npos) next = input.size();
        words.push_back(input.substr(start, next - start));
        start = next + 1;
    }
}

// What the scanner leaves must be the unclaimed words or texts it made for
// unclaimed cluster letters, never more than it was given.
void checkRemaining(Argv& args, int originalCount) {
    if (args.argc < 1 || args.argc > originalCount) std::abort();
    for (int i = 1; i < args.argc; ++i) {
        char const* word = args.argv()[i];
        if (word == nullptr) std::abort();
        if (!args.isOriginal(word) && word[0] != '-') std::abort();
    }
}

// The store setupCommandLine makes from the found options.
Properties commandLineStore(Descriptors& descriptors, bool& clean) {
    Properties store;
    clean = true;
    for (auto& option : descriptors.all()) {
        if (!option->isFound()) continue;
        if (option->hasError()) clean = false;
        if (!option->hasValue()) {
            store.set("on", option->getLongName(), nullptr);
        } else {
            store.set(option->getValue(), option->getLongName(), option->isAppendable() ? "," : nullptr);
        }
    }
    return store;
}

void inspectDescriptors(Descriptors& descriptors) {
    std::string line;
    for (auto& option : descriptors.all()) {
        option->getName();
        option->getUsageString(line, 20, 12);
        option->getUsageString(line, 0, 0);
        if (option->hasValue()) option->isValidValue(option->getValue());
        if (option->hasValidValues()) {
            Options::iterator begin;
            Options::iterator end = option->getValidValues(begin);
            for (; begin != end; ++begin) option->isValidValue(*begin);
        }
    }
}

bool writeConfig(std::string const& text) {
    std::ofstream file(s_config_path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file);
}

void useOptionSet(CommandOptions& options, Properties& system, Descriptors& descriptors) {
    std::vector<std::string> names;
    system.getNames(names);
    for (auto& option : descriptors.all()) names.push_back(option->getLongName());
    std::string value;
    for (std::string const& name : names) {
        std::vector<std::string> values;
        options.get(value, name.c_str());
        options.getDelimiter(value, name.c_str());
        options.getVector(values, name.c_str());
        options.isOn(name.c_str());
    }
    std::vector<std::string> paths;
    options.getIncludePath(paths);
    options.getLibraries(paths);
    options.getLibraryPath(paths);
    options.isVerbose();
    options.getOutput(value);

    std::string prefix;
    if (options.makeSystemPrefix(prefix)) options.getWithSystemPrefix(value, "name");
    Properties section;
    options.extractSection("system", section);
    if (!prefix.empty()) options.extractSection(prefix.substr(0, prefix.size() - 1), section);
    Properties everything;
    options.extractAllProperties(everything);
    options.extractProperties(names, everything);
    options.configVerify(system);
    options.containsValues(system);
    options.usage();
    options.setVector(paths, "fuzz.list");
    options.set(value, "fuzz.value");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/qx_options_fuzz_XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    s_scratch = pattern;
    s_config_path = s_scratch + "/target_device.cfg";
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(s_scratch, ignored);
    });
    // The option set prints its reports; only libFuzzer's own output on
    // standard error (C stdio) is wanted.
    int const null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    std::cerr.rdbuf(nullptr);
    std::cout.rdbuf(nullptr);

    // The probe answers checkForValidValues, which needs an option set
    // but none of its stores.
    if (!writeConfig("probe = 1\n")) std::abort();
    int argc = 0;
    s_probe = new CommandOptions(argc, nullptr, s_config_path.c_str(), nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    std::string config;
    std::vector<std::string> words;
    split(data, size, config, words);

    // The scanner on its own, with descriptors that no earlier input touched.
    Descriptors scanned;
    CommandOptions::s_command_line_args = scanned.table();
    Argv args(words);
    int const found = Options::processCommandLineArgs(args.argc, args.argv(), scanned.table());
    if (found < 0) std::abort();
    checkRemaining(args, static_cast<int>(words.size()));
    inspectDescriptors(scanned);
    bool clean = false;
    Properties commandLine = commandLineStore(scanned, clean);

    // The option set, when its construction will go through.
    Properties system;
    bool const readable = system.readText(config);
    if (clean && readable && s_probe->checkForValidValues("system", &system) &&
        s_probe->checkForValidValues("command line", &commandLine) && writeConfig(config)) {
        Descriptors used;
        CommandOptions::s_command_line_args = used.table();
        Argv again(words);
        {
            CommandOptions options(again.argc, again.argv(), s_config_path.c_str(), nullptr);
            if (again.argc != args.argc) std::abort();
            useOptionSet(options, system, used);
        }
        CommandOptions::s_command_line_args = nullptr;
    }
    CommandOptions::s_command_line_args = nullptr;
    return 0;
}
