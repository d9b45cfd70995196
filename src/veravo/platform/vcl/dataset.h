// TDataSet: a cursor over records whose named fields read as text. A
// descendant supplies the field names and records when the data set opens;
// the data set keeps them, moves the cursor, hands out bookmarks and tells
// its attached controls (data links) of every cursor move.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace veravo {

class TDataSet;

// One column of a data set; reads the value of the current record.
class TField : public TObject {
 public:
  TField(TDataSet& dataSet, AnsiString fieldName, int fieldNo);
  const char* ClassName() const override { return "TField"; }

  const AnsiString& FieldName() const { return fieldName_; }
  // 1-based position among the data set's fields.
  int FieldNo() const { return fieldNo_; }
  // The value as text; a NULL value, and any value when there is no current
  // record, reads as "".
  AnsiString AsString() const;
  bool IsNull() const;

 private:
  TDataSet& dataSet_;
  AnsiString fieldName_;
  int fieldNo_;
};

// A remembered cursor position; 0 is "no position" (taken on an empty data
// set) and is ignored by GotoBookmark and FreeBookmark.
using TBookmark = unsigned long;

class TDataSet : public TComponent {
 public:
  // One record: one value per field, std::nullopt for NULL.
  using Record = std::vector<std::optional<AnsiString>>;
  using DataLink = std::function<void(TDataSet& sender)>;

  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;
  const char* ClassName() const override { return "TDataSet"; }

  bool GetActive() const { return active_; }
  bool Active() const { return active_; }
  void SetActive(bool active);
  // Fetches the records and puts the cursor on the first; raises
  // EDatabaseError when the descendant cannot supply them.
  void Open();
  void Close();

  // Cursor moves. On a closed data set they raise EDatabaseError.
  void First();
  void Next();
  void Prior();
  void Last();
  // Set by Next at the last record, and on an empty data set.
  bool Eof() const { return eof_; }
  // Set by First and Prior at the first record, and on an empty data set.
  bool Bof() const { return bof_; }
  int RecordCount() const;
  // 1-based number of the current record; 0 when there is none.
  int RecNo() const;

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index) const;
  // The field of that name (letter case ignored); FieldByName raises
  // EDatabaseError naming the field when there is none, FindField answers
  // null.
  TField& FieldByName(const AnsiString& name) const;
  TField* FindField(const AnsiString& name) const;

  // A bookmark stays valid until it is freed or the data set closes.
  TBookmark GetBookmark();
  void GotoBookmark(TBookmark bookmark);
  void FreeBookmark(TBookmark bookmark);
  // Number of bookmarks taken and not yet freed.
  int BookmarkCount() const { return static_cast<int>(bookmarks_.size()); }

  // Attached controls: each link is called after every cursor move and
  // after opening and closing, unless controls are disabled. Answers an id
  // for RemoveDataLink.
  int AddDataLink(DataLink link);
  void RemoveDataLink(int id);
  // Nested; while disabled no link is called, and the last EnableControls
  // calls each link once.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }

  // The value of field `fieldNo` (1-based) in the current record; null when
  // there is no current record or the value is NULL.
  const std::optional<AnsiString>* CurrentValue(int fieldNo) const;

 protected:
  // Supplies the field names and the records; raises EDatabaseError on
  // failure.
  virtual void InternalOpen(std::vector<AnsiString>& fieldNames, std::vector<Record>& records) = 0;
  void CheckActive() const;

 private:
  void DataEvent();

  bool active_ = false;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<Record> records_;
  int current_ = 0;
  bool eof_ = true;
  bool bof_ = true;
  std::map<TBookmark, int> bookmarks_;
  TBookmark nextBookmark_ = 1;
  std::map<int, DataLink> links_;
  int nextLink_ = 1;
  int disableCount_ = 0;
};

}  // namespace veravo
