// The text form of a component and the components it owns:
//
//   object ZPComboBox1: TZPComboBox
//     Left = 8
//     Sorted = True
//     Text = 'Fruit'#9'list'
//     ZCodeTable.Strings = (
//       'A=Apple'
//       'B=Banana')
//   end
//
// Property lines hold integers, True/False, strings ('' for a quote, #nnn
// for a byte that is not printable ASCII, adjacent pieces joined, "+" at the
// end of a line continuing a string on the next) and string lists in
// parentheses. Owned components are nested objects.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>

namespace veravo {

// The text form of component: its stored published properties in table
// order (a property equal to its default, and one without a default that is
// an empty string or an empty list, are left out), then its owned
// components. Lines end with CR LF.
AnsiString WriteComponentText(const TComponent& component);

// Creates the components that text describes through the component
// registry and sets their properties in the order they come; when all are
// read, calls Loaded on each, in the order they were created. The outer
// component gets `owner` (which then owns it; with a null owner the caller
// does), nested ones the component they are nested in. Raises EReadError
// naming the line for bad text; nothing created stays behind then.
TComponent* ReadComponentText(const AnsiString& text, TComponent* owner);

// A string in the quoted form above.
AnsiString QuoteFormString(const AnsiString& value);

}  // namespace veravo
