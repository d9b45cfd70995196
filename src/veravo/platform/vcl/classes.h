// The framework's object model, as far as the components use it: TObject
// with message dispatch, TPersistent with a table of published properties,
// and TComponent with owner, name and the "loaded" hook.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace veravo {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  virtual const char* ClassName() const { return "TObject"; }
  // Message dispatch: `message` points to a record whose first 32-bit field
  // is the message number. The base hands every message to DefaultHandler.
  virtual void Dispatch(void* message);
  virtual void DefaultHandler(void* message);
};

// A value of a published property as the form files carry it.
using PropertyValue = std::variant<int, bool, AnsiString, std::vector<AnsiString>>;

// One published property: its name, kind, accessors and storage rule. The
// form writer writes a property when `stored` is true and its value differs
// from `defaultValue` (a property without a default is always written, except
// an empty string).
struct PropertyInfo {
  enum class Kind { Integer, Boolean, String, Strings };
  std::string name;
  Kind kind;
  std::function<PropertyValue(const class TPersistent&)> get;
  std::function<void(class TPersistent&, const PropertyValue&)> set;
  std::optional<PropertyValue> defaultValue;
  bool stored = true;
};

using PropertyTable = std::vector<PropertyInfo>;

class TPersistent : public TObject {
 public:
  const char* ClassName() const override { return "TPersistent"; }
  // The published properties in the order the designer lists and streams
  // them (base class properties first).
  virtual const PropertyTable& PublishedProperties() const;
  // The property of that name (compared without regard to ASCII case), or
  // null.
  const PropertyInfo* FindProperty(const std::string& name) const;
};

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  const char* ClassName() const override { return "TComponent"; }

  TComponent* GetOwner() const { return owner_; }
  const AnsiString& GetName() const { return name_; }
  void SetName(const AnsiString& name) { name_ = name; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* GetComponent(int index) const;

  // True while a form reader sets the stored properties.
  bool IsLoading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }
  // Called once after all stored properties have been read.
  virtual void Loaded() { loading_ = false; }

 private:
  TComponent* owner_;
  AnsiString name_;
  std::vector<TComponent*> components_;  // owned: destroyed with this component
  bool loading_ = false;
};

// Builds a property table entry for a component class C with a typed getter
// and setter, e.g. IntProperty<TZPEdit>("BaudRate", &TZPEdit::GetBaudRate,
// &TZPEdit::SetBaudRate, 0).
template <class C>
PropertyInfo IntProperty(std::string name, int (C::*getter)() const, void (C::*setter)(int),
                         std::optional<int> defaultValue) {
  PropertyInfo p;
  p.name = std::move(name);
  p.kind = PropertyInfo::Kind::Integer;
  p.get = [getter](const TPersistent& o) -> PropertyValue { return (static_cast<const C&>(o).*getter)(); };
  p.set = [setter](TPersistent& o, const PropertyValue& v) {
    (static_cast<C&>(o).*setter)(std::get<int>(v));
  };
  if (defaultValue) p.defaultValue = PropertyValue(*defaultValue);
  return p;
}

template <class C>
PropertyInfo StringProperty(std::string name, AnsiString (C::*getter)() const,
                            void (C::*setter)(const AnsiString&)) {
  PropertyInfo p;
  p.name = std::move(name);
  p.kind = PropertyInfo::Kind::String;
  p.get = [getter](const TPersistent& o) -> PropertyValue { return (static_cast<const C&>(o).*getter)(); };
  p.set = [setter](TPersistent& o, const PropertyValue& v) {
    (static_cast<C&>(o).*setter)(std::get<AnsiString>(v));
  };
  return p;
}

template <class C>
PropertyInfo BoolProperty(std::string name, bool (C::*getter)() const, void (C::*setter)(bool),
                          std::optional<bool> defaultValue) {
  PropertyInfo p;
  p.name = std::move(name);
  p.kind = PropertyInfo::Kind::Boolean;
  p.get = [getter](const TPersistent& o) -> PropertyValue { return (static_cast<const C&>(o).*getter)(); };
  p.set = [setter](TPersistent& o, const PropertyValue& v) {
    (static_cast<C&>(o).*setter)(std::get<bool>(v));
  };
  if (defaultValue) p.defaultValue = PropertyValue(*defaultValue);
  return p;
}

}  // namespace veravo
