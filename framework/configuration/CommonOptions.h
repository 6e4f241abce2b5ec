// Names, short letters, help texts and valid values of the options that the
// kit's tools share, and the option set's printf formats. The table itself
// lives in CommonOptions.def; the descriptors made from it are the static
// tables of CommandOptions.
#ifndef CONFIGURATION_COMMONOPTIONS_H
#define CONFIGURATION_COMMONOPTIONS_H

namespace Configuration {

#define CO_VALID(name, text) inline constexpr char CO_Val_##name[] = text;
#define CO_KEY(suffix, text) inline constexpr char CO_L_##suffix[] = text;
#define CO_HELP(suffix, text) inline constexpr char CO_Hlp_##suffix[] = text;
#define CO_OPTION(table, suffix, longName, valid, flags) CO_KEY(suffix, longName)
#define CO_OPTION_S(table, suffix, longName, shortLetter, valid, flags) \
    CO_KEY(suffix, longName) inline constexpr char CO_S_##suffix = shortLetter;
#define CO_OPTION_H(table, suffix, longName, valid, flags, help) \
    CO_KEY(suffix, longName) CO_HELP(suffix, help)
#define CO_OPTION_SH(table, suffix, longName, shortLetter, valid, flags, help) \
    CO_OPTION_S(table, suffix, longName, shortLetter, valid, flags) CO_HELP(suffix, help)
#include "configuration/CommonOptions.def"
#undef CO_OPTION_SH
#undef CO_OPTION_H
#undef CO_OPTION_S
#undef CO_OPTION
#undef CO_HELP
#undef CO_KEY
#undef CO_VALID

// printf formats; the first %s is the program name.
inline constexpr char CO_USAGE_bad_option_exiting[] =
    "%s: Invalid command option found: %s. Exiting. \nUse -h for a list of available options.\n";
inline constexpr char CO_USAGE_bad_option_ignoring[] = "%s: Invalid command option ignored: %s.\n";
inline constexpr char CO_USAGE_no_input_files[] = "%s: No input files found.\n";

}  // namespace Configuration

#endif  // CONFIGURATION_COMMONOPTIONS_H
