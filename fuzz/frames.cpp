// The frame builders of the output devices, end to end: the fuzzed argument
// goes to PringWriteData, DidplayWriteData, SBPring or NewDZShow on a
// virtual line, and the bytes the device end receives must be the ones the
// frame rules give (addresses with mark parity, check bytes the XOR the
// rules name).
#include <veravo/edit/zpedit.h>
#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "edit_on_line.h"
#include "fuzz_check.h"
#include "hex_expect.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static EditOnLine f("fuzz-frames", 460800, true, 2);
  if (size < 1 || size > 80) return 0;
  int method = data[0] % 4;
  std::string arg(reinterpret_cast<const char*>(data + 1), size - 1);
  arg = arg.substr(0, arg.find('\0'));
  // The printer and display frame the fields that a comma ends.
  std::vector<std::string> fields = Split(veravo::Trim(arg.c_str()).str());
  fields.pop_back();
  if (fields.size() > 3) return 0;

  // The bytes the device should see, with their parity bit (-1: not checked).
  std::vector<unsigned char> values;
  std::vector<int> parity;
  auto add = [&](const std::vector<unsigned char>& bytes, int p) {
    values.insert(values.end(), bytes.begin(), bytes.end());
    parity.resize(values.size(), p);
  };
  auto text = [](const std::string& t) { return std::vector<unsigned char>(t.begin(), t.end()); };
  switch (method) {
    case 0:
      for (const std::string& field : fields) {
        if (field.find('\'') != std::string::npos) continue;
        add(Hex(Sub(field, 0, 2)), 1);
        add(Hex(Sub(field, 2, 6)), 0);
        add({XorPairs(Sub(field, 0, 6))}, 0);
        add(Hex(Sub(field, 8)), 0);
        add({XorPairs(Sub(field, 8))}, 0);
      }
      f.edit.PringWriteData(arg.c_str());
      break;
    case 1:
      // The display sends its fields without a pause between them, so the
      // tail of one frame may still wait in the driver when the next address
      // switches to mark parity: only the address bytes' parity is certain.
      // A quoted field without its closing quote has no defined frame.
      for (const std::string& field : fields) {
        std::size_t q = field.find('\'');
        if (q != std::string::npos && field.find('\'', q + 1) == std::string::npos) return 0;
        // The address, then the hex before any quote and its check.
        const std::string head = field.substr(0, q);
        add(Hex(Sub(field, 0, 2)), 1);
        add(Hex(Sub(head, 2)), -1);
        add({XorPairs(head)}, -1);
        if (q == std::string::npos) continue;
        // The quoted text, an optional trailer byte from the two characters
        // after the closing quote, and the check.
        const std::string afterQuote = field.substr(q + 1);
        const std::size_t r = afterQuote.find('\'');
        add(text(afterQuote.substr(0, r)), -1);
        add(Hex(Sub(afterQuote, r + 1, 2)), -1);
        add({XorQuoted(afterQuote)}, -1);
      }
      f.edit.DidplayWriteData(arg.c_str());
      break;
    case 2: {
      std::vector<std::string> parts = Split(arg);
      if (parts.size() == 1) {
        add(Hex(arg), -1);
      } else {
        add(text(parts[0]), -1);
        for (std::size_t i = 1; i < parts.size(); ++i) add(Hex(parts[i]), -1);
      }
      f.edit.SBPring(arg.c_str());
      break;
    }
    default: {
      for (const std::string& x : Split(arg)) {
        add(!x.empty() && x[0] == '#' ? Hex(x.substr(1)) : text(x), -1);
      }
      add({0x0E}, -1);
      f.edit.NewDZShow(arg.c_str());
      break;
    }
  }
  if (!values.empty()) f.line->device().WaitFor(values.size(), std::chrono::seconds(2));
  f.line->device().WaitQuiet(std::chrono::milliseconds(3), std::chrono::milliseconds(50));
  auto got = f.line->device().Read();
  FUZZ_CHECK(got.size() == values.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    FUZZ_CHECK(got[i].value == values[i]);
    if (parity[i] >= 0) FUZZ_CHECK(got[i].parityBit == parity[i]);
  }
  return 0;
}
