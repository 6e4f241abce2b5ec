// The five common option tables, generated from CommonOptions.def. Each
// descriptor is created once before main runs and never destroyed: the
// tables hand out pointers to them for the whole life of the process.
#include "configuration/CommandOptions.h"
#include "configuration/Options.h"

namespace Configuration {

#define CO_INTEGER Options::s_integer

// A row becomes a descriptor in the table being built and nothing in the
// others: before each table, the CO_IN_<table> selector of that table is
// switched to CO_MAKE and the rest to CO_SKIP.
#define CO_MAKE(longName, shortLetter, valid, flags, help) \
    new Options(longName, shortLetter, valid, flags, help),
#define CO_SKIP(longName, shortLetter, valid, flags, help)

#define CO_VALID(name, text)
#define CO_KEY(suffix, text)
#define CO_HELP(suffix, text)
#define CO_OPTION(table, suffix, longName, valid, flags) \
    CO_IN_##table(CO_L_##suffix, 0, valid, flags, nullptr)
#define CO_OPTION_S(table, suffix, longName, shortLetter, valid, flags) \
    CO_IN_##table(CO_L_##suffix, CO_S_##suffix, valid, flags, nullptr)
#define CO_OPTION_H(table, suffix, longName, valid, flags, help) \
    CO_IN_##table(CO_L_##suffix, 0, valid, flags, CO_Hlp_##suffix)
#define CO_OPTION_SH(table, suffix, longName, shortLetter, valid, flags, help) \
    CO_IN_##table(CO_L_##suffix, CO_S_##suffix, valid, flags, CO_Hlp_##suffix)

#define CO_IN_arch CO_MAKE
#define CO_IN_std CO_SKIP
#define CO_IN_linker CO_SKIP
#define CO_IN_compiler CO_SKIP
#define CO_IN_assembler CO_SKIP
Options* CommandOptions::s_arch_config_command_line_args[] = {
#include "configuration/CommonOptions.def"
    nullptr};

#undef CO_IN_arch
#define CO_IN_arch CO_SKIP
#undef CO_IN_std
#define CO_IN_std CO_MAKE
Options* CommandOptions::s_std_tool_command_line_args[] = {
#include "configuration/CommonOptions.def"
    nullptr};

#undef CO_IN_std
#define CO_IN_std CO_SKIP
#undef CO_IN_linker
#define CO_IN_linker CO_MAKE
Options* CommandOptions::s_linker_command_line_args[] = {
#include "configuration/CommonOptions.def"
    nullptr};

#undef CO_IN_linker
#define CO_IN_linker CO_SKIP
#undef CO_IN_compiler
#define CO_IN_compiler CO_MAKE
Options* CommandOptions::s_compiler_command_line_args[] = {
#include "configuration/CommonOptions.def"
    nullptr};

#undef CO_IN_compiler
#define CO_IN_compiler CO_SKIP
#undef CO_IN_assembler
#define CO_IN_assembler CO_MAKE
Options* CommandOptions::s_assembler_command_line_args[] = {
#include "configuration/CommonOptions.def"
    nullptr};

}  // namespace Configuration
