#include <veravo/platform/vcl/combobox.h>

#include <optional>
#include <string>

namespace veravo {

// The item list of a combo box. Like the list box inside the control it
// sorts what is added when the box is sorted, but inserts and replaces at
// the position asked for even then.
class TCustomComboBox::TComboBoxStrings : public TStringList {
 public:
  void Insert(int index, const AnsiString& s) override { InsertItem(index, s); }
  void Put(int index, const AnsiString& s) override { PutItem(index, s); }
};

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TComboBoxStrings>()) {}

TCustomComboBox::~TCustomComboBox() = default;

TStrings* TCustomComboBox::Items() const { return items_.get(); }

int TCustomComboBox::GetItemCount() const { return items_->Count(); }

void TCustomComboBox::SetItemIndex(int index) {
  if (index >= 0 && index < items_->Count()) {
    itemIndex_ = index;
    SetText(items_->Get(index));
  } else {
    itemIndex_ = -1;
    SetText(AnsiString());
  }
}

void TCustomComboBox::SetSorted(bool sorted) {
  if (sorted_ == sorted) return;
  sorted_ = sorted;
  items_->SetSorted(sorted);
}

void TCustomComboBox::Loaded() { TWinControl::Loaded(); }

namespace {

// Table entries over data members of the combo box: `access` answers a
// reference to the member.
template <class T, PropertyInfo::Kind kind, class Access>
PropertyInfo Field(std::string name, Access access, std::optional<T> defaultValue) {
  PropertyInfo p;
  p.name = std::move(name);
  p.kind = kind;
  p.get = [access](const TPersistent& o) -> PropertyValue {
    return access(const_cast<TCustomComboBox&>(static_cast<const TCustomComboBox&>(o)));
  };
  p.set = [access](TPersistent& o, const PropertyValue& v) {
    access(static_cast<TCustomComboBox&>(o)) = std::get<T>(v);
  };
  if (defaultValue) p.defaultValue = PropertyValue(*defaultValue);
  return p;
}

template <class Access>
PropertyInfo IntField(std::string name, Access access, std::optional<int> defaultValue) {
  return Field<int, PropertyInfo::Kind::Integer>(std::move(name), access, defaultValue);
}

template <class Access>
PropertyInfo BoolField(std::string name, Access access, bool defaultValue) {
  return Field<bool, PropertyInfo::Kind::Boolean>(std::move(name), access, std::optional<bool>(defaultValue));
}

template <class Access>
PropertyInfo StringField(std::string name, Access access, std::optional<AnsiString> defaultValue) {
  return Field<AnsiString, PropertyInfo::Kind::String>(std::move(name), access, defaultValue);
}

using C = TCustomComboBox;

}  // namespace

const PropertyTable& TCustomComboBox::PublishedProperties() const {
  static const PropertyTable table = {
      IntField(
          "Left", [](C& c) -> int& { return c.Left; }, std::nullopt),
      IntField(
          "Top", [](C& c) -> int& { return c.Top; }, std::nullopt),
      IntField(
          "Width", [](C& c) -> int& { return c.Width; }, std::nullopt),
      IntField(
          "Height", [](C& c) -> int& { return c.Height; }, std::nullopt),
  };
  return table;
}

PropertyTable TCustomComboBox::PublishableProperties() {
  PropertyInfo sorted;
  sorted.name = "Sorted";
  sorted.kind = PropertyInfo::Kind::Boolean;
  sorted.get = [](const TPersistent& o) -> PropertyValue { return static_cast<const C&>(o).GetSorted(); };
  sorted.set = [](TPersistent& o, const PropertyValue& v) {
    static_cast<C&>(o).SetSorted(std::get<bool>(v));
  };
  sorted.defaultValue = PropertyValue(false);

  PropertyInfo text;
  text.name = "Text";
  text.kind = PropertyInfo::Kind::String;
  text.get = [](const TPersistent& o) -> PropertyValue { return static_cast<const C&>(o).GetText(); };
  text.set = [](TPersistent& o, const PropertyValue& v) {
    static_cast<C&>(o).SetText(std::get<AnsiString>(v));
  };

  return {
      IntField(
          "Anchors", [](C& c) -> int& { return c.Anchors; }, akLeft | akTop),
      IntField(
          "BiDiMode", [](C& c) -> int& { return c.BiDiMode; }, bdLeftToRight),
      IntField(
          "Color", [](C& c) -> int& { return c.Color; }, clWindow),
      IntField(
          "Constraints.MaxHeight", [](C& c) -> int& { return c.Constraints.MaxHeight; }, 0),
      IntField(
          "Constraints.MaxWidth", [](C& c) -> int& { return c.Constraints.MaxWidth; }, 0),
      IntField(
          "Constraints.MinHeight", [](C& c) -> int& { return c.Constraints.MinHeight; }, 0),
      IntField(
          "Constraints.MinWidth", [](C& c) -> int& { return c.Constraints.MinWidth; }, 0),
      BoolField(
          "Ctl3D", [](C& c) -> bool& { return c.Ctl3D; }, true),
      IntField(
          "DragCursor", [](C& c) -> int& { return c.DragCursor; }, crDrag),
      IntField(
          "DragKind", [](C& c) -> int& { return c.DragKind; }, dkDrag),
      IntField(
          "DragMode", [](C& c) -> int& { return c.DragMode; }, dmManual),
      IntField(
          "DropDownCount", [](C& c) -> int& { return c.DropDownCount; }, 8),
      BoolField(
          "Enabled", [](C& c) -> bool& { return c.Enabled; }, true),
      IntField(
          "Font.Charset", [](C& c) -> int& { return c.Font.Charset; }, DEFAULT_CHARSET),
      IntField(
          "Font.Color", [](C& c) -> int& { return c.Font.Color; }, clWindowText),
      IntField(
          "Font.Height", [](C& c) -> int& { return c.Font.Height; }, -11),
      StringField(
          "Font.Name", [](C& c) -> AnsiString& { return c.Font.Name; }, AnsiString()),
      IntField(
          "Font.Style", [](C& c) -> int& { return c.Font.Style; }, 0),
      IntField(
          "ImeMode", [](C& c) -> int& { return c.ImeMode; }, imDontCare),
      StringField(
          "ImeName", [](C& c) -> AnsiString& { return c.ImeName; }, AnsiString()),
      // Written always, as the framework does for the item height.
      IntField(
          "ItemHeight", [](C& c) -> int& { return c.ItemHeight; }, std::nullopt),
      IntField(
          "MaxLength", [](C& c) -> int& { return c.MaxLength; }, 0),
      BoolField(
          "ParentBiDiMode", [](C& c) -> bool& { return c.ParentBiDiMode; }, true),
      BoolField(
          "ParentColor", [](C& c) -> bool& { return c.ParentColor; }, false),
      BoolField(
          "ParentCtl3D", [](C& c) -> bool& { return c.ParentCtl3D; }, true),
      BoolField(
          "ParentFont", [](C& c) -> bool& { return c.ParentFont; }, true),
      BoolField(
          "ParentShowHint", [](C& c) -> bool& { return c.ParentShowHint; }, true),
      StringField(
          "PopupMenu", [](C& c) -> AnsiString& { return c.PopupMenu; }, AnsiString()),
      BoolField(
          "ShowHint", [](C& c) -> bool& { return c.ShowHint; }, false),
      sorted,
      IntField(
          "TabOrder", [](C& c) -> int& { return c.TabOrder; }, -1),
      BoolField(
          "TabStop", [](C& c) -> bool& { return c.TabStop; }, true),
      text,
      BoolField(
          "Visible", [](C& c) -> bool& { return c.Visible; }, true),
  };
}

}  // namespace veravo
