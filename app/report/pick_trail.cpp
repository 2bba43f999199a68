#include "report/pick_trail.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace lx9 {
namespace {

int intField(const nlohmann::json& o, const char* key, int fallback) {
    const auto it = o.find(key);
    return it != o.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

std::string textField(const nlohmann::json& o, const char* key) {
    const auto it = o.find(key);
    return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool hasSuffix(const std::string& name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char c = name[name.size() - suffix.size() + i];
        if (std::toupper(static_cast<unsigned char>(c)) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

bool PickTrail::handPicked(std::string_view section, int level) const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->level == level && it->section == section) return !it->restore;
    }
    return false;
}

std::filesystem::path pickTrailPath(const std::string& chtOrBase) {
    std::string base = chtOrBase;
    if (hasSuffix(base, ".CHT") || hasSuffix(base, ".CHD")) base.resize(base.size() - 4);
    return std::filesystem::path(base + ".picks.json");
}

PickTrail parsePickTrail(std::string_view text) {
    PickTrail trail;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        const nlohmann::json o = nlohmann::json::parse(line, nullptr, false);
        const auto section = o.is_object() ? o.find("section") : o.end();
        const auto level = o.is_object() ? o.find("level") : o.end();
        if (!o.is_object() || section == o.end() || !section->is_string() || level == o.end() ||
            !level->is_number_integer() || level->get<int>() < 0) {
            ++trail.skippedLines;
            continue;
        }
        PickTrailEntry e;
        e.time = textField(o, "time");
        e.tester = textField(o, "tester");
        e.section = section->get<std::string>();
        e.level = level->get<int>();
        const auto depth = o.find("depth");
        if (depth != o.end() && depth->is_number()) e.depth = depth->get<double>();
        e.oldTIndex = intField(o, "oldTIndex", -1);
        e.newTIndex = intField(o, "newTIndex", -1);
        e.oldAmpIndex = intField(o, "oldAmpIndex", -1);
        e.newAmpIndex = intField(o, "newAmpIndex", -1);
        const auto restore = o.find("restore");
        e.restore = restore != o.end() && restore->is_boolean() && restore->get<bool>();
        trail.entries.push_back(std::move(e));
    }
    return trail;
}

PickTrail readPickTrail(const std::string& chtOrBase) {
    std::ifstream in(pickTrailPath(chtOrBase), std::ios::binary);
    if (!in) return {};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parsePickTrail(text);
}

}  // namespace lx9
