// The custom messages of the acquisition side, by what they mean. The numbers are the program's
// own (WM_USER + n) and never change: the console, its dialogs, the worker and the service thread
// all speak them. Parameters are given as (wParam, lParam); "—" means unused.
#pragma once

#include <cstdint>

namespace lx9 {

inline constexpr uint32_t WM_USER = 0x400;
inline constexpr uint32_t WM_QUIT = 0x0012;

// Worker -> console.
inline constexpr uint32_t kMsgDepthReading =
    WM_USER + 90;  // (0, depth cm) in 0xF500; else (depth cm, expected cm)
inline constexpr uint32_t kMsgTestEnd = WM_USER + 94;       // (1 worker stopped / 0 continues, 0)
inline constexpr uint32_t kMsgMissedPoints = WM_USER + 95;  // (depth cm, expected level cm)
inline constexpr uint32_t kMsgLiftSpeed = WM_USER + 121;    // (lift speed, 300); (0, 0) from the save dialogs
inline constexpr uint32_t kMsgProbesBack = WM_USER + 122;   // (0, 0): back at the expected level
inline constexpr uint32_t kMsgLastLevelStored = WM_USER + 127;  // (1, endStamp)
inline constexpr uint32_t kMsgFrameReady = WM_USER + 128;       // (1, 0): a new frame is in the lists
inline constexpr uint32_t kMsgPointsRemoved = WM_USER + 129;    // (0, 0): one level stepped back
inline constexpr uint32_t kMsgCommFailure = WM_USER + 130;      // (0, 0): five consecutive steps failed
inline constexpr uint32_t kMsgCommRestored = WM_USER + 131;     // (0, 0): steps succeed again

// Views and dialogs -> console.
inline constexpr uint32_t kMsgSelectPoint = WM_USER + 91;              // (level index, —)
inline constexpr uint32_t kMsgRefreshWave = WM_USER + 93;              // (—, —)
inline constexpr uint32_t kMsgDisplaySettingsChanged = WM_USER + 108;  // (—, —)
inline constexpr uint32_t kMsgRefreshPick = WM_USER + 120;             // (—, —)
inline constexpr uint32_t kMsgAbandonTest = WM_USER + 124;             // (—, —)

// Console and dialogs -> service thread.
inline constexpr uint32_t kMsgStartRealTimeSave = WM_USER + 96;  // (—, —): create the data files
inline constexpr uint32_t kMsgFinishFiles = WM_USER + 99;        // (window to report to, —)
inline constexpr uint32_t kMsgOpenFile = WM_USER + 103;         // (file request, prompt window); path in text
inline constexpr uint32_t kMsgCloseFiles = WM_USER + 123;       // (—, —)
inline constexpr uint32_t kMsgWriteHalfWindow = WM_USER + 125;  // (newest level index L, —)
inline constexpr uint32_t kMsgReloadRecent = WM_USER + 126;     // (level index, —)

// Service thread -> dialogs and console.
inline constexpr uint32_t kMsgSaveProgress = WM_USER + 100;  // sent: (levels written, levels in all)
inline constexpr uint32_t kMsgFileOpened = WM_USER + 104;    // (—, —)
inline constexpr uint32_t kMsgOpenFailed = WM_USER + 105;    // (—, —)
inline constexpr uint32_t kMsgHeaderRead = WM_USER + 106;    // sent: (—, —)
// A file operation of the service thread failed (disk full, permission, I/O error): (the id of
// the request that failed, errno or 0); the reason is in the message text.
inline constexpr uint32_t kMsgFileError = WM_USER + 132;

}  // namespace lx9
