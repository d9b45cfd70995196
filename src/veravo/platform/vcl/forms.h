// The application object: message boxes and message processing.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>

#include <functional>

namespace veravo {

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner);
  const char* ClassName() const override { return "TApplication"; }

  // Shows a message box and returns the button pressed. The box goes to
  // OnMessageBox; the default handler writes "messagebox: CAPTION: TEXT"
  // (converted from code page 936 to UTF-8) to standard error and answers
  // IDOK.
  int MessageBox(const char* text, const char* caption, int flags);
  // Handles the calling thread's pending window messages: messages sent to
  // its windows from other threads, then the posted ones; returns when none
  // is left.
  void ProcessMessages();

  std::function<int(const char* text, const char* caption, int flags)> OnMessageBox;
  AnsiString Title;
};

// The application object of the process.
extern TApplication* Application;

// A message box with the application's title as caption and an OK button.
void ShowMessage(const AnsiString& message);

}  // namespace veravo
