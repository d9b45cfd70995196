// WM_CREATE and its CREATESTRUCTA, with the Win32 value and field order.
// CreateWindowExA sends WM_CREATE to the new window's procedure with a
// pointer to this record; lpCreateParams is CreateWindowExA's lpParam.
#pragma once

#include <veravo/platform/win/win_types.h>

namespace veravo::win {

constexpr UINT WM_CREATE = 0x0001;

struct CREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
};

}  // namespace veravo::win
