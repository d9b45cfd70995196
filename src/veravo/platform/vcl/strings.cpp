#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/strings.h>

#include <algorithm>
#include <unordered_map>

namespace veravo {

namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Walks a line byte by byte, giving each byte as the case-blind comparison
// sees it: ASCII letters in upper case, the two bytes of a double-byte
// character unchanged.
class FoldingReader {
 public:
  explicit FoldingReader(const std::string& text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  unsigned char Next() {
    auto c = static_cast<unsigned char>(text_[pos_++]);
    if (trailPending_) {
      trailPending_ = false;
      return c;
    }
    if (IsLeadByte(c) && pos_ < text_.size() && IsTrailByte(static_cast<unsigned char>(text_[pos_]))) {
      trailPending_ = true;
      return c;
    }
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
    return c;
  }

 private:
  const std::string& text_;
  std::size_t pos_ = 0;
  bool trailPending_ = false;
};

int CompareBytes(const std::string& a, const std::string& b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The position of the first "=" in a line, or npos.
std::size_t SeparatorOf(const std::string& line) { return line.find('='); }

}  // namespace

int CompareTextAnsi(const std::string& a, const std::string& b) {
  FoldingReader ra(a);
  FoldingReader rb(b);
  while (!ra.AtEnd() && !rb.AtEnd()) {
    unsigned char ca = ra.Next();
    unsigned char cb = rb.Next();
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (ra.AtEnd() && rb.AtEnd()) return 0;
  return ra.AtEnd() ? -1 : 1;
}

std::string FoldCaseAnsi(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  FoldingReader r(text);
  while (!r.AtEnd()) out.push_back(static_cast<char>(r.Next()));
  return out;
}

// ---- TStrings -----------------------------------------------------------

int TStrings::Add(const AnsiString& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return CompareTextAnsi(a.str(), b.str());
}

int TStrings::IndexOf(const AnsiString& s) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    if (CompareStrings(Get(i), s) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfName(const AnsiString& name) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    const std::string line = Get(i).str();
    std::size_t eq = SeparatorOf(line);
    if (eq != std::string::npos && CompareStrings(AnsiString(line.substr(0, eq)), name) == 0) return i;
  }
  return -1;
}

AnsiString TStrings::GetName(int index) const {
  const std::string line = Get(index).str();
  std::size_t eq = SeparatorOf(line);
  return eq == std::string::npos ? AnsiString() : AnsiString(line.substr(0, eq));
}

AnsiString TStrings::GetValue(const AnsiString& name) const {
  int i = IndexOfName(name);
  if (i < 0) return AnsiString();
  const std::string line = Get(i).str();
  return AnsiString(line.substr(SeparatorOf(line) + 1));
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this) return;
  BeginUpdate();
  try {
    Clear();
    AddStrings(source);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::AddStrings(const TStrings& source) {
  // Copy first: source may be this list.
  std::vector<AnsiString> lines = source.ToVector();
  BeginUpdate();
  try {
    for (const AnsiString& line : lines) Add(line);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

bool TStrings::Equals(const TStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0, n = Count(); i < n; ++i) {
    if (!(Get(i) == other.Get(i))) return false;
  }
  return true;
}

std::vector<AnsiString> TStrings::ToVector() const {
  std::vector<AnsiString> lines;
  lines.reserve(static_cast<std::size_t>(Count()));
  for (int i = 0, n = Count(); i < n; ++i) lines.push_back(Get(i));
  return lines;
}

void TStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TStrings::EndUpdate() {
  if (updateCount_ == 0) return;
  --updateCount_;
  if (updateCount_ == 0) SetUpdateState(false);
}

// ---- TStringList key indexes ----------------------------------------------

// Maps the compared key of a line to the ascending indexes of the lines
// with that key; the first of them is the first match. The first index is
// held in the slot itself, so that a lookup of a code that occurs once
// touches no further memory.
class TStringList::KeyIndex {
 public:
  int First(const std::string& key) const {
    auto it = slots_.find(key);
    return it == slots_.end() ? -1 : it->second.first;
  }
  // index must be above every index held (an appended line).
  void Append(const std::string& key, int index) {
    auto [it, fresh] = slots_.try_emplace(key);
    if (fresh) {
      it->second.first = index;
    } else {
      it->second.more.push_back(index);
    }
  }
  void Insert(const std::string& key, int index) {
    auto [it, fresh] = slots_.try_emplace(key);
    Slot& slot = it->second;
    if (fresh) {
      slot.first = index;
    } else if (index < slot.first) {
      slot.more.insert(slot.more.begin(), slot.first);
      slot.first = index;
    } else {
      slot.more.insert(std::lower_bound(slot.more.begin(), slot.more.end(), index), index);
    }
  }
  void Remove(const std::string& key, int index) {
    auto it = slots_.find(key);
    if (it == slots_.end()) return;
    Slot& slot = it->second;
    if (slot.first == index) {
      if (slot.more.empty()) {
        slots_.erase(it);
        return;
      }
      slot.first = slot.more.front();
      slot.more.erase(slot.more.begin());
      return;
    }
    auto at = std::lower_bound(slot.more.begin(), slot.more.end(), index);
    if (at != slot.more.end() && *at == index) slot.more.erase(at);
  }
  void Reserve(std::size_t n) { slots_.reserve(n); }

 private:
  struct Slot {
    int first = -1;
    std::vector<int> more;  // the later indexes, ascending
  };
  std::unordered_map<std::string, Slot> slots_;
};

std::string TStringList::KeyOf(const std::string& text) const {
  return caseSensitive_ ? text : FoldCaseAnsi(text);
}

TStringList::KeyIndex& TStringList::LineIndex() const {
  if (!lineIndex_) {
    lineIndex_ = std::make_unique<KeyIndex>();
    lineIndex_->Reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) {
      lineIndex_->Append(KeyOf(items_[i].str()), static_cast<int>(i));
    }
  }
  return *lineIndex_;
}

TStringList::KeyIndex& TStringList::NameIndex() const {
  if (!nameIndex_) {
    nameIndex_ = std::make_unique<KeyIndex>();
    nameIndex_->Reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const std::string& line = items_[i].str();
      std::size_t eq = SeparatorOf(line);
      if (eq != std::string::npos) nameIndex_->Append(KeyOf(line.substr(0, eq)), static_cast<int>(i));
    }
  }
  return *nameIndex_;
}

void TStringList::InvalidateIndexes() {
  lineIndex_.reset();
  nameIndex_.reset();
}

// ---- TStringList ------------------------------------------------------------

TStringList::TStringList() = default;

TStringList::~TStringList() {
  // No change reports from a list that is going away.
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TStringList::IndexError(int index) {
  throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
  } else {
    Changed();
  }
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return caseSensitive_ ? CompareBytes(a.str(), b.str()) : CompareTextAnsi(a.str(), b.str());
}

AnsiString TStringList::Get(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return items_[static_cast<std::size_t>(index)];
}

void TStringList::Put(int index, const AnsiString& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  PutItem(index, s);
}

void TStringList::PutItem(int index, const AnsiString& s) {
  if (index < 0 || index >= Count()) IndexError(index);
  Changing();
  AnsiString& slot = items_[static_cast<std::size_t>(index)];
  if (lineIndex_) {
    lineIndex_->Remove(KeyOf(slot.str()), index);
    lineIndex_->Insert(KeyOf(s.str()), index);
  }
  if (nameIndex_) {
    std::size_t oldEq = SeparatorOf(slot.str());
    if (oldEq != std::string::npos) nameIndex_->Remove(KeyOf(slot.str().substr(0, oldEq)), index);
    std::size_t newEq = SeparatorOf(s.str());
    if (newEq != std::string::npos) nameIndex_->Insert(KeyOf(s.str().substr(0, newEq)), index);
  }
  slot = s;
  Changed();
}

bool TStringList::Find(const AnsiString& s, int& index) const {
  auto at = std::lower_bound(
      items_.begin(), items_.end(), s,
      [this](const AnsiString& line, const AnsiString& key) { return CompareStrings(line, key) < 0; });
  index = static_cast<int>(at - items_.begin());
  return at != items_.end() && CompareStrings(*at, s) == 0;
}

int TStringList::Add(const AnsiString& s) {
  if (!sorted_) {
    int index = Count();
    InsertItem(index, s);
    return index;
  }
  int found = 0;
  if (Find(s, found)) {
    if (duplicates_ == TDuplicates::dupIgnore) return found;
    if (duplicates_ == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
  }
  // After any equal lines, so equal lines keep the order they came in.
  auto at = std::upper_bound(
      items_.begin(), items_.end(), s,
      [this](const AnsiString& key, const AnsiString& line) { return CompareStrings(key, line) < 0; });
  int index = static_cast<int>(at - items_.begin());
  InsertItem(index, s);
  return index;
}

void TStringList::Insert(int index, const AnsiString& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  InsertItem(index, s);
}

void TStringList::InsertItem(int index, const AnsiString& s) {
  if (index < 0 || index > Count()) IndexError(index);
  Changing();
  bool atEnd = index == Count();
  items_.insert(items_.begin() + index, s);
  if (atEnd) {
    if (lineIndex_) lineIndex_->Append(KeyOf(s.str()), index);
    std::size_t eq = SeparatorOf(s.str());
    if (nameIndex_ && eq != std::string::npos) nameIndex_->Append(KeyOf(s.str().substr(0, eq)), index);
  } else {
    // Every later line moves up by one; rebuilding at the next lookup costs
    // the same order as the move itself.
    InvalidateIndexes();
  }
  Changed();
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) IndexError(index);
  Changing();
  bool last = index == Count() - 1;
  if (last) {
    const std::string& line = items_.back().str();
    if (lineIndex_) lineIndex_->Remove(KeyOf(line), index);
    std::size_t eq = SeparatorOf(line);
    if (nameIndex_ && eq != std::string::npos) nameIndex_->Remove(KeyOf(line.substr(0, eq)), index);
  } else {
    InvalidateIndexes();
  }
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  InvalidateIndexes();
  Changed();
}

int TStringList::IndexOf(const AnsiString& s) const { return LineIndex().First(KeyOf(s.str())); }

int TStringList::IndexOfName(const AnsiString& name) const { return NameIndex().First(KeyOf(name.str())); }

void TStringList::Sort() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const AnsiString& a, const AnsiString& b) { return CompareStrings(a, b) < 0; });
  InvalidateIndexes();
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted_ == sorted) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  if (caseSensitive_ == caseSensitive) return;
  caseSensitive_ = caseSensitive;
  InvalidateIndexes();
  if (sorted_) Sort();
}

}  // namespace veravo
