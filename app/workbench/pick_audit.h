// Hand picks that last: "保存判读" writes the changed picks into the .CHT (only the T, Ta and A(dB)
// columns of their rows; the .CHD is never touched) and appends one line per change to the audit
// file NAME.picks.json beside the pair; "恢复原始判读" puts back the picks the pair held before its
// first saved hand pick. A pair without the audit file is what it always was.
//
// Audit lines (UTF-8, one JSON object per line, appended):
// {"time":"2026-12-07T20:15:03","tester":"张三","section":"1-2","level":12,"depth":3.5,
//  "oldTIndex":101,"newTIndex":97,"oldAmpIndex":130,"newAmpIndex":126}
// with ,"restore":true before the closing brace for the lines of a restore. `level` is the
// 0-based point index in the section's list, `depth` the point's stored depth in metres.
//
// Durability: the new .CHT is written to a temporary file and synced, the audit lines are
// appended and synced, and only then is the .CHT renamed into place: after a crash the pair is
// either as before or saved, and no saved pick lacks its audit line.
//
// Threading: the user-interface thread (or a command). Lists are read under their locks.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"
#include "workbench/workbench_data.h"

namespace lx9 {

inline constexpr std::string_view kAuditSuffix = ".picks.json";
inline constexpr std::string_view kSavePicksQuestion = "确定将修改的判读保存到数据文件中吗？";
inline constexpr std::string_view kSavePicksNone = "没有修改过的判读。";
inline constexpr std::string_view kSavePicksDone = "判读已保存。";
inline constexpr std::string_view kRestoreQuestion = "确定恢复原始判读吗？已保存的手动判读将被撤销。";
inline constexpr std::string_view kRestoreNone = "没有需要恢复的判读。";
inline constexpr std::string_view kRestoreDone = "已恢复原始判读。";
inline constexpr std::string_view kPicksNoFile = "当前测试没有数据文件，不能保存判读。";

// The picks of every point of every section, as a pair holds them.
using PickTable = std::array<std::vector<PointPicks>, kMaxSections>;
PickTable capturePicks(const SectionLists& lists);

struct PickChange {
    int slot = 0;
    int level = 0;
    float depth = 0.0f;
    PointPicks before, after;
};
// Points whose picks differ from `baseline` (points beyond it are not compared).
std::vector<PickChange> changedPicks(const SectionLists& lists, const PickTable& baseline);

// NAME.picks.json beside the pair, NAME being the .CHT file name without its suffix.
std::filesystem::path auditPath(const std::filesystem::path& chtPath);

// One audit line, without the line break.
std::string auditLine(const PickChange& change, std::string_view section, std::string_view tester,
                      std::string_view time, bool restore);

// The local time as the audit writes it, "2026-12-07T20:15:03".
std::string auditTimeNow();

// Writes the lists' picks of the changed points into info.chtPath and appends their audit lines.
// False with the reason in `error`; the pair and the audit file are then as before.
bool savePicks(const CInfo& info, const SectionLists& lists, const std::vector<PickChange>& changes,
               std::string_view time, bool restore, std::string& error);

struct AuditEntry {
    std::string section;
    int level = 0;
    PointPicks before, after;
    bool restore = false;
};
// The readable lines of an audit file, in order (unreadable lines are skipped).
std::vector<AuditEntry> readAudit(const std::filesystem::path& path);

// The picks each audited point held before its first saved change, keyed by slot and level.
struct OriginalPick {
    int slot = 0;
    int level = 0;
    PointPicks picks;
};
std::vector<OriginalPick> originalPicks(const CInfo& info, const std::vector<AuditEntry>& entries);

// Points of the pair that carry a saved hand pick now (last saved pick differs from the
// original); 0 without an audit file.
int handPickedPoints(const CInfo& info, const std::filesystem::path& chtPath);

// The workbench's two actions on the open pair.
class PickStore {
  public:
    PickStore(const CInfo& info, const SectionLists& lists);
    // The picks as the pair on disk holds them (taken when the workbench opens).
    const PickTable& baseline() const { return baseline_; }
    std::vector<PickChange> pending() const { return changedPicks(lists_, baseline_); }
    bool hasFile() const { return !info_.chtPath.empty(); }
    // "保存判读": writes the pending changes; the message for the operator.
    std::string save(std::string_view time);
    // "恢复原始判读": the lists take the original picks back and the pair is rewritten.
    std::string restore(std::string_view time);
    bool lastOk() const { return ok_; }

  private:
    const CInfo& info_;
    SectionLists lists_;
    PickTable baseline_;
    bool ok_ = false;
};

}  // namespace lx9
