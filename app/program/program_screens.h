// What the console window shows and opens in LX9: the views in its panels (the waveform in the
// upper and lower wave panels, the wave train, the section map) and the screens behind its
// buttons (the test-time dialogs; the setup, the workbench and the upload as they come). The
// screenshot tool builds the same console with these. Qt; user-interface thread.
#pragma once

#include <memory>
#include <vector>

namespace lx9 {
class ConsoleController;
class ConsoleWindow;
class MessageSink;
class PanelView;
class TestDialogs;
class UploadJob;
}  // namespace lx9

namespace lx9::program {

// Owns what the console's panels and hooks need beyond the widgets (which their panels own).
struct ConsoleParts {
    ConsoleParts();
    ~ConsoleParts();
    std::unique_ptr<TestDialogs> dialogs;
    std::vector<std::unique_ptr<PanelView>> adapters;
    UploadJob* upload = nullptr;  // the program's upload thread
    std::unique_ptr<UploadJob> ownUpload;
};

// Places the views and fills the screen hooks. `parts` must live as long as the window.
void installConsoleParts(ConsoleWindow& window, ConsoleController& controller, MessageSink& sink,
                         ConsoleParts& parts);

}  // namespace lx9::program
