// TCustomComboBox: the framework's combo box without published properties
// of its own beyond position and size. It holds its shown items in Items,
// keeps them in order when Sorted is set, and carries the properties a
// descendant may publish as plain data with the framework's defaults.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/controls.h>
#include <veravo/platform/vcl/strings.h>

#include <functional>
#include <memory>

namespace veravo {

// Values of the enumerated and set properties, as the form files store them
// (ordinal numbers; sets as bit masks).
enum TAnchorKind { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
enum TDragKind { dkDrag, dkDock };
enum TDragMode { dmManual, dmAutomatic };
enum TImeMode { imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata };
// System colours are the colour index with the top bit set.
inline constexpr int clWindow = static_cast<int>(0x80000005u);
inline constexpr int clWindowText = static_cast<int>(0x80000008u);
inline constexpr int crDrag = -12;
inline constexpr int DEFAULT_CHARSET = 1;

class TCustomComboBox : public TWinControl {
 public:
  using TNotifyEvent = std::function<void(TObject* sender)>;
  using TKeyEvent = std::function<void(TObject* sender, int& key, int shift)>;
  using TKeyPressEvent = std::function<void(TObject* sender, char& key)>;

  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  const char* ClassName() const override { return "TCustomComboBox"; }

  // The shown items. Add puts an item in order when Sorted is set; Insert
  // and Put place it where asked, as the list box of a sorted combo box
  // does.
  TStrings* Items() const;
  // The number of items the box reports.
  virtual int GetItemCount() const;
  // The selected item, -1 for none. Selecting an item shows its text.
  int GetItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);

  bool GetSorted() const { return sorted_; }
  void SetSorted(bool sorted);

  void Loaded() override;

  // Position and size, published by the base itself.
  int Left = 0;
  int Top = 0;
  int Width = 145;
  int Height = 21;

  // Properties that a descendant may publish, with the framework's
  // defaults.
  int Anchors = akLeft | akTop;
  int BiDiMode = bdLeftToRight;
  int Color = clWindow;
  struct TSizeConstraints {
    int MaxHeight = 0;
    int MaxWidth = 0;
    int MinHeight = 0;
    int MinWidth = 0;
  } Constraints;
  bool Ctl3D = true;
  int DragCursor = crDrag;
  int DragKind = dkDrag;
  int DragMode = dmManual;
  int DropDownCount = 8;
  bool Enabled = true;
  struct TFont {
    int Charset = DEFAULT_CHARSET;
    int Color = clWindowText;
    int Height = -11;
    AnsiString Name;  // empty: the system's default face
    int Style = 0;    // bit mask: 1 bold, 2 italic, 4 underline, 8 strike-out
  } Font;
  int ImeMode = imDontCare;
  AnsiString ImeName;
  int ItemHeight = 13;
  int MaxLength = 0;
  bool ParentBiDiMode = true;
  bool ParentColor = false;
  bool ParentCtl3D = true;
  bool ParentFont = true;
  bool ParentShowHint = true;
  AnsiString PopupMenu;  // the name of the menu component; empty for none
  bool ShowHint = false;
  int TabOrder = -1;
  bool TabStop = true;
  bool Visible = true;

  // Events; not stored with the form.
  TNotifyEvent OnChange;
  TNotifyEvent OnClick;
  std::function<void(TObject* sender, int x, int y, bool& handled)> OnContextPopup;
  TNotifyEvent OnDblClick;
  std::function<void(TObject* sender, TObject* source, int x, int y)> OnDragDrop;
  std::function<void(TObject* sender, TObject* source, int x, int y, int state, bool& accept)> OnDragOver;
  std::function<void(TObject* sender, int index, int state)> OnDrawItem;
  TNotifyEvent OnDropDown;
  std::function<void(TObject* sender, TObject* target, int x, int y)> OnEndDock;
  std::function<void(TObject* sender, TObject* target, int x, int y)> OnEndDrag;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  std::function<void(TObject* sender, int index, int& height)> OnMeasureItem;
  TNotifyEvent OnStartDock;
  TNotifyEvent OnStartDrag;

  // What the base publishes itself: Left, Top, Width and Height.
  const PropertyTable& PublishedProperties() const override;

 protected:
  // The properties above in the order a combo box publishes them (Anchors
  // to Visible), for a descendant's property table.
  static PropertyTable PublishableProperties();

 private:
  class TComboBoxStrings;
  std::unique_ptr<TComboBoxStrings> items_;
  int itemIndex_ = -1;
  bool sorted_ = false;
};

}  // namespace veravo
