// The form-file reader: any text either gives components whose written form
// reads back to the same text, or raises EReadError; nothing else escapes
// and nothing leaks (LeakSanitizer watches).
#include <veravo/codes/zpcombobox.h>
#include <veravo/edit/zpedit.h>
#include <veravo/package/veravo_package.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/form_file.h>

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = (veravo::Veravo::RegisterPackage(), true);
  (void)registered;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<veravo::TComponent> component;
  try {
    component.reset(veravo::ReadComponentText(text.c_str(), nullptr));
  } catch (const veravo::EReadError&) {
    return 0;
  } catch (const veravo::Exception&) {
    return 0;  // a property setter refused a value
  }
  FUZZ_CHECK(component != nullptr);
  veravo::AnsiString written = veravo::WriteComponentText(*component);
  std::unique_ptr<veravo::TComponent> again(veravo::ReadComponentText(written, nullptr));
  FUZZ_CHECK(veravo::WriteComponentText(*again) == written);
  return 0;
}
