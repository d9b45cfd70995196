// The readers' checks on replies that really crossed a virtual line: the
// device end sends the fuzzed bytes, a reader takes its snapshot and must
// accept exactly the replies whose check holds, returning them as hex.
#include <veravo/edit/zpedit.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "edit_on_line.h"
#include "fuzz_check.h"
#include "support/wait.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static EditOnLine f("fuzz-replies", 921600, false, -1);
  if (size < 1 || size > 400) return 0;
  int reader = data[0] % 4;
  const std::vector<unsigned char> reply(data + 1, data + size);
  // Nothing left over from the last input.
  f.edit.AnyHexRead();
  if (!reply.empty()) {
    f.line->device().Write(std::vector<veravo::win::BYTE>(reply.begin(), reply.end()));
    veravo::test::WaitUntil(
        [&] { return static_cast<std::size_t>(f.edit.Port()->ReceiveUsed()) >= reply.size(); },
        std::chrono::seconds(2));
    FUZZ_CHECK(static_cast<std::size_t>(f.edit.Port()->ReceiveUsed()) == reply.size());
  }
  std::string hex = veravo::TZPEdit::BytesToHexText(reply.data(), reply.size());
  std::size_t n = reply.size();
  auto xorOf = [&](std::size_t from, std::size_t to) {  // 0-based, [from, to)
    return std::accumulate(reply.begin() + from, reply.begin() + to, 0, std::bit_xor<>());
  };
  // The XOR readers: the last byte is the XOR of the bytes from `from` (0-based)
  // to N - `skip`, in replies of at least `least` bytes.
  struct XorReader {
    veravo::AnsiString (veravo::TZPEdit::*read)();
    std::size_t least, from, skip;
  };
  static const XorReader kXorReaders[] = {{&veravo::TZPEdit::GetData, 0, 0, 1},
                                          {&veravo::TZPEdit::SBQGetData, 4, 1, 2},
                                          {&veravo::TZPEdit::CRTRead, 5, 3, 1}};
  bool accepted = false;
  std::string got;
  if (reader < 3) {
    const XorReader& r = kXorReaders[reader];
    if (n < r.least) return 0;
    got = (f.edit.*r.read)().str();
    accepted = n >= 1 && reply[n - 1] == xorOf(r.from, n - r.skip);
  } else {                // the last two bytes are the CRC-16 of the rest, low byte first
    if (n < 5) return 0;  // shorter replies take a second snapshot
    got = f.edit.CCSBQGetData().str();
    unsigned crc = f.edit.GetCRC16(reply.data(), static_cast<unsigned>(n - 2));
    accepted = reply[n - 2] == (crc & 0xFF) && reply[n - 1] == (crc >> 8);
  }
  FUZZ_CHECK(got == (accepted ? hex : std::string()));
  return 0;
}
