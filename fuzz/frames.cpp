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

namespace {

struct Expected {
  std::vector<unsigned char> values;
  std::vector<int> parity;  // -1: not checked
  void Add(const std::vector<unsigned char>& bytes, int p) {
    for (unsigned char b : bytes) {
      values.push_back(b);
      parity.push_back(p);
    }
  }
};

std::string Sub(const std::string& s, std::size_t from, std::size_t count = std::string::npos) {
  return from >= s.size() ? std::string() : s.substr(from, count);
}

// The quoted part of a display field: text up to the closing quote, an
// optional trailer byte from the two characters after it, and the check.
void QuotedTail(const std::string& afterQuote, Expected& e) {
  std::size_t r = afterQuote.find('\'');
  std::string text = afterQuote.substr(0, r);
  e.Add(std::vector<unsigned char>(text.begin(), text.end()), -1);
  if (r != std::string::npos) e.Add(Hex(Sub(afterQuote, r + 1, 2)), -1);
  e.Add({XorQuoted(afterQuote)}, -1);
}

}  // namespace

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

  Expected e;
  switch (method) {
    case 0:
      for (const std::string& field : fields) {
        if (field.find('\'') != std::string::npos) continue;
        e.Add(Hex(Sub(field, 0, 2)), 1);
        e.Add(Hex(Sub(field, 2, 6)), 0);
        e.Add({XorPairs(Sub(field, 0, 6))}, 0);
        e.Add(Hex(Sub(field, 8)), 0);
        e.Add({XorPairs(Sub(field, 8))}, 0);
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
        e.Add(Hex(Sub(field, 0, 2)), 1);
        if (q == std::string::npos) {
          e.Add(Hex(Sub(field, 2)), -1);
          e.Add({XorPairs(field)}, -1);
        } else {
          e.Add(Hex(field.substr(0, q).size() > 2 ? field.substr(2, q - 2) : ""), -1);
          e.Add({XorPairs(field.substr(0, q))}, -1);
          QuotedTail(field.substr(q + 1), e);
        }
      }
      f.edit.DidplayWriteData(arg.c_str());
      break;
    case 2: {
      std::vector<std::string> parts = Split(arg);
      if (parts.size() == 1) {
        e.Add(Hex(arg), -1);
      } else {
        e.Add(std::vector<unsigned char>(parts[0].begin(), parts[0].end()), -1);
        for (std::size_t i = 1; i < parts.size(); ++i) e.Add(Hex(parts[i]), -1);
      }
      f.edit.SBPring(arg.c_str());
      break;
    }
    default: {
      for (const std::string& x : Split(arg)) {
        if (!x.empty() && x[0] == '#') {
          e.Add(Hex(x.substr(1)), -1);
        } else {
          e.Add(std::vector<unsigned char>(x.begin(), x.end()), -1);
        }
      }
      e.Add({0x0E}, -1);
      f.edit.NewDZShow(arg.c_str());
      break;
    }
  }
  if (!e.values.empty()) f.line->device().WaitFor(e.values.size(), std::chrono::seconds(2));
  f.line->device().WaitQuiet(std::chrono::milliseconds(3), std::chrono::milliseconds(50));
  auto got = f.line->device().Read();
  FUZZ_CHECK(got.size() == e.values.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    FUZZ_CHECK(got[i].value == e.values[i]);
    if (e.parity[i] >= 0) FUZZ_CHECK(got[i].parityBit == e.parity[i]);
  }
  return 0;
}
