// `lx9 render FILE.CHT --section 1-2 --out x.png`: draws one section's wave-train image, the one
// an upload sends, without a display (Qt's offscreen platform).
#include <cstdio>

#include "cli/commands.h"
#include "cli/render_wavetrain.h"
#include "cli/test_file.h"
#include "ui/gui_application.h"
#include "upload/section_image.h"

namespace lx9::cli {
namespace {

struct RenderArgs {
    std::string file;
    std::string section;
    std::string out;
    std::string view;
    WaveTrainRenderOptions wavetrain;
};

int runRender(const RenderArgs& args) {
    if (args.view == "wavetrain")
        return renderWaveTrainFile(args.file, args.section, args.wavetrain, args.out);
    if (args.section.empty()) {
        std::fprintf(stderr, "lx9 render: --section is required for the upload image\n");
        return 1;
    }
    ui::OffscreenGui gui;
    LoadedTest test;
    std::string error;
    if (!loadTestFile(args.file, test, error)) {
        std::fprintf(stderr, "lx9 render: %s\n", error.c_str());
        return 1;
    }
    int slot = -1;
    for (int k = 0; k < kMaxSections; ++k) {
        if (test.info.sections[k].present && test.info.sections[k].name == args.section) slot = k;
    }
    if (slot < 0) {
        std::fprintf(stderr, "lx9 render: section %s is not in %s (present:", args.section.c_str(),
                     args.file.c_str());
        for (const auto& s : test.info.sections) {
            if (s.present) std::fprintf(stderr, " %s", s.name.c_str());
        }
        std::fprintf(stderr, ")\n");
        return 1;
    }
    if (!renderSectionImage(test.info, test.pointers(), slot, args.out)) {
        std::fprintf(stderr,
                     "lx9 render: could not draw section %s into %s (the name must contain .png and the "
                     "folder must be writable)\n",
                     args.section.c_str(), args.out.c_str());
        return 1;
    }
    std::printf("%s\n", args.out.c_str());
    return 0;
}

}  // namespace

void addRenderCommand(CLI::App& app, Action& action) {
    auto args = std::make_shared<RenderArgs>();
    auto* cmd = app.add_subcommand("render", "Draw a section's wave-train image (the upload's PNG)");
    cmd->add_option("file", args->file, "the test's .CHT file")->required();
    cmd->add_option("--section", args->section, "section name, e.g. 1-2 (required for the upload image)");
    cmd->add_option("--view", args->view, "wavetrain: the console's wave-train panel")
        ->check(CLI::IsMember({"wavetrain"}));
    addWaveTrainRenderOptions(*cmd, args->wavetrain);
    cmd->add_option("--out", args->out, "PNG file to write")->required();
    cmd->callback([&action, args] { action = [args] { return runRender(*args); }; });
}

}  // namespace lx9::cli
