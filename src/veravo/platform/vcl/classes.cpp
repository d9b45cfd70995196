#include <veravo/platform/vcl/classes.h>
#include <veravo/platform/vcl/exception.h>

#include <algorithm>

namespace veravo {

void TObject::Dispatch(void* message) { DefaultHandler(message); }

void TObject::DefaultHandler(void* /*message*/) {}

const PropertyTable& TPersistent::PublishedProperties() const {
  static const PropertyTable none;
  return none;
}

const PropertyInfo* TPersistent::FindProperty(const std::string& name) const {
  for (const PropertyInfo& p : PublishedProperties()) {
    if (p.name.size() == name.size() &&
        std::equal(p.name.begin(), p.name.end(), name.begin(), [](char a, char b) {
          auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
          return up(a) == up(b);
        })) {
      return &p;
    }
  }
  return nullptr;
}

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  // Owned components go first, newest first, as the framework frees them.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    components_.pop_back();
    child->owner_ = nullptr;
    delete child;
  }
  if (owner_) {
    auto& siblings = owner_->components_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

TComponent* TComponent::GetComponent(int index) const {
  if (index < 0 || index >= ComponentCount()) {
    throw EComponentError("Component index " + IntToStr(index) + " out of range");
  }
  return components_[static_cast<std::size_t>(index)];
}

}  // namespace veravo
