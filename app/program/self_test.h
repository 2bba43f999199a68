// `LX9 --self-test DIR`: checks the program on this machine as an installer would by hand. It
// answers the connection dialog ("确定"; "放弃" when the instrument does not answer), grabs the
// screen into DIR/console.png, presses "采样", grabs DIR/console-sampling.png after three seconds
// of free sampling, pauses and presses "关闭". Qt; user-interface thread.
#pragma once

#include <filesystem>

namespace lx9 {
class ConsoleController;
class ConsoleWindow;
}  // namespace lx9

namespace lx9::program {

// Sets up the answers to the start-up's dialogs; call before the console starts.
void prepareSelfTest();
// Runs the rest once the console has started; the program's exit code goes to `exitCode`
// (0 when both pictures were written, 2 not connected, 3 a picture failed).
void runSelfTest(ConsoleWindow& window, ConsoleController& controller, const std::filesystem::path& dir,
                 int& exitCode);

}  // namespace lx9::program
