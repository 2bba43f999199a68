// `lx9`: the command-line tool. Composition root: parses the command line, runs one subcommand.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
    CLI::App app{"LX9 crosshole sonic logging: command-line tool"};
    app.require_subcommand(1);
    lx9::cli::Action action;
    lx9::cli::addDemoCommand(app, action);
    lx9::cli::addInfoCommand(app, action);
    lx9::cli::addInstrumentCommand(app, action);
    lx9::cli::addSetCommand(app, action);
    lx9::cli::addAnalyseCommand(app, action);
    lx9::cli::addRenderCommand(app, action);
    lx9::cli::addExportCommand(app, action);
    lx9::cli::addReportCommand(app, action);
    lx9::cli::addUploadCommand(app, action);
    lx9::cli::addAcquireCommand(app, action);
    CLI11_PARSE(app, argc, argv);
    return action ? action() : 0;
}
