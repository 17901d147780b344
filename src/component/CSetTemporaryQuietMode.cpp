#include "CSetTemporaryQuietMode.h"
#include "support/CUtils.h"

CSetTemporaryQuietMode::CSetTemporaryQuietMode() { CUtils::Instance().EnterQuietScope(); }

CSetTemporaryQuietMode::~CSetTemporaryQuietMode() { CUtils::Instance().LeaveQuietScope(); }
