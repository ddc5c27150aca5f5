// Subcommands whose library parts are still to come.
#include "Commands.h"

#include <CLI/CLI.hpp>

namespace kvs::tool {

void AddFormulaCommand(CLI::App&, Runner&) {}

} // namespace kvs::tool
