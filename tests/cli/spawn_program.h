// Starting a program under test with a chosen environment, its standard output and error going
// to one log file, and waiting for its exit code.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

namespace lx9::test {

// Exit code of a child, or -1 when it did not exit by itself (a signal).
inline int waitExit(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts `program` with `args` and exactly `env`; stdout and stderr are appended to `log`.
// Returns the child's id, or -1 when it could not be started.
inline pid_t spawnLogged(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& log) {
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    std::vector<char*> envp;
    for (auto& e : envCopy)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int rc = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? child : -1;
}

}  // namespace lx9::test
