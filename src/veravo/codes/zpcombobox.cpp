#include <veravo/codes/code_record_scan.h>
#include <veravo/codes/zpcombobox.h>
#include <veravo/platform/vcl/component_registry.h>
#include <veravo/platform/vcl/exception.h>

namespace veravo {

namespace {

// Sets the rebuild guard for the box's own update of the stored lines.
class GuardScope {
 public:
  explicit GuardScope(bool& guard) : guard_(guard) { guard_ = true; }
  ~GuardScope() { guard_ = false; }
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;

 private:
  bool& guard_;
};

}  // namespace

TZPComboBox::TZPComboBox(TComponent* owner)
    : TCustomComboBox(owner),
      zCodeTable_(std::make_unique<TStringList>()),
      codes_(std::make_unique<TStringList>()) {
  zCodeTable_->OnChange = [this](TObject* sender) { ZCodeTableOnChange(sender); };
  rebuildGuard_ = false;
}

TZPComboBox::~TZPComboBox() {
  zCodeTable_->OnChange = nullptr;
  zCodeTable_.reset();
  codes_.reset();
}

TStrings* TZPComboBox::ZCodeTable() const { return zCodeTable_.get(); }

void TZPComboBox::SetZCodeTable(const TStrings* source) {
  if (!source) throw EConvertError("Cannot assign a nil to a TStringList");
  zCodeTable_->Assign(*source);
}

AnsiString TZPComboBox::GetCode(int index) const { return codes_->Get(index); }

void TZPComboBox::SetCode(int index, const AnsiString& code) { codes_->Put(index, code); }

AnsiString TZPComboBox::GetValue(int index) const { return Items()->Get(index); }

void TZPComboBox::SetValue(int index, const AnsiString& value) { Items()->Put(index, value); }

int TZPComboBox::GetItemCount() const { return codes_->Count(); }

void TZPComboBox::Loaded() {
  TCustomComboBox::Loaded();
  ZCodeTableOnChange(this);
}

void TZPComboBox::ZCodeTableOnChange(TObject* /*sender*/) {
  if (rebuildGuard_) return;
  codes_->Clear();
  Items()->Clear();
  // The line count is read on every turn, as the lines are the only
  // authority here.
  for (int i = 0; i < zCodeTable_->Count(); ++i) {
    AnsiString code = zCodeTable_->GetName(i);
    codes_->Add(code);
    Items()->Add(zCodeTable_->GetValue(code));
  }
}

int TZPComboBox::FindCode(const AnsiString& code) const { return codes_->IndexOf(code); }

int TZPComboBox::AddCode(const AnsiString& code, const AnsiString& value) {
  int index = codes_->Add(code);
  Items()->Add(value);
  GuardScope guard(rebuildGuard_);
  zCodeTable_->Add(code + "=" + value);
  return index;
}

void TZPComboBox::InsertCode(int index, const AnsiString& code, const AnsiString& value) {
  codes_->Insert(index, code);
  Items()->Insert(index, value);
  GuardScope guard(rebuildGuard_);
  zCodeTable_->Insert(index, code + "=" + value);
}

void TZPComboBox::DeleteCode(int index) {
  codes_->Delete(index);
  Items()->Delete(index);
  GuardScope guard(rebuildGuard_);
  zCodeTable_->Delete(index);
}

void TZPComboBox::ClearCodes() { zCodeTable_->Clear(); }

void TZPComboBox::LoadFromDataSet(TDataSet* dataSet, const AnsiString& codeField,
                                  const AnsiString& valueField) {
  ClearCodes();
  if (!dataSet) throw EAccessViolation("LoadFromDataSet: no data set");
  if (!dataSet->GetActive()) return;
  ScanCodeRecords(*dataSet, codeField, valueField,
                  [this](const AnsiString& code, const AnsiString& value) { AddCode(code, value); });
}

void TZPComboBox::LoadFormZCodeTable(const TZCodeTable* table) {
  ClearCodes();
  if (!table) throw EAccessViolation("LoadFormZCodeTable: no code table");
  for (int i = 0; i < table->GetCount(); ++i) {
    AnsiString code = table->GetCode(i);
    AddCode(code, table->GetValue(code));
  }
}

const PropertyTable& TZPComboBox::PublishedProperties() const {
  static const PropertyTable table = [this] {
    PropertyTable t = TCustomComboBox::PublishedProperties();
    for (PropertyInfo& p : PublishableProperties()) t.push_back(std::move(p));
    PropertyInfo lines;
    lines.name = "ZCodeTable";
    lines.kind = PropertyInfo::Kind::Strings;
    lines.get = [](const TPersistent& o) -> PropertyValue {
      return static_cast<const TZPComboBox&>(o).ZCodeTable()->ToVector();
    };
    lines.set = [](TPersistent& o, const PropertyValue& v) {
      TStringList source;
      for (const AnsiString& line : std::get<std::vector<AnsiString>>(v)) source.Add(line);
      static_cast<TZPComboBox&>(o).SetZCodeTable(&source);
    };
    t.push_back(std::move(lines));
    return t;
  }();
  return table;
}

}  // namespace veravo

namespace veravo::Zpcombobox {

void Register() { RegisterComponents("VEravo", {ClassOf<TZPComboBox>()}); }

}  // namespace veravo::Zpcombobox
