// The wave-train image that travels with an upload: one section's waveforms stacked by depth,
// drawn with QPainter into a 562 × 1090 image and saved as PNG. Part of lx9gui; the header itself
// is Qt-free so the upload job and the command line can name it.
//
// Threading contract: callable from any thread once a QGuiApplication exists (it paints into a
// QImage only); reads the section's list under its lock.
#pragma once

#include <filesystem>

#include "data/cinfo.h"
#include "upload/upload_packets.h"

namespace lx9 {

// False, and nothing drawn, when slot `slot` is not present, when `path` contains neither ".png"
// nor ".PNG", when the record gives no level grid (step 0), when no QGuiApplication exists, or
// when the file cannot be written. Otherwise draws the image, saves it (encoder chosen from the
// file's extension, the file replaced atomically) and returns true.
bool renderSectionImage(const CInfo& info, const SectionLists& lists, int slot,
                        const std::filesystem::path& path);

}  // namespace lx9
