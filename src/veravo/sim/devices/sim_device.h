// The common part of the simulated devices: attachment to the device end of
// a line, the log of what the device understood, and the reply modes that let
// tests provoke the host's failure paths.
#pragma once

#include <veravo/sim/device_end.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace veravo::sim {

enum class ReplyMode {
  kNormal,      // correct reply after the normal response delay
  kWrongCheck,  // the reply's check byte is wrong
  kLate,        // the reply comes after the late delay
  kTwoPieces,   // the reply comes in two pieces with a quiet gap between them
  kSilent,      // no reply at all
};

struct SimSettings {
  ReplyMode mode = ReplyMode::kNormal;
  int responseMs = 5;   // normal time from the end of a command to the reply
  int lateMs = 2000;    // response time in the late mode
  int pieceGapMs = 5;   // quiet gap between the two pieces
  int frameGapMs = 20;  // a quiet gap this long ends a command (the host may send one in several writes)
  int address = -1;     // multi-drop address the device answers to; -1: any
  bool ack = false;     // printer and display: answer accepted frames with [A, 06, A^06]
  std::vector<win::BYTE> reply;  // a fixed reply body where the family takes one
  std::string text;              // a fixed reply text where the family takes one
};

struct SimLogEntry {
  double tMs = 0;
  std::string kind;  // "printed", "shown", "door", "command", "message", "refused", "reply", ...
  std::string text;
  std::vector<win::BYTE> bytes;
};

class SimDevice {
 public:
  explicit SimDevice(std::string family);
  virtual ~SimDevice();
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  // Starts listening on `end` (nine-bit reception at the host's format).
  // Settings take effect for replies at once; frameGapMs when attached.
  void Attach(DeviceEnd& end);
  void Detach();

  const std::string& family() const { return family_; }
  SimSettings settings() const;
  void SetSettings(const SimSettings& settings);
  void SetMode(ReplyMode mode);

  std::vector<SimLogEntry> Log() const;
  std::vector<SimLogEntry> LogOf(const std::string& kind) const;
  // Waits until the log holds at least `count` entries of `kind` (any kind when empty).
  bool WaitForLog(std::size_t count, std::chrono::milliseconds timeout, const std::string& kind = "") const;

 protected:
  // One burst of error-free characters from the host.
  virtual void OnBurst(const std::vector<RxRecord>& burst) = 0;

  struct ReplyShape {
    std::size_t checkIndex;     // the byte spoiled in the wrong-check mode
    std::size_t firstPieceLen;  // length of the first piece in the two-piece mode
  };
  // Sends a reply shaped by the reply mode, and logs it.
  void Reply(std::vector<win::BYTE> bytes, ReplyShape shape);
  void Reply(std::vector<win::BYTE> bytes);  // check = last byte, first piece = half
  void AddLog(const std::string& kind, const std::string& text, const std::vector<win::BYTE>& bytes = {});

 private:
  void HandleBurst(const std::vector<RxRecord>& burst);

  std::string family_;
  DeviceEnd* end_ = nullptr;
  mutable std::mutex mu_;
  mutable std::condition_variable logged_;
  SimSettings settings_;
  std::vector<SimLogEntry> log_;
};

// "0A1B" for the bytes 0x0A 0x1B.
std::string HexOf(const std::vector<win::BYTE>& bytes);
std::string TextOf(const std::vector<win::BYTE>& bytes);
std::vector<win::BYTE> ValuesOf(const std::vector<RxRecord>& records);

}  // namespace veravo::sim
