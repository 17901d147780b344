#pragma once
#include "support/COutsideValue.h"
#include <string>

// A test's own file as the checked path that file calls take; a path the gate refuses throws.
inline CCheckedPath CheckedPath(const std::wstring& path) { return COutsideValue::Path(L"Test", path).value(); }
