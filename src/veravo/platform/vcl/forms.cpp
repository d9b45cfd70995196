#include <veravo/platform/vcl/codepage.h>
#include <veravo/platform/vcl/forms.h>
#include <veravo/platform/win/win.h>

#include <cstdio>

namespace veravo {

namespace {

int DefaultMessageBox(const char* text, const char* caption, int /*flags*/) {
  std::string line =
      "messagebox: " + Cp936ToUtf8(caption ? caption : "") + ": " + Cp936ToUtf8(text ? text : "");
  std::fprintf(stderr, "%s\n", line.c_str());
  return win::IDOK;
}

TApplication& TheApplication() {
  static TApplication application(nullptr);
  return application;
}

}  // namespace

TApplication* Application = &TheApplication();

TApplication::TApplication(TComponent* owner) : TComponent(owner), OnMessageBox(DefaultMessageBox) {}

int TApplication::MessageBox(const char* text, const char* caption, int flags) {
  if (OnMessageBox) return OnMessageBox(text, caption, flags);
  return DefaultMessageBox(text, caption, flags);
}

void TApplication::ProcessMessages() {
  win::MSG msg;
  while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    win::DispatchMessageA(&msg);
  }
}

void ShowMessage(const AnsiString& message) {
  Application->MessageBox(message.c_str(), Application->Title.c_str(), win::MB_OK);
}

}  // namespace veravo
