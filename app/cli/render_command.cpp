// `lx9 render FILE.CHT --section 1-2 --out x.png`: draws one section's wave-train image, the one
// an upload sends, without a display (Qt's offscreen platform). `--view waveform|curves|map`
// draws the console's views of the saved test instead (render_views.h).
#include <cstdio>
#include <regex>

#include "cli/commands.h"
#include "cli/render_views.h"
#include "cli/render_wavetrain.h"
#include "cli/test_file.h"
#include "ui/gui_application.h"
#include "upload/section_image.h"

namespace lx9::cli {
namespace {

const RenderView* findView(const std::string& name) {
    for (const RenderView& v : renderViews()) {
        if (name == v.name) return &v;
    }
    return nullptr;
}

// "WxH" with both between 20 and 8000 pixels.
bool parseSize(const std::string& text, int& width, int& height) {
    static const std::regex pattern(R"((\d{1,5})[xX](\d{1,5}))");
    std::smatch m;
    if (!std::regex_match(text, m, pattern)) return false;
    width = std::stoi(m[1].str());
    height = std::stoi(m[2].str());
    return width >= 20 && width <= 8000 && height >= 20 && height <= 8000;
}

// The wave train has options of its own (form, page) and draws every section when none is named.
struct WaveTrainArgs {
    WaveTrainRenderOptions options;
    bool sectionGiven = false;
};

int runRender(RenderRequest args, const WaveTrainArgs& train) {
    if (args.view == "wavetrain") {
        WaveTrainRenderOptions options = train.options;
        if (!args.size.empty()) options.size = args.size;
        return renderWaveTrainFile(args.file, train.sectionGiven ? args.section : "", options, args.out);
    }
    const RenderView* view = nullptr;
    if (args.view != "upload") {
        view = findView(args.view);
        if (!view) {
            std::fprintf(stderr, "lx9 render: unknown view %s (upload, wavetrain", args.view.c_str());
            for (const RenderView& v : renderViews())
                std::fprintf(stderr, ", %s", v.name);
            std::fprintf(stderr, ")\n");
            return 2;
        }
    }
    int width = view ? view->defaultWidth : 0;
    int height = view ? view->defaultHeight : 0;
    if (view && !args.size.empty() && !parseSize(args.size, width, height)) {
        std::fprintf(stderr, "lx9 render: size %s is not WxH with 20 to 8000 pixels each (e.g. 800x300)\n",
                     args.size.c_str());
        return 2;
    }
    if (args.standard && *args.standard != kStandardHighway && *args.standard != kStandardRailway &&
        *args.standard != kStandardBuilding && *args.standard != kStandardGuangdong) {
        std::fprintf(stderr, "lx9 render: standard %s is not one of 公路, 铁路, 建筑, 广东建筑\n",
                     args.standard->c_str());
        return 2;
    }

    ui::OffscreenGui gui;
    LoadedTest test;
    std::string error;
    if (!loadTestFile(args.file, test, error)) {
        std::fprintf(stderr, "lx9 render: %s\n", error.c_str());
        return 1;
    }
    if (args.standard) test.info.standard = *args.standard;
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
        return view ? 2 : 1;
    }
    if (!view) {
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
    if (args.level) {
        int count = 0;
        if (CSampleDataList* list = test.lists[static_cast<size_t>(slot)].get()) {
            auto guard = list->lock();
            count = list->count;
        }
        if (*args.level < 0 || *args.level >= count) {
            std::fprintf(stderr, "lx9 render: level %d is not in section %s (it has levels 0 to %d)\n",
                         *args.level, args.section.c_str(), count - 1);
            return 2;
        }
    }
    return view->draw(args, test, slot, width, height);
}

}  // namespace

void addRenderCommand(CLI::App& app, Action& action) {
    auto args = std::make_shared<RenderRequest>();
    auto level = std::make_shared<int>(-1);
    auto standard = std::make_shared<std::string>();
    auto* cmd =
        app.add_subcommand("render", "Draw a section's wave-train image (the upload's PNG) or a view");
    cmd->add_option("file", args->file, "the test's .CHT file")->required();
    auto train = std::make_shared<WaveTrainArgs>();
    auto* sectionOption = cmd->add_option(
        "--section", args->section, "section name, e.g. 1-2 (the wave train: every section when left out)");
    cmd->add_option("--out", args->out, "PNG file to write")->required();
    cmd->add_option("--view", args->view, "upload (default), waveform, curves, map or wavetrain");
    cmd->add_option("--style", train->options.style,
                    "wave-train form: dash, mini, grey or curves (default: the settings')")
        ->check(CLI::IsMember({"dash", "mini", "grey", "curves"}));
    cmd->add_option("--page", train->options.page, "wave train: screens back from the newest points")
        ->check(CLI::NonNegativeNumber);
    auto* levelOption = cmd->add_option("--level", *level, "point index for the waveform (0 = the first)");
    auto* standardOption =
        cmd->add_option("--standard", *standard, "公路, 铁路, 建筑 or 广东建筑 (default: the test's)");
    cmd->add_option("--size", args->size, "picture size WxH in pixels");
    cmd->callback([&action, args, level, standard, levelOption, standardOption, train, sectionOption] {
        RenderRequest request = *args;
        if (levelOption->count() > 0) request.level = *level;
        if (standardOption->count() > 0) request.standard = *standard;
        WaveTrainArgs trainArgs = *train;
        trainArgs.sectionGiven = sectionOption->count() > 0;
        action = [request, trainArgs] { return runRender(request, trainArgs); };
    });
}

}  // namespace lx9::cli
