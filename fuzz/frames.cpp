// The multi-drop frame builders of the printer and the display, end to end:
// the fuzzed argument goes to PringWriteData or DidplayWriteData on a
// virtual line, and the bytes the device end receives must be the ones the
// frame rules give (addresses with mark parity, check bytes the XOR the
// rules name). The plain builders (SBPring, NewDZShow) have no checks to
// work out; their field rules are the device frame tables' cases.
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
  const bool printer = data[0] % 2 == 0;
  std::string arg(reinterpret_cast<const char*>(data + 1), size - 1);
  arg = arg.substr(0, arg.find('\0'));
  // The printer and display frame the fields that a comma ends.
  const std::string trimmed = veravo::Trim(arg.c_str()).str();
  std::vector<std::string> fields;
  for (std::size_t start = 0, comma; (comma = trimmed.find(',', start)) != std::string::npos;
       start = comma + 1)
    fields.push_back(trimmed.substr(start, comma - start));
  if (fields.size() > 3) return 0;

  // The bytes the device should see, with their parity bit (-1: not checked).
  std::vector<unsigned char> values;
  std::vector<int> parity;
  auto add = [&](const std::vector<unsigned char>& bytes, int p) {
    values.insert(values.end(), bytes.begin(), bytes.end());
    parity.resize(values.size(), p);
  };
  if (printer) {
    for (const std::string& field : fields) {
      if (field.find('\'') != std::string::npos) continue;
      add(Hex(Sub(field, 0, 2)), 1);
      add(Hex(Sub(field, 2, 6)), 0);
      add({XorPairs(Sub(field, 0, 6))}, 0);
      add(Hex(Sub(field, 8)), 0);
      add({XorPairs(Sub(field, 8))}, 0);
    }
    f.edit.PringWriteData(arg.c_str());
  } else {
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
      add({afterQuote.begin(), afterQuote.begin() + static_cast<long>(r)}, -1);
      add(Hex(Sub(afterQuote, r + 1, 2)), -1);
      add({XorQuoted(afterQuote)}, -1);
    }
    f.edit.DidplayWriteData(arg.c_str());
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
