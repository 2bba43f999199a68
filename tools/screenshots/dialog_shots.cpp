// The dialogs and the input pads, with the demo pile's settings.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <atomic>
#include <mutex>
#include <stdexcept>

#include "acquisition/plus_input_dialog.h"
#include "acquisition/test_time_dialog.h"
#include "data/run_state.h"
#include "setup/calibration_dialog.h"
#include "setup/colour_dialog.h"
#include "setup/data_folder_dialog.h"
#include "setup/hotkey_dialog.h"
#include "setup/instrument_params_dialog.h"
#include "setup/setup_dialog.h"
#include "setup/sys_adjust_form.h"
#include "tools/screenshots/screenshot_registry.h"
#include "ui/file_chooser_dialog.h"
#include "ui/message_sink.h"
#include "ui/num_input_dialog.h"
#include "ui/select_dialog.h"

namespace {

using namespace lx9;

class QuietSink : public lx9::MessageSink {
  public:
    void showMessage(const std::string&) override {}
    bool askYesNo(const std::string&) override { return false; }
};

void typeKeys(QWidget& widget, const QString& keys) {
    for (const QChar c : keys) {
        QKeyEvent press(QEvent::KeyPress, c.unicode(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(&widget, &press);
    }
}

class QuietConsole : public SetupConsole {
  public:
    StoreResult storeSettings(const CInfo&) override { return {}; }
    void pushParameters() override {}
    void stopWorker() override {}
    void rebuildPointLists() override {}
    void startWorker() override {}
    void setListsReady(bool) override {}
    bool workerPaused() const override { return true; }
    void setWorkerPaused(bool) override {}
    void acquisitionModeChanged() override {}
    bool showTestTypeAtStart() const override { return false; }
    void setShowTestTypeAtStart(bool) override {}
};

class QuietHost : public TestDialogHost {
  public:
    void stopWorkerForEnd() override {}
    bool postToService(Message) override { return true; }
    void postToConsole(Message) override {}
    void resetAfterTest() override {}
    void resetViews() override {}
    void recreateForFile() override {}
    int32_t levelsCollected() const override { return 401; }
    bool testWroteFiles() const override { return true; }
    InstrumentLink& instrument() override { throw std::logic_error("no instrument"); }
};

// The shots run no worker or service thread: the lock of their records is never contended.
std::mutex shotLock;
SharedInfo shared(CInfo& info) {
    return {info, shotLock};
}

// The demo pile of `lx9 demo`: 20 m, 1000 mm, four pipes evenly on a circle 150 mm inside the
// edge (spacings 495 and 700 mm), 50 mm steps, real-time saving, the highway standard.
CInfo demoInfo() {
    CInfo info;
    info.resetToDefaults();
    info.siteName = "演示工地";
    info.unitName = "演示检测单位";
    info.personName = "演示";
    info.pileId = "D-1#";
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.pileLength = 20.0f;
    info.startDepth = 20.0f;
    info.stepMm = 50;
    info.pileDiameter = 1000;
    info.saveMode = "实时保存";
    info.standard = "公路";
    info.pipeOuterDiameter = 50;
    info.pipeInnerDiameter = 42;
    info.probeDiameter = 30;
    info.pipeVelocity = 5.9f;
    info.waterVelocity = 1.48f;
    info.pipeCorrection = static_cast<float>(pipeCorrectionTime(50, 42, 5.9, 30, 1.48).value_or(0.0));
    const int spacings[kMaxSections] = {495, 700, 495, 495, 700, 495};
    for (int k = 0; k < kMaxSections; ++k)
        info.sections[static_cast<size_t>(k)].spacing = spacings[k];
    info.rebuildSectionNames();
    return info;
}

}  // namespace

LX9_SCREENSHOT(keypad) {
    QuietSink sink;
    CDlg_NumInput pad("桩长", 20.0, false, sink);
    typeKeys(pad, QStringLiteral("24.5"));
    shot.save(pad, "keypad");
}

LX9_SCREENSHOT(picker) {
    CDlg_Select picker("剖面1的增益",
                       {"1", "2", "4", "8", "20", "40", "80", "200", "400", "800", "2000", "4000", "8000"});
    shot.save(picker, "picker");
}

LX9_SCREENSHOT(plus_input) {
    CInfo info = demoInfo(), saved = info;
    QuietConsole console;
    QuietSink sink;
    PlusInputForm form(shared(info), saved, console, sink);
    CDlg_PlusInput dialog(form, sink, {});
    shot.save(dialog, "plus-input");
}

LX9_SCREENSHOT(mode) {
    CInfo info = demoInfo();
    DisplaySettings display;
    QuietConsole console;
    QuietSink sink;
    // Recording: grey scale cannot be chosen, and the hint says so.
    ModalForm form(shared(info), display, 0xFA000000u, false, console, sink, {});
    CDlg_Modal dialog(form, {});
    shot.save(dialog, "mode");
}

LX9_SCREENSHOT(resample) {
    CInfo info = demoInfo();
    QuietSink sink;
    ResampleForm form(info, 1250, sink);
    DlgRe dialog(form, sink, {});
    shot.save(dialog, "resample");
}

LX9_SCREENSHOT(leak) {
    CInfo info = demoInfo();
    LeakForm form(info, 905, 880);
    CDlg_leak dialog(form, {});
    shot.save(dialog, "leak");
}

LX9_SCREENSHOT(save) {
    CInfo info = demoInfo(), saved = info;
    info.chdPath = "/home/tester/LX9 data/D-1#.CHD";
    std::atomic<uint32_t> state{0xABCD0000u};
    QuietHost host;
    QuietSink sink;
    SaveForm form(shared(info), saved, state, host, sink, true, 1);
    form.clickSave();
    form.onProgress(257, 401);
    CDlg_Save dialog(form, sink, {});
    shot.save(dialog, "save");
}

LX9_SCREENSHOT(setup) {
    CInfo info = demoInfo(), saved = info;
    info.firmwareVersion = 0x83;
    QuietConsole console;
    QuietSink sink;
    CDlg_Set dialog(shared(info), saved, console, sink, nullptr);
    shot.save(dialog, "setup");
}

LX9_SCREENSHOT(setup_quickset) {
    CInfo info = demoInfo(), saved = info;
    info.firmwareVersion = 0x83;
    QuietConsole console;
    QuietSink sink;
    CDlg_Set dialog(shared(info), saved, console, sink, nullptr);
    dialog.show();
    dialog.showQuickSet(true);
    dialog.quickSetLine()->setText(QStringLiteral("L=20,C1=495,G=200"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.quickSetLine(), &enter);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(dialog.quickSetLine(), &up);  // the history's newest line, not run
    shot.save(dialog, "setup-quickset");
}

LX9_SCREENSHOT(calibration) {
    CInfo info = demoInfo();
    info.zeroReadings = {12.5f, 12.8f, 12.4f, 12.6f, 12.9f, 12.3f};
    QuietSink sink;
    CDlg_SysAdjust dialog(shared(info), sink);
    shot.save(dialog, "calibration");
}

LX9_SCREENSHOT(wheel) {
    CInfo info = demoInfo();
    info.pulleyDiameter = 63.0f;
    info.cableDiameter = 10.0f;
    QuietSink sink;
    QuietConsole console;
    CDlg_Wheelpara dialog(shared(info), console, sink, {});
    shot.save(dialog, "wheel");
}

LX9_SCREENSHOT(error_correction) {
    CInfo info = demoInfo();
    QuietSink sink;
    QuietConsole console;
    CDlg_InaccuracyAmend dialog(info, console, sink, {});
    dialog.form().start();
    dialog.form().onDepthReport(4);  // 20 m − 0.04 m on the encoder
    dialog.form().enterCableDepth(19.9);
    dialog.refresh();
    shot.save(dialog, "error-correction");
    dialog.reject();
}

LX9_SCREENSHOT(instrument_params) {
    CInfo info = demoInfo();
    CodeConfig config{};
    QuietSink sink;
    CDlg_ApparatusPara dialog(shared(info), config, sink, false);
    shot.save(dialog, "instrument-params");
}

LX9_SCREENSHOT(colours) {
    CInfo info = demoInfo();
    CDlg_ColorAdjust dialog(shared(info));
    dialog.form().choose(4, colourRef(0, 0, 160));
    dialog.form().choose(3, colourRef(192, 192, 192));
    dialog.refresh();
    shot.save(dialog, "colours");
}

LX9_SCREENSHOT(hotkeys) {
    CInfo info = demoInfo();
    QuietSink sink;
    CQuickyKey dialog(shared(info), sink);
    shot.save(dialog, "hotkeys");
}

// The data folder chosen with the touch folder chooser: a tester's folder of jobs.
LX9_SCREENSHOT(directory) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / "lx9-shot-home";
    const fs::path data = root / "LX9 data";
    for (const char* job : {"2026-11 跨江大桥", "2026-12 演示工地", "2026-12 东区厂房", "归档"})
        fs::create_directories(data / job);
    ui::FileChooserDialog chooser(ui::FileChooserDialog::Mode::Folder, QStringLiteral("数据目录"), data);
    shot.save(chooser, "directory");
    std::error_code ec;
    fs::remove_all(root, ec);
}
