// Subcommands of the `lx9` tool. Each adds itself to the command line and runs when chosen;
// main() is the composition root and owns nothing else.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace lx9::cli {

// The chosen subcommand's work; its result is the process exit code.
using Action = std::function<int()>;

void addInfoCommand(CLI::App& app, Action& action);
void addDemoCommand(CLI::App& app, Action& action);
void addInstrumentCommand(CLI::App& app, Action& action);
void addSetCommand(CLI::App& app, Action& action);
void addAnalyseCommand(CLI::App& app, Action& action);
void addRenderCommand(CLI::App& app, Action& action);
void addExportCommand(CLI::App& app, Action& action);
void addReportCommand(CLI::App& app, Action& action);
void addUploadCommand(CLI::App& app, Action& action);
void addAcquireCommand(CLI::App& app, Action& action);

}  // namespace lx9::cli
