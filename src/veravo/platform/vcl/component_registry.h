// The component palette: RegisterComponents records a page and the classes
// registered on it, and can create a registered class by name (the form
// reader does that).
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace veravo {

// A class reference: its name and how to create one with an owner.
struct TComponentClass {
  std::string name;
  std::function<TComponent*(TComponent* owner)> create;
};

// The class reference of T; T names itself with a static member
// `static constexpr const char* StaticClassName`.
template <class T>
TComponentClass ClassOf() {
  return TComponentClass{T::StaticClassName, [](TComponent* owner) -> TComponent* { return new T(owner); }};
}

class ComponentRegistry {
 public:
  struct Entry {
    AnsiString page;
    TComponentClass componentClass;
  };

  static ComponentRegistry& Instance();

  void Register(const AnsiString& page, const TComponentClass& componentClass);
  const std::vector<Entry>& Entries() const { return entries_; }
  // The entry of a class name (exact, as class names are), or null.
  const Entry* Find(const std::string& className) const;
  // Creates a registered class; raises EComponentError for an unknown name.
  TComponent* Create(const std::string& className, TComponent* owner) const;
  void Clear() { entries_.clear(); }

 private:
  std::vector<Entry> entries_;
};

// Registers the classes on a palette page. Registering a class again moves
// it to the new page.
void RegisterComponents(const AnsiString& page, std::initializer_list<TComponentClass> classes);

}  // namespace veravo
