// TZPComboBox: a drop-down combo box that shows values and answers with
// codes. Its stored lines (ZCodeTable) have the form code=value; the box
// shows the values and keeps the code of each shown item in a hidden code
// list, so that item i has the code GetCode(i).
#pragma once

#include <veravo/codes/zcodetable.h>
#include <veravo/platform/vcl/combobox.h>
#include <veravo/platform/vcl/dataset.h>
#include <veravo/platform/vcl/strings.h>

#include <memory>

namespace veravo {

class TZPComboBox : public TCustomComboBox {
 public:
  static constexpr const char* StaticClassName = "TZPComboBox";

  explicit TZPComboBox(TComponent* owner);
  ~TZPComboBox() override;
  const char* ClassName() const override { return StaticClassName; }

  // The code=value lines; owned by the box.
  TStrings* ZCodeTable() const;
  // Copies the lines of source (the caller keeps source); the box rebuilds.
  void SetZCodeTable(const TStrings* source);

  // Entry i: its code (code list) and its shown text (items). The setters
  // change that one list only; the stored line stays as it was until the
  // next rebuild puts it back. Index errors of the code list are raised
  // before anything changes.
  AnsiString GetCode(int index) const;
  void SetCode(int index, const AnsiString& code);
  AnsiString GetValue(int index) const;
  void SetValue(int index, const AnsiString& value);
  // The number of codes.
  int GetItemCount() const override;

  // Rebuilds the shown items once the stored lines have been read.
  void Loaded() override;
  // The rebuild: the code list and the items made again from the stored
  // lines, the value of each line looked up by its code. Skipped while the
  // box updates the lines itself.
  void ZCodeTableOnChange(TObject* sender);

  // Index of the first entry with that code (letter case ignored, no
  // trimming), -1 when there is none.
  int FindCode(const AnsiString& code) const;
  // Adds an entry to all three lists without a rebuild; answers its index in
  // the code list.
  int AddCode(const AnsiString& code, const AnsiString& value);
  void InsertCode(int index, const AnsiString& code, const AnsiString& value);
  void DeleteCode(int index);
  // Empties the stored lines; the rebuild empties the rest.
  void ClearCodes();
  // Replaces the content with one entry per record; a closed data set
  // leaves the box empty.
  void LoadFromDataSet(TDataSet* dataSet, const AnsiString& codeField, const AnsiString& valueField);
  // Replaces the content with the entries of the table; a code the table
  // holds more than once comes in each time with its first value.
  void LoadFormZCodeTable(const TZCodeTable* table);

  const PropertyTable& PublishedProperties() const override;

 private:
  std::unique_ptr<TStringList> zCodeTable_;
  std::unique_ptr<TStringList> codes_;
  bool rebuildGuard_ = false;
};

}  // namespace veravo

namespace veravo::Zpcombobox {

// Puts TZPComboBox on the palette page "VEravo".
void Register();

}  // namespace veravo::Zpcombobox
