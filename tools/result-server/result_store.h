// One upload as the server gathers it from a connection's packets, and its storing: when the end
// packet arrives the job becomes DIR/<instrument>/<serial>/job.json and one PNG per section,
// written into a fresh folder that replaces the old one in a single rename.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "result_packet.h"

namespace lx9::server {

struct StoredImage {
    std::string section;
    std::vector<uint8_t> bytes;
    int32_t chunks = 0;
    std::size_t lastChunkSize = 0;  // so that a re-sent last chunk can replace itself
};

// Everything one upload carried.
struct StoredUpload {
    std::string instrument;
    std::string serial;
    std::string pileId;
    std::string sectionList;
    FileHeader1 header1;
    std::optional<FileHeader2> header2;
    std::map<int32_t, DataRecord> levels;        // by level number (1-based); a re-sent level replaces
    std::map<int32_t, CriteriaRecord> criteria;  // by packet number
    std::vector<StoredImage> images;             // in arrival order
    EndRecord end;
};

struct AssemblyLimits {
    std::size_t maxLevels = 65535;
    std::size_t maxImageBytes = 16u << 20;  // per section
    std::size_t maxImages = 10;
};

// What a packet did to the upload.
enum class Acceptance { Accepted, Rejected, Completed };

// Gathers the packets of one connection. A file header 1 starts an upload; everything else
// needs one begun, with the same instrument, serial and pile number. Image chunks of a section
// arrive numbered 1, 2, …; the last chunk may come again (a re-send) and replaces itself.
class UploadAssembly {
  public:
    explicit UploadAssembly(AssemblyLimits limits = {}) : limits_(limits) {}

    // Completed: the end packet arrived; take the upload with takeCompleted().
    Acceptance accept(Packet packet, std::string* why = nullptr);
    StoredUpload takeCompleted();
    bool inProgress() const { return current_.has_value(); }

  private:
    AssemblyLimits limits_;
    std::optional<StoredUpload> current_;
    std::optional<StoredUpload> completed_;
};

// A text made safe as one folder name: control characters, '/' and '\' become '_', "." and ".."
// and the empty text become "_", and it is cut to 100 bytes.
std::string safeFolderName(const std::string& text);

// job.json of an upload.
std::string uploadJson(const StoredUpload& upload);

// Writes DIR/<instrument>/<serial>/ (job.json and "<section>.png" per image) through a temporary
// folder renamed into place; the folder of an earlier upload with the same names is replaced.
// Returns the folder, or none with the reason in `error`.
std::optional<std::filesystem::path> storeUpload(const std::filesystem::path& root,
                                                 const StoredUpload& upload, std::string* error = nullptr);

}  // namespace lx9::server
