// The Win32 subset of veravo: types, constants and calls.
#pragma once

#include <veravo/platform/win/win_api.h>
#include <veravo/platform/win/win_types.h>
