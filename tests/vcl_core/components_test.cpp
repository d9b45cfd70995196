#include <gtest/gtest.h>
#include <veravo/platform/vcl/classes.h>
#include <veravo/platform/vcl/component_registry.h>
#include <veravo/platform/vcl/controls.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/forms.h>

#include <string>

namespace veravo {
namespace {

struct Probe : TComponent {
  explicit Probe(TComponent* owner, int* destroyed = nullptr) : TComponent(owner), destroyed_(destroyed) {}
  ~Probe() override {
    if (destroyed_) ++*destroyed_;
  }
  const char* ClassName() const override { return "TProbe"; }
  int* destroyed_;
};

// Owned components are freed with their owner, and leave its list when freed
// first; an unregistered class cannot be created by name (registered ones are
// created by the form file tests).
TEST(Components, OwnerFreesOwnedComponentsAndUnknownClassesAreRefused) {
  int destroyed = 0;
  auto* owner = new Probe(nullptr);
  auto* a = new Probe(owner, &destroyed);
  new Probe(owner, &destroyed);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete a;
  EXPECT_EQ(owner->ComponentCount(), 1);
  delete owner;
  EXPECT_EQ(destroyed, 2);
  EXPECT_THROW(ComponentRegistry::Instance().Create("TNoSuchClass", nullptr), EComponentError);
}

struct Recorder : TEdit {
  explicit Recorder(TComponent* owner) : TEdit(owner) {}
  const char* ClassName() const override { return "TRecorderEdit"; }
  void Dispatch(void* message) override {
    auto* m = static_cast<TMessage*>(message);
    if (m->Msg != win::WM_USER + 1) return TEdit::Dispatch(message);
    m->Result = 42;
  }
};

// Messages to the control's window reach Dispatch (sends between threads are
// the message tests' business), and the text messages read and write the
// control's text.
TEST(Controls, WindowReachesDispatchAndTextMessages) {
  Recorder edit(nullptr);
  win::HWND h = edit.Handle();
  EXPECT_EQ(win::FindWindowA("TRecorderEdit", nullptr), h);
  EXPECT_EQ(win::SendMessageA(h, win::WM_USER + 1, 0, 0), 42);
  win::SendMessageA(h, win::WM_SETTEXT, 0, reinterpret_cast<win::LPARAM>("hello"));
  EXPECT_EQ(edit.GetText(), "hello");
  char buffer[4];
  EXPECT_EQ(win::SendMessageA(h, win::WM_GETTEXT, sizeof buffer, reinterpret_cast<win::LPARAM>(buffer)), 3);
  EXPECT_STREQ(buffer, "hel");
  edit.DestroyHandle();
  EXPECT_EQ(win::FindWindowA("TRecorderEdit", nullptr), nullptr);
}

// Message boxes go to the replaceable handler (the component tests capture
// them); ShowMessage is one with no caption and no flags.
TEST(Application, ShowMessageGoesToTheReplaceableHandler) {
  auto saved = Application->OnMessageBox;
  std::string seen;
  Application->OnMessageBox = [&](const char* text, const char* caption, int flags) {
    seen = std::string(caption) + "|" + text + "|" + std::to_string(flags);
    return win::IDOK;
  };
  ShowMessage("hi");
  EXPECT_EQ(seen, "|hi|0");
  Application->OnMessageBox = saved;
}

}  // namespace
}  // namespace veravo
