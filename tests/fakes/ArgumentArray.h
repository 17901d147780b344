#pragma once
#include "support/UniqueVariant.h"
#include <string>
#include <vector>

// The argument VARIANT of Run as a client builds it: a one-dimensional array of strings.
UniqueVariant ArgumentArray(const std::vector<std::wstring>& items);
