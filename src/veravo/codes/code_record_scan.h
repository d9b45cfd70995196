// The scan with which the code table and the coded combo box load codes and
// values from a data set.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/dataset.h>

#include <functional>

namespace veravo {

// From a bookmark of the current position: every record from the first on,
// the value field read before the code field (both looked up again for
// every record), each pair handed to `add`; then back to the bookmark. An
// error from the data set leaves the pairs handed over so far, the cursor
// where the error arose and the bookmark taken (the data set drops it when
// it closes). The data set must be active.
void ScanCodeRecords(TDataSet& dataSet, const AnsiString& codeField, const AnsiString& valueField,
                     const std::function<void(const AnsiString& code, const AnsiString& value)>& add);

}  // namespace veravo
