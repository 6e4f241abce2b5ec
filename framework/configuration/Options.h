// One command-line option descriptor, together with what the scan of the
// command line found for it, and the scanner that lets a null-terminated
// array of descriptors claim the arguments that name them.
//
// Syntax the scanner accepts:
//   --name [value]        long name (never abbreviated, no --name=value form)
//   -x [value]            one-letter short name
//   -xyz                  first the whole word "xyz" is offered (a long name
//                         written with one dash, or a multi-letter short
//                         prefix such as the I of -Ipath); if nothing claims
//                         it, each letter is offered as its own short name
//   -Ipath                an option taking an attached (non-POSIX) value
// Arguments that no option claims stay in argv, in their order. A lone "-"
// is never an option, and "--" is offered as the one-letter word "-", which
// no ordinary option claims: both normally stay.
//
// Where an option that takes a value from the next argument is named by a
// whole single-dash word (-chip 1, -useconfig file), it takes that argument
// as its value and the argument is skipped, exactly as for --chip 1 and
// -c 1, so the value never reappears among the remaining arguments.
// An option with an attached value never consumes the following argument,
// whichever form named it: after -Ipath, after a cluster letter and after
// its double-dash name (which takes the text after the two dashes, i.e.
// the long name itself, as its value) the next argument is scanned on its
// own.
//
// An empty long short name counts as none, and so does an empty help text.
//
// Descriptors borrow every text they are given (long name, long short
// name, valid values, help): those must outlive the descriptor.
#ifndef CONFIGURATION_OPTIONS_H
#define CONFIGURATION_OPTIONS_H

#include <list>
#include <memory>
#include <string>

#include "generic/Export.h"

namespace Configuration {

class QX_FRAMEWORK_API Options {
public:
    using ValidValuesList = std::list<std::string>;
    using iterator = ValidValuesList::iterator;

    // Flag bits of the constructors.
    static constexpr int s_requires_argument = 1;
    static constexpr int s_appendable = 2;
    static constexpr int s_requires_non_posix_argument = 4;

    // Type words that may stand in a valid-values list.
    static char const* const s_text;     // "<string>": any non-empty value
    static char const* const s_integer;  // "<integer>": decimal or hexadecimal
    static char const* const s_real;     // "<real>"

    Options(char const* longName, char shortName, char const* validValues, int flags, char const* help);
    Options(char const* longName, char shortName, char const* longShortName, char const* validValues,
            int flags, char const* help);
    virtual ~Options();
    Options(Options const&) = delete;
    Options& operator=(Options const&) = delete;

    bool isFound() const { return m_found; }
    void setFound(bool found) { m_found = found; }

    bool hasValue() const { return m_value != nullptr; }
    char const* getValue() const { return m_value.get(); }
    // Ignores null and empty texts. A second value is appended after a ","
    // for an appendable option and is an error for any other option.
    void setValue(char const* text);

    bool hasError() const { return m_has_error; }
    char const* getError() const { return m_error.get(); }
    // Marks the option as failed; a non-empty text replaces the error text.
    void setError(char const* text);

    bool hasValidValues() const { return m_valid_values != nullptr; }
    int getValidValuesLength() const;
    // Splits the valid values at "," on first use (empty pieces dropped);
    // stores the list's begin in begin and returns its end. Only meaningful
    // when hasValidValues() is true.
    iterator getValidValues(iterator& begin);
    bool isValidValue(std::string const& value);

    char const* getLongName() const { return m_long_name; }
    int getShortName() const { return static_cast<signed char>(m_short_name); }
    char const* getLongShortName() const { return m_long_short_name; }
    // "--" + long name + "/-" + (long short name, else the short letter);
    // built once and kept.
    char const* getName();

    // Whether the option may still be claimed without a repeat error.
    bool isActive() const { return !m_found || m_appendable; }
    bool requiresArgument() const { return m_requires_argument; }
    bool requiresNonPosixArgument() const { return m_requires_non_posix_argument; }
    bool isAppendable() const { return m_appendable; }

    // word is an argument without its leading dashes, or one cluster letter.
    // A one-letter word is compared with the short name only (when there is
    // one); otherwise the long short name matches as a prefix and the long
    // name matches as a whole.
    bool nameMatches(char const* word) const;

    // Replaces out with the option's usage line (no newline); the widths
    // align the columns of all options of a table, 0 means no alignment.
    void getUsageString(std::string& out, int longNameWidth, int validValuesWidth) const;

    // Offers word, taken from argv[index], to the options in array order;
    // the first that matches claims it and takes its value: the text of
    // argv[index] after two characters for an attached-value option, else
    // argv[index + 1] for an option requiring an argument. tookValue tells
    // whether a value was taken. Returns whether an option claimed the
    // word; foundCount counts the claims.
    static bool updateArgs(char* word, int& argc, char** argv, int index, bool& tookValue, int& foundCount,
                           Options** options);
    // Scans argv[1..argc) against the null-terminated options array, leaves
    // only the unclaimed arguments in argv[1..] and updates argc. Returns
    // the number of option occurrences found, failed ones included. Texts
    // made for unclaimed cluster letters (-vz leaves "-z") are never freed:
    // argv refers to them for the rest of the process.
    static int processCommandLineArgs(int& argc, char** argv, Options** options);

private:
    static Options* offerWord(char const* word, int argc, char** argv, int index, bool& skipNext,
                              int& foundCount, Options** options);
    static char* offerLetters(char* cluster, int argc, char** argv, int& position, int& foundCount,
                              Options** options);
    void claim(int argc, char** argv, int index, bool& tookValue);
    void takeAttachedValue(char const* argument, bool& tookValue);
    void takeNextArgument(int argc, char** argv, int index, bool& tookValue);
    static bool acceptsValue(std::string const& entry, std::string const& value);

    std::unique_ptr<char[]> m_value;
    char const* m_help;
    char const* m_valid_values;
    std::unique_ptr<ValidValuesList> m_valid_values_list;
    std::unique_ptr<char[]> m_display_name;
    char const* m_long_name;
    char const* m_long_short_name;
    char m_short_name;
    bool m_found = false;
    bool m_appendable;
    bool m_requires_argument;
    bool m_requires_non_posix_argument;
    bool m_has_error = false;
    std::unique_ptr<char[]> m_error;
};

}  // namespace Configuration

#endif  // CONFIGURATION_OPTIONS_H
