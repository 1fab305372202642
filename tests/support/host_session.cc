#include "tests/support/host_session.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/system.h"
#include "tests/support/test_platform.h"

namespace corvel {
namespace {

// Unique across processes (pid) and within one (counter), and readable where blocks are listed.
std::string uniqueBlockName() {
  static std::atomic<unsigned> counter{0};
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string label = test ? test->name() : "bench";
  std::replace(label.begin(), label.end(), '/', '-');
  return "corvel-ptest-" + std::to_string(currentProcessId()) + "-" + std::to_string(counter++) + "-" + label;
}

}  // namespace

HostSession::HostSession() : name(uniqueBlockName()), home(makeTemporaryFolder("corvel-home-")) {}

HostSession::~HostSession() {
  taker.reset();
  if (process) {
    process->kill(SIGTERM);
    if (!process->waitExit(3s)) process->kill();
    process.reset();
  }
  client.reset();
  std::error_code ignored;
  if (!home.empty()) std::filesystem::remove_all(home, ignored);
  removeLeftoverBlock(name);
}

bool HostSession::createBlock() {
  client = ClientBlock::create(name);
  if (client) client->setWaitPolicy(waitPolicy);
  return client != nullptr;
}

bool HostSession::start(const std::vector<std::string>& arguments) {
  process = ChildProcess::spawn({CORVEL_FAKEHOST_PATH, arguments, {"HOME=" + home, "DISPLAY=" + displayName}});
  return process != nullptr;
}

bool HostSession::startServing(const std::vector<std::string>& extraArguments) {
  std::vector<std::string> arguments{"--shm", name, "--path", "fake.vst3", "--open"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  return createBlock() && start(arguments) && process->waitForOutput("[corvel] panic after preset", kLineTimeout);
}

bool HostSession::startIdle(const std::vector<std::string>& extraArguments) {
  AudioBlock first;
  return startServing(extraArguments) && client->readBlock(kMaxBlockFrames, first, kLineTimeout);
}

void HostSession::takeBlocksInBackground() { taker = std::make_unique<AudioTaker>(*client); }

std::string HostSession::outputSoFar() {
  const std::string mark = "[corvel] ALL_NOTES_OFF";
  const size_t marks = countOf(process->output(), mark);
  client->sendCommands({kCommandAllNotesOff}, kLineTimeout);
  waitUntil([&] { return countOf(process->output(), mark) > marks; }, kLineTimeout);
  return process->output();
}

std::vector<std::string> HostSession::callsOnChannel(unsigned channel) const {
  std::vector<std::string> calls;
  std::istringstream lines(process->errors());
  const std::string prefix = "[fake] ";
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::istringstream words(line.substr(prefix.size()));
    std::string call;
    unsigned lineChannel = 0;
    if (words >> call >> lineChannel && lineChannel == channel) calls.push_back(line.substr(prefix.size()));
  }
  return calls;
}

size_t countOf(const std::string& haystack, const std::string& text) {
  size_t count = 0;
  for (size_t at = haystack.find(text); at != std::string::npos; at = haystack.find(text, at + text.size())) ++count;
  return count;
}

}  // namespace corvel
