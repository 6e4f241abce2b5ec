// The five common option tables, made from CommonOptions.def: the list is
// expanded once into rows that name their table, and one pass over the
// rows fills the tables before main runs. Each descriptor is created once
// and never destroyed: the tables hand out pointers to them for the whole
// life of the process.
#include <cstddef>

#include "configuration/CommandOptions.h"
#include "configuration/Options.h"

namespace Configuration {

namespace {

enum class Table { k_arch, k_std, k_linker, k_compiler, k_assembler, k_count };

// Stands for Options::s_integer, which is not a constant expression.
inline constexpr char k_integer[] = "<integer>";

struct Row {
    Table table;
    char const* long_name;
    char short_letter;
    char const* valid;
    int flags;
    char const* help;
};

#define CO_INTEGER k_integer
#define CO_VALID(name, text)
#define CO_KEY(suffix, text)
#define CO_HELP(suffix, text)
#define CO_OPTION(table, suffix, longName, valid, flags) \
    {Table::k_##table, CO_L_##suffix, 0, valid, flags, nullptr},
#define CO_OPTION_S(table, suffix, longName, shortLetter, valid, flags) \
    {Table::k_##table, CO_L_##suffix, CO_S_##suffix, valid, flags, nullptr},
#define CO_OPTION_H(table, suffix, longName, valid, flags, help) \
    {Table::k_##table, CO_L_##suffix, 0, valid, flags, CO_Hlp_##suffix},
#define CO_OPTION_SH(table, suffix, longName, shortLetter, valid, flags, help) \
    {Table::k_##table, CO_L_##suffix, CO_S_##suffix, valid, flags, CO_Hlp_##suffix},

constexpr Row k_rows[] = {
#include "configuration/CommonOptions.def"
};

constexpr std::size_t countOf(Table table) {
    std::size_t count = 0;
    for (Row const& row : k_rows) count += row.table == table;
    return count;
}

}  // namespace

// Each table ends with a null pointer.
Options* CommandOptions::s_arch_config_command_line_args[countOf(Table::k_arch) + 1] = {};
Options* CommandOptions::s_std_tool_command_line_args[countOf(Table::k_std) + 1] = {};
Options* CommandOptions::s_linker_command_line_args[countOf(Table::k_linker) + 1] = {};
Options* CommandOptions::s_compiler_command_line_args[countOf(Table::k_compiler) + 1] = {};
Options* CommandOptions::s_assembler_command_line_args[countOf(Table::k_assembler) + 1] = {};

namespace {

bool fillTables() {
    Options** const tables[] = {
        CommandOptions::s_arch_config_command_line_args, CommandOptions::s_std_tool_command_line_args,
        CommandOptions::s_linker_command_line_args, CommandOptions::s_compiler_command_line_args,
        CommandOptions::s_assembler_command_line_args};
    std::size_t filled[static_cast<std::size_t>(Table::k_count)] = {};
    for (Row const& row : k_rows) {
        std::size_t const table = static_cast<std::size_t>(row.table);
        char const* const valid = row.valid == k_integer ? Options::s_integer : row.valid;
        tables[table][filled[table]++] =
            new Options(row.long_name, row.short_letter, valid, row.flags, row.help);
    }
    return true;
}

bool const s_tables_filled = fillTables();

}  // namespace

}  // namespace Configuration
