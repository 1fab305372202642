// The run loop, frame and host context that Linux editors use, against handlers that
// count their references: what a plug-in registers is held, called and let go of.
#include "vst3/host_run_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/run_loop.h"
#include "platform/test_pipe.h"
#include "vst3/host_context.h"
#include "vst3/host_plug_frame.h"

namespace corvel {
namespace {

using namespace Steinberg;

// Counts its references and calls; `onCall` runs inside each call.
template <typename Interface>
class Counting : public Interface {
 public:
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++references; }
  uint32 PLUGIN_API release() override { return --references; }

  uint32 references = 1;
  int calls = 0;
  int lastFd = -1;
  std::function<void()> onCall = [] {};
};

struct EventHandler : Counting<Linux::IEventHandler> {
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor fd) override {
    ++calls;
    lastFd = fd;
    onCall();
  }
};

struct TimerHandler : Counting<Linux::ITimerHandler> {
  void PLUGIN_API onTimer() override {
    ++calls;
    onCall();
  }
};

// Services the platform run loop until `done` or a generous number of passes.
template <typename Done>
bool serviceUntil(Done done) {
  for (int pass = 0; pass < 5000 && !done(); ++pass) {
    serviceRunLoop();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

TEST(HostRunLoop, HoldsAndCallsAHandlerUntilItIsUnregistered) {
  HostRunLoop loop;
  EventHandler handler;
  TestPipe pipe;
  EXPECT_EQ(loop.registerEventHandler(nullptr, pipe.readEnd()), kInvalidArgument);
  ASSERT_EQ(loop.registerEventHandler(&handler, pipe.readEnd()), kResultOk);
  EXPECT_EQ(handler.references, 2u);
  serviceRunLoop();
  EXPECT_EQ(handler.calls, 0) << "nothing to read yet";
  pipe.signal();
  serviceRunLoop();
  EXPECT_EQ(handler.calls, 1);
  EXPECT_EQ(handler.lastFd, pipe.readEnd());

  EXPECT_EQ(loop.unregisterEventHandler(&handler), kResultOk);
  EXPECT_EQ(handler.references, 1u);
  serviceRunLoop();
  EXPECT_EQ(handler.calls, 1);
  EXPECT_EQ(loop.unregisterEventHandler(&handler), kInvalidArgument);
  EXPECT_EQ(loop.registrations(), 0u);
}

TEST(HostRunLoop, TimersFireUntilUnregistered) {
  HostRunLoop loop;
  TimerHandler timer;
  EXPECT_EQ(loop.registerTimer(nullptr, 10), kInvalidArgument);
  ASSERT_EQ(loop.registerTimer(&timer, 1), kResultOk);
  EXPECT_EQ(timer.references, 2u);
  ASSERT_TRUE(serviceUntil([&] { return timer.calls >= 2; }));
  EXPECT_EQ(loop.unregisterTimer(&timer), kResultOk);
  EXPECT_EQ(timer.references, 1u);
  const int fired = timer.calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  serviceRunLoop();
  EXPECT_EQ(timer.calls, fired);
}

TEST(HostRunLoop, WhatAPlugInLeftRegisteredGoesWithTheRunLoop) {
  EventHandler handler;
  TimerHandler timer;
  TestPipe pipe;
  pipe.signal();
  {
    HostRunLoop loop;
    loop.registerEventHandler(&handler, pipe.readEnd());
    loop.registerEventHandler(&handler, pipe.readEnd());
    loop.registerTimer(&timer, 1);
    EXPECT_EQ(loop.registrations(), 3u);
    EXPECT_EQ(handler.references, 3u);
  }
  EXPECT_EQ(handler.references, 1u);
  EXPECT_EQ(timer.references, 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  serviceRunLoop();
  EXPECT_EQ(handler.calls + timer.calls, 0) << "nothing is called after the run loop is gone";
}

TEST(HostRunLoop, AHandlerMayUnregisterItselfWhileItRuns) {
  HostRunLoop loop;
  TestPipe pipe;
  EventHandler handler;
  uint32 referencesAfterUnregistering = 0;
  handler.onCall = [&] {
    loop.unregisterEventHandler(&handler);
    referencesAfterUnregistering = handler.references;
  };
  loop.registerEventHandler(&handler, pipe.readEnd());
  pipe.signal();
  serviceRunLoop();
  EXPECT_EQ(handler.calls, 1);
  EXPECT_EQ(referencesAfterUnregistering, 2u) << "the running call holds its handler beside ours";
  EXPECT_EQ(handler.references, 1u);
}

TEST(HostPlugFrame, OffersTheRunLoopAndNothingElse) {
  HostContext context;
  HostPlugFrame frame;
  void* answer = &frame;
  EXPECT_EQ(frame.queryInterface(Linux::IRunLoop::iid, &answer), kNoInterface) << "no run loop offered yet";
  EXPECT_EQ(answer, nullptr);
  frame.offer(&context);
  ASSERT_EQ(frame.queryInterface(Linux::IRunLoop::iid, &answer), kResultOk);
  EXPECT_EQ(answer, static_cast<Linux::IRunLoop*>(&context.runLoop));
  for (const char* other : {FUnknown::iid.toTUID(), IPlugFrame::iid.toTUID()}) {
    EXPECT_EQ(frame.queryInterface(other, &answer), kNoInterface);
    EXPECT_EQ(answer, nullptr);
  }
  EXPECT_EQ(frame.resizeView(nullptr, nullptr), kResultOk);
}

TEST(HostContext, OffersTheRunLoopBesideTheHostApplication) {
  HostContext context;
  void* answer = nullptr;
  ASSERT_EQ(context.queryInterface(Linux::IRunLoop::iid, &answer), kResultOk);
  EXPECT_EQ(answer, static_cast<Linux::IRunLoop*>(&context.runLoop));
  ASSERT_EQ(context.queryInterface(Vst::IHostApplication::iid, &answer), kResultOk);
  EXPECT_EQ(answer, static_cast<Vst::IHostApplication*>(&context));
}

}  // namespace
}  // namespace corvel
