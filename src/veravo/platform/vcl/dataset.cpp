#include <veravo/platform/vcl/dataset.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/strings.h>

namespace veravo {

// ---- TField ------------------------------------------------------------------

TField::TField(TDataSet& dataSet, AnsiString fieldName, int fieldNo)
    : dataSet_(dataSet), fieldName_(std::move(fieldName)), fieldNo_(fieldNo) {}

AnsiString TField::AsString() const {
  const std::optional<AnsiString>* value = dataSet_.CurrentValue(fieldNo_);
  return value && *value ? **value : AnsiString();
}

bool TField::IsNull() const {
  const std::optional<AnsiString>* value = dataSet_.CurrentValue(fieldNo_);
  return !value || !*value;
}

// ---- TDataSet ----------------------------------------------------------------

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() = default;

void TDataSet::SetActive(bool active) {
  if (active) {
    Open();
  } else {
    Close();
  }
}

void TDataSet::Open() {
  if (active_) return;
  std::vector<AnsiString> names;
  std::vector<Record> records;
  InternalOpen(names, records);
  fields_.clear();
  for (std::size_t i = 0; i < names.size(); ++i) {
    fields_.push_back(std::make_unique<TField>(*this, names[i], static_cast<int>(i) + 1));
  }
  for (Record& r : records) r.resize(names.size());
  records_ = std::move(records);
  active_ = true;
  current_ = 0;
  bof_ = true;
  eof_ = records_.empty();
  DataEvent();
}

void TDataSet::Close() {
  if (!active_) return;
  active_ = false;
  fields_.clear();
  records_.clear();
  bookmarks_.clear();
  current_ = 0;
  bof_ = eof_ = true;
  DataEvent();
}

void TDataSet::CheckActive() const {
  if (!active_) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::First() {
  CheckActive();
  current_ = 0;
  bof_ = true;
  eof_ = records_.empty();
  DataEvent();
}

void TDataSet::Last() {
  CheckActive();
  current_ = records_.empty() ? 0 : static_cast<int>(records_.size()) - 1;
  eof_ = true;
  bof_ = records_.empty();
  DataEvent();
}

void TDataSet::Next() {
  CheckActive();
  if (current_ + 1 < static_cast<int>(records_.size())) {
    ++current_;
    bof_ = false;
  } else {
    eof_ = true;
  }
  DataEvent();
}

void TDataSet::Prior() {
  CheckActive();
  if (current_ > 0) {
    --current_;
    eof_ = false;
  } else {
    bof_ = true;
  }
  DataEvent();
}

int TDataSet::RecordCount() const { return static_cast<int>(records_.size()); }

int TDataSet::RecNo() const { return active_ && !records_.empty() ? current_ + 1 : 0; }

TField& TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) throw EDatabaseError("Field index out of range");
  return *fields_[static_cast<std::size_t>(index)];
}

TField* TDataSet::FindField(const AnsiString& name) const {
  for (const auto& f : fields_) {
    if (CompareTextAnsi(f->FieldName().str(), name.str()) == 0) return f.get();
  }
  return nullptr;
}

TField& TDataSet::FieldByName(const AnsiString& name) const {
  TField* f = FindField(name);
  if (!f) throw EDatabaseError("Field '" + name + "' not found");
  return *f;
}

const std::optional<AnsiString>* TDataSet::CurrentValue(int fieldNo) const {
  if (!active_ || records_.empty() || fieldNo < 1 || fieldNo > FieldCount()) return nullptr;
  return &records_[static_cast<std::size_t>(current_)][static_cast<std::size_t>(fieldNo - 1)];
}

TBookmark TDataSet::GetBookmark() {
  if (!active_ || records_.empty()) return 0;
  TBookmark b = nextBookmark_++;
  bookmarks_[b] = current_;
  return b;
}

void TDataSet::GotoBookmark(TBookmark bookmark) {
  if (bookmark == 0) return;
  CheckActive();
  auto it = bookmarks_.find(bookmark);
  if (it == bookmarks_.end()) throw EDatabaseError("Bookmark not found");
  current_ = it->second;
  bof_ = eof_ = false;
  DataEvent();
}

void TDataSet::FreeBookmark(TBookmark bookmark) { bookmarks_.erase(bookmark); }

int TDataSet::AddDataLink(DataLink link) {
  int id = nextLink_++;
  links_[id] = std::move(link);
  return id;
}

void TDataSet::RemoveDataLink(int id) { links_.erase(id); }

void TDataSet::DisableControls() { ++disableCount_; }

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ == 0) DataEvent();
}

void TDataSet::DataEvent() {
  if (disableCount_ > 0 || links_.empty()) return;
  // A link may add or remove links while it runs.
  std::vector<DataLink> calls;
  calls.reserve(links_.size());
  for (const auto& [id, link] : links_) calls.push_back(link);
  for (const DataLink& link : calls) link(*this);
}

}  // namespace veravo
