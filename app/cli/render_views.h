// The pictures `lx9 render --view NAME` draws besides the upload image: one function per view,
// found by name in renderViews(). Each gets the opened test and the parsed options and returns
// the command's exit status (0 drawn, 1 could not write, 2 refused options).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/test_file.h"

class QImage;

namespace lx9::cli {

struct RenderRequest {
    std::string file;
    std::string view = "upload";
    std::string section = "1-2";
    std::optional<int> level;             // 0-based point index; default the first
    std::optional<std::string> standard;  // "公路", "铁路", "建筑", "广东建筑"; default the record's
    std::string size;                     // "WxH"; empty: the view's own default
    std::string out;
};

struct RenderView {
    const char* name;
    int defaultWidth;
    int defaultHeight;
    int (*draw)(const RenderRequest& request, LoadedTest& test, int slot, int width, int height);
};

// Every view but "upload", in the order the help lists them.
const std::vector<RenderView>& renderViews();

// Writes the image into `out` (the file appears whole or not at all); false when it cannot.
bool savePicture(const QImage& image, const std::string& out);

}  // namespace lx9::cli
