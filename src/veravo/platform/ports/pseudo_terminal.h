// A pseudo-terminal pair: programs open DevicePath() as if it were a serial
// device, and the owner of this object talks to them through the other end.
// POSIX only; on Windows Open fails and says why.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace veravo {

class PseudoTerminal {
 public:
  virtual ~PseudoTerminal() = default;
  // A raw pair (bytes pass unchanged). The device side is held open by this
  // object too, so that the pair stays usable while no program has it open.
  // Null with *error set when the system cannot make one.
  static std::unique_ptr<PseudoTerminal> Open(std::string* error);

  // The path programs open, such as /dev/pts/3.
  virtual const std::string& DevicePath() const = 0;
  // Reads what the programs wrote, waiting up to timeoutMs for the first
  // byte. Returns the count (0 when nothing came), or -1 when the pair failed.
  virtual long Read(void* buffer, std::size_t size, int timeoutMs) = 0;
  // Writes all bytes for the programs to read; false when the pair failed.
  virtual bool WriteAll(const void* data, std::size_t count) = 0;
  // Makes `link` a symbolic link to DevicePath(), replacing what was there;
  // the link is removed with this object. False with *error set on failure.
  virtual bool LinkFrom(const std::string& link, std::string* error) = 0;
};

}  // namespace veravo
