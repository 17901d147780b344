#include "CSetTemporaryQuietMode.h"
#include "support/CUtils.h"

CSetTemporaryQuietMode::CSetTemporaryQuietMode() : m_previous(CUtils::Instance().IsQuiet()) {
    CUtils::Instance().SetQuiet(true);
}

CSetTemporaryQuietMode::~CSetTemporaryQuietMode() { CUtils::Instance().SetQuiet(m_previous); }
