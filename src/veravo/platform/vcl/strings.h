// String lists: TStrings, the list interface the components program
// against, and TStringList, the list that holds its lines itself.
//
// Lookups by line (IndexOf) and by the name of a name=value line
// (IndexOfName, GetValue) keep hash indexes of the compared keys, so that a
// list of a hundred thousand codes answers in constant time while keeping the
// framework's first-match rule: the answer is always the lowest matching
// index.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veravo {

// Comparison of two lines without regard to letter case, as the list does it
// by default. The ASCII letters a-z and A-Z compare equal to each other;
// every other byte compares exactly, and so does the whole of a two-byte
// code page 936 character (lead byte 0x81-0xFE, trail byte 0x40-0xFE except
// 0x7F), whose trail byte may look like an ASCII letter but is not one.
// The platform's locale-aware comparison would in addition fold the
// full-width Latin letters and the Greek and Cyrillic letters of the code
// page (for example A3C1 with A3E1), and would order lines by its word-sort
// rules rather than by byte value; neither matters for the codes, which are
// ASCII in practice.
int CompareTextAnsi(const std::string& a, const std::string& b);
// The key under which CompareTextAnsi sees a line: equal keys exactly when
// CompareTextAnsi answers 0.
std::string FoldCaseAnsi(const std::string& text);

class TStrings : public TPersistent {
 public:
  using TNotifyEvent = std::function<void(TObject* sender)>;

  const char* ClassName() const override { return "TStrings"; }

  virtual int Count() const = 0;
  int GetCount() const { return Count(); }
  // Line i; an index outside 0..Count()-1 raises EStringListError.
  virtual AnsiString Get(int index) const = 0;
  AnsiString Strings(int index) const { return Get(index); }
  AnsiString operator[](int index) const { return Get(index); }
  // Replaces line i.
  virtual void Put(int index, const AnsiString& s) = 0;
  // Appends a line (a sorted list puts it in order); answers its index.
  virtual int Add(const AnsiString& s);
  // Inserts a line before index (0..Count()).
  virtual void Insert(int index, const AnsiString& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  // Index of the first line equal to s, or -1.
  virtual int IndexOf(const AnsiString& s) const;
  // Index of the first line that has an "=" and whose text before the first
  // "=" equals name, or -1.
  virtual int IndexOfName(const AnsiString& name) const;

  // The text before the first "=" of line i; empty when the line has none.
  AnsiString Names(int index) const { return GetName(index); }
  AnsiString GetName(int index) const;
  // The text after the first "=" of the first line named name; empty when
  // no line is.
  AnsiString Values(const AnsiString& name) const { return GetValue(name); }
  AnsiString GetValue(const AnsiString& name) const;

  // Replaces the lines by those of source as one change.
  virtual void Assign(const TStrings& source);
  void AddStrings(const TStrings& source);
  // Same count and the same lines, byte for byte.
  bool Equals(const TStrings& other) const;
  std::vector<AnsiString> ToVector() const;

  // Between BeginUpdate and the matching EndUpdate the list reports no
  // change; the outermost EndUpdate reports one.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

 protected:
  // Told when the outermost update begins (true) and ends (false).
  virtual void SetUpdateState(bool /*updating*/) {}
  // Compares two lines as this list does: equal means 0.
  virtual int CompareStrings(const AnsiString& a, const AnsiString& b) const;

 private:
  int updateCount_ = 0;
};

class TStringList : public TStrings {
 public:
  enum class TDuplicates { dupIgnore, dupAccept, dupError };

  TStringList();
  ~TStringList() override;
  const char* ClassName() const override { return "TStringList"; }

  int Count() const override { return static_cast<int>(items_.size()); }
  AnsiString Get(int index) const override;
  void Put(int index, const AnsiString& s) override;
  int Add(const AnsiString& s) override;
  void Insert(int index, const AnsiString& s) override;
  void Delete(int index) override;
  void Clear() override;
  int IndexOf(const AnsiString& s) const override;
  int IndexOfName(const AnsiString& name) const override;

  // A sorted list keeps its lines in order of CompareStrings; Add puts a
  // line in its place (after equal lines), Insert and Put are refused.
  bool GetSorted() const { return sorted_; }
  void SetSorted(bool sorted);
  // What Add does with a line already present in a sorted list; an unsorted
  // list always accepts duplicates.
  TDuplicates GetDuplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
  bool GetCaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool caseSensitive);
  // Sorts the lines (stable); reported as one change.
  void Sort();
  // In a sorted list: whether s is there, and the index where it is or
  // would go.
  bool Find(const AnsiString& s, int& index) const;

  // Fired after every change of the lines (once per BeginUpdate/EndUpdate
  // pair), and before one with OnChanging.
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void SetUpdateState(bool updating) override;
  int CompareStrings(const AnsiString& a, const AnsiString& b) const override;
  // Positional insertion and replacement that do not look at Sorted, for
  // lists that, like a sorted list box, allow them.
  void InsertItem(int index, const AnsiString& s);
  void PutItem(int index, const AnsiString& s);
  [[noreturn]] static void IndexError(int index);
  void Changing();
  void Changed();

 private:
  class KeyIndex;
  std::string KeyOf(const std::string& text) const;
  KeyIndex& LineIndex() const;
  KeyIndex& NameIndex() const;
  void InvalidateIndexes();

  std::vector<AnsiString> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  TDuplicates duplicates_ = TDuplicates::dupAccept;
  // Built on the first lookup and kept in step from then on; null until
  // then and after a change that moves lines.
  mutable std::unique_ptr<KeyIndex> lineIndex_;
  mutable std::unique_ptr<KeyIndex> nameIndex_;
};

}  // namespace veravo
