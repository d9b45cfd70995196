// Controls: TControl with its Text, TWinControl with a window in the USER32
// layer whose procedure hands every message to the control's Dispatch, and
// the single-line edit box TEdit.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>
#include <veravo/platform/win/win.h>

namespace veravo {

// A window message record as the window procedure hands it to Dispatch: the
// first 32-bit field is the message number.
struct TMessage {
  win::UINT Msg;
  win::WPARAM WParam;
  win::LPARAM LParam;
  win::LRESULT Result;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner) : TComponent(owner) {}
  const char* ClassName() const override { return "TControl"; }

  AnsiString GetText() const { return text_; }
  virtual void SetText(const AnsiString& text) { text_ = text; }

 private:
  AnsiString text_;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner) : TControl(owner) {}
  ~TWinControl() override;
  const char* ClassName() const override { return "TWinControl"; }

  // The control's window, created on first use on the calling thread (which
  // then owns it); its window class is named after the control's class.
  win::HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  // Destroys the window; on a thread other than its owner the window is
  // only detached from the control (it no longer reaches Dispatch).
  void DestroyHandle();

  // WM_SETTEXT and WM_GETTEXT reach the control's Text; everything else goes
  // to the inherited dispatch.
  void Dispatch(void* message) override;

 private:
  static win::LRESULT WindowProc(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam);
  win::HWND handle_ = nullptr;
};

class TEdit : public TWinControl {
 public:
  static constexpr const char* StaticClassName = "TEdit";
  explicit TEdit(TComponent* owner) : TWinControl(owner) {}
  const char* ClassName() const override { return StaticClassName; }
};

}  // namespace veravo
