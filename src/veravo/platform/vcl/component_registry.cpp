#include <veravo/platform/vcl/component_registry.h>
#include <veravo/platform/vcl/exception.h>

namespace veravo {

ComponentRegistry& ComponentRegistry::Instance() {
  static ComponentRegistry registry;
  return registry;
}

void ComponentRegistry::Register(const AnsiString& page, const TComponentClass& componentClass) {
  for (Entry& e : entries_) {
    if (e.componentClass.name == componentClass.name) {
      e.page = page;
      e.componentClass = componentClass;
      return;
    }
  }
  entries_.push_back(Entry{page, componentClass});
}

const ComponentRegistry::Entry* ComponentRegistry::Find(const std::string& className) const {
  for (const Entry& e : entries_) {
    if (e.componentClass.name == className) return &e;
  }
  return nullptr;
}

TComponent* ComponentRegistry::Create(const std::string& className, TComponent* owner) const {
  const Entry* e = Find(className);
  if (!e) throw EComponentError("Class " + AnsiString(className) + " not found");
  return e->componentClass.create(owner);
}

void RegisterComponents(const AnsiString& page, std::initializer_list<TComponentClass> classes) {
  for (const TComponentClass& c : classes) ComponentRegistry::Instance().Register(page, c);
}

}  // namespace veravo
