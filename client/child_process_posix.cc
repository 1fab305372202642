#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "client/child_environment.h"
#include "client/child_process.h"

extern char** environ;

namespace corvel {
namespace {

std::vector<std::string> parentEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry) entries.emplace_back(*entry);
  return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

int exitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status); }

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::spawn(const Launch& launch, size_t keptBytes) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return nullptr;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]), close(out[1]);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> argv{launch.program};
  argv.insert(argv.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<std::string> envp = childEnvironment(parentEnvironment(), launch.environment);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, launch.program.c_str(), &actions, nullptr, pointers(argv).data(),
                                 pointers(envp).data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]), close(err[1]);
  if (failed) {
    close(out[0]), close(err[0]);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, out[0], err[0], keptBytes));
}

ChildProcess::ChildProcess(int pid, int outFd, int errFd, size_t keptBytes)
    : processId(pid), capturedOut(keptBytes), capturedErr(keptBytes), reader([this, outFd, errFd] { readUntilClosed(outFd, errFd); }) {}

ChildProcess::~ChildProcess() {
  if (!exitCode) {
    kill();
    waitExit(std::chrono::seconds(5));
  }
  if (reader.joinable()) reader.join();
}

void ChildProcess::readUntilClosed(int outFd, int errFd) {
  pollfd streams[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  Captured* targets[2] = {&capturedOut, &capturedErr};
  int open = 2;
  while (open > 0) {
    if (poll(streams, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || !streams[i].revents) continue;
      char chunk[4096];
      const ssize_t got = read(streams[i].fd, chunk, sizeof chunk);
      if (got > 0) {
        std::lock_guard<std::mutex> guard(lock);
        targets[i]->append(chunk, static_cast<size_t>(got));
      } else {
        close(streams[i].fd);
        streams[i].fd = -1;
        --open;
      }
    }
    grown.notify_all();
  }
  std::lock_guard<std::mutex> guard(lock);
  closed = true;
  grown.notify_all();
}

void ChildProcess::takeExitCode() {
  int status = 0;
  if (!exitCode && waitpid(processId, &status, WNOHANG) == processId) exitCode = exitCodeOf(status);
}

void ChildProcess::kill(int signal) {
  if (!exitCode) ::kill(processId, signal);
}

}  // namespace corvel
