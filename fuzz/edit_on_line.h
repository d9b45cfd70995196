// A component whose port is a virtual line, made once for a whole fuzzing
// run: the target drives the component and plays the device end.
#pragma once

#include <veravo/edit/zpedit.h>
#include <veravo/sim/virtual_line.h>

#include <memory>

#include "fuzz_check.h"

struct EditOnLine {
  // sleepMs < 0 keeps the component's own pause between frames.
  EditOnLine(const char* name, int baud, bool nineBit, int sleepMs) {
    line = veravo::sim::VirtualLine::create(name);
    line->device().SetNineBit(nineBit);
    line->device().SetFollowHost(true);
    edit.SetProtName(name);
    edit.SetBaudRate(baud);
    if (sleepMs >= 0) edit.SetSleepTiem(sleepMs);
    FUZZ_CHECK(edit.CreatePort());
  }
  std::shared_ptr<veravo::sim::VirtualLine> line;
  veravo::TZPEdit edit{nullptr};
};
